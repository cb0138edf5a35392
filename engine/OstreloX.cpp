#include "engine/OstreloX.h"

#include "engine/XmlHandles.h"
#include "engine/mvlExceptions.h"
#include "platform/Clock.h"
#include "platform/Format.h"
#include "platform/TextRules.h"

#include <map>

namespace {

std::string AttributeText(xmlAttr* attribute)
{
    engine::XmlCharPtr value(xmlNodeListGetString(attribute->doc, attribute->children, 1));
    return engine::ToString(value.get());
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

} // namespace

OstreloX::OstreloX() = default;
OstreloX::~OstreloX() = default;

const engine::XmlSigner& OstreloX::Signer()
{
    const engine::SignatureDigest digest =
        (m_signatureOption & 1) ? engine::SignatureDigest::Sha256 : engine::SignatureDigest::Sha1;
    // The password is part of what identifies the opened key, never of anything written.
    const std::string key = m_nomesCertificado + '\n' + m_caminhoCertificado + '\n' + m_senhaCertificado + '\n' +
        std::to_string(static_cast<int>(digest));
    if (!m_signer || key != m_signerKey) {
        m_signer.reset();
        engine::Certificate certificate =
            engine::SelectCertificate(m_nomesCertificado, m_caminhoCertificado, m_senhaCertificado, m_store);
        certificate.CheckUsable(platform::Clock::Now());
        m_signer = std::make_unique<engine::XmlSigner>(certificate, digest);
        m_signerKey = key;
    }
    return *m_signer;
}

void OstreloX::SignInDocument(xmlDoc* doc, const std::vector<std::string>& idValues)
{
    if (m_elementName.empty()) {
        throw EmvlNFSeSignatureException("Erro na assinatura: o nome do elemento a ser assinado não foi informado.");
    }
    const engine::XmlSigner& signer = Signer();
    const bool byId = !m_idAttribute.empty();
    // One walk finds every candidate: per-Id searches would make a large lot quadratic.
    std::map<std::string, std::vector<xmlNode*>> byValue;
    std::vector<xmlNode*> named;
    ForEachElement(xmlDocGetRootElement(doc), [&](xmlNode* node) {
        if (!platform::EqualsIgnoreCase(engine::ToString(node->name), m_elementName)) {
            return;
        }
        named.push_back(node);
        if (byId) {
            if (xmlAttr* attribute = xmlHasProp(node, engine::ToXmlChar(m_idAttribute))) {
                byValue[AttributeText(attribute)].push_back(node);
            }
        }
    });
    const engine::SignatureTransforms transforms {.Enveloped = (m_secondOption & 1) != 0,
                                                  .Canonical = (m_secondOption & 2) != 0};
    const bool inside = (m_signatureOption & 2) != 0;
    for (const std::string& idValue : idValues) {
        xmlNode* target = nullptr;
        xmlAttr* idAttribute = nullptr;
        if (byId && !idValue.empty()) {
            const auto found = byValue.find(idValue);
            if (found == byValue.end()) {
                throw EmvlNFSeSignatureException(platform::Format(
                    "Não foi encontrado nenhum nó com o atributo %s igual a %s", m_idAttribute, idValue));
            }
            if (found->second.size() > 1) {
                throw EmvlNFSeSignatureException(platform::Format(
                    "Foram encontrados mais de um nó com o atributo %s igual a %s", m_idAttribute, idValue));
            }
            target = found->second.front();
            idAttribute = xmlHasProp(target, engine::ToXmlChar(m_idAttribute));
        } else {
            if (named.empty()) {
                throw EmvlNFSeSignatureException("Não foi possível encontrar o nó XML a ser assinado");
            }
            target = named.front();
            if (target != xmlDocGetRootElement(doc)) {
                idAttribute = xmlHasProp(target, engine::ToXmlChar("Id"));
                if (idAttribute == nullptr) {
                    idAttribute = xmlHasProp(target, engine::ToXmlChar("id"));
                }
            }
        }
        signer.SignElement(doc, target, idAttribute, transforms, inside);
    }
}

std::string OstreloX::Sign(std::string_view document, std::string_view idValue)
{
    std::string reason;
    engine::XmlDocPtr doc = engine::ParseXmlText(document, &reason);
    if (!doc) {
        throw EmvlNFSeSignatureException(platform::Format("Erro na assinatura: XML inválido (%s)", reason));
    }
    SignInDocument(doc.get(), {std::string(idValue)});
    return engine::DocumentXml(doc.get(), platform::TrimLeft(document).starts_with("<?xml"));
}
