#pragma once

#include "engine/mvlCustomNFSe.h"

// The layer of the provider operations run through collections; they join it with the
// proxy and the collection framework.
class TmvlNFSeAbrasf : public TmvlCustomNFSe
{
public:
    using TmvlCustomNFSe::TmvlCustomNFSe;
};

// The engine as its owners use it.
class TmvlNFSe : public TmvlNFSeAbrasf
{
public:
    using TmvlNFSeAbrasf::TmvlNFSeAbrasf;
};
