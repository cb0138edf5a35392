#pragma once

#include "engine/mvlCollectionItem.h"

#include <memory>
#include <string>
#include <string_view>
#include <vector>

// The operations of a collection by alias, in registration order; it owns them.
class TmvlCollectionItemsList
{
public:
    // The alias is the trimmed one given, or the class name. An alias in use is refused
    // unless `replace`, which frees the old operation first.
    TmvlCollectionItem& Registrar(std::unique_ptr<TmvlCollectionItem> item, std::string_view alias, bool replace,
                                  TmvlCollection* collection);
    // Case is ignored; a missing alias fails with "Comando \"%s\" não foi encontrado".
    TmvlCollectionItem& Item(std::string_view alias) const;
    TmvlCollectionItem* Find(std::string_view alias) const;
    std::vector<std::string> Aliases() const;
    size_t Count() const { return m_items.size(); }

private:
    struct Entry
    {
        std::string Alias;
        std::unique_ptr<TmvlCollectionItem> Item;
    };
    std::vector<Entry> m_items;
};

// A named set of operations. Made by the factory, which names it and then calls
// RegistrarItens.
class TmvlCollection
{
public:
    TmvlCollection() = default;
    virtual ~TmvlCollection() = default;
    TmvlCollection(const TmvlCollection&) = delete;
    TmvlCollection& operator=(const TmvlCollection&) = delete;

    virtual const char* ClassName() const { return "TmvlCollection"; }
    const std::string& Name() const { return m_name; }
    void SetName(std::string_view name) { m_name = name; }

    virtual void RegistrarItens() { }

    TmvlCollectionItemsList& Itens() { return m_itens; }
    const TmvlCollectionItemsList& Itens() const { return m_itens; }
    TmvlCollectionItem& Item(std::string_view alias) const { return m_itens.Item(alias); }

    TmvlCollectionItem& Registrar(std::unique_ptr<TmvlCollectionItem> item, std::string_view alias = {},
                                  bool replace = false)
    {
        return m_itens.Registrar(std::move(item), alias, replace, this);
    }

private:
    std::string m_name;
    TmvlCollectionItemsList m_itens;
};

// The base of every provider collection.
class TmvlNFSeCollection : public TmvlCollection
{
public:
    const char* ClassName() const override { return "TmvlNFSeCollection"; }
};
