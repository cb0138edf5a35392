#include "engine/mvlProxyNFSe.h"

#include "engine/CertificateStore.h"
#include "engine/mvlExceptions.h"
#include "engine/mvlNFSe.h"
#include "tests/engine/CollectionTestSupport.h"
#include "tests/support/SignatureVerifier.h"
#include "tests/support/TestPki.h"
#include "tools/citysim/CitySim.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>

using testing::HasSubstr;
using tools::CityAnswer;

TEST(TmvlProxyNFSe, ArgumentChecksComeBeforeAnythingIsSent)
{
    TmvlProxyNFSe unbound;
    try {
        unbound.Enviar("<a/>", "");
        FAIL() << "nenhum erro";
    } catch (const EmvlNFSeProxyException& error) {
        EXPECT_STREQ(error.what(), "Componente NFSe não instanciado");
    }

    tools::CitySim sim;
    sim.UseAbrasfDialect("/nfse");
    sim.Start();
    TmvlNFSe engine(tests::MakeCollectionEngineFolder(sim.BaseUrl() + "/nfse"));
    engine.CarregarLocais();
    engine.SetCidade("CIDADEUMXX");
    TmvlProxyNFSe proxy(&engine);

    struct Row
    {
        const char* Name;
        std::function<void()> Call;
        const char* Message;
    };
    const Row rows[] = {
        {"nota_vazia", [&] { proxy.ConsultarNota("", ""); }, "Parâmetro \"aNumeroNota\" não possui valor"},
        {"rps_vazio", [&] { proxy.ConsultarNFSePorRPS("", "A", "1", ""); },
         "Parâmetro \"aNumeroRPS\" não possui valor"},
        {"rps_nao_numerico", [&] { proxy.ConsultarNFSePorRPS("12A", "A", "1", ""); }, "Parâmetro inválido: aNumeroRPS"},
        {"rps_16_digitos", [&] { proxy.ConsultarNFSePorRPS("1234567890123456", "A", "1", ""); },
         "Número do RPS não deve ter mais do que 15 caracteres"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Name);
        try {
            row.Call();
            ADD_FAILURE() << "nenhum erro";
        } catch (const EmvlNFSeCheckParams& error) {
            EXPECT_STREQ(error.what(), row.Message);
        }
    }
    // Fifteen digits pass the checks and reach the collection, which has no such operation.
    try {
        proxy.ConsultarNFSePorRPS("123456789012345", "A", "1", "");
        FAIL() << "nenhum erro";
    } catch (const EmvlNFSeCollectionException& error) {
        EXPECT_STREQ(error.what(), "Comando \"ConsultarNFSePorRPS_ViaProxy\" não foi encontrado");
    }
    EXPECT_EQ(sim.RequestCount(), 0u);
}

TEST(TmvlProxyNFSe, AnswersAreUnescapedUnlessTheyAreFaults)
{
    tools::CitySim sim;
    sim.UseAbrasfDialect("/nfse");
    sim.Start();
    TmvlNFSe engine(tests::MakeCollectionEngineFolder(sim.BaseUrl() + "/nfse"));
    engine.CarregarLocais();
    engine.SetCidade("CIDADEUMXX");
    TmvlProxyNFSe proxy(&engine);

    const std::string sent = proxy.Enviar("<EnviarLoteRpsEnvio><LoteRps><NumeroLote>9</NumeroLote><ListaRps><Rps>"
                                          "<IdentificacaoRps><Numero>10</Numero><Serie>A</Serie><Tipo>1</Tipo>"
                                          "</IdentificacaoRps></Rps></ListaRps></LoteRps></EnviarLoteRpsEnvio>",
                                          "");
    EXPECT_THAT(sent, HasSubstr("&lt;Protocolo&gt;1000&lt;/Protocolo&gt;"));

    const std::string lote = proxy.ConsultarLote("1000", "");
    EXPECT_THAT(lote, testing::StartsWith("<?xml version=\"1.0\" encoding=\"utf-8\"?><ConsultarLoteRpsResposta>"));
    EXPECT_THAT(lote, HasSubstr("<Numero>1</Numero><CodigoVerificacao>CV000001</CodigoVerificacao>"));

    sim.On("/nfse", "ConsultarLoteRps", CityAnswer::Fault("Client", "Protocolo &lt;inválido&gt;"));
    const std::string fault = proxy.ConsultarLote("1000", "");
    EXPECT_THAT(fault, HasSubstr("<faultstring>Protocolo &amp;lt;inválido&amp;gt;</faultstring>"));
}

