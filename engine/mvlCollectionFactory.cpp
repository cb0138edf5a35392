#include "engine/mvlCollectionFactory.h"

#include "engine/mvlExceptions.h"
#include "platform/Format.h"
#include "platform/TextRules.h"

TmvlCollectionFactory& TmvlCollectionFactory::Instance()
{
    static TmvlCollectionFactory factory;
    return factory;
}

const TmvlCollectionFactory::Entry* TmvlCollectionFactory::Find(std::string_view name) const
{
    const std::string_view wanted = platform::Trim(name);
    for (const Entry& entry : m_entries) {
        if (platform::EqualsIgnoreCase(entry.Name, wanted)) {
            return &entry;
        }
    }
    return nullptr;
}

void TmvlCollectionFactory::Registrar(std::string_view name, TMaker maker)
{
    const std::string trimmed(platform::Trim(name));
    if (trimmed.empty()) {
        throw EmvlNFSeCollectionException("Nome da coleção está vazio");
    }
    std::lock_guard lock(m_mutex);
    if (Find(trimmed)) {
        throw EmvlNFSeCollectionException(platform::Format("Coleção \"%s\" já foi registrada.", trimmed));
    }
    m_entries.push_back({trimmed, maker});
}

std::unique_ptr<TmvlNFSeCollection> TmvlCollectionFactory::Criar(std::string_view name) const
{
    TMaker maker = nullptr;
    {
        std::lock_guard lock(m_mutex);
        const Entry* entry = Find(name);
        if (!entry) {
            throw EmvlNFSeCollectionException(platform::Format("Coleção \"%s\" não foi encontrada.", name));
        }
        maker = entry->Maker;
    }
    if (!maker) {
        throw EmvlNFSeCollectionException(platform::Format(
            "A coleção \"%s\" é conhecida, mas ainda não está disponível nesta versão do emissor.", name));
    }
    std::unique_ptr<TmvlNFSeCollection> collection = maker();
    collection->SetName(name);
    collection->RegistrarItens();
    return collection;
}

bool TmvlCollectionFactory::Existe(std::string_view name) const
{
    std::lock_guard lock(m_mutex);
    return Find(name) != nullptr;
}

std::vector<std::string> TmvlCollectionFactory::Nomes() const
{
    std::lock_guard lock(m_mutex);
    std::vector<std::string> names;
    for (const Entry& entry : m_entries) {
        names.push_back(entry.Name);
    }
    return names;
}
