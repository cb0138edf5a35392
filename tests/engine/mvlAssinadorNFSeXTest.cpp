#include "engine/mvlAssinadorNFSeX.h"

#include "engine/CertificateStore.h"
#include "engine/mvlExceptions.h"
#include "engine/mvlNFSe.h"
#include "engine/mvlNFSeXmlUtils.h"
#include "tests/engine/EngineTestSupport.h"
#include "tests/engine/SignatureVerifier.h"
#include "tests/support/TestCertificates.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

namespace {

constexpr const char* kAbrasf = "http://www.abrasf.org.br/nfse.xsd";

class SigningTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_certificate = tests::MakeTestCertificate(tests::TempDir(), "assinante");
        m_signer = std::make_unique<engine::XmlSigner>(
            engine::Certificate::FromPkcs12File(m_certificate.PfxFile, m_certificate.Password));
        m_settings.CarregarModelo = [](const std::string& name) {
            if (name == "Rps.xml") {
                return std::string("<Rps>\n  %s\n  %s\n</Rps>");
            }
            return tests::ReadFile(tests::ProgramDir() + "NFSe/Engine/Templates/" + name);
        };
    }

    std::string Skeleton(const std::string& id, const std::string& uri) const
    {
        return engine::SignatureSkeleton(m_settings.CarregarModelo("signature_info.xml"), id, uri);
    }

    std::string Verify(const std::string& xml, const std::vector<std::string>& idElements, int* count = nullptr)
    {
        return tests::VerifyWithXmlsec1(xml, m_certificate.CertificatePemFile, idElements, count);
    }

    tests::TestCertificate m_certificate;
    std::unique_ptr<engine::XmlSigner> m_signer;
    engine::SigningSettings m_settings;
};

// A lot whose root declares more namespaces than the signed element uses: inclusive C14N
// renders them all, so the digest only matches when the signature is made in place.
std::string Lot(const std::string& loteId, const std::string& signature)
{
    return std::string("<EnviarLoteRpsEnvio xmlns=\"") + kAbrasf +
        "\" xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\"><LoteRps" + loteId +
        "><NumeroLote>7</NumeroLote><Cnpj>12345678000195</Cnpj><ListaRps><Rps><InfRps Id=\"R1\">"
        "<IdentificacaoRps><Numero>10</Numero><Serie>A</Serie><Tipo>1</Tipo></IdentificacaoRps>"
        "<Discriminacao>Serviço de manutenção &amp; reparo</Discriminacao></InfRps></Rps></ListaRps></LoteRps>" +
        signature + "</EnviarLoteRpsEnvio>";
}

TEST_F(SigningTest, LotSignedAtItsSkeletonVerifiesAndStaysCompact)
{
    const std::string input = Lot(" Id=\"L1\"", Skeleton("Ass_Lote_7", "#L1"));
    const std::string signedXml = engine::SignAtSignature(input, "Ass_Lote_7", "Id", *m_signer);

    EXPECT_EQ(Verify(signedXml, {std::string(kAbrasf) + ":LoteRps"}), "");
    const size_t start = signedXml.find("<Signature");
    ASSERT_NE(start, std::string::npos);
    EXPECT_EQ(signedXml.find('\n', start), std::string::npos) << "line feed inside the signature";
    EXPECT_NE(signedXml.find("<X509Certificate>MII"), std::string::npos);
    EXPECT_NE(signedXml.find("<Reference URI=\"#L1\">"), std::string::npos);

    std::string tampered = signedXml;
    tampered.replace(tampered.find("<NumeroLote>7<"), 14, "<NumeroLote>8<");
    EXPECT_NE(Verify(tampered, {std::string(kAbrasf) + ":LoteRps"}), "") << "the verifier must notice a change";
}

TEST_F(SigningTest, EmptyReferenceSignsTheElementBeforeTheSignature)
{
    struct Row
    {
        const char* Name;
        std::string LoteId;
        std::string Uri;
        std::string ExpectedUri;
    };
    const Row rows[] = {
        {"own Id, empty URI", " Id=\"L9\"", "", "#L9"},
        {"own Id, bare #", " Id=\"L9\"", "#", "#L9"},
        {"no Id: one is given", "", "", "#LoteRps_1"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Name);
        const std::string signedXml =
            engine::SignAtSignature(Lot(row.LoteId, Skeleton("Ass_Lote_7", row.Uri)), {}, "Id", *m_signer);
        EXPECT_NE(signedXml.find("<Reference URI=\"" + row.ExpectedUri + "\">"), std::string::npos) << signedXml;
        EXPECT_EQ(Verify(signedXml, {std::string(kAbrasf) + ":LoteRps"}), "");
    }
}

