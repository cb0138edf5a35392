#include "engine/mvlSignerX.h"

#include "engine/mvlExceptions.h"
#include "tests/engine/SignatureVerifier.h"
#include "tests/support/TestCertificates.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

namespace {

constexpr const char* kAbrasf = "http://www.abrasf.org.br/nfse.xsd";

std::string Rps(const std::string& numero, const std::string& serie, const std::string& tipo,
                const std::string& infName = "InfRps")
{
    return "<Rps><" + infName + "><IdentificacaoRps><Numero>" + numero + "</Numero><Serie>" + serie + "</Serie><Tipo>" +
        tipo + "</Tipo></IdentificacaoRps><Discriminacao>Manutenção elétrica</Discriminacao></" + infName + "></Rps>";
}

class SignerXTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_certificate = tests::MakeTestCertificate(tests::TempDir(), "a1");
        m_signer.SetCaminhoCertificado(m_certificate.PfxFile);
        m_signer.SetSenhaCertificado(m_certificate.Password);
    }

    std::string Verify(const std::string& xml, const std::vector<std::string>& idElements, int* count = nullptr)
    {
        return tests::VerifyWithXmlsec1(xml, m_certificate.CertificatePemFile, idElements, count);
    }

    tests::TestCertificate m_certificate;
    TmvlSignerX m_signer;
};

TEST_F(SignerXTest, LotWithAutomaticRpsIdsAndLotIdVerifiesEverySignature)
{
    const std::string lot = std::string("<EnviarLoteRpsEnvio xmlns=\"") + kAbrasf +
        "\" xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\"><LoteRps><NumeroLote>1</NumeroLote><ListaRps>" +
        Rps("10", "A", "1") + Rps("11", "A", "1") + Rps(" 12 ", "B", "2") +
        "</ListaRps></LoteRps></EnviarLoteRpsEnvio>";
    engine::SigningSettings settings;
    m_signer.SetSecondOption(3);
    const std::string signedXml = engine::SignDocumentWithSignerX(lot, settings, m_signer);

    for (const char* id : {"Id=\"10_A_1\"", "Id=\"11_A_1\"", "Id=\"12_B_2\"", "<LoteRps Id=\"L1\">"}) {
        EXPECT_NE(signedXml.find(id), std::string::npos) << id;
    }
    EXPECT_EQ(signedXml.find("elétrica"), std::string::npos) << "accents are folded before signing";
    int count = 0;
    EXPECT_EQ(Verify(signedXml, {std::string(kAbrasf) + ":InfRps", std::string(kAbrasf) + ":LoteRps"}, &count), "");
    EXPECT_EQ(count, 4);
}

TEST_F(SignerXTest, DeclarationOfAVersion2LotAndLotWithoutIdVerify)
{
    const auto lot = [](const std::string& loteId) {
        return std::string("<EnviarLoteRpsSincronoEnvio xmlns=\"") + kAbrasf + "\"><LoteRps" + loteId +
            "><ListaRps><Rps><InfDeclaracaoPrestacaoServico Id=\"D1\"><Competencia>2024-01-01</Competencia>"
            "</InfDeclaracaoPrestacaoServico></Rps><Rps><InfDeclaracaoPrestacaoServico Id=\"D2\"><Competencia>"
            "2024-01-02</Competencia></InfDeclaracaoPrestacaoServico></Rps></ListaRps></LoteRps>"
            "</EnviarLoteRpsSincronoEnvio>";
    };
    struct Row
    {
        const char* Name;
        std::string LoteId;
        bool UsarIdLoteRps;
        std::string LotReference;
    };
    const Row rows[] = {
        {"lot by its Id", " Id=\"Lote5\"", true, "URI=\"#Lote5\""},
        {"lot given the Id L1", "", true, "URI=\"#L1\""},
        {"lot signed without Id attribute name, by its own Id", " Id=\"Lote5\"", false, "URI=\"#Lote5\""},
        {"lot without any Id: the whole document", "", false, "URI=\"\""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Name);
        engine::SigningSettings settings;
        settings.IdRpsAutomatico = false;
        settings.UsarIdLoteRps = row.UsarIdLoteRps;
        m_signer.SetSecondOption(3);
        const std::string signedXml = engine::SignDocumentWithSignerX(
            lot(row.LoteId), settings, m_signer,
            {.RpsKind = 3, .LotKind = 2, .RpsIdXPath = R"(//*[local-name()="InfDeclaracaoPrestacaoServico"]/@Id)"});
        EXPECT_NE(signedXml.find(row.LotReference), std::string::npos) << signedXml;
        int count = 0;
        EXPECT_EQ(Verify(signedXml,
                         {std::string(kAbrasf) + ":InfDeclaracaoPrestacaoServico", std::string(kAbrasf) + ":LoteRps"},
                         &count),
                  "");
        EXPECT_EQ(count, 3);
    }
}

