#include "providers/mvlAbrasfCollection.h"

#include "engine/PointerFiles.h"
#include "engine/mvlExceptions.h"
#include "engine/mvlNFSe.h"
#include "engine/mvlNFSeXmlUtils.h"
#include "engine/mvlProxyNFSe.h"
#include "engine/mvlSchemaValidator.h"
#include "platform/ProgramFolder.h"
#include "providers/CollectionTable.h"
#include "tests/support/SignatureVerifier.h"
#include "tests/support/TestCertificates.h"
#include "tests/support/TestSupport.h"
#include "tools/citysim/Abrasf100City.h"
#include "tools/citysim/CitySim.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

using testing::HasSubstr;
using testing::Not;
using testing::StartsWith;

namespace {

constexpr const char* kNamespace = "http://www.abrasf.org.br/ABRASF/arquivos/nfse.xsd";

std::string SchemaFolder()
{
    return tests::SourceDir() + "data/NFSe/Engine/Esquemas/ABRASF/";
}

// The request document's errors against the ABRASF 1.00 schema of that service.
std::string SchemaErrors(const std::string& xml, const std::string& schema)
{
    TmvlSchemaValidator validator;
    validator.SetSchemaFolder(SchemaFolder());
    validator.AddSchema(kNamespace, schema);
    validator.LoadXML(xml);
    return validator.Validate() ? std::string() : validator.ErrorsAsText();
}

// A program folder with the installation data, two ABRASF 1.00 cities served by `address`
// and a certificate to sign with.
struct ProgramFolder
{
    std::string Root;
    tests::TestCertificate Certificate;
};

ProgramFolder MakeProgramFolder(const std::string& address, const std::string& city = "ARACAJU")
{
    providers::RegisterCollections();
    ProgramFolder folder;
    folder.Root = tests::TempDir() + "programa/";
    std::filesystem::create_directories(folder.Root);
    std::filesystem::copy(tests::SourceDir() + "data/", folder.Root,
                          std::filesystem::copy_options::recursive | std::filesystem::copy_options::overwrite_existing);
    folder.Certificate = tests::MakeTestCertificate(tests::TempDir(), "empresa");
    tests::WriteFile(folder.Root + "nfseConfig.ini",
                     "[NFSE]\nCIDADE=" + city +
                         "\nAmbiente=2\nTipoCertificado=FILE\n"
                         "CaminhoCertificado=" +
                         folder.Certificate.PfxFile + "\nSenhaCertificado=" + folder.Certificate.Password +
                         "\nCNPJ=12345678000195\nInscricaoMunicipal=98765\n"
                         "DiretorioEsquemas=\\NFSe\\Engine\\Esquemas\\\n"
                         "DiretorioTemplates=\\NFSe\\Engine\\Templates\\\n"
                         "DiretorioLog=\\NFSe\\Engine\\Log\\\n"
                         "DiretorioXmlImpressao=\\NFSe\\Engine\\XmlImpressao\\\n"
                         "DiretorioLogErro=\\NFSe\\Engine\\DiretorioLogErro\\\n"
                         "ValidarEsquema=1\nRemoverAcentos=1\n");
    tests::WriteFile(folder.Root + "nfseLocais.ini",
                     "[ARACAJU]\nCollectionName=ABRASF\nGerarAssinaturaRps=0\n"
                     "[FORTALEZA]\nCollectionName=ABRASF\nGerarAssinaturaRps=0\n");
    tests::WriteFile(folder.Root + "nfseServidoresHom.ini",
                     "[ARACAJU]\nNFSe=" + address + "\n[FORTALEZA]\nNFSe=" + address + "\n");
    return folder;
}

// A city of the standard on this machine and an engine configured for it.
struct Cycle
{
    tools::Abrasf100City City {SchemaFolder()};
    tools::CitySim Sim;
    ProgramFolder Folder;
    std::unique_ptr<TmvlNFSe> Engine;
    std::unique_ptr<TmvlProxyNFSe> Proxy;

