#include "engine/mvlSignerX.h"

#include "engine/XmlHandles.h"
#include "engine/mvlExceptions.h"
#include "engine/mvlSigningDocument.h"
#include "platform/Format.h"
#include "platform/TextRules.h"

#include <array>

namespace {

constexpr std::array<std::string_view, 29> kNodeKinds = {
    "Rps",
    "InfRps",
    "LoteRPS",
    "InfDeclaracaoPrestacaoServico",
    "",
    "InfPedidoCancelamento",
    "InfRpsComplementar",
    "DadosComplementares",
    "ConsultarSituacaoLoteRpsEnvio",
    "ConsultarLoteRpsEnvio",
    "ConsultarNfseRpsEnvio",
    "ConsultarNfseEnvio",
    "CancelarNfseEnvio",
    "PedidoEnvioLoteRPS",
    "PedidoConsultaNFe",
    "PedidoConsultaNFePeriodo",
    "PedidoConsultaLote",
    "PedidoInformacoesLote",
    "PedidoCancelamentoNFe",
    "PedidoConsultaCNPJ",
    "enviarLoteRpsEnvio",
    "esConsultarNfseEnvio",
    "esConsultarLoteRpsEnvio",
    "esConsultarNfsePorRpsEnvio",
    "esCancelarNfseEnvio",
    "esConsultarSituacaoLoteRpsEnvio",
    "WsSecurity",
    "EnviarLoteRpsEnvio",
    "CancelarNfse",
};

void PrepareComponent(OstreloX& component, const std::string& names, const std::string& file,
                      const std::string& password, const std::string& idAttribute, int signatureOption,
                      const std::string& elementName, int secondOption)
{
    component.SetNomesCertificado(names);
    component.SetCaminhoCertificado(file);
    component.SetSenhaCertificado(password);
    component.SetIdAttribute(idAttribute);
    component.SetSignatureOption(signatureOption);
    component.SetElementName(elementName);
    component.SetSecondOption(secondOption);
}

} // namespace

TmvlSignerX::TmvlSignerX()
{
    SetNodeKind(2);
}

std::string_view TmvlSignerX::NodeKindElement(int kind)
{
    if (kind < 0 || kind >= static_cast<int>(kNodeKinds.size())) {
        return {};
    }
    return kNodeKinds[static_cast<size_t>(kind)];
}

void TmvlSignerX::SetNodeKind(int kind)
{
    if (kind < 0 || kind >= static_cast<int>(kNodeKinds.size())) {
        throw EmvlNFSeSignatureException(platform::Format("Tipo de nó de assinatura inválido: %d", kind));
    }
    m_nodeKind = kind;
    if (!kNodeKinds[static_cast<size_t>(kind)].empty()) {
        m_elementName = std::string(kNodeKinds[static_cast<size_t>(kind)]);
    }
}

std::string TmvlSignerX::Normalise(std::string_view document) const
{
    return m_removeAccents ? platform::FoldAccents(document) : std::string(document);
}

OstreloX& TmvlSignerX::Component()
{
    PrepareComponent(m_component, m_nomesCertificado, m_caminhoCertificado, m_senhaCertificado, m_idAttribute,
                     m_signatureOption, m_elementName, m_secondOption);
    return m_component;
}

std::string TmvlSignerX::Sign(std::string_view document, std::string_view idValue)
{
    return Component().Sign(Normalise(document), idValue);
}

std::string TmvlSignerX::SignAll(std::string_view document, const std::vector<std::string>& idValues)
{
    const std::string text = Normalise(document);
    std::string reason;
    engine::XmlDocPtr doc = engine::ParseXmlText(text, &reason);
    if (!doc) {
        throw EmvlNFSeSignatureException(platform::Format("Erro na assinatura: XML inválido (%s)", reason));
    }
    Component().SignInDocument(doc.get(), idValues);
    return engine::DocumentXml(doc.get(), platform::TrimLeft(text).starts_with("<?xml"));
}

namespace engine {

std::string SignDocumentWithSignerX(std::string_view document, const SigningSettings& settings, TmvlSignerX& signer,
                                    const SignerXKinds& kinds)
{
    signer.SetIdAttribute(settings.IdTag);
    // Accents are folded once, before any signature: folding afterwards would change signed text.
    const std::string text = signer.Normalise(document);
    std::string reason;
    XmlDocPtr doc = ParseXmlText(text, &reason);
    if (!doc) {
        throw EmvlNFSeSignatureException(platform::Format("Erro na assinatura: XML inválido (%s)", reason));
    }
    xmlNode* root = xmlDocGetRootElement(doc.get());
    const std::string rootName = ToString(root->name);

    if (settings.GerarAssinaturaRps) {
        signer.SetNodeKind(kinds.RpsKind);
        if (settings.IdRpsAutomatico) {
            if (rootName == "EnvioDadosComplementares") {
                AssignAutomaticRpsIdsInDocument(
                    doc.get(), settings.IdTag, R"(//*[local-name()="InfRPSComplementar"])",
                    R"(//*[local-name()="RPSComplementar"][%d]//*[local-name()="IdentificacaoRps"])");
            } else if (IsLotDocument(rootName)) {
                AssignAutomaticRpsIdsInDocument(doc.get(), settings.IdTag, signer.RpsIdXPath(),
                                                signer.RpsIdentificationXPath());
            }
        }
        const std::vector<std::string> ids = ListRpsIdsInDocument(doc.get(), kinds.RpsIdXPath);
        signer.Component().SignInDocument(doc.get(), ids);
    }
    if (settings.GerarAssinaturaXml) {
        signer.SetNodeKind(kinds.LotKind);
        if (settings.UsarIdLoteRps) {
            std::string id;
            std::vector<xmlNode*> lots = SelectElements(doc.get(), R"(//*[local-name()="LoteRps"])");
            xmlAttr* idAttribute = lots.empty() ? nullptr : xmlHasProp(lots.front(), ToXmlChar(settings.IdTag));
            if (idAttribute != nullptr) {
                XmlCharPtr value(xmlNodeListGetString(doc.get(), idAttribute->children, 1));
                id = ToString(value.get());
            } else {
                if (lots.empty()) {
                    throw EmvlNFSeSignatureException("Não foi possível localizar a tag do lote (LoteRps) no XML");
                }
                xmlSetProp(lots.front(), ToXmlChar(settings.IdTag), ToXmlChar(std::string("L1")));
                id = "L1";
            }
            signer.Component().SignInDocument(doc.get(), {id});
        } else {
            signer.SetIdAttribute({});
            signer.Component().SignInDocument(doc.get(), {std::string()});
        }
    }
    return DocumentXml(doc.get(), platform::TrimLeft(text).starts_with("<?xml"));
}

} // namespace engine
