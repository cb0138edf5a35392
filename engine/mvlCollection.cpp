#include "engine/mvlCollection.h"

#include "engine/mvlExceptions.h"
#include "platform/Format.h"
#include "platform/TextRules.h"

TmvlCollectionItem& TmvlCollectionItemsList::Registrar(std::unique_ptr<TmvlCollectionItem> item, std::string_view alias,
                                                       bool replace, TmvlCollection* collection)
{
    if (!item) {
        throw EmvlNFSeCollectionException("Item da coleção não instanciado");
    }
    std::string name(platform::Trim(alias));
    if (name.empty()) {
        name = item->ClassName();
    }
    for (const Entry& entry : m_items) {
        if (entry.Item.get() == item.get()) {
            // The list already owns it: letting `item` free it too would free it twice.
            (void)item.release();
            throw EmvlNFSeCollectionException(
                platform::Format("Item \"%s (%s)\" já foi registrado anteriormente com o apelido \"%s\"", name,
                                 entry.Item->ClassName(), entry.Alias));
        }
    }
    for (auto it = m_items.begin(); it != m_items.end(); ++it) {
        if (!platform::EqualsIgnoreCase(it->Alias, name)) {
            continue;
        }
        if (!replace) {
            throw EmvlNFSeCollectionException(platform::Format("O apelido \"%s\" já está em uso", name));
        }
        m_items.erase(it);
        break;
    }
    item->Inicializar(collection);
    m_items.push_back({name, std::move(item)});
    return *m_items.back().Item;
}

TmvlCollectionItem* TmvlCollectionItemsList::Find(std::string_view alias) const
{
    const std::string_view wanted = platform::Trim(alias);
    for (const Entry& entry : m_items) {
        if (platform::EqualsIgnoreCase(entry.Alias, wanted)) {
            return entry.Item.get();
        }
    }
    return nullptr;
}

TmvlCollectionItem& TmvlCollectionItemsList::Item(std::string_view alias) const
{
    TmvlCollectionItem* item = Find(alias);
    if (!item) {
        throw EmvlNFSeCollectionException(platform::Format("Comando \"%s\" não foi encontrado", alias));
    }
    return *item;
}

std::vector<std::string> TmvlCollectionItemsList::Aliases() const
{
    std::vector<std::string> aliases;
    for (const Entry& entry : m_items) {
        aliases.push_back(entry.Alias);
    }
    return aliases;
}
