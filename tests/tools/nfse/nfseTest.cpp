#include "platform/ProgramFolder.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <vector>

namespace {

tests::ProgramRun Nfse(const std::vector<std::string>& args)
{
    std::vector<std::string> all {"--log", tests::TempDir()};
    all.insert(all.end(), args.begin(), args.end());
    return tests::RunProgram(tests::ProgramDir() + "nfse", all, {}, true);
}

bool Has(const tests::ProgramRun& result, const std::string& line)
{
    return result.Output.find(line + "\n") != std::string::npos;
}

} // namespace

// The installation as shipped: every city of the desktop program resolves to its engine key,
// its IBGE code and the collection that serves it.
TEST(nfse, ShippedInstallationServesTheDesktopCities)
{
    struct Row
    {
        const char* Nome;
        const char* UF;
        const char* Chave;
        const char* Codigo;
        const char* Colecao;
    };
    const std::vector<Row> rows {
        {"São Paulo", "SP", "SAOPAULO", "3550308", "SaoPaulo"},
        {"Belo Horizonte", "MG", "BELOHORIZONTE", "3106200", "BeloHorizonte"},
        {"São Bernardo do Campo", "SP", "SAOBERNARDODOCAMPO", "3548708", "GINFES"},
        {"Botucatu", "SP", "BOTUCATUSP", "3507506", "SIGISS"},
        {"Americana", "SP", "AMERICANA", "3501608", "TIPLAN"},
        {"Santo André", "SP", "SANTOANDRE", "3547809", "GINFES"},
        {"Imperatriz", "MA", "IMPERATRIZMA", "2105302", "ISSSIMPLES"},
        {"Rio de Janeiro", "RJ", "RIODEJANEIRO", "3304557", "RioDeJaneiro"},
        {"Piracicaba", "SP", "PIRACICABA", "3538709", "SIMPLISS"},
        {"Sorocaba", "SP", "SOROCABA", "3552205", "DSF"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Nome);
        const tests::ProgramRun result = Nfse({"city", row.Nome, row.UF});
        EXPECT_TRUE(Has(result, std::string("Cidade: ") + row.Chave)) << result.Output;
        EXPECT_TRUE(Has(result, std::string("Código IBGE: ") + row.Codigo)) << result.Output;
        EXPECT_TRUE(Has(result, std::string("Coleção: ") + row.Colecao)) << result.Output;
    }
    const tests::ProgramRun belo = Nfse({"city", "Belo Horizonte", "MG"});
    EXPECT_EQ(belo.Status, 0) << belo.Output;
    EXPECT_TRUE(Has(belo, "Ambiente: 2 (homologação)")) << belo.Output;
}

TEST(nfse, CityPrintsEveryServiceAddressOrWhyThereIsNone)
{
    const std::string root = tests::TempDir();
    tests::WriteFile(root + "nfseConfig.ini", "[NFSE]\nAmbiente=1\n");
    tests::WriteFile(root + "nfseLocais.ini",
                     "[LOCAIS]\nCIDADEXX=9999999\n[BELOHORIZONTE]\nCollectionName=BeloHorizonte\n");
    tests::WriteFile(root + "nfseServidoresHom.ini", "");
    tests::WriteFile(
        root + "nfseServidoresProd.ini",
        "[BELOHORIZONTE]\nNFSe=http://127.0.0.1:8091/bh\nNFSeCancelarNfse=http://127.0.0.1:8091/cancelar\n");

    const tests::ProgramRun alias = Nfse({"--pasta", root, "city", "BELOHORIZONTEMG"});
    EXPECT_EQ(alias.Status, 0) << alias.Output;
    EXPECT_TRUE(Has(alias, "Cidade: BELOHORIZONTE")) << alias.Output;
    EXPECT_TRUE(Has(alias, "Ambiente: 1 (produção)")) << alias.Output;
    EXPECT_TRUE(Has(alias, "RecepcionarLoteRps: http://127.0.0.1:8091/bh")) << alias.Output;
    EXPECT_TRUE(Has(alias, "CancelarNfse: http://127.0.0.1:8091/cancelar")) << alias.Output;

    const tests::ProgramRun none = Nfse({"--pasta", root, "city", "CIDADEXX"});
    EXPECT_EQ(none.Status, 1);
    EXPECT_TRUE(Has(none, "Coleção: CIDADEXX")) << none.Output;
    EXPECT_TRUE(
        Has(none, "ConsultarNfse: Servidor para NFSe não definido no arquivo: " + root + "nfseServidoresProd.ini"))
        << none.Output;

    const tests::ProgramRun unknown = Nfse({"--pasta", root, "city", "GOTHAM"});
    EXPECT_EQ(unknown.Status, 1);
    EXPECT_TRUE(Has(unknown, "Valor inválido para Local: GOTHAM")) << unknown.Output;
    const tests::ProgramRun noLayout = Nfse({"--pasta", root, "city", "Curitiba", "PR"});
    EXPECT_EQ(noLayout.Status, 1);
    EXPECT_TRUE(Has(noLayout, "A cidade \"Curitiba\" do estado \"PR\" não possui layout")) << noLayout.Output;
    EXPECT_EQ(Nfse({"city"}).Status, 2);
}

TEST(nfse, XmlValidateListsEveryErrorAndFormatIndents)
{
    const std::string schemas = tests::CopyFixture("engine/Esquemas") + "/";
    const std::string root = tests::TempDir();
    tests::WriteFile(root + "invalido.xml",
                     "<Lote xmlns=\"http://www.exemplo.gov.br/lote\">\n<Numero>x</Numero>\n"
                     "<Cnpj>1</Cnpj>\n<Valor>1.0</Valor>\n</Lote>\n");
    tests::WriteFile(root + "valido.xml",
                     "<Lote xmlns=\"http://www.exemplo.gov.br/lote\"><Numero>1</Numero>"
                     "<Cnpj>12345678000199</Cnpj><Valor>1.0</Valor></Lote>");

    const tests::ProgramRun invalid = Nfse({"xml", "validate", root + "invalido.xml", schemas});
    EXPECT_EQ(invalid.Status, 1) << invalid.Output;
    EXPECT_NE(invalid.Output.find("linha 2: "), std::string::npos) << invalid.Output;
    EXPECT_NE(invalid.Output.find("linha 3: "), std::string::npos) << invalid.Output;
    EXPECT_NE(invalid.Output.find("2 erro(s) segundo " + schemas + "Lote.xsd"), std::string::npos) << invalid.Output;

    const tests::ProgramRun valid = Nfse({"xml", "validate", root + "valido.xml", schemas + "Lote.xsd"});
    EXPECT_EQ(valid.Status, 0) << valid.Output;

    const tests::ProgramRun formatted = Nfse({"xml", "format", root + "valido.xml"});
    EXPECT_EQ(formatted.Status, 0);
    EXPECT_EQ(formatted.Output,
              "<Lote xmlns=\"http://www.exemplo.gov.br/lote\">\n  <Numero>1</Numero>\n"
              "  <Cnpj>12345678000199</Cnpj>\n  <Valor>1.0</Valor>\n</Lote>\n");
    EXPECT_EQ(Nfse({"xml", "validate", root + "ausente.xml", schemas}).Status, 1);
}
