#pragma once

#include "engine/mvlCollectionItem.h"

// Signs one element, found by its name and Id, with a signature placed beside it; the
// answer is the whole document (unchanged when no such element exists).
class TmvlXMLNodeSigner : public TmvlXMLItem
{
public:
    const char* ClassName() const override { return "TmvlXMLNodeSigner"; }
    void RegisterParams() override;
    void Executar(TmvlNFSeAbrasf& engine) override;
};
