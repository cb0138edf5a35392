#pragma once

#include "framework/schema/CmCustomVersion.h"

#include <memory>

// This program's schema-version module: the common set plus NOTAVIA-NFSE.SQL 1.00 to 1.04.
class TdmVersaoNotavia : public TClsCustomVersion
{
public:
    TdmVersaoNotavia();

    // The factory the program entry registers as VersionModuleClass.
    static std::unique_ptr<framework::VersionModule> Create();
};
