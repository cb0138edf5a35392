#include "providers/CollectionTable.h"

#include "engine/mvlExceptions.h"
#include "engine/mvlNFSe.h"
#include "platform/ProgramFolder.h"
#include "tests/support/TestSupport.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>

namespace {

// The names the cities' locals files use, in registration order.
const std::vector<std::string> kGolden = {
    "ABRASF",     "ABACO",         "Curitiba",     "RioDeJaneiro", "ABRASF22",    "GovDigital",  "BeloHorizonte",
    "DSF",        "SaoPaulo",      "GINFES",       "TIPLAN",       "BLUMENAU",    "EQUIPLANO",   "BETHA",
    "GOVBR",      "CSM",           "FissLex",      "WebIss",       "SIMPLISS",    "PontaGrossa", "THEMA",
    "PUBLICA",    "Maringa",       "Lexsom",       "SAATRI",       "ISSSIMPLES",  "Saturno",     "MaisISS",
    "SIL",        "GOIANIA",       "INFISC",       "ISSONLINE",    "AUAD",        "Osasco",      "LONDRINA",
    "IPM",        "Fiorilli",      "ISSNETONLINE", "NATAL",        "SIGISS",      "Abrasf21",    "FGMAISS",
    "SIM",        "ISSIntel",      "SEMFAZONLINE", "Prodata",      "ISSWEB",      "METROPOLIS",  "DEVEL",
    "TECSYSTEM",  "EReceita",      "Tinus",        "ISSDIGITAL",   "MAKERPLANET", "Governa",     "INTERSOL",
    "Actcon",     "TecnoSistemas", "El",           "Consist",      "Agili",       "GovBR20",     "Conam",
    "SISTEMAS4R", "Salvador"};

std::string Upper(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::toupper(c); });
    return text;
}

std::string Lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

} // namespace

TEST(CollectionTable, EveryRowIsRegisteredOnceAndCreatedOrRefusedByName)
{
    providers::RegisterCollections();
    providers::RegisterCollections();
    std::vector<std::string> names;
    for (const providers::CollectionRow& row : providers::CollectionRows()) {
        names.emplace_back(row.Name);
    }
    EXPECT_EQ(names, kGolden);

    TmvlCollectionFactory& factory = TmvlCollectionFactory::Instance();
    for (const providers::CollectionRow& row : providers::CollectionRows()) {
        SCOPED_TRACE(row.Name);
        EXPECT_THROW(factory.Registrar(Lower(row.Name), row.Make), EmvlNFSeCollectionException);
        for (const std::string& asked : {std::string(row.Name), Upper(row.Name), Lower(row.Name)}) {
            if (row.Make) {
                const auto collection = factory.Criar(asked);
                EXPECT_EQ(collection->Name(), asked);
                EXPECT_GT(collection->Itens().Count(), 0u);
            } else {
                try {
                    (void)factory.Criar(asked);
                    ADD_FAILURE() << "criou " << asked;
                } catch (const EmvlNFSeCollectionException& error) {
                    EXPECT_THAT(error.what(), testing::HasSubstr("\"" + asked + "\""));
                    EXPECT_THAT(error.what(), testing::HasSubstr("ainda não está disponível"));
                }
            }
        }
    }
}

TEST(CollectionTable, AnUnbuiltCollectionFailsBeforeAnythingIsLoggedOrSent)
{
    providers::RegisterCollections();
    const std::string root = tests::TempDir();
    tests::WriteFile(root + "nfseLocais.ini", "[LOCAIS]\nCIDADEGXX=9999990\n[CIDADEGXX]\nCollectionName=ginfes\n");
    tests::WriteFile(root + "nfseServidoresHom.ini", "[CIDADEGXX]\nNFSe=http://127.0.0.1:9/nfse\n");
    TmvlNFSe engine(root);
    engine.CarregarLocais();
    engine.SetCidade("CIDADEGXX");
    int logs = 0;
    engine.SetOnLog([&](const std::string&, const std::string&, const std::string&) { ++logs; });
    try {
        (void)engine.ExecutarComando("Enviar_ViaProxy");
        FAIL() << "nenhum erro";
    } catch (const EmvlNFSeException& error) {
        EXPECT_THAT(error.what(), testing::HasSubstr("\"ginfes\""));
    }
    EXPECT_EQ(logs, 0);
    EXPECT_FALSE(platform::DirectoryExists(root + "Log"));
}