TEST_F(SignerXTest, CancelRequestSignedByElementAndOptions)
{
    const std::string request = std::string("<CancelarNfseEnvio xmlns=\"") + kAbrasf +
        "\"><Pedido><InfPedidoCancelamento Id=\"C1\"><IdentificacaoNfse><Numero>99</Numero></IdentificacaoNfse>"
        "<CodigoCancelamento>2</CodigoCancelamento></InfPedidoCancelamento></Pedido></CancelarNfseEnvio>";
    struct Row
    {
        const char* Name;
        int SignatureOption;
        int SecondOption;
        std::string Expected;
    };
    const Row rows[] = {
        {"SHA-1, after the element", 0, 3, "</InfPedidoCancelamento><Signature"},
        {"SHA-256", 1, 3, "xmldsig-more#rsa-sha256"},
        {"inside the element", 2, 2, "enveloped-signature"},
        {"no transforms listed", 0, 0, "<Reference URI=\"#C1\"><DigestMethod"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Name);
        m_signer.SetNodeKind(5);
        m_signer.SetSignatureOption(row.SignatureOption);
        m_signer.SetSecondOption(row.SecondOption);
        const std::string signedXml = m_signer.Sign(request, "C1");
        EXPECT_NE(signedXml.find(row.Expected), std::string::npos) << signedXml;
        EXPECT_EQ(Verify(signedXml, {std::string(kAbrasf) + ":InfPedidoCancelamento"}), "");
    }
}

TEST_F(SignerXTest, NodeKindsNameTheirElements)
{
    const std::pair<int, const char*> rows[] = {
        {0, "Rps"},
        {1, "InfRps"},
        {2, "LoteRPS"},
        {3, "InfDeclaracaoPrestacaoServico"},
        {5, "InfPedidoCancelamento"},
        {20, "enviarLoteRpsEnvio"},
        {26, "WsSecurity"},
        {28, "CancelarNfse"},
    };
    for (const auto& [kind, element] : rows) {
        EXPECT_EQ(TmvlSignerX::NodeKindElement(kind), element) << kind;
    }
    m_signer.SetNodeKind(3);
    m_signer.SetNodeKind(4);
    EXPECT_EQ(m_signer.ElementName(), "InfDeclaracaoPrestacaoServico") << "kind 4 keeps the previous element";
    EXPECT_THROW(m_signer.SetNodeKind(29), EmvlNFSeSignatureException);
}

TEST_F(SignerXTest, FailuresLeaveNoSignatureAndNameTheirCause)
{
    const std::string lot = std::string("<EnviarLoteRpsEnvio xmlns=\"") + kAbrasf + "\"><LoteRps Id=\"L1\"><ListaRps>" +
        Rps("10", "A", "1") + Rps("10", "A", "1") + "</ListaRps></LoteRps></EnviarLoteRpsEnvio>";
    tests::TestCertificateOptions expiredOptions;
    expiredOptions.ValidFromDays = -400;
    expiredOptions.ValidToDays = -2;
    const tests::TestCertificate expired = tests::MakeTestCertificate(tests::TempDir(), "vencido", expiredOptions);
    struct Row
    {
        const char* Name;
        std::string Xml;
        std::string File;
        std::string Password;
        std::string MessageStart;
    };
    const Row rows[] = {
        {"duplicated automatic Id", lot, m_certificate.PfxFile, m_certificate.Password,
         "Foram encontrados mais de um nó com o atributo Id igual a 10_A_1"},
        {"no LoteRps", "<EnviarLoteRpsEnvio><ListaRps/></EnviarLoteRpsEnvio>", m_certificate.PfxFile,
         m_certificate.Password, "Não foi possível localizar a tag do lote (LoteRps) no XML"},
        {"wrong password", lot, m_certificate.PfxFile, "errada", "Senha do certificado incorreta"},
        {"expired certificate", lot, expired.PfxFile, expired.Password,
         "O certificado \"EMPRESA TESTE LTDA:12345678000195\" está vencido desde "},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Name);
        TmvlSignerX signer;
        signer.SetCaminhoCertificado(row.File);
        signer.SetSenhaCertificado(row.Password);
        try {
            engine::SignDocumentWithSignerX(row.Xml, engine::SigningSettings {}, signer);
            ADD_FAILURE() << "no error";
        } catch (const EmvlException& error) {
            EXPECT_EQ(std::string(error.what()).substr(0, row.MessageStart.size()), row.MessageStart);
        }
    }
}

TEST_F(SignerXTest, InstalledCertificateIsChosenByName)
{
    engine::CertificateStore store(tests::TempDir() + "store/");
    store.Import(m_certificate.PfxFile, m_certificate.Password);
    TmvlSignerX signer;
    signer.SetCertificateStore(store);
    signer.SetNomesCertificado("Outro Qualquer\r\nEMPRESA TESTE LTDA:12345678000195");
    signer.SetNodeKind(5);
    signer.SetSecondOption(3);
    const std::string signedXml = signer.Sign(
        "<Pedido><InfPedidoCancelamento Id=\"C7\"><Numero>1</Numero></InfPedidoCancelamento></Pedido>", "C7");
    EXPECT_EQ(Verify(signedXml, {"InfPedidoCancelamento"}), "");
}

} // namespace