    explicit Cycle(const std::string& city = "ARACAJU")
    {
        City.Install(Sim, "/nfse");
        Sim.Start();
        Folder = MakeProgramFolder(Sim.BaseUrl() + "/nfse", city);
        Engine = std::make_unique<TmvlNFSe>(Folder.Root);
        Engine->LoadConfig();
        Proxy = std::make_unique<TmvlProxyNFSe>(Engine.get());
    }
    std::string Tx2(const std::string& name = "LoteDoisTomadores.tx2")
    {
        return tests::CopyFixture("providers/Abrasf/" + name);
    }
    std::string PointerFolder() const { return Folder.Root + "NFSe/Engine/XmlImpressao/"; }
};

std::string Between(const std::string& text, const std::string& open, const std::string& close)
{
    const size_t start = text.find(open);
    if (start == std::string::npos) {
        return {};
    }
    const size_t end = text.find(close, start + open.size());
    return text.substr(start + open.size(), end == std::string::npos ? std::string::npos : end - start - open.size());
}

} // namespace

TEST(TmvlAbrasfCollection, RegistersItsOperationsInOrder)
{
    providers::RegisterCollections();
    const auto collection = TmvlCollectionFactory::Instance().Criar("abrasf");
    EXPECT_EQ(collection->Itens().Aliases(),
              (std::vector<std::string> {"GerarXMLPorTX2",
                                         "CorrigirXml",
                                         "AssinarXML",
                                         "EnviarLoteRPS",
                                         "ConsultarSituacaoLoteRPS",
                                         "ConsultarLoteRPS",
                                         "ConsultarNFSe",
                                         "ConsultarNFSePorRPS",
                                         "CancelarNFSe",
                                         "GerarRegisterXml",
                                         "RetornaChave",
                                         "RetornaCampoComum",
                                         "RetornaStringQuebraDeLinha",
                                         "ExtractEscapedContent",
                                         "GerarXMLPorTX2_ViaProxy",
                                         "AssinarXML_ViaProxy",
                                         "Enviar_ViaProxy",
                                         "EnviarSincrono_ViaProxy",
                                         "ConsultarLote_ViaProxy",
                                         "ConsultarNota_ViaProxy",
                                         "ConsultarNFSePorRPS_ViaProxy",
                                         "CancelarNota_ViaProxy"}));
}

