#include "engine/mvlSOAPItem.h"

#include "engine/mvlExceptions.h"
#include "engine/mvlNFSe.h"
#include "tests/engine/CollectionTestSupport.h"
#include "tools/citysim/CitySim.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

using testing::HasSubstr;
using testing::MatchesRegex;
using tools::CityAnswer;

namespace {

const char* const kLote = "<EnviarLoteRpsEnvio xmlns=\"http://www.abrasf.org.br/nfse\">\n"
                          "  <LoteRps Id=\"L1\">\n"
                          "    <NumeroLote>123</NumeroLote>\n"
                          "    <ListaRps><Rps><IdentificacaoRps><Numero>10</Numero><Serie>A</Serie><Tipo>1</Tipo>"
                          "</IdentificacaoRps><Discriminacao>Manutenção</Discriminacao></Rps></ListaRps>\n"
                          "  </LoteRps>\n"
                          "</EnviarLoteRpsEnvio>\n";

struct CityEngine
{
    tools::CitySim Sim;
    std::string Root;
    std::unique_ptr<TmvlNFSe> Engine;

    explicit CityEngine(const char* city = "CIDADEUMXX")
    {
        Sim.UseAbrasfDialect("/nfse");
        Sim.Start();
        Root = tests::MakeCollectionEngineFolder(Sim.BaseUrl() + "/nfse");
        Engine = std::make_unique<TmvlNFSe>(Root);
        Engine->SetDiretorioLogErro(Root + "Erros/");
        Engine->CarregarLocais();
        Engine->SetCidade(city);
    }

    std::string Send()
    {
        Engine->ObterComando("Enviar_ViaProxy").Parametros().SetValue("XML", kLote);
        return Engine->ExecutarComando("Enviar_ViaProxy");
    }

    tests::TesteSOAPItem& Item()
    {
        return dynamic_cast<tests::TesteSOAPItem&>(Engine->ObterComando("Enviar_ViaProxy"));
    }
};

} // namespace

TEST(TmvlSOAPItem, SendsTheEnvelopeAndLogsRequestAndAnswer)
{
    struct Row
    {
        const char* City;
        const char* Action;
        const char* ContentType;
        const char* Prefix;
    };
    const Row rows[] = {
        {"CIDADEUMXX", "http://www.abrasf.org.br/nfse/RecepcionarLoteRps", "text/xml; charset=\"utf-8\"",
         "EnviarLoteRps-"},
        // A named service of the derived collection, and a city served in ISO-8859-1.
        {"CIDADEDOISXX", "http://www.abrasf.org.br/nfse/EnviarLoteDois", "text/xml; charset=\"ISO-8859-1\"",
         "EnviarDois-"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.City);
        CityEngine setup(row.City);
        if (std::string(row.City) == "CIDADEDOISXX") {
            setup.Sim.On("/nfse", "EnviarLoteDois",
                         CityAnswer::Envelope("<EnviarLoteDoisResponse><Protocolo>555</Protocolo>"
                                              "</EnviarLoteDoisResponse>"));
        }
        std::vector<std::string> logged;
        setup.Engine->SetOnLog([&](const std::string& nome, const std::string& id, const std::string&) {
            logged.push_back(nome + "#" + id);
        });
        const std::string answer = setup.Send();
        EXPECT_THAT(answer, HasSubstr("Protocolo"));

        const tools::RecordedRequest request = setup.Sim.LastRequest();
        EXPECT_EQ(request.SoapAction, row.Action);
        EXPECT_EQ(request.Header("Content-Type"), row.ContentType);
        // Compacted, inside the envelope template, with its text intact.
        EXPECT_THAT(request.Text(),
                    HasSubstr("<soap:Body><EnviarLoteRpsEnvio xmlns=\"http://www.abrasf.org.br/nfse\">"
                              "<LoteRps Id=\"L1\"><NumeroLote>123</NumeroLote>"));
        EXPECT_THAT(request.Text(), HasSubstr("<Discriminacao>Manutenção</Discriminacao>"));

        tests::TesteSOAPItem& item = setup.Item();
        const std::string prefix = row.Prefix;
        EXPECT_EQ(logged, (std::vector<std::string> {prefix + "envio#123", prefix + "resposta#123"}));
        EXPECT_THAT(
            std::filesystem::path(item.LogEnvio()).filename().string(),
            MatchesRegex("[0-9]{4}-[0-9]{2}-[0-9]{2}-[0-9]{2}-[0-9]{2}-[0-9]{2}-[0-9]+_123_" + prefix + "envio\\.xml"));
        EXPECT_THAT(item.LogResposta(), testing::EndsWith("_123_" + prefix + "resposta.xml"));
        EXPECT_EQ(tests::ReadFile(item.LogEnvio()), request.Text());
        EXPECT_EQ(tests::ReadFile(item.LogResposta()), answer);
    }
}

