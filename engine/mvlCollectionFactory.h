#pragma once

#include "engine/mvlCollection.h"

#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

// The process-wide registry of provider collections: name → maker, in registration order.
// Filled once at start-up and only read afterwards.
class TmvlCollectionFactory
{
public:
    using TMaker = std::unique_ptr<TmvlNFSeCollection> (*)();

    static TmvlCollectionFactory& Instance();

    // A name registered without a maker is known but not built yet: creating it fails
    // saying so. Names are compared without case.
    void Registrar(std::string_view name, TMaker maker);
    // A new collection named as asked, its operations registered.
    std::unique_ptr<TmvlNFSeCollection> Criar(std::string_view name) const;
    bool Existe(std::string_view name) const;
    std::vector<std::string> Nomes() const;

private:
    struct Entry
    {
        std::string Name;
        TMaker Maker = nullptr;
    };
    const Entry* Find(std::string_view name) const;

    mutable std::mutex m_mutex;
    std::vector<Entry> m_entries;
};