TEST(TmvlAbrasfCollection, WholeCycleThroughTheProxyAgainstTheCity)
{
    Cycle cycle;
    TmvlProxyNFSe& proxy = *cycle.Proxy;

    const std::string xml = proxy.GerarXMLPorTX2(cycle.Tx2(), "");
    EXPECT_EQ(SchemaErrors(xml, "servico_enviar_lote_rps_envio.xsd"), "");
    // The person taking the second service is identified by CPF, as the schema asks.
    EXPECT_THAT(xml, HasSubstr("<CpfCnpj><Cpf>12345678909</Cpf></CpfCnpj>"));

    const std::string signedXml = proxy.AssinarXML(xml, "");
    EXPECT_THAT(signedXml, HasSubstr("<RazaoSocial>Cliente Numero 101 S/A</RazaoSocial>")) << "acentos removidos";
    EXPECT_EQ(SchemaErrors(signedXml, "servico_enviar_lote_rps_envio.xsd"), "");
    const std::string protocolo = proxy.Enviar(signedXml, "");
    EXPECT_EQ(protocolo, "PROT5000");

    // What the city received validates and its lot signature verifies, with xmlsec1 too.
    ASSERT_EQ(cycle.City.Checks().size(), 1u);
    EXPECT_EQ(cycle.City.Checks().back(), "");
    const std::string received = cycle.City.Documents().back();
    EXPECT_EQ(SchemaErrors(received, "servico_enviar_lote_rps_envio.xsd"), "");
    int signatures = 0;
    EXPECT_EQ(tests::VerifyWithXmlsec1(received, cycle.Folder.Certificate.CertificatePemFile,
                                       {std::string(kNamespace) + ":LoteRps"}, &signatures),
              "");
    EXPECT_EQ(signatures, 1);

    // One pointer per RPS leads to the request's log.
    for (const char* rps : {"101", "102"}) {
        const std::string log =
            engine::ReadPointerFile(cycle.PointerFolder(), engine::PointerFileName("12345678000195", rps, "NF", "1"));
        ASSERT_FALSE(log.empty()) << rps;
        EXPECT_THAT(tests::ReadFile(log), HasSubstr("<NumeroLote>12</NumeroLote>"));
    }

    const std::string lote = proxy.ConsultarLote(protocolo, "Cabecalho=true");
    EXPECT_THAT(lote, HasSubstr("<TipoRetorno>LoteNotas</TipoRetorno><SituacaoLote>4</SituacaoLote>"));
    const std::string consulta = Between(lote, "<ConsultaLote>", "</ConsultaLote>");
    EXPECT_THAT(consulta, HasSubstr("<Numero>202600001</Numero>"));

    // The print register joins each note with its RPS as sent.
    TmvlNFSe& engine = *cycle.Engine;
    engine.ConfiguracoesImpressao().ModoImpressao = TmvlModoImpressaoNFSe::printNFSe;
    const std::string registro = CompactXml(providers::RunOperation(engine, "GerarRegisterXml", {{"XML", consulta}}));
    ASSERT_TRUE(XmlIsWellFormed(registro)) << registro;
    EXPECT_THAT(registro, HasSubstr("?><Impressao><Registro><Rps><Rps><InfRps Id=\"R101\">"));
    EXPECT_THAT(registro, HasSubstr("</Rps></Rps><Nfse><CompNfse><Nfse><InfNfse Id=\"nfse202600001\">"));
    EXPECT_EQ(CountOccurrences(registro, "<Registro>"), 2);

    const std::string porRps = proxy.ConsultarNFSePorRPS("102", "NF", "1", "");
    EXPECT_THAT(porRps, HasSubstr("<Numero>202600002</Numero>"));
    EXPECT_THAT(proxy.ConsultarNota("202600001", ""), HasSubstr("<CodigoVerificacao>"));

    const std::string cancelamento = proxy.CancelarNota("202600001_2026", "Cabecalho=true");
    EXPECT_THAT(cancelamento, HasSubstr("<Cancelada>true</Cancelada>"));
    EXPECT_EQ(cycle.City.Checks().back(), "");
    const std::string cancelRequest = cycle.City.Documents().back();
    EXPECT_EQ(tests::VerifyWithXmlsec1(cancelRequest, cycle.Folder.Certificate.CertificatePemFile,
                                       {std::string(kNamespace) + ":InfPedidoCancelamento"}),
              "");
    EXPECT_THAT(cancelRequest, HasSubstr("<CodigoMunicipio>0</CodigoMunicipio>"));
    EXPECT_THAT(cancelRequest, HasSubstr("<CodigoCancelamento>0</CodigoCancelamento>"));
    EXPECT_THAT(proxy.ConsultarNota("202600001", ""), HasSubstr("<NfseCancelamento>"));

    for (const std::string& check : cycle.City.Checks()) {
        EXPECT_EQ(check, "");
    }
}

namespace {

tools::CityAnswer SendAnswer(const std::string& document)
{
    return tools::CityAnswer::Envelope(
        "<RecepcionarLoteRpsResponse xmlns=\"http://www.abrasf.org.br/ABRASF/arquivos/nfse.xsd\">" + document +
        "</RecepcionarLoteRpsResponse>");
}

std::vector<std::string> PointerFiles(const std::string& folder)
{
    std::vector<std::string> names;
    if (std::filesystem::is_directory(folder)) {
        for (const auto& entry : std::filesystem::directory_iterator(folder)) {
            if (!entry.path().filename().string().starts_with('.')) {
                names.push_back(entry.path().filename().string());
            }
        }
    }
    return names;
}

} // namespace

