#pragma once

#include "engine/mvlCollectionFactory.h"

#include <span>

namespace providers {

// One row per provider collection, in registration order. A row without a maker names a
// collection this version does not build yet: the city is known, creating it fails clearly.
struct CollectionRow
{
    const char* Name = nullptr;
    TmvlCollectionFactory::TMaker Make = nullptr;
};

std::span<const CollectionRow> CollectionRows();

// Fills the process-wide factory from the table; later calls do nothing. Every entry point
// (the library's exports, the tools, the tests) calls it before the first engine operation.
void RegisterCollections();

} // namespace providers
