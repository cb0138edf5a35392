#include "providers/CollectionTable.h"

#include "providers/mvlAbrasfCollection.h"

#include <mutex>

namespace providers {
namespace {

template <class T>
std::unique_ptr<TmvlNFSeCollection> Make()
{
    return std::make_unique<T>();
}

// Rows gain their maker as each collection is built.
constexpr CollectionRow kCollections[] = {
    {.Name = "ABRASF", .Make = &Make<TmvlAbrasfCollection>},
    {.Name = "ABACO", .Make = nullptr},
    {.Name = "Curitiba", .Make = nullptr},
    {.Name = "RioDeJaneiro", .Make = nullptr},
    {.Name = "ABRASF22", .Make = nullptr},
    {.Name = "GovDigital", .Make = nullptr},
    {.Name = "BeloHorizonte", .Make = nullptr},
    {.Name = "DSF", .Make = nullptr},
    {.Name = "SaoPaulo", .Make = nullptr},
    {.Name = "GINFES", .Make = nullptr},
    {.Name = "TIPLAN", .Make = nullptr},
    {.Name = "BLUMENAU", .Make = nullptr},
    {.Name = "EQUIPLANO", .Make = nullptr},
    {.Name = "BETHA", .Make = nullptr},
    {.Name = "GOVBR", .Make = nullptr},
    {.Name = "CSM", .Make = nullptr},
    {.Name = "FissLex", .Make = nullptr},
    {.Name = "WebIss", .Make = nullptr},
    {.Name = "SIMPLISS", .Make = nullptr},
    {.Name = "PontaGrossa", .Make = nullptr},
    {.Name = "THEMA", .Make = nullptr},
    {.Name = "PUBLICA", .Make = nullptr},
    {.Name = "Maringa", .Make = nullptr},
    {.Name = "Lexsom", .Make = nullptr},
    {.Name = "SAATRI", .Make = nullptr},
    {.Name = "ISSSIMPLES", .Make = nullptr},
    {.Name = "Saturno", .Make = nullptr},
    {.Name = "MaisISS", .Make = nullptr},
    {.Name = "SIL", .Make = nullptr},
    {.Name = "GOIANIA", .Make = nullptr},
    {.Name = "INFISC", .Make = nullptr},
    {.Name = "ISSONLINE", .Make = nullptr},
    {.Name = "AUAD", .Make = nullptr},
    {.Name = "Osasco", .Make = nullptr},
    {.Name = "LONDRINA", .Make = nullptr},
    {.Name = "IPM", .Make = nullptr},
    {.Name = "Fiorilli", .Make = nullptr},
    {.Name = "ISSNETONLINE", .Make = nullptr},
    {.Name = "NATAL", .Make = nullptr},
    {.Name = "SIGISS", .Make = nullptr},
    {.Name = "Abrasf21", .Make = nullptr},
    {.Name = "FGMAISS", .Make = nullptr},
    {.Name = "SIM", .Make = nullptr},
    {.Name = "ISSIntel", .Make = nullptr},
    {.Name = "SEMFAZONLINE", .Make = nullptr},
    {.Name = "Prodata", .Make = nullptr},
    {.Name = "ISSWEB", .Make = nullptr},
    {.Name = "METROPOLIS", .Make = nullptr},
    {.Name = "DEVEL", .Make = nullptr},
    {.Name = "TECSYSTEM", .Make = nullptr},
    {.Name = "EReceita", .Make = nullptr},
    {.Name = "Tinus", .Make = nullptr},
    {.Name = "ISSDIGITAL", .Make = nullptr},
    {.Name = "MAKERPLANET", .Make = nullptr},
    {.Name = "Governa", .Make = nullptr},
    {.Name = "INTERSOL", .Make = nullptr},
    {.Name = "Actcon", .Make = nullptr},
    {.Name = "TecnoSistemas", .Make = nullptr},
    {.Name = "El", .Make = nullptr},
    {.Name = "Consist", .Make = nullptr},
    {.Name = "Agili", .Make = nullptr},
    {.Name = "GovBR20", .Make = nullptr},
    {.Name = "Conam", .Make = nullptr},
    {.Name = "SISTEMAS4R", .Make = nullptr},
    {.Name = "Salvador", .Make = nullptr},
};

} // namespace

std::span<const CollectionRow> CollectionRows()
{
    return kCollections;
}

void RegisterCollections()
{
    static std::once_flag once;
    std::call_once(once, [] {
        TmvlCollectionFactory& factory = TmvlCollectionFactory::Instance();
        for (const CollectionRow& row : kCollections) {
            factory.Registrar(row.Name, row.Make);
        }
    });
}

} // namespace providers