TEST(TmvlAbrasfCollection, SendsTheCityDidNotTakeAnswerTheLogPath)
{
    struct Row
    {
        const char* Name;
        const char* Operation;
        tools::CityAnswer Answer;
    };
    const Row rows[] = {
        {"ProtocolZero", "Enviar_ViaProxy",
         SendAnswer("<EnviarLoteRpsResposta><NumeroLote>12</NumeroLote><DataRecebimento>2026-01-15T10:00:00"
                    "</DataRecebimento><Protocolo>0</Protocolo></EnviarLoteRpsResposta>")},
        {"NoProtocol", "Enviar_ViaProxy",
         SendAnswer("<EnviarLoteRpsResposta><ListaMensagemRetorno><MensagemRetorno><Codigo>E10</Codigo>"
                    "<Mensagem>RPS ja informado</Mensagem></MensagemRetorno></ListaMensagemRetorno>"
                    "</EnviarLoteRpsResposta>")},
        {"SynchronousFault", "EnviarSincrono_ViaProxy", tools::CityAnswer::Fault("Server", "Falha interna")},
        {"SynchronousErrors", "EnviarSincrono_ViaProxy",
         SendAnswer("<EnviarLoteRpsResposta><ListaMensagemRetorno><MensagemRetorno><Codigo>E4</Codigo>"
                    "<Mensagem>Erro</Mensagem></MensagemRetorno></ListaMensagemRetorno></EnviarLoteRpsResposta>")},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Name);
        Cycle cycle;
        cycle.Sim.On("/nfse", "RecepcionarLoteRps", row.Answer);
        const std::string lot = cycle.Proxy->AssinarXML(cycle.Proxy->GerarXMLPorTX2(cycle.Tx2(), ""), "");
        const std::string result =
            providers::RunOperation(*cycle.Engine, row.Operation, {{"XML", lot}, {"Extras", "Cabecalho=true"}});
        ASSERT_THAT(result, StartsWith("-1;"));
        const std::string log = result.substr(3);
        EXPECT_THAT(log, testing::EndsWith("enviar_lote_rps_resposta.xml"));
        EXPECT_TRUE(platform::FileExists(log)) << log;
        EXPECT_TRUE(PointerFiles(cycle.PointerFolder()).empty()) << "sem protocolo, sem ponteiros";
    }

    // No answer at all is no send either: the transport says so.
    Cycle cycle;
    cycle.Sim.On("/nfse", "RecepcionarLoteRps", tools::CityAnswer {200, "text/xml; charset=utf-8", ""});
    const std::string lot = cycle.Proxy->AssinarXML(cycle.Proxy->GerarXMLPorTX2(cycle.Tx2(), ""), "");
    EXPECT_THROW(cycle.Proxy->EnviarSincrono(lot, ""), EmvlNFSeComunicationServerErrorException);
}

TEST(TmvlAbrasfCollection, SynchronousNotesComeBackWithTheirHeader)
{
    Cycle cycle;
    cycle.Sim.On("/nfse", "RecepcionarLoteRps",
                 SendAnswer("<EnviarLoteRpsResposta><CompNfse><Nfse><InfNfse><Numero>77</Numero></InfNfse></Nfse>"
                            "</CompNfse></EnviarLoteRpsResposta>"));
    const std::string lot = cycle.Proxy->AssinarXML(cycle.Proxy->GerarXMLPorTX2(cycle.Tx2(), ""), "");
    const std::string answer = cycle.Proxy->EnviarSincrono(lot, "Cabecalho=true");
    EXPECT_THAT(answer,
                StartsWith("<EnviarLoteSincrono><Header><TipoRetorno>LoteNotas</TipoRetorno></Header>"
                           "<EnvioLoteSincrono>"));
    EXPECT_THAT(answer, HasSubstr("<Numero>77</Numero>"));
}

TEST(TmvlAbrasfCollection, AFailureWritingPointersKeepsTheProtocol)
{
    Cycle cycle;
    // The pointer folder cannot be made: a file stands in its place.
    std::filesystem::remove_all(cycle.PointerFolder());
    tests::WriteFile(cycle.Folder.Root + "NFSe/Engine/XmlImpressao", "");
    const std::string lot = cycle.Proxy->AssinarXML(cycle.Proxy->GerarXMLPorTX2(cycle.Tx2(), ""), "");
    EXPECT_EQ(cycle.Proxy->Enviar(lot, ""), "PROT5000");
    const std::string errors = tests::ReadFile(cycle.Folder.Root + "NFSe/Engine/DiretorioLogErro/nfse_exception.log");
    EXPECT_THAT(errors, HasSubstr("Lote aceito (protocolo PROT5000), mas os arquivos-ponteiros não foram gravados"));
    EXPECT_EQ(cycle.Sim.RequestCount(), 1u) << "o lote não é enviado de novo";
}

