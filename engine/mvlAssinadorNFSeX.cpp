#include "engine/mvlAssinadorNFSeX.h"

#include "engine/XmlHandles.h"
#include "engine/mvlExceptions.h"
#include "engine/mvlNFSeXmlUtils.h"
#include "engine/mvlSigningDocument.h"
#include "platform/Format.h"
#include "platform/TextRules.h"

#include <set>

namespace engine {
namespace {

constexpr const char* kDsigNamespace = "http://www.w3.org/2000/09/xmldsig#";
constexpr std::string_view kListaRpsInvalida = "Parâmetro aListaRps contém XML inválido (XML deve estar de acordo "
                                               "com o campo ListaRps do tipo complexo tcLoteRps)";

const xmlChar* X(const char* text)
{
    return reinterpret_cast<const xmlChar*>(text);
}

bool IsDsig(const xmlNode* node, const char* localName)
{
    return node->type == XML_ELEMENT_NODE && xmlStrEqual(node->name, X(localName)) && node->ns &&
        xmlStrEqual(node->ns->href, X(kDsigNamespace));
}

template <class Visit>
void ForEachElement(xmlNode* node, const Visit& visit)
{
    for (; node != nullptr; node = node->next) {
        if (node->type == XML_ELEMENT_NODE) {
            visit(node);
            ForEachElement(node->children, visit);
        }
    }
}

std::string AttributeText(xmlAttr* attribute)
{
    XmlCharPtr value(xmlNodeListGetString(attribute->doc, attribute->children, 1));
    return ToString(value.get());
}

xmlNode* FindDsigChild(xmlNode* parent, const char* name)
{
    for (xmlNode* child = parent ? parent->children : nullptr; child; child = child->next) {
        if (IsDsig(child, name)) {
            return child;
        }
    }
    return nullptr;
}

XmlDocPtr ParseOrFail(std::string_view xml)
{
    std::string reason;
    XmlDocPtr doc = ParseXmlText(xml, &reason);
    if (!doc) {
        throw EmvlNFSeException(platform::Format("could not load xml %s [%s]", reason, xml));
    }
    return doc;
}

std::string FillPlaceholders(std::string_view text, const std::vector<std::string_view>& values)
{
    std::string result;
    size_t start = 0;
    for (std::string_view value : values) {
        const size_t at = text.find("%s", start);
        if (at == std::string_view::npos) {
            break;
        }
        result.append(text.substr(start, at - start));
        result.append(value);
        start = at + 2;
    }
    result.append(text.substr(start));
    return result;
}

std::string Serialise(xmlDoc* doc, std::string_view source)
{
    return DocumentXml(doc, platform::TrimLeft(source).starts_with("<?xml"));
}

// The element before an empty-URI Signature needs a real reference for any verifier: its own
// Id when it has one, else an Id we give it.
xmlAttr* IdOfElementBefore(xmlDoc* doc, xmlNode* signature, const std::string& idTag)
{
    xmlNode* target = signature->prev;
    while (target != nullptr && target->type != XML_ELEMENT_NODE) {
        target = target->prev;
    }
    if (target == nullptr) {
        throw EmvlNFSeSignatureException("Não foi possível encontrar o nó XML a ser assinado");
    }
    if (xmlAttr* own = xmlHasProp(target, ToXmlChar(idTag))) {
        return own;
    }
    std::set<std::string> taken;
    ForEachElement(xmlDocGetRootElement(doc), [&](xmlNode* node) {
        if (xmlAttr* attribute = xmlHasProp(node, ToXmlChar(idTag))) {
            taken.insert(AttributeText(attribute));
        }
    });
    std::string value;
    for (int n = 1; value.empty() || taken.contains(value); ++n) {
        value = ToString(target->name) + "_" + std::to_string(n);
    }
    return xmlSetProp(target, ToXmlChar(idTag), ToXmlChar(value));
}

} // namespace

xmlNode* SignSkeletonNode(xmlDoc* doc, xmlNode* signature, const std::string& idTag, const XmlSigner& signer)
{
    xmlNode* reference = FindDsigChild(FindDsigChild(signature, "SignedInfo"), "Reference");
    xmlAttr* uriAttribute = reference ? xmlHasProp(reference, X("URI")) : nullptr;
    if (uriAttribute == nullptr) {
        throw EmvlNFSeSignatureException(
            "Erro na assinatura: nó de assinatura está incompleto (falta o atributo //Reference/@URI)");
    }
    const std::string uri = AttributeText(uriAttribute);
    if (uri.empty() || uri == "#") {
        return signer.SignSkeleton(doc, signature, IdOfElementBefore(doc, signature, idTag));
    }
    if (uri.front() != '#') {
        throw EmvlNFSeSignatureException("Erro na assinatura: o atributo //Reference/@URI deve iniciar com \"#\"");
    }
    const std::string id = uri.substr(1);
    std::vector<xmlAttr*> found;
    ForEachElement(xmlDocGetRootElement(doc), [&](xmlNode* node) {
        xmlAttr* attribute = xmlHasProp(node, ToXmlChar(idTag));
        if (attribute != nullptr && AttributeText(attribute) == id) {
            found.push_back(attribute);
        }
    });
    if (found.empty()) {
        throw EmvlNFSeSignatureException(
            platform::Format("Não foi encontrado nenhum nó com o atributo %s igual a %s", idTag, id));
    }
    if (found.size() > 1) {
        throw EmvlNFSeSignatureException(
            platform::Format("Foram encontrados mais de um nó com o atributo %s igual a %s", idTag, id));
    }
    return signer.SignSkeleton(doc, signature, found.front());
}

xmlNode* SignAtSignatureInDocument(xmlDoc* doc, std::string_view signatureId, const std::string& idTag,
                                   const XmlSigner& signer)
{
    std::vector<xmlNode*> signatures;
    ForEachElement(xmlDocGetRootElement(doc), [&](xmlNode* node) {
        if (IsDsig(node, "Signature")) {
            signatures.push_back(node);
        }
    });
    xmlNode* chosen = nullptr;
    if (signatureId.empty()) {
        if (signatures.size() > 1) {
            throw EmvlNFSeSignatureException(
                "Foi encontrado mais de um nó de assinatura, é necessário informar o Id do nó de assinatura");
        }
        chosen = signatures.empty() ? nullptr : signatures.front();
    } else {
        for (xmlNode* signature : signatures) {
            xmlAttr* id = xmlHasProp(signature, X("Id"));
            if (id != nullptr && AttributeText(id) == signatureId) {
                chosen = signature;
                break;
            }
        }
    }
    if (chosen == nullptr) {
        throw EmvlNFSeSignatureException(
            platform::Format("Não foi possível encontrar nó de assinatura com o Id \"%s\"", signatureId));
    }
    return SignSkeletonNode(doc, chosen, idTag, signer);
}

std::string SignatureSkeleton(std::string_view templateText, std::string_view signatureId,
                              std::string_view referenceUri)
{
    return CompactXml(FillPlaceholders(templateText, {signatureId, referenceUri}));
}

std::string SignAtSignature(std::string_view xml, std::string_view signatureId, std::string_view idTag,
                            const XmlSigner& signer)
{
    try {
        XmlDocPtr doc = ParseOrFail(xml);
        SignAtSignatureInDocument(doc.get(), signatureId, std::string(idTag), signer);
        return Serialise(doc.get(), xml);
    } catch (const EmvlNFSeSignatureException&) {
        throw;
    } catch (const std::exception& error) {
        throw EmvlNFSeSignatureException(platform::Format("Houve um erro durante a assinatura: %s", error.what()));
    }
}

bool IsLotDocument(std::string_view rootName)
{
    return rootName == "EnviarLoteRpsEnvio" || rootName == "GerarNfseEnvio" ||
        rootName == "EnviarLoteRpsSincronoEnvio" || rootName == "SubstituirNfseEnvio" ||
        rootName == "RecepcionarLoteRps";
}

std::vector<xmlNode*> SelectElements(xmlDoc* doc, std::string_view xpath)
{
    XPathContextPtr context(xmlXPathNewContext(doc));
    XPathObjectPtr result(xmlXPathEvalExpression(ToXmlChar(std::string(xpath)), context.get()));
    if (!result) {
        throw EmvlNFSeException(platform::Format("Expressão XPath inválida: %s", xpath));
    }
    std::vector<xmlNode*> nodes;
    if (result->type == XPATH_NODESET && result->nodesetval != nullptr) {
        for (int i = 0; i < result->nodesetval->nodeNr; ++i) {
            nodes.push_back(result->nodesetval->nodeTab[i]);
        }
    }
    return nodes;
}

std::vector<std::string> ListRpsIdsInDocument(xmlDoc* doc, std::string_view xpath)
{
    xmlNode* root = xmlDocGetRootElement(doc);
    const std::string rootName = ToString(root->name);
    std::string selection(xpath);
    if (IsLotDocument(rootName)) {
        if (selection.empty()) {
            selection = R"(//*[local-name()="InfRps"]/@Id|//*[local-name()="InfRps"]/@id)";
        }
    } else if (rootName == "EnvioDadosComplementares") {
        if (selection.empty()) {
            selection = R"(//*[local-name()="InfRPSComplementar"]/@Id|//*[local-name()="InfRPSComplementar"]/@id)";
        }
    } else {
        throw EmvlNFSeSignatureException(std::string(kListaRpsInvalida));
    }
    std::vector<std::string> ids;
    for (xmlNode* node : SelectElements(doc, selection)) {
        XmlCharPtr value(xmlNodeGetContent(node));
        ids.push_back(ToString(value.get()));
    }
    return ids;
}

std::vector<std::string> ListRpsIds(std::string_view xml, std::string_view xpath)
{
    XmlDocPtr doc = ParseOrFail(xml);
    return ListRpsIdsInDocument(doc.get(), xpath);
}

namespace {

std::string IdentificationText(xmlNode* identification)
{
    std::string id;
    bool first = true;
    for (xmlNode* child = identification ? identification->children : nullptr; child; child = child->next) {
        if (child->type != XML_ELEMENT_NODE) {
            continue;
        }
        XmlCharPtr text(xmlNodeGetContent(child));
        if (!first) {
            id += "_";
        }
        id += platform::Trim(ToString(text.get()));
        first = false;
    }
    return id;
}

xmlNode* FirstDescendant(xmlNode* node, const char* localName)
{
    for (xmlNode* child = node->children; child; child = child->next) {
        if (child->type != XML_ELEMENT_NODE) {
            continue;
        }
        if (xmlStrEqual(child->name, X(localName))) {
            return child;
        }
        if (xmlNode* found = FirstDescendant(child, localName)) {
            return found;
        }
    }
    return nullptr;
}

} // namespace

void AssignAutomaticRpsIdsInDocument(xmlDoc* doc, const std::string& idTag, std::string_view rpsXPath,
                                     std::string_view identificationXPath)
{
    const bool complementary = ToString(xmlDocGetRootElement(doc)->name) == "EnvioDadosComplementares";
    const std::string containerName = complementary ? "RPSComplementar" : "Rps";
    std::string rpsSelection(rpsXPath);
    if (rpsSelection.empty()) {
        rpsSelection = complementary ? R"(//*[local-name()="InfRPSComplementar"])" : R"(//*[local-name()="InfRps"])";
    }
    std::string identification(identificationXPath);
    const bool standardIdentification = identification.empty() || identification == kRpsIdentificationXPath;
    if (identification.empty()) {
        identification =
            platform::Format(R"(//*[local-name()="%s"][%%d]//*[local-name()="IdentificacaoRps"])", containerName);
    }
    const std::vector<xmlNode*> rpsNodes = SelectElements(doc, rpsSelection);

    // The usual lot keeps all its RPS under one parent: then the n-th container is simply the
    // n-th in document order, found in one pass instead of one XPath walk per RPS.
    std::vector<xmlNode*> containers;
    if (standardIdentification) {
        ForEachElement(xmlDocGetRootElement(doc), [&](xmlNode* node) {
            if (ToString(node->name) == containerName) {
                containers.push_back(node);
            }
        });
        for (xmlNode* container : containers) {
            if (container->parent != containers.front()->parent) {
                containers.clear();
                break;
            }
        }
    }
    for (size_t n = 0; n < rpsNodes.size(); ++n) {
        xmlNode* found = nullptr;
        if (!containers.empty()) {
            found = n < containers.size() ? FirstDescendant(containers[n], "IdentificacaoRps") : nullptr;
        } else {
            std::string path = identification;
            if (const size_t at = path.find("%d"); at != std::string::npos) {
                path.replace(at, 2, std::to_string(n + 1));
            }
            const std::vector<xmlNode*> nodes = SelectElements(doc, path);
            found = nodes.empty() ? nullptr : nodes.front();
        }
        xmlSetProp(rpsNodes[n], ToXmlChar(idTag), ToXmlChar(IdentificationText(found)));
    }
}

std::string AssignAutomaticRpsIds(std::string_view xml, std::string_view idTag, std::string_view rpsXPath,
                                  std::string_view identificationXPath)
{
    XmlDocPtr doc = ParseOrFail(xml);
    AssignAutomaticRpsIdsInDocument(doc.get(), std::string(idTag), rpsXPath, identificationXPath);
    return Serialise(doc.get(), xml);
}

std::string SignRpsList(std::string_view listaRps, const SigningSettings& settings, const XmlSigner& signer,
                        int* quantidadeRps)
{
    std::string reason;
    XmlDocPtr doc = ParseXmlText(listaRps, &reason);
    xmlNode* root = doc ? xmlDocGetRootElement(doc.get()) : nullptr;
    if (root == nullptr || ToString(root->name) != "ListaRps") {
        throw EmvlNFSeSignatureException(std::string(kListaRpsInvalida));
    }
    const std::string prefix = root->ns && root->ns->prefix ? ToString(root->ns->prefix) : "default";
    const std::string namespaceUri = root->ns ? ToString(root->ns->href) : std::string();

    const std::vector<xmlNode*> infRps = SelectElements(doc.get(), R"(//*[local-name()="InfRps"])");
    if (infRps.empty()) {
        throw EmvlNFSeSignatureException("ListaRps não contém nenhuma RPS");
    }
    if (quantidadeRps) {
        *quantidadeRps = static_cast<int>(infRps.size());
    }
    if (settings.IdRpsAutomatico) {
        AssignAutomaticRpsIdsInDocument(doc.get(), settings.IdTag, {}, {});
    }
    const std::string rpsTemplate = CompactXml(settings.CarregarModelo("Rps.xml"));
    const std::string signatureTemplate =
        settings.GerarAssinaturaRps ? settings.CarregarModelo(std::string(kSignatureTemplate)) : std::string();

    std::string result;
    for (xmlNode* rps : infRps) {
        xmlAttr* idAttribute = xmlHasProp(rps, ToXmlChar(settings.IdTag));
        if (idAttribute == nullptr) {
            throw EmvlNFSeSignatureException(
                platform::Format("Atributo \"%s\" não encontrado no nó InfRps.", settings.IdTag));
        }
        const std::string id = AttributeText(idAttribute);
        std::string element = NodeXml(rps);
        const std::string declaration = platform::Format(" xmlns:%s=\"%s\"", prefix, namespaceUri);
        if (const size_t at = element.find(declaration); at != std::string::npos) {
            element.erase(at, declaration.size());
        }
        if (settings.GerarAssinaturaRps) {
            const std::string skeleton = SignatureSkeleton(signatureTemplate, "Ass_" + id, "#" + id);
            const std::string filled = CompactXml(FillPlaceholders(rpsTemplate, {element, skeleton}));
            result += SignAtSignature(filled, {}, settings.IdTag, signer);
        } else {
            result += FillPlaceholders(rpsTemplate, {element, ""});
        }
    }
    if (!namespaceUri.empty() && prefix != "default") {
        return platform::Format("<%s:ListaRps>%s</%s:ListaRps>", prefix, result, prefix);
    }
    return "<ListaRps>" + result + "</ListaRps>";
}

std::string SignByNode(std::string_view xml, std::string_view elementName, std::string_view idTag, std::string_view id,
                       const SigningSettings& settings, const XmlSigner& signer)
{
    XmlDocPtr doc = ParseOrFail(xml);
    const std::string tag(idTag);
    xmlNode* element = nullptr;
    ForEachElement(xmlDocGetRootElement(doc.get()), [&](xmlNode* node) {
        if (element == nullptr && ToString(node->name) == elementName) {
            xmlAttr* attribute = xmlHasProp(node, ToXmlChar(tag));
            if (attribute != nullptr && AttributeText(attribute) == id) {
                element = node;
            }
        }
    });
    if (element == nullptr || element->parent == nullptr || element->parent->type != XML_ELEMENT_NODE) {
        return std::string(xml);
    }
    const std::string signatureId = "Ass_" + std::string(id);
    const std::string skeletonText =
        SignatureSkeleton(settings.CarregarModelo(std::string(kSignatureTemplate)), signatureId, "#" + std::string(id));
    XmlDocPtr skeleton = ParseOrFail(skeletonText);
    xmlNode* signature = xmlDocCopyNode(xmlDocGetRootElement(skeleton.get()), doc.get(), 1);
    if (signature == nullptr) {
        throw std::bad_alloc();
    }
    xmlAddChild(element->parent, signature);
    // Signed where it stands, so the namespaces its ancestors declare are part of the digest
    // exactly as a verifier of the whole document computes it.
    try {
        SignSkeletonNode(doc.get(), signature, tag, signer);
    } catch (const EmvlNFSeSignatureException&) {
        throw;
    } catch (const std::exception& error) {
        throw EmvlNFSeSignatureException(platform::Format("Houve um erro durante a assinatura: %s", error.what()));
    }
    return Serialise(doc.get(), xml);
}

} // namespace engine