TEST(TmvlNFSeAbrasf, DesescaparRetornoKeepsLineBreakMarksEscaped)
{
    struct Row
    {
        const char* Name;
        const char* Answer;
        const char* Expected;
    };
    const Row rows[] = {
        {"escaped", "<r>&lt;Lote&gt;&lt;Numero&gt;1&lt;/Numero&gt;&lt;/Lote&gt;</r>",
         "<Lote><Numero>1</Numero></Lote>"},
        {"cdata", "<r><![CDATA[<Lote>a &amp;amp; b</Lote>]]></r>", "<Lote>a &amp;amp; b</Lote>"},
        {"line_breaks", "<r>&lt;Msg&gt;linha 1&lt;BR&gt;linha 2&lt;br /&gt;fim&lt;/br&gt;&lt;/Msg&gt;</r>",
         "<Msg>linha 1&lt;br&gt;linha 2&lt;br /&gt;fim&lt;/br&gt;</Msg>"},
        {"parentheses", "<r>&lt;Msg&gt;valor (&amp;lt;10&amp;gt;)&lt;/Msg&gt;</r>", "<Msg>valor (10)</Msg>"},
        {"plain", "<Lote/>", "<Lote/>"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Name);
        EXPECT_EQ(TmvlNFSeAbrasf::DesescaparRetorno(row.Answer), row.Expected);
    }
}

TEST(TmvlProxyNFSe, SignedLotOverHttpsWithClientCertificate)
{
    const tests::TestPki pki = tests::MakeTestPki(tests::TempDir());
    tools::CitySimOptions options;
    options.Https = true;
    options.CertificateFile = pki.ServerCertFile;
    options.KeyFile = pki.ServerKeyFile;
    options.ClientCaFile = pki.CaCertFile;
    tools::CitySim sim(options);
    sim.UseAbrasfDialect("/nfse");
    sim.SetRequireSignedLots(true);
    sim.Start();

    TmvlNFSe engine(tests::MakeCollectionEngineFolder(sim.BaseUrl() + "/nfse"));
    engine.CarregarLocais();
    engine.SetCidade("CIDADEUMXX");
    engine.SetCaminhoCertificado(pki.ClientPfxFile);
    engine.SetSenhaCertificado(pki.ClientPassword);
    engine.SetArquivoAutoridadesCertificadoras(pki.CaCertFile);
    TmvlProxyNFSe proxy(&engine);

    const std::string lote = "<EnviarLoteRpsEnvio xmlns=\"http://www.abrasf.org.br/nfse\"><LoteRps>"
                             "<NumeroLote>31</NumeroLote><Cnpj>12345678000195</Cnpj><ListaRps>"
                             "<Rps><InfRps><IdentificacaoRps><Numero>10</Numero><Serie>A</Serie><Tipo>1</Tipo>"
                             "</IdentificacaoRps><Discriminacao>Consultoria</Discriminacao></InfRps></Rps>"
                             "</ListaRps></LoteRps></EnviarLoteRpsEnvio>";
    const std::string assinado = proxy.AssinarXML(lote, "");
    const std::string enviado = proxy.Enviar(assinado, "");
    EXPECT_THAT(enviado, HasSubstr("&lt;Protocolo&gt;1000&lt;/Protocolo&gt;"));

    // What the city received is the signed lot, verified by an independent implementation. The
    // service reads its payload as the text of the body: a copy of the element would also carry
    // the envelope's namespace, which inclusive canonicalisation would then sign over.
    const tools::RecordedRequest request = sim.LastRequest();
    EXPECT_EQ(request.ClientSubject, pki.ClientCommonName);
    const std::string text = request.Text();
    const size_t start = text.find("<soap:Body>") + std::string_view("<soap:Body>").size();
    const std::string payload = text.substr(start, text.find("</soap:Body>") - start);
    int signatures = 0;
    EXPECT_EQ(tests::VerifyWithXmlsec1(
                  payload, pki.CaCertFile,
                  {"http://www.abrasf.org.br/nfse:InfRps", "http://www.abrasf.org.br/nfse:LoteRps"}, &signatures),
              "");
    EXPECT_EQ(signatures, 2);

    const std::string consulta = proxy.ConsultarLote("1000", "");
    EXPECT_THAT(consulta, HasSubstr("<CompNfse><Nfse><InfNfse><Numero>1</Numero>"));
    EXPECT_THAT(consulta, HasSubstr("<IdentificacaoRps><Numero>10</Numero><Serie>A</Serie><Tipo>1</Tipo>"));
    EXPECT_EQ(sim.RequestCount(), 2u);

    // An unsigned lot is refused by the city's rules, not by the transport.
    EXPECT_THAT(proxy.Enviar(lote, ""), HasSubstr("E160"));

    // An installed certificate reaches the TLS layer from memory.
    setenv("XDG_DATA_HOME", (tests::TempDir() + "dados").c_str(), 1);
    engine::CertificateStore().Import(pki.ClientPfxFile, pki.ClientPassword);
    engine.SetCaminhoCertificado("");
    engine.SetSenhaCertificado("");
    engine.SetNomesCertificado({pki.ClientCommonName});
    EXPECT_THAT(proxy.ConsultarLote("1000", ""), HasSubstr("<CompNfse>"));
    EXPECT_EQ(sim.LastRequest().ClientSubject, pki.ClientCommonName);
    unsetenv("XDG_DATA_HOME");
}
