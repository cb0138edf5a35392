#include "framework/schema/dmVersaoNotavia.h"

TdmVersaoNotavia::TdmVersaoNotavia()
{
    LoadEmbeddedSet(Scripts(), "NOTAVIA-NFSE.SQL");
}

std::unique_ptr<framework::VersionModule> TdmVersaoNotavia::Create()
{
    return std::make_unique<TdmVersaoNotavia>();
}