TEST_F(SigningTest, SkeletonErrorsNameTheirCause)
{
    struct Row
    {
        const char* Name;
        std::string Xml;
        std::string SignatureId;
        std::string Message;
    };
    const std::string skeleton = Skeleton("Ass_A", "#L1");
    const Row rows[] = {
        {"two skeletons, no Id asked", Lot(" Id=\"L1\"", skeleton + Skeleton("Ass_B", "#L1")), "",
         "Foi encontrado mais de um nó de assinatura, é necessário informar o Id do nó de assinatura"},
        {"no skeleton with that Id", Lot(" Id=\"L1\"", skeleton), "Ass_X",
         "Não foi possível encontrar nó de assinatura com o Id \"Ass_X\""},
        {"no skeleton at all", Lot(" Id=\"L1\"", ""), "", "Não foi possível encontrar nó de assinatura com o Id \"\""},
        {"duplicated Id", "<Envio><LoteRps Id=\"L1\"/><Outro Id=\"L1\"/>" + skeleton + "</Envio>", "",
         "Foram encontrados mais de um nó com o atributo Id igual a L1"},
        {"missing Id", Lot(" Id=\"L2\"", skeleton), "", "Não foi encontrado nenhum nó com o atributo Id igual a L1"},
        {"URI without #", Lot(" Id=\"L1\"", Skeleton("Ass_A", "L1")), "",
         "Erro na assinatura: o atributo //Reference/@URI deve iniciar com \"#\""},
        {"Reference without URI",
         Lot(" Id=\"L1\"",
             "<Signature xmlns=\"http://www.w3.org/2000/09/xmldsig#\"><SignedInfo><Reference/>"
             "</SignedInfo></Signature>"),
         "", "Erro na assinatura: nó de assinatura está incompleto (falta o atributo //Reference/@URI)"},
        {"nothing before an empty reference", "<Envio>" + Skeleton("Ass_A", "") + "</Envio>", "",
         "Não foi possível encontrar o nó XML a ser assinado"},
        {"not XML", "<Envio>", "", "Houve um erro durante a assinatura: "},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Name);
        try {
            engine::SignAtSignature(row.Xml, row.SignatureId, "Id", *m_signer);
            ADD_FAILURE() << "no error";
        } catch (const EmvlNFSeSignatureException& error) {
            EXPECT_EQ(std::string(error.what()).substr(0, row.Message.size()), row.Message);
        }
    }
}

TEST_F(SigningTest, NodeSignedInsideTheWholeDocumentVerifiesAfterTextRoundTrips)
{
    // A 2.x lot with a prefixed namespace declared only on the root: a signature computed over a
    // re-parsed copy of the parent would lose the declaration and fail any verifier.
    const std::string input =
        "<n:EnviarLoteRpsSincronoEnvio xmlns:n=\"http://www.abrasf.org.br/nfse.xsd\" xmlns:o=\"urn:outro\">"
        "<n:LoteRps Id=\"L1\"><n:ListaRps><n:Rps><n:InfDeclaracaoPrestacaoServico Id=\"D15\"><n:Competencia>"
        "2024-05-01</n:Competencia><n:Servico><n:Discriminacao>Consultoria \"fiscal\" &lt;mensal&gt;"
        "</n:Discriminacao></n:Servico></n:InfDeclaracaoPrestacaoServico></n:Rps></n:ListaRps></n:LoteRps>"
        "</n:EnviarLoteRpsSincronoEnvio>";
    std::string signedXml =
        engine::SignByNode(input, "InfDeclaracaoPrestacaoServico", "Id", "D15", m_settings, *m_signer);
    signedXml = engine::SignByNode(signedXml, "LoteRps", "Id", "L1", m_settings, *m_signer);

    const std::vector<std::string> ids = {std::string(kAbrasf) + ":InfDeclaracaoPrestacaoServico",
                                          std::string(kAbrasf) + ":LoteRps"};
    int count = 0;
    EXPECT_EQ(Verify(signedXml, ids, &count), "");
    EXPECT_EQ(count, 2);
    EXPECT_NE(signedXml.find("Id=\"Ass_D15\""), std::string::npos);

    EXPECT_EQ(Verify(CompactXml(signedXml), ids), "") << "after CompactXml";
    EXPECT_EQ(UnescapeXml(EscapeXml(signedXml)), signedXml);
    EXPECT_EQ(Verify(UnescapeXml(EscapeXml(signedXml)), ids), "") << "after escape and unescape";
    EXPECT_EQ(Verify(ExtractEmbeddedXml("<Retorno>" + EscapeXml(signedXml) + "</Retorno>"), ids), "")
        << "after travelling escaped inside another element";
}

