#include "engine/mvlCustomNFSe.h"

#include "engine/mvlExceptions.h"
#include "engine/mvlNFSe.h"
#include "platform/ProgramFolder.h"
#include "tests/engine/EngineTestSupport.h"

#include <gtest/gtest.h>

TEST(TmvlCustomNFSe, CityNamesResolveThroughTheTable)
{
    struct Row
    {
        const char* Given;
        const char* Cidade;
        const char* Codigo;
    };
    const std::vector<Row> rows {
        {"BELOHORIZONTEMG", "BELOHORIZONTE", "3106200"},
        {"BELOHORIZONTE", "BELOHORIZONTE", "3106200"},
        {"belohorizontemg", "BELOHORIZONTE", "3106200"},
        {"AGUDOSSP", "AGUDOSSP", "3500709"},
        {"CURITIBAPR", "CURITIBA", "4106902"},
        // Stands twice: first as the alias, later with its own code; the first line wins.
        {"UNIAODAVITORIAPR", "UNIAODAVITORIA", "4128203"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Given);
        TmvlNFSe engine(tests::TempDir());
        engine.SetCidade(row.Given);
        EXPECT_EQ(engine.Cidade(), row.Cidade);
        EXPECT_EQ(engine.CodigoIBGECidade(), row.Codigo);
    }

    TmvlNFSe engine(tests::TempDir());
    engine.SetCidade("SAOPAULOSP");
    engine.SetCidade("");
    EXPECT_EQ(engine.Cidade(), "SAOPAULO");
    try {
        engine.SetCidade("GOTHAMCITY");
        FAIL() << "accepted";
    } catch (const EmvlNFSeException& error) {
        EXPECT_STREQ(error.what(), "Valor inválido para Local: GOTHAMCITY");
    }
    EXPECT_EQ(engine.Cidade(), "SAOPAULO");
}

TEST(TmvlCustomNFSe, LocalsFileAddsCitiesAndSetsTheWebService)
{
    const std::string root = tests::MakeEngineFolder();
    TmvlNFSe engine(root);
    EXPECT_THROW(engine.SetCidade("CIDADETESTEXX"), EmvlNFSeException);
    engine.CarregarLocais();
    engine.SetCidade("CIDADETESTEXX");
    EXPECT_EQ(engine.CodigoIBGECidade(), "9999999");

    // No section for the city: the defaults, and the collection named after the city.
    engine.CarregarLocais();
    const TConfiguracoesWebService& ws = engine.ConfiguracoesWebService();
    EXPECT_EQ(ws.CollectionName, "CIDADETESTEXX");
    EXPECT_FALSE(engine.ConexaoSegura());
    EXPECT_EQ(ws.IdTag, "Id");
    EXPECT_EQ(ws.SoapActionCancelarNfse, "CancelarNfse");
    EXPECT_EQ(ws.WebserviceEncoding, "UTF-8");
    EXPECT_EQ(ws.SoapURI, kDefaultSoapURI);
    EXPECT_FALSE(ws.TargetNamespace);

    engine.SetCidade("BELOHORIZONTEMG");
    engine.CarregarLocais();
    EXPECT_EQ(ws.CollectionName, "BeloHorizonte");
    EXPECT_TRUE(engine.ConexaoSegura());
    EXPECT_EQ(ws.IdTag, "ID");
    EXPECT_TRUE(ws.UsarIdLoteRps); // a signed RPS always carries the lot's Id
    EXPECT_EQ(ws.SoapActionCancelarNfse, "http://ws/Cancelar");
    EXPECT_EQ(ws.WebserviceEncoding, "ISO-8859-1");
    EXPECT_EQ(ws.StringQuebraDeLinha, "&#xD;&#xA;");
    EXPECT_EQ(ws.SoapURI, "http://127.0.0.1/ns");
    EXPECT_EQ(ws.TargetNamespace.value_or(""), "http://ws.bhiss/");
}

