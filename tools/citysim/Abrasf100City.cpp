#include "tools/citysim/Abrasf100City.h"

#include "engine/XmlHandles.h"
#include "engine/XmlSecHandles.h"
#include "engine/mvlNFSeXmlUtils.h"
#include "engine/mvlSchemaValidator.h"
#include "engine/mvlXPath.h"
#include "platform/Format.h"
#include "platform/TextRules.h"

#include <algorithm>
#include <regex>

namespace tools {
namespace {

constexpr std::string_view kNamespace = "http://www.abrasf.org.br/ABRASF/arquivos/nfse.xsd";
constexpr std::string_view kDsigNamespace = "http://www.w3.org/2000/09/xmldsig#";

struct Service
{
    std::string_view Action;
    std::string_view Request;
    std::string_view Schema;
    std::string_view Answer;
};

constexpr Service kServices[] = {
    {"RecepcionarLoteRps", "EnviarLoteRpsEnvio", "servico_enviar_lote_rps_envio.xsd", "EnviarLoteRpsResposta"},
    {"ConsultarSituacaoLoteRps", "ConsultarSituacaoLoteRpsEnvio", "servico_consultar_situacao_lote_rps_envio.xsd",
     "ConsultarSituacaoLoteRpsResposta"},
    {"ConsultarLoteRps", "ConsultarLoteRpsEnvio", "servico_consultar_lote_rps_envio.xsd", "ConsultarLoteRpsResposta"},
    {"ConsultarNfsePorRps", "ConsultarNfseRpsEnvio", "servico_consultar_nfse_rps_envio.xsd",
     "ConsultarNfseRpsResposta"},
    {"ConsultarNfse", "ConsultarNfseEnvio", "servico_consultar_nfse_envio.xsd", "ConsultarNfseResposta"},
    {"CancelarNfse", "CancelarNfseEnvio", "servico_cancelar_nfse_envio.xsd", "CancelarNfseResposta"},
};

const Service* FindService(std::string_view action)
{
    const size_t cut = action.find_last_of("/#:");
    const std::string_view name = cut == std::string_view::npos ? action : action.substr(cut + 1);
    for (const Service& service : kServices) {
        if (service.Action == name) {
            return &service;
        }
    }
    return nullptr;
}

std::string Escape(std::string_view text)
{
    std::string out;
    for (const char c : text) {
        out += c == '&' ? std::string("&amp;") : c == '<' ? std::string("&lt;") : c == '>' ? "&gt;" : std::string(1, c);
    }
    return out;
}

// The answer document goes back escaped inside "<action>Result", as these services do.
CityAnswer Wrapped(std::string_view action, const std::string& document)
{
    return CityAnswer::Envelope(
        platform::Format("<%sResponse xmlns=\"%s\"><%sResult>%s</%sResult></%sResponse>", action, kNamespace, action,
                         Escape("<?xml version=\"1.0\" encoding=\"utf-8\"?>" + document), action, action));
}

std::string Messages(std::string_view root, std::string_view code, std::string_view text)
{
    // The schema allows 200 characters of message.
    std::string shortened(text.substr(0, 190));
    return platform::Format("<%s xmlns=\"%s\"><ListaMensagemRetorno><MensagemRetorno><Codigo>%s</Codigo>"
                            "<Mensagem>%s</Mensagem></MensagemRetorno></ListaMensagemRetorno></%s>",
                            root, kNamespace, code, Escape(platform::FoldAccents(shortened)), root);
}

// The text inside the SOAP Body, as sent: a parsed copy of an element would carry the
// envelope's namespace declarations, which inclusive canonicalisation would then sign over.
std::string BodyText(const std::string& envelope)
{
    static const std::regex open("<([A-Za-z_][\\w.-]*:)?Body(\\s[^>]*)?>");
    std::smatch match;
    if (!std::regex_search(envelope, match, open)) {
        return {};
    }
    const size_t start = static_cast<size_t>(match.position(0) + match.length(0));
    const size_t end = envelope.rfind("</" + match[1].str() + "Body>");
    return end == std::string::npos || end < start ? std::string() : envelope.substr(start, end - start);
}

// The request document inside the SOAP body: the body's element itself, a child of the
// operation element, or a document escaped inside it.
std::string RequestDocument(const std::string& body, std::string_view root)
{
    const std::string content(platform::Trim(BodyText(body)));
    TmvlXPath doc;
    if (!doc.TryLoadXML(content)) {
        return {};
    }
    if (doc.DocumentElement().LocalName() == root) {
        return content;
    }
    for (const engine::XmlNode& child : doc.DocumentElement().Children()) {
        if (child.LocalName() == root) {
            return child.Xml();
        }
    }
    const std::string embedded = ExtractEmbeddedXml(doc.DocumentElement().Text());
    TmvlXPath inner;
    if (inner.TryLoadXML(embedded) && inner.DocumentElement().LocalName() == root) {
        return embedded;
    }
    return {};
}

std::string Pem(std::string_view base64)
{
    std::string clean;
    for (const char c : base64) {
        if (c != ' ' && c != '\r' && c != '\n' && c != '\t') {
            clean += c;
        }
    }
    std::string pem = "-----BEGIN CERTIFICATE-----\n";
    for (size_t at = 0; at < clean.size(); at += 64) {
        pem += clean.substr(at, 64) + "\n";
    }
    return pem + "-----END CERTIFICATE-----\n";
}

xmlNode* FirstChild(xmlNode* node, std::string_view name)
{
    for (xmlNode* child = node ? node->children : nullptr; child; child = child->next) {
        if (child->type == XML_ELEMENT_NODE && engine::ToString(child->name) == name) {
            return child;
        }
    }
    return nullptr;
}

// Verifies every Signature with the key of the certificate it carries. Returns the failures;
// `signedParents` receives the local name of each verified signature's parent.
std::string VerifySignatures(const std::string& xml, std::vector<std::string>& signedParents)
{
    engine::EnsureXmlSec();
    std::string reason;
    engine::XmlDocPtr doc = engine::ParseXmlText(xml, &reason);
    if (!doc) {
        return "XML mal formado: " + reason;
    }
    std::vector<xmlNode*> signatures;
    engine::ForEachElement(xmlDocGetRootElement(doc.get()), [&](xmlNode* node) {
        if (xmlAttr* id = xmlHasProp(node, BAD_CAST "Id")) {
            engine::XmlCharPtr value(xmlNodeListGetString(doc.get(), id->children, 1));
            if (value && xmlGetID(doc.get(), value.get()) == nullptr) {
                xmlAddID(nullptr, doc.get(), value.get(), id);
            }
        }
        if (engine::ToString(node->name) == "Signature" && node->ns &&
            engine::ToString(node->ns->href) == kDsigNamespace) {
            signatures.push_back(node);
        }
    });
    std::string failures;
    int n = 0;
    for (xmlNode* signature : signatures) {
        ++n;
        xmlNode* certificate = FirstChild(FirstChild(FirstChild(signature, "KeyInfo"), "X509Data"), "X509Certificate");
        if (!certificate) {
            failures += platform::Format("assinatura %d sem certificado; ", n);
            continue;
        }
        engine::XmlCharPtr base64(xmlNodeGetContent(certificate));
        const std::string pem = Pem(engine::ToString(base64.get()));
        engine::XmlSecKeyPtr key(xmlSecCryptoAppKeyLoadMemory(reinterpret_cast<const xmlSecByte*>(pem.data()),
                                                              static_cast<xmlSecSize>(pem.size()),
                                                              xmlSecKeyDataFormatCertPem, nullptr, nullptr, nullptr));
        if (!key) {
            failures += platform::Format("assinatura %d: certificado ilegível (%s); ", n, engine::TakeXmlSecError());
            continue;
        }
        engine::XmlSecDSigCtxPtr context(xmlSecDSigCtxCreate(nullptr));
        context->signKey = key.release();
        if (xmlSecDSigCtxVerify(context.get(), signature) < 0 || context->status != xmlSecDSigStatusSucceeded) {
            failures += platform::Format("assinatura %d inválida (%s); ", n, engine::TakeXmlSecError());
            continue;
        }
        signedParents.push_back(signature->parent ? engine::ToString(signature->parent->name) : std::string());
    }
    return failures;
}

std::string ChildXml(TmvlXPath& doc, std::string_view name)
{
    return doc.SelectNode(platform::Format(R"(/*/*[local-name()="%s"])", name)) ? doc.CurrentNode().Xml()
                                                                                : std::string();
}

std::string TextAt(TmvlXPath& doc, std::string_view xpath)
{
    return std::string(platform::Trim(doc.SelectText(xpath)));
}

} // namespace

Abrasf100City::Abrasf100City(std::string schemaFolder)
    : m_schemaFolder(std::move(schemaFolder))
{ }

void Abrasf100City::Install(CitySim& sim, const std::string& path)
{
    sim.On(path, std::string(), [this](const RecordedRequest& request) { return Answer(request); });
}

void Abrasf100City::SetProcessingConsultations(int count)
{
    std::lock_guard lock(m_mutex);
    m_processing = count;
}

void Abrasf100City::SetRequireLotSignature(bool value)
{
    std::lock_guard lock(m_mutex);
    m_requireLotSignature = value;
}

void Abrasf100City::RefuseNextLot(std::string codigo, std::string mensagem)
{
    std::lock_guard lock(m_mutex);
    m_refuseCode = std::move(codigo);
    m_refuseMessage = std::move(mensagem);
}

std::vector<std::string> Abrasf100City::Checks() const
{
    std::lock_guard lock(m_mutex);
    return m_checks;
}

std::vector<std::string> Abrasf100City::Documents() const
{
    std::lock_guard lock(m_mutex);
    return m_documents;
}

CityAnswer Abrasf100City::Answer(const RecordedRequest& request)
{
    if (!platform::FoldCase(request.Header("Content-Type")).starts_with("text/xml")) {
        return CityAnswer::Fault("Client", "Content-Type deve ser text/xml");
    }
    const Service* service = FindService(request.SoapAction);
    if (!service) {
        return CityAnswer::Fault("Client", "Ação SOAP desconhecida: " + request.SoapAction);
    }
    const std::string document = RequestDocument(request.Text(), service->Request);
    std::string check;
    if (document.empty()) {
        check = platform::Format("o corpo SOAP não traz %s", service->Request);
    } else {
        TmvlSchemaValidator validator;
        validator.SetSchemaFolder(m_schemaFolder);
        validator.AddSchema(kNamespace, service->Schema);
        validator.LoadXML(document);
        if (!validator.Validate()) {
            check = "esquema: " + validator.ErrorsAsText();
        }
        std::vector<std::string> signedParents;
        check += VerifySignatures(document, signedParents);
        std::lock_guard lock(m_mutex);
        const auto hasSignatureIn = [&](std::string_view parent) {
            return std::find(signedParents.begin(), signedParents.end(), parent) != signedParents.end();
        };
        if (service->Action == "RecepcionarLoteRps" && m_requireLotSignature && !hasSignatureIn(service->Request)) {
            check += "lote sem assinatura; ";
        }
        if (service->Action == "CancelarNfse" && !hasSignatureIn("Pedido")) {
            check += "pedido de cancelamento sem assinatura; ";
        }
    }
    {
        std::lock_guard lock(m_mutex);
        m_checks.push_back(check);
        m_documents.push_back(document);
    }
    if (!check.empty()) {
        const bool schema = check.starts_with("esquema") || document.empty();
        return Wrapped(service->Action, Messages(service->Answer, schema ? "E1" : "E160", check));
    }
    if (service->Action == "RecepcionarLoteRps") {
        return Receive(std::string(service->Action), document);
    }
    return Consult(std::string(service->Action), document);
}

CityAnswer Abrasf100City::Receive(const std::string& action, const std::string& document)
{
    TmvlXPath doc;
    doc.LoadXML(StripNamespaces(document));
    std::lock_guard lock(m_mutex);
    Lot lot;
    lot.NumeroLote = TextAt(doc, "/EnviarLoteRpsEnvio/LoteRps/NumeroLote");
    lot.Consultas = -m_processing;
    if (!m_refuseCode.empty()) {
        lot.Erros.push_back(m_refuseCode + "|" + m_refuseMessage);
        m_refuseCode.clear();
    } else {
        doc.SelectNodes("//Rps/InfRps");
        for (const engine::XmlNode& infRps : doc.CurrentNodeList()) {
            TmvlXPath rps;
            rps.LoadXML(infRps.Xml());
            Note note;
            const int number = m_nextNote++;
            note.Numero = std::to_string(202600000 + number);
            note.CodigoVerificacao = platform::Format("V%06d", number * 7919 % 1000000);
            note.DataEmissao = TextAt(rps, "/InfRps/DataEmissao");
            note.Cnpj = TextAt(rps, "/InfRps/Prestador/Cnpj");
            note.InscricaoMunicipal = TextAt(rps, "/InfRps/Prestador/InscricaoMunicipal");
            note.NumeroRps = TextAt(rps, "/InfRps/IdentificacaoRps/Numero");
            note.SerieRps = TextAt(rps, "/InfRps/IdentificacaoRps/Serie");
            note.TipoRps = TextAt(rps, "/InfRps/IdentificacaoRps/Tipo");
            note.InfRpsXml = infRps.Xml();
            lot.Notes.push_back(m_notes.size());
            m_notes.push_back(std::move(note));
        }
    }
    const std::string protocol = platform::Format("PROT%d", m_nextProtocol++);
    m_lots[protocol] = lot;
    return Wrapped(action,
                   platform::Format("<EnviarLoteRpsResposta xmlns=\"%s\"><NumeroLote>%s</NumeroLote>"
                                    "<DataRecebimento>2026-01-15T10:00:00</DataRecebimento>"
                                    "<Protocolo>%s</Protocolo></EnviarLoteRpsResposta>",
                                    kNamespace, lot.NumeroLote, protocol));
}

std::string Abrasf100City::CompNfse(const Note& note) const
{
    TmvlXPath rps;
    rps.LoadXML(note.InfRpsXml);
    const std::string date = note.DataEmissao.substr(0, 10);
    std::string tomador = ChildXml(rps, "Tomador");
    // The taker of the note is the RPS's, under the note's element name.
    if (const size_t open = tomador.find("<Tomador"); open != std::string::npos) {
        tomador.replace(open, 8, "<TomadorServico");
    }
    if (const size_t close = tomador.rfind("</Tomador>"); close != std::string::npos) {
        tomador.replace(close, 10, "</TomadorServico>");
    } else if (const size_t empty = tomador.find("<TomadorServico/>"); empty != std::string::npos) {
        tomador = "<TomadorServico/>";
    }
    if (tomador.empty()) {
        tomador = "<TomadorServico/>";
    }
    std::string xml = platform::Format(
        "<CompNfse><Nfse><InfNfse Id=\"nfse%s\"><Numero>%s</Numero><CodigoVerificacao>%s</CodigoVerificacao>"
        "<DataEmissao>%s</DataEmissao>%s<DataEmissaoRps>%s</DataEmissaoRps>%s%s%s%s<Competencia>%s</Competencia>"
        "%s<PrestadorServico><IdentificacaoPrestador><Cnpj>%s</Cnpj>%s</IdentificacaoPrestador>"
        "<RazaoSocial>Prestador de servicos</RazaoSocial><Endereco/></PrestadorServico>%s"
        "<OrgaoGerador><CodigoMunicipio>%s</CodigoMunicipio><Uf>SE</Uf></OrgaoGerador></InfNfse></Nfse>",
        note.Numero, note.Numero, note.CodigoVerificacao, note.DataEmissao, ChildXml(rps, "IdentificacaoRps"), date,
        ChildXml(rps, "NaturezaOperacao"), ChildXml(rps, "RegimeEspecialTributacao"),
        ChildXml(rps, "OptanteSimplesNacional"), ChildXml(rps, "IncentivadorCultural"), date, ChildXml(rps, "Servico"),
        note.Cnpj,
        note.InscricaoMunicipal.empty() ? std::string()
                                        : "<InscricaoMunicipal>" + note.InscricaoMunicipal + "</InscricaoMunicipal>",
        tomador, TextAt(rps, "/InfRps/Servico/CodigoMunicipio"));
    if (note.Cancelada) {
        xml += platform::Format("<NfseCancelamento><Confirmacao Id=\"canc%s\">%s<InfConfirmacaoCancelamento>"
                                "<Sucesso>true</Sucesso><DataHora>2026-01-16T09:00:00</DataHora>"
                                "</InfConfirmacaoCancelamento></Confirmacao></NfseCancelamento>",
                                note.Numero, note.Cancelamento);
    }
    return xml + "</CompNfse>";
}

CityAnswer Abrasf100City::Consult(const std::string& action, const std::string& document)
{
    const Service* service = FindService(action);
    const std::string root(service->Answer);
    TmvlXPath doc;
    doc.LoadXML(StripNamespaces(document));
    std::lock_guard lock(m_mutex);
    const std::string cnpj = TextAt(doc, "//Prestador/Cnpj");
    const auto notFound = [&](std::string_view code, std::string_view text) {
        return Wrapped(action, Messages(root, code, text));
    };
    if (action == "ConsultarSituacaoLoteRps" || action == "ConsultarLoteRps") {
        const auto found = m_lots.find(TextAt(doc, "//Protocolo"));
        if (found == m_lots.end()) {
            return notFound("E86", "Numero do protocolo nao encontrado");
        }
        Lot& lot = found->second;
        const bool processing = lot.Consultas++ < 0;
        if (action == "ConsultarSituacaoLoteRps") {
            const char* situacao = processing ? "2" : lot.Erros.empty() ? "4" : "3";
            return Wrapped(action,
                           platform::Format("<%s xmlns=\"%s\"><NumeroLote>%s</NumeroLote><Situacao>%s</Situacao>"
                                            "</%s>",
                                            root, kNamespace, lot.NumeroLote, situacao, root));
        }
        if (processing) {
            return notFound("E92", "Lote ainda em processamento. Tente novamente mais tarde.");
        }
        if (!lot.Erros.empty()) {
            const std::string& error = lot.Erros.front();
            return notFound(error.substr(0, error.find('|')), error.substr(error.find('|') + 1));
        }
        std::string notes;
        for (const size_t index : lot.Notes) {
            notes += CompNfse(m_notes[index]);
        }
        return Wrapped(
            action, platform::Format("<%s xmlns=\"%s\"><ListaNfse>%s</ListaNfse></%s>", root, kNamespace, notes, root));
    }
    if (action == "ConsultarNfsePorRps") {
        for (const Note& note : m_notes) {
            if (note.NumeroRps == TextAt(doc, "//IdentificacaoRps/Numero") &&
                note.SerieRps == TextAt(doc, "//IdentificacaoRps/Serie") &&
                note.TipoRps == TextAt(doc, "//IdentificacaoRps/Tipo") && note.Cnpj == cnpj) {
                return Wrapped(action,
                               platform::Format("<%s xmlns=\"%s\">%s</%s>", root, kNamespace, CompNfse(note), root));
            }
        }
        return notFound("E78", "RPS nao encontrado na base de dados");
    }
    if (action == "ConsultarNfse") {
        const std::string numero = TextAt(doc, "//NumeroNfse");
        std::string notes;
        for (const Note& note : m_notes) {
            if (note.Cnpj == cnpj && (numero.empty() || note.Numero == numero)) {
                notes += CompNfse(note);
            }
        }
        if (notes.empty()) {
            return notFound("E78", "NFS-e nao encontrada");
        }
        return Wrapped(
            action, platform::Format("<%s xmlns=\"%s\"><ListaNfse>%s</ListaNfse></%s>", root, kNamespace, notes, root));
    }
    // CancelarNfse
    const std::string numero = TextAt(doc, "//IdentificacaoNfse/Numero");
    for (Note& note : m_notes) {
        if (note.Numero != numero || note.Cnpj != TextAt(doc, "//IdentificacaoNfse/Cnpj")) {
            continue;
        }
        if (note.Cancelada) {
            return notFound("E79", "Essa NFS-e ja esta cancelada");
        }
        note.Cancelada = true;
        // The Pedido goes back as signed, its signature in its own namespace.
        TmvlXPath signedPedido;
        signedPedido.LoadXML(document);
        signedPedido.SelectNode(R"(//*[local-name()="Pedido"])");
        note.Cancelamento = RootOuterXml(signedPedido.CurrentNode().Xml());
        return Wrapped(action,
                       platform::Format("<%s xmlns=\"%s\"><Cancelamento><Confirmacao Id=\"canc%s\">%s"
                                        "<InfConfirmacaoCancelamento><Sucesso>true</Sucesso>"
                                        "<DataHora>2026-01-16T09:00:00</DataHora>"
                                        "</InfConfirmacaoCancelamento></Confirmacao></Cancelamento></%s>",
                                        root, kNamespace, note.Numero, note.Cancelamento, root));
    }
    return notFound("E78", "NFS-e nao encontrada");
}

} // namespace tools