TEST_F(SigningTest, NodeSignerLeavesTheDocumentAloneWhenTheElementIsMissing)
{
    const std::string input = Lot(" Id=\"L1\"", "");
    EXPECT_EQ(engine::SignByNode(input, "InfRps", "Id", "R9", m_settings, *m_signer), input);
}

TEST_F(SigningTest, RpsListGetsAutomaticIdsAndSignaturesThatVerifyInsideTheLot)
{
    const std::string lista = std::string("<ListaRps xmlns=\"") + kAbrasf +
        "\"><Rps><InfRps><IdentificacaoRps><Numero>10</Numero><Serie>A</Serie><Tipo>1</Tipo></IdentificacaoRps>"
        "<Valor>1.00</Valor></InfRps></Rps><Rps><InfRps><IdentificacaoRps><Numero> 11 </Numero><Serie>B</Serie>"
        "<Tipo>2</Tipo></IdentificacaoRps><Valor>2.00</Valor></InfRps></Rps></ListaRps>";
    int quantidade = 0;
    const std::string signedList = engine::SignRpsList(lista, m_settings, *m_signer, &quantidade);

    EXPECT_EQ(quantidade, 2);
    EXPECT_NE(signedList.find("Id=\"10_A_1\""), std::string::npos);
    EXPECT_NE(signedList.find("Id=\"11_B_2\""), std::string::npos);
    EXPECT_NE(signedList.find("Id=\"Ass_11_B_2\""), std::string::npos);
    const std::string lot = std::string("<EnviarLoteRpsEnvio xmlns=\"") + kAbrasf + "\"><LoteRps Id=\"L1\">" +
        signedList + "</LoteRps></EnviarLoteRpsEnvio>";
    int count = 0;
    EXPECT_EQ(Verify(lot, {std::string(kAbrasf) + ":InfRps"}, &count), "");
    EXPECT_EQ(count, 2);
}

TEST_F(SigningTest, RpsListErrors)
{
    struct Row
    {
        const char* Name;
        std::string Xml;
        bool Automatic;
        std::string Message;
    };
    const Row rows[] = {
        {"not a ListaRps", "<Lote/>", true,
         "Parâmetro aListaRps contém XML inválido (XML deve estar de acordo com o campo ListaRps do tipo complexo "
         "tcLoteRps)"},
        {"no RPS", "<ListaRps></ListaRps>", true, "ListaRps não contém nenhuma RPS"},
        {"RPS without Id", "<ListaRps><Rps><InfRps/></Rps></ListaRps>", false,
         "Atributo \"Id\" não encontrado no nó InfRps."},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Name);
        engine::SigningSettings settings = m_settings;
        settings.IdRpsAutomatico = row.Automatic;
        try {
            engine::SignRpsList(row.Xml, settings, *m_signer);
            ADD_FAILURE() << "no error";
        } catch (const EmvlNFSeSignatureException& error) {
            EXPECT_EQ(error.what(), row.Message);
        }
    }
}

TEST(ListRpsIds, ListsByRootKind)
{
    EXPECT_EQ(engine::ListRpsIds("<GerarNfseEnvio><Rps><InfRps Id=\"a\"/></Rps><Rps><InfRps id=\"b\"/></Rps>"
                                 "</GerarNfseEnvio>"),
              (std::vector<std::string> {"a", "b"}));
    EXPECT_EQ(engine::ListRpsIds("<EnvioDadosComplementares><InfRPSComplementar Id=\"c\"/></EnvioDadosComplementares>"),
              (std::vector<std::string> {"c"}));
    EXPECT_EQ(engine::ListRpsIds("<RecepcionarLoteRps><X Cod=\"z\"/></RecepcionarLoteRps>", "//X/@Cod"),
              (std::vector<std::string> {"z"}));
    EXPECT_THROW(engine::ListRpsIds("<ConsultarNfseEnvio/>"), EmvlNFSeSignatureException);
}