TEST(TmvlCustomNFSe, ServiceAddressesFallBackToTheCitysMainAddress)
{
    const std::string root = tests::MakeEngineFolder();
    struct Row
    {
        const char* Name;
        TAmbienteKind Ambiente;
        const char* Cidade;
        TTipoServico Tipo;
        const char* Nome;
        std::string Expected; // empty: fails naming the servers file
    };
    const std::vector<Row> rows {
        {"own key", TAmbienteKind::akHomologacao, "BELOHORIZONTE", TTipoServico::tsCancelarNfse, "",
         "http://127.0.0.1:8090/bh/hom/cancelar"},
        {"falls back to NFSe", TAmbienteKind::akHomologacao, "BELOHORIZONTE", TTipoServico::tsConsultarNfse, "",
         "http://127.0.0.1:8090/bh/hom"},
        {"named service", TAmbienteKind::akHomologacao, "BELOHORIZONTE", TTipoServico::tsOutro, "Extra",
         "http://127.0.0.1:8090/bh/extra"},
        {"production file", TAmbienteKind::akProducao, "BELOHORIZONTE", TTipoServico::tsCancelarNfse, "",
         "http://127.0.0.1:8091/bh/prod"},
        {"only the service's key", TAmbienteKind::akHomologacao, "CURITIBA", TTipoServico::tsConsultarNfse, "",
         "http://127.0.0.1:8090/cwb/consultar"},
        {"neither key", TAmbienteKind::akHomologacao, "CURITIBA", TTipoServico::tsRecepcionarLoteRps, "", ""},
        {"no section", TAmbienteKind::akProducao, "CURITIBA", TTipoServico::tsConsultarNfse, "", ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Name);
        TmvlNFSe engine(root);
        engine.SetAmbiente(row.Ambiente);
        engine.SetCidade(row.Cidade);
        if (!row.Expected.empty()) {
            EXPECT_EQ(engine.ObterUrlServico(row.Tipo, row.Nome), row.Expected);
            continue;
        }
        const std::string file =
            root + (row.Ambiente == TAmbienteKind::akProducao ? "nfseServidoresProd.ini" : "nfseServidoresHom.ini");
        try {
            (void)engine.ObterUrlServico(row.Tipo, row.Nome);
            ADD_FAILURE() << "found an address";
        } catch (const EmvlNFSeAddressException& error) {
            EXPECT_EQ(std::string(error.what()), "Servidor para NFSe não definido no arquivo: " + file);
        }
    }

    TmvlNFSe engine(root);
    engine.SetCidade("BELOHORIZONTE");
    EXPECT_THROW((void)engine.ObterUrlServico(TTipoServico::tsOutro, ""), EmvlNFSeAddressException);
    engine.SetArquivoServidoresHom("ausente.ini");
    try {
        (void)engine.ObterUrlServico(TTipoServico::tsConsultarNfse);
        FAIL() << "found";
    } catch (const EmvlNFSeFileNotFoundException& error) {
        EXPECT_EQ(std::string(error.what()), "O arquivo de servidores informado não existe: " + root + "ausente.ini");
    }
}

TEST(TmvlCustomNFSe, TemplatesPreferTheirCustomCopyEvenUnderADottedFolder)
{
    const std::string root = tests::MakeEngineFolder();
    const std::string templates = root + "Engine.v2/Templates/";
    platform::ForceDirectories(templates + "BeloHorizonte");
    tests::WriteFile(templates + "envelope_soap.xml", "geral");
    tests::WriteFile(templates + "BeloHorizonte/signature_info.xml", "da coleção");

    TmvlNFSe engine(root);
    engine.SetDiretorioTemplates(templates);
    engine.SetCidade("BELOHORIZONTE");
    EXPECT_EQ(engine.CarregarModelo("envelope_soap.xml"), "geral"); // loads the locals first
    EXPECT_EQ(engine.CarregarModelo("signature_info.xml"), "da coleção");

    tests::WriteFile(templates + "envelope_soapcustom.xml", "personalizado");
    EXPECT_EQ(engine.CarregarModelo("envelope_soap.xml"), "personalizado");

    try {
        (void)engine.CarregarModelo("inexistente.xml");
        FAIL() << "loaded";
    } catch (const EmvlNFSeLoadTemplateException& error) {
        EXPECT_STREQ(error.what(), "Arquivo de template não encontrado: \"inexistente.xml\"");
    }
}

TEST(TmvlCustomNFSe, SchemaValidationKeepsEveryMessage)
{
    const std::string root = tests::MakeEngineFolder();
    const std::string schemas = tests::CopyFixture("engine/Esquemas");
    TmvlNFSe engine(root);
    engine.SetDiretorioEsquemas(schemas);
    const std::string invalid = R"(<Lote xmlns="http://www.exemplo.gov.br/lote"><Numero>x</Numero>)"
                                R"(<Cnpj>1</Cnpj><Valor>1.00</Valor></Lote>)";
    engine.ValidarXml(invalid); // off unless asked for
    engine.SetValidarEsquemaAntesEnvio(true);
    try {
        engine.ValidarXml(invalid);
        FAIL() << "valid";
    } catch (const EmvlSchemaValidationException& error) {
        EXPECT_TRUE(
            std::string(error.what()).starts_with("O arquivo contém 1 ou mais erros na validação de esquema:\r\n"))
            << error.what();
        ASSERT_EQ(engine.ErrosValidador().size(), 3u);
        EXPECT_EQ(engine.ErrosValidador().back(), error.what());
    }
    engine.ValidarXmlComEsquema(R"(<Lote xmlns="http://www.exemplo.gov.br/lote"><Numero>1</Numero>)"
                                R"(<Cnpj>12345678000199</Cnpj><Valor>1.00</Valor></Lote>)",
                                "Lote.xsd");
    EXPECT_TRUE(engine.ErrosValidador().empty());
    EXPECT_THROW(engine.ValidarXmlComEsquema("não é XML", "Lote.xsd"), EmvlNFSeOperacaoIndisponivelException);
}