TEST(TmvlSOAPItem, FaultsAndCommunicationFailures)
{
    CityEngine setup;
    setup.Sim.On("/nfse", "RecepcionarLoteRps", CityAnswer::Fault("Server", "Erro interno & imprevisto"));
    const std::string fault = setup.Send();
    EXPECT_THAT(fault, HasSubstr("<faultstring>Erro interno &amp; imprevisto</faultstring>"));
    EXPECT_EQ(tests::ReadFile(setup.Item().LogResposta()), fault);

    setup.Sim.On("/nfse", "RecepcionarLoteRps", CityAnswer::HtmlPage(502, "502 Bad Gateway"));
    try {
        setup.Send();
        FAIL() << "nenhum erro";
    } catch (const EmvlNFSeComunicationServerErrorException& error) {
        EXPECT_THAT(error.what(),
                    testing::StartsWith("Ocorreu um erro durante a comunicação com o servidor: O servidor " +
                                        setup.Sim.BaseUrl() + "/nfse respondeu com o erro HTTP 502"));
    }
    // The request was logged; no answer arrived to log.
    EXPECT_FALSE(setup.Item().LogEnvio().empty());
    EXPECT_TRUE(setup.Item().LogResposta().empty());
}

TEST(TmvlSOAPItem, AnAnswerThatCannotBeLoggedStillReachesTheCaller)
{
    CityEngine setup;
    // Once the request is logged, the log folder becomes a file: the answer log cannot be written.
    setup.Engine->SetOnLog([&](const std::string& nome, const std::string&, const std::string& fileName) {
        if (nome.ends_with("envio")) {
            const std::filesystem::path folder = std::filesystem::path(fileName).parent_path();
            std::filesystem::remove_all(folder);
            tests::WriteFile(folder.string(), "não é uma pasta");
        }
    });
    const std::string answer = setup.Send();
    // The city's protocol is not lost, so the lot is not sent a second time.
    EXPECT_THAT(answer, HasSubstr("&lt;Protocolo&gt;1000&lt;/Protocolo&gt;"));
    EXPECT_TRUE(setup.Item().LogResposta().empty());
    EXPECT_THAT(tests::ReadFile(setup.Root + "Erros/nfse_exception.log"),
                HasSubstr("A resposta do servidor foi recebida, mas não pôde ser gravada no log"));
    EXPECT_EQ(setup.Sim.RequestCount(), 1u);
}

TEST(TmvlCustomNFSe, FormUploadWithTheEngineSettings)
{
    CityEngine setup;
    setup.Sim.On("/ipm", "", CityAnswer {200, "text/xml; charset=iso-8859-1", "<retorno><codigo>1</codigo></retorno>"});
    tests::WriteFile(setup.Root + "Log/envio.xml", "<nfse><rps>1</rps></nfse>");
    const std::string answer = setup.Engine->EnviarFormulario(setup.Sim.BaseUrl() + "/ipm",
                                                              {{"login", "123"}, {"senha", "s"}, {"cidade", "8179"}},
                                                              {{"f1", setup.Root + "Log/envio.xml"}}, "plain/text");
    EXPECT_EQ(answer, "<retorno><codigo>1</codigo></retorno>");
    const tools::RecordedRequest request = setup.Sim.LastRequest();
    ASSERT_EQ(request.Parts.size(), 4u);
    const auto file = std::find_if(request.Parts.begin(), request.Parts.end(),
                                   [](const tools::RecordedPart& part) { return part.Name == "f1"; });
    ASSERT_NE(file, request.Parts.end());
    EXPECT_EQ(file->ContentType, "plain/text");
    EXPECT_EQ(file->Content, "<nfse><rps>1</rps></nfse>");

    try {
        setup.Engine->EnviarFormulario(setup.Sim.BaseUrl() + "/ipm", {}, {{"f1", setup.Root + "sumiu.xml"}},
                                       "plain/text");
        FAIL() << "nenhum erro";
    } catch (const EmvlNFSeComunicationServerErrorException& error) {
        EXPECT_THAT(error.what(),
                    testing::StartsWith("Ocorreu um erro durante a comunicação com o servidor: O arquivo "
                                        "a enviar não foi encontrado"));
    }
}