TEST(TmvlCustomNFSe, SignsWithTheCityIdAttributeAndTheCertificateItsSettingsChoose)
{
    const std::string root = tests::MakeEngineFolder(); // Belo Horizonte's web service names its Ids "ID"
    const tests::TestCertificate made = tests::MakeTestCertificate(root, "a1");
    TmvlNFSe nfse(root);
    nfse.SetDiretorioTemplates(tests::ProgramDir() + "NFSe/Engine/Templates/");
    nfse.SetCidade("BELOHORIZONTE");
    nfse.CarregarLocais();
    nfse.SetCaminhoCertificado(made.PfxFile);
    nfse.SetSenhaCertificado(made.Password);
    ASSERT_EQ(nfse.ConfiguracoesWebService().IdTag, "ID");

    struct Row
    {
        const char* Name;
        std::string InfAttribute;
        std::string Uri;
        std::string ExpectedReference;
    };
    const Row rows[] = {
        {"cancel by its Id", " ID=\"Cancelamento_99\"", "#Cancelamento_99", "#Cancelamento_99"},
        {"cancel without Id: the element before the signature", "", "", "#InfPedidoCancelamento_1"},
    };
    const std::string skeletonTemplate = nfse.CarregarModelo("signature_info.xml");
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Name);
        const std::string request = std::string("<CancelarNfseEnvio xmlns=\"") + kAbrasf +
            "\"><Pedido><InfPedidoCancelamento" + row.InfAttribute +
            "><IdentificacaoNfse><Numero>99</Numero></IdentificacaoNfse><CodigoCancelamento>2</CodigoCancelamento>"
            "</InfPedidoCancelamento>" +
            engine::SignatureSkeleton(skeletonTemplate, "Assinatura_Cancelamento", row.Uri) +
            "</Pedido></CancelarNfseEnvio>";
        const std::string signedXml = nfse.AssinarXml(request, "Assinatura_Cancelamento");
        EXPECT_NE(signedXml.find("<Reference URI=\"" + row.ExpectedReference + "\">"), std::string::npos);
        EXPECT_EQ(tests::VerifyWithXmlsec1(signedXml, made.CertificatePemFile,
                                           {std::string(kAbrasf) + ":InfPedidoCancelamento"}, nullptr, "ID"),
                  "");
    }

    tests::WriteFile(root + "Templates/Rps.xml", "<Rps>%s%s</Rps>");
    nfse.SetDiretorioTemplates(root + "Templates/");
    tests::WriteFile(root + "Templates/signature_info.xml", skeletonTemplate);
    const std::string lista = "<ListaRps><Rps><InfRps><IdentificacaoRps><Numero>1</Numero></IdentificacaoRps></InfRps>"
                              "</Rps><Rps><InfRps><IdentificacaoRps><Numero>2</Numero></IdentificacaoRps></InfRps>"
                              "</Rps><Rps><InfRps><IdentificacaoRps><Numero>3</Numero></IdentificacaoRps></InfRps>"
                              "</Rps></ListaRps>";
    const std::string signedList = nfse.AssinarXml(lista);
    EXPECT_EQ(nfse.QuantidadeRPS(), 3);
    EXPECT_NE(signedList.find("<InfRps ID=\"3\">"), std::string::npos);
    EXPECT_EQ(tests::VerifyWithXmlsec1(signedList, made.CertificatePemFile, {"InfRps"}, nullptr, "ID"), "");
}

TEST(TmvlNFSeGov, CertificateOperationsUseTheUsersStore)
{
    setenv("XDG_DATA_HOME", (tests::TempDir() + "dados").c_str(), 1);
    tests::TestCertificateOptions expired;
    expired.CommonName = "Vencida";
    expired.ValidFromDays = -60;
    expired.ValidToDays = -1;
    engine::CertificateStore().Import(tests::MakeTestCertificate(tests::TempDir(), "v", expired).PfxFile, "senha123");
    engine::CertificateStore().Import(tests::MakeTestCertificate(tests::TempDir(), "a1").PfxFile, "senha123");

    TmvlNFSe nfse(tests::TempDir());
    std::vector<std::string> names;
    nfse.ListarCertificados(&names);
    EXPECT_EQ(names, (std::vector<std::string> {"EMPRESA TESTE LTDA:12345678000195", "Vencida"}));
    EXPECT_THROW(nfse.ListarCertificados(nullptr), EmvlNFSeCheckParams);
    EXPECT_TRUE(nfse.VerificarCertificado("EMPRESA TESTE LTDA:12345678000195"));
    EXPECT_FALSE(nfse.VerificarCertificado("Vencida"));

    EXPECT_NO_THROW(nfse.CheckSelectedCertificate()) << "nothing chosen";
    nfse.SetNomesCertificado({"Vencida"});
    EXPECT_THROW(nfse.CheckSelectedCertificate(), EmvlCertStoreException);
    nfse.SetNomesCertificado({"EMPRESA TESTE LTDA:12345678000195"});
    EXPECT_NO_THROW(nfse.CheckSelectedCertificate());
    unsetenv("XDG_DATA_HOME");
}

} // namespace