TEST(TmvlAbrasfCollection, ConsultAndCancelRequests)
{
    struct Row
    {
        const char* Name;
        const char* City;
        const char* Cnpj;
        const char* Operation;
        std::vector<std::pair<std::string, std::string>> Parameters;
        std::vector<std::string> Present;
        std::vector<std::string> Absent;
    };
    const std::vector<Row> rows = {
        {"NumberOnly",
         "ARACAJU",
         "12345678000195",
         "ConsultarNFSe",
         {{"NumeroNFSe", "55"}},
         {"<Prestador><Cnpj>12345678000195</Cnpj><InscricaoMunicipal>98765</InscricaoMunicipal></Prestador>"
          "<NumeroNfse>55</NumeroNfse></ConsultarNfseEnvio>"},
         {"PeriodoEmissao", "Tomador", "IntermediarioServico"}},
        {"TakerWithoutRegistration",
         "ARACAJU",
         "12345678000195",
         "ConsultarNFSe",
         {{"NumeroNFSe", ""},
          {"DataInicial", "2026-01-01"},
          {"DataFinal", "2026-01-31"},
          {"TomadorCPFCNPJ", "11222333000181"},
          {"TomadorIM", ""}},
         {"<PeriodoEmissao><DataInicial>2026-01-01</DataInicial><DataFinal>2026-01-31</DataFinal></PeriodoEmissao>"
          "<Tomador><CpfCnpj><Cnpj>11222333000181</Cnpj></CpfCnpj></Tomador>"},
         {"NumeroNfse", "<InscricaoMunicipal></InscricaoMunicipal>", "<InscricaoMunicipal/>"}},
        {"FortalezaCpfInConsults",
         "FORTALEZA",
         "12345678901",
         "ConsultarNFSePorRPS",
         {{"NumeroRPS", "7"}, {"SerieRPS", "NF"}, {"TipoRPS", "1"}},
         {"<IdentificacaoRps><Numero>7</Numero><Serie>NF</Serie><Tipo>1</Tipo></IdentificacaoRps>"
          "<Prestador><Cnpj>CPF12345678901</Cnpj>"},
         {}},
        {"FortalezaCnpjUnchanged",
         "FORTALEZA",
         "12345678000195",
         "ConsultarLoteRPS",
         {{"Protocolo", "P1"}},
         {"<Prestador><Cnpj>12345678000195</Cnpj><InscricaoMunicipal>98765</InscricaoMunicipal></Prestador>"
          "<Protocolo>P1</Protocolo>"},
         {"CPF"}},
        {"FortalezaCancelWithoutPrefix",
         "FORTALEZA",
         "12345678901",
         "CancelarNFSe",
         {{"NumeroNFSe", "77"}, {"CodigoMunicipioIBGE", ""}, {"CodigoCancelamento", "2"}},
         {"<InfPedidoCancelamento Id=\"Cancelamento_77\"><IdentificacaoNfse><Numero>77</Numero>"
          "<Cnpj>12345678901</Cnpj><InscricaoMunicipal>98765</InscricaoMunicipal><CodigoMunicipio>0</CodigoMunicipio>"
          "</IdentificacaoNfse><CodigoCancelamento>2</CodigoCancelamento></InfPedidoCancelamento>",
          "Id=\"Assinatura_Cancelamento\"", "URI=\"#Cancelamento_77\""},
         {"CPF"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Name);
        Cycle cycle(row.City);
        cycle.Engine->SetCNPJ(row.Cnpj);
        TmvlCollectionItem& item = cycle.Engine->ObterComando(row.Operation);
        for (const auto& [name, value] : row.Parameters) {
            item.Parametros().SetValue(name, value);
        }
        (void)cycle.Engine->ExecutarComando(row.Operation);
        ASSERT_EQ(cycle.City.Documents().size(), 1u);
        const std::string request = cycle.City.Documents().back();
        for (const std::string& part : row.Present) {
            EXPECT_THAT(request, HasSubstr(part));
        }
        for (const std::string& part : row.Absent) {
            EXPECT_THAT(request, Not(HasSubstr(part)));
        }
    }
}

TEST(TmvlAbrasfCollection, DelimiterStandsBeforeEachRpsAndTheEndOfTheList)
{
    Cycle cycle;
    std::string tx2 = "formato=tx2\nINCLUIR\nNumeroLote=3\nSALVAR\n";
    for (int n = 1; n <= 3; ++n) {
        tx2 += "INCLUIRRPS\nNumeroRps=" + std::to_string(n) +
            "\nNumeroRpsSubstituido=9\nDiscriminacaoServico=linha 1|linha 2\nSALVARRPS\n";
    }
    const std::string file = tests::TempDir() + "Lote3.tx2";
    tests::WriteFile(file, tx2);
    const std::string xml = cycle.Proxy->GerarXMLPorTX2(file, "Delimitador=##");
    EXPECT_EQ(CountOccurrences(xml, "##"), 4);
    EXPECT_EQ(CountOccurrences(xml, "##<Rps>"), 3);
    EXPECT_THAT(xml, HasSubstr("##</ListaRps>"));
    EXPECT_THAT(xml, HasSubstr("<RpsSubstituido><Numero>9</Numero>")) << "uma marca parecida não recebe o delimitador";
    EXPECT_THAT(xml, HasSubstr("<Discriminacao>linha 1 linha 2</Discriminacao>"));
}

TEST(TmvlAbrasfCollection, CommonFields)
{
    Cycle cycle;
    const std::string lot = cycle.Proxy->GerarXMLPorTX2(cycle.Tx2(), "");
    struct Row
    {
        const char* Name;
        std::string Xml;
        const char* Field;
        const char* Index;
        std::string Expected; // the answer, or the error's text
    };
    const std::vector<Row> rows = {
        {"SecondRpsNumber", lot, "0", "2", "102"},
        {"TakerOfTheSecond", lot, "5", "2", "12345678909"},
        {"NoAuthorisationDate", lot, "8", "1", "<NULL>"},
        {"OutOfRange", lot, "9", "1", "Valor inválido para o parâmetro CampoComum (use um valor entre 0 e 8)"},
        {"NotANumber", lot, "x", "1", "Valor inválido para o parâmetro CampoComum (use um valor entre 0 e 8)"},
        {"TwoMatches", "<a><QuantidadeRps>1</QuantidadeRps><QuantidadeRps>2</QuantidadeRps></a>", "7", "1",
         "Erro na seleção do campo comum: encontrado mais de um campo para o comando de seleção.\rComando: "
         "//*[local-name()=\"QuantidadeRps\"]"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Name);
        try {
            EXPECT_EQ(providers::RunOperation(*cycle.Engine, "RetornaCampoComum",
                                              {{"XML", row.Xml}, {"CampoComum", row.Field}, {"Indice", row.Index}}),
                      row.Expected);
        } catch (const EmvlNFSeException& error) {
            EXPECT_EQ(error.what(), row.Expected);
        }
    }
}

TEST(TmvlAbrasfCollection, PrintRegisterByMode)
{
    Cycle cycle;
    const std::string lot = cycle.Proxy->GerarXMLPorTX2(cycle.Tx2(), "");
    TmvlNFSe& engine = *cycle.Engine;
    engine.ConfiguracoesImpressao().ModoImpressao = TmvlModoImpressaoNFSe::smiNFSe;
    try {
        providers::RunOperation(engine, "GerarRegisterXml", {{"XML", lot}});
        ADD_FAILURE();
    } catch (const EmvlNFSeException& error) {
        EXPECT_STREQ(error.what(), "Modo não suportado para essa rotina");
    }
    engine.ConfiguracoesImpressao().ModoImpressao = TmvlModoImpressaoNFSe::printRPS;
    const std::string fromLot = CompactXml(providers::RunOperation(engine, "GerarRegisterXml", {{"XML", lot}}));
    EXPECT_EQ(CountOccurrences(fromLot, "<Registro><Rps><InfRps"), 2);
    EXPECT_THAT(fromLot, Not(HasSubstr("xmlns"))) << fromLot;
}

TEST(TmvlAbrasfCollection, LotConsultKeepsEntitiesAndRepairsBareAmpersands)
{
    Cycle cycle;
    // The city escaped its document once, forgetting the "&" of a name.
    const std::string escaped =
        "&lt;ConsultarLoteRpsResposta&gt;&lt;ListaNfse&gt;&lt;CompNfse&gt;&lt;Nfse&gt;&lt;InfNfse&gt;"
        "&lt;Numero&gt;9&lt;/Numero&gt;&lt;RazaoSocial&gt;A & B Ltda&lt;/RazaoSocial&gt;"
        "&lt;Discriminacao&gt;x &amp;lt; y, servi&amp;#231;o&lt;/Discriminacao&gt;"
        "&lt;/InfNfse&gt;&lt;/Nfse&gt;&lt;/CompNfse&gt;&lt;/ListaNfse&gt;&lt;/ConsultarLoteRpsResposta&gt;";
    cycle.Sim.On("/nfse", "ConsultarLoteRps",
                 tools::CityAnswer::Envelope("<ConsultarLoteRpsResponse><ConsultarLoteRpsResult>" + escaped +
                                             "</ConsultarLoteRpsResult></ConsultarLoteRpsResponse>"));
    for (const bool throughProxy : {false, true}) {
        SCOPED_TRACE(throughProxy ? "proxy" : "operação");
        const std::string answer = throughProxy
            ? cycle.Proxy->ConsultarLote("P1", "")
            : providers::RunOperation(*cycle.Engine, "ConsultarLote_ViaProxy", {{"Protocolo", "P1"}, {"Extras", ""}});
        EXPECT_TRUE(XmlIsWellFormed(answer)) << answer;
        EXPECT_THAT(answer, HasSubstr("<RazaoSocial>A &amp; B Ltda</RazaoSocial>"));
        EXPECT_THAT(answer, HasSubstr("<Discriminacao>x &lt; y, servi&#231;o</Discriminacao>"));
    }
}

TEST(TmvlAbrasfCollection, DirectOperationsBuildSignAndSendTheLot)
{
    Cycle cycle;
    TmvlNFSe& engine = *cycle.Engine;
    const std::string lista = providers::RunOperation(engine, "GerarXMLPorTX2", {{"ArquivoTX2", cycle.Tx2()}});
    EXPECT_THAT(lista, StartsWith("<ListaRps xmlns=\"http://www.abrasf.org.br/ABRASF/arquivos/nfse.xsd\"><Rps>"));

    const std::string envelope = providers::RunOperation(engine, "AssinarXML", {{"XML", lista}, {"NumeroLote", "12"}});
    EXPECT_THAT(envelope,
                StartsWith("<RecepcionarLoteRps xmlns=\"http://www.abrasf.org.br/ABRASF/arquivos/nfse.xsd\">"
                           "<EnviarLoteRpsEnvio"));
    EXPECT_THAT(envelope, HasSubstr("<QuantidadeRps>2</QuantidadeRps>"));
    EXPECT_THAT(envelope, HasSubstr("Id=\"Ass_Lote_12\""));

    const std::string answer = providers::RunOperation(engine, "EnviarLoteRPS", {{"XML", envelope}});
    EXPECT_THAT(answer, HasSubstr("PROT5000"));
    EXPECT_EQ(cycle.City.Checks().back(), "");
    EXPECT_EQ(tests::VerifyWithXmlsec1(cycle.City.Documents().back(), cycle.Folder.Certificate.CertificatePemFile,
                                       {std::string(kNamespace) + ":LoteRps"}),
              "");
    EXPECT_EQ(PointerFiles(cycle.PointerFolder()).size(), 2u);
    EXPECT_EQ(TmvlConsultarLote_ProxyNFSeAbrasf::LotSituation(engine, "PROT5000"), "4");
}

TEST(TmvlAbrasfCollection, LotConsultWhileProcessingAndWithErrors)
{
    Cycle cycle;
    cycle.City.SetProcessingConsultations(1);
    const std::string lot = cycle.Proxy->AssinarXML(cycle.Proxy->GerarXMLPorTX2(cycle.Tx2(), ""), "");
    const std::string protocolo = cycle.Proxy->Enviar(lot, "");
    EXPECT_EQ(TmvlConsultarLote_ProxyNFSeAbrasf::LotSituation(*cycle.Engine, protocolo), "2");
    EXPECT_THAT(cycle.Proxy->ConsultarLote(protocolo, "Cabecalho=true"),
                HasSubstr("<TipoRetorno>LoteNotas</TipoRetorno><SituacaoLote>4</SituacaoLote>"));

    cycle.City.SetProcessingConsultations(1);
    const std::string outro = cycle.Proxy->Enviar(lot, "");
    EXPECT_THAT(cycle.Proxy->ConsultarLote(outro, "Cabecalho=true"),
                HasSubstr("<TipoRetorno>ListaErros</TipoRetorno><SituacaoLote>3</SituacaoLote>"));

    cycle.City.SetProcessingConsultations(0);
    cycle.City.RefuseNextLot("E10", "RPS ja informado");
    const std::string recusado = cycle.Proxy->Enviar(lot, "");
    const std::string erros = cycle.Proxy->ConsultarLote(recusado, "Cabecalho=true");
    EXPECT_THAT(erros, HasSubstr("<SituacaoLote>3</SituacaoLote>"));
    EXPECT_THAT(erros, HasSubstr("<Codigo>E10</Codigo><Mensagem>RPS ja informado</Mensagem>"));
}
