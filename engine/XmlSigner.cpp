#include "engine/XmlSigner.h"

#include "engine/OpenSslHandles.h"
#include "engine/XmlHandles.h"
#include "engine/XmlSecHandles.h"
#include "engine/mvlExceptions.h"
#include "platform/Format.h"

#include <xmlsec/openssl/evp.h>
#include <xmlsec/openssl/x509.h>
#include <xmlsec/templates.h>
#include <xmlsec/xmltree.h>

#include <vector>

namespace engine {

struct XmlSigner::Key
{
    XmlSecKeyPtr Value;
};

namespace {

const xmlChar* X(const char* text)
{
    return reinterpret_cast<const xmlChar*>(text);
}

std::string AttributeValue(xmlAttr* attribute)
{
    XmlCharPtr value(xmlNodeListGetString(attribute->doc, attribute->children, 1));
    return ToString(value.get());
}

// xmlsec finds the element of "#Id" through the document's Id table: the attribute must be in
// it, and no other element may hold the same value.
void RegisterId(xmlDoc* doc, xmlAttr* attribute)
{
    const std::string value = AttributeValue(attribute);
    if (value.empty()) {
        throw EmvlNFSeSignatureException(platform::Format("Erro na assinatura: o atributo %s do nó %s está vazio.",
                                                          ToString(attribute->name),
                                                          ToString(attribute->parent->name)));
    }
    xmlAttr* known = xmlGetID(doc, ToXmlChar(value));
    if (known == attribute) {
        return;
    }
    if (known != nullptr || xmlAddID(nullptr, doc, ToXmlChar(value), attribute) == nullptr) {
        throw EmvlNFSeSignatureException(platform::Format(
            "Foram encontrados mais de um nó com o atributo %s igual a %s", ToString(attribute->name), value));
    }
}

xmlNode* FindDsigChild(xmlNode* parent, const char* name)
{
    for (xmlNode* child = parent ? parent->children : nullptr; child; child = child->next) {
        if (child->type == XML_ELEMENT_NODE && xmlStrEqual(child->name, X(name)) && child->ns &&
            xmlStrEqual(child->ns->href, xmlSecDSigNs)) {
            return child;
        }
    }
    return nullptr;
}

void SetReferenceUri(xmlNode* signature, const std::string& uri)
{
    xmlNode* reference = FindDsigChild(FindDsigChild(signature, "SignedInfo"), "Reference");
    if (reference == nullptr) {
        throw EmvlNFSeSignatureException(
            "Erro na assinatura: nó de assinatura está incompleto (falta o atributo //Reference/@URI)");
    }
    xmlSetProp(reference, X("URI"), ToXmlChar(uri));
}

void SignPrepared(xmlDoc* doc, xmlNode* signature, xmlAttr* idAttribute, const xmlSecKey* key)
{
    if (idAttribute != nullptr) {
        RegisterId(doc, idAttribute);
        SetReferenceUri(signature, "#" + AttributeValue(idAttribute));
    } else {
        SetReferenceUri(signature, "");
    }
    XmlSecDSigCtxPtr ctx(xmlSecDSigCtxCreate(nullptr));
    if (!ctx) {
        throw std::bad_alloc();
    }
    // The context only reads the key; lending it saves copying the key and its certificate
    // for every signature. It is taken back before the context is destroyed.
    struct LentKey
    {
        xmlSecDSigCtx* Ctx;
        ~LentKey() { Ctx->signKey = nullptr; }
    } lent {ctx.get()};
    ctx->signKey = const_cast<xmlSecKey*>(key);
    TakeXmlSecError();
    if (xmlSecDSigCtxSign(ctx.get(), signature) < 0) {
        std::string reason = TakeXmlSecError();
        throw EmvlNFSeSignatureException(
            platform::Format("Erro na assinatura: %s", reason.empty() ? std::string("falha do xmlsec") : reason));
    }
}

std::vector<xmlNode*> SelfAndAncestors(xmlNode* node)
{
    std::vector<xmlNode*> chain;
    for (; node != nullptr && node->type == XML_ELEMENT_NODE; node = node->parent) {
        chain.push_back(node);
    }
    return chain;
}

xmlNode* CommonAncestor(xmlNode* a, xmlNode* b)
{
    const std::vector<xmlNode*> chain = SelfAndAncestors(a);
    for (; b != nullptr && b->type == XML_ELEMENT_NODE; b = b->parent) {
        for (xmlNode* node : chain) {
            if (node == b) {
                return b;
            }
        }
    }
    return nullptr;
}

// Child positions from `top` down to `node`, so the same node can be found in a copy of `top`.
std::vector<size_t> PathFrom(xmlNode* top, xmlNode* node)
{
    std::vector<size_t> path;
    for (; node != top; node = node->parent) {
        size_t index = 0;
        for (xmlNode* sibling = node->prev; sibling; sibling = sibling->prev) {
            ++index;
        }
        path.insert(path.begin(), index);
    }
    return path;
}

xmlNode* Follow(xmlNode* top, const std::vector<size_t>& path)
{
    xmlNode* node = top;
    for (size_t index : path) {
        node = node->children;
        for (size_t i = 0; i < index; ++i) {
            node = node->next;
        }
    }
    return node;
}

// A copy of `element` as the root of its own document that canonicalises exactly as the
// original does inside its document: inclusive C14N renders every namespace in scope and the
// xml:* attributes inherited from ancestors, so both are given to the copy's root.
XmlDocPtr StandaloneCopy(xmlNode* element)
{
    XmlDocPtr scratch(xmlNewDoc(X("1.0")));
    xmlNode* copy = xmlDocCopyNode(element, scratch.get(), 1);
    if (!scratch || !copy) {
        throw std::bad_alloc();
    }
    xmlDocSetRootElement(scratch.get(), copy);
    if (xmlNs** inScope = xmlGetNsList(element->doc, element)) {
        for (xmlNs** ns = inScope; *ns != nullptr; ++ns) {
            bool declared = false;
            for (xmlNs* own = copy->nsDef; own != nullptr && !declared; own = own->next) {
                declared = xmlStrEqual(own->prefix, (*ns)->prefix);
            }
            if (!declared) {
                xmlNewNs(copy, (*ns)->href, (*ns)->prefix);
            }
        }
        XmlCharPtr list(reinterpret_cast<xmlChar*>(inScope));
    }
    for (xmlNode* ancestor = element->parent; ancestor && ancestor->type == XML_ELEMENT_NODE;
         ancestor = ancestor->parent) {
        for (xmlAttr* attribute = ancestor->properties; attribute; attribute = attribute->next) {
            if (attribute->ns && xmlStrEqual(attribute->ns->href, XML_XML_NAMESPACE) &&
                !xmlHasNsProp(copy, attribute->name, XML_XML_NAMESPACE)) {
                xmlNs* xmlNamespace = xmlSearchNsByHref(scratch.get(), copy, XML_XML_NAMESPACE);
                xmlSetNsProp(copy, xmlNamespace, attribute->name, ToXmlChar(AttributeValue(attribute)));
            }
        }
    }
    return scratch;
}

} // namespace

XmlSigner::XmlSigner(const Certificate& certificate, SignatureDigest digest)
    : m_key(std::make_unique<Key>())
    , m_digest(digest)
{
    EnsureXmlSec();
    if (!certificate.HasPrivateKey()) {
        throw EmvlCertStoreException(
            platform::Format("O certificado \"%s\" não possui chave privada.", certificate.SubjectName()));
    }
    EvpPkeyPtr privateKey(certificate.KeyHandle());
    EVP_PKEY_up_ref(privateKey.get());
    XmlSecKeyDataPtr keyValue(xmlSecOpenSSLEvpKeyAdopt(privateKey.get()));
    if (!keyValue) {
        throw EmvlNFSeSignatureException(platform::Format("Erro na assinatura: %s", TakeXmlSecError()));
    }
    privateKey.release(); // the key data owns it now

    XmlSecKeyPtr key(xmlSecKeyCreate());
    if (!key || xmlSecKeySetValue(key.get(), keyValue.get()) < 0) {
        throw EmvlNFSeSignatureException(platform::Format("Erro na assinatura: %s", TakeXmlSecError()));
    }
    keyValue.release();

    // KeyInfo carries the signer's certificate, and only it.
    XmlSecKeyDataPtr x509(xmlSecKeyDataCreate(xmlSecOpenSSLKeyDataX509Id));
    X509Ptr keyCert(X509_dup(certificate.X509Handle()));
    X509Ptr listedCert(X509_dup(certificate.X509Handle()));
    if (!x509 || !keyCert || !listedCert || xmlSecOpenSSLKeyDataX509AdoptKeyCert(x509.get(), keyCert.get()) < 0) {
        throw EmvlNFSeSignatureException(platform::Format("Erro na assinatura: %s", TakeXmlSecError()));
    }
    keyCert.release();
    if (xmlSecOpenSSLKeyDataX509AdoptCert(x509.get(), listedCert.get()) < 0) {
        throw EmvlNFSeSignatureException(platform::Format("Erro na assinatura: %s", TakeXmlSecError()));
    }
    listedCert.release();
    if (xmlSecKeyAdoptData(key.get(), x509.get()) < 0) {
        throw EmvlNFSeSignatureException(platform::Format("Erro na assinatura: %s", TakeXmlSecError()));
    }
    x509.release();
    m_key->Value = std::move(key);
}

XmlSigner::~XmlSigner() = default;

xmlNode* XmlSigner::SignSkeleton(xmlDoc* doc, xmlNode* signature, xmlAttr* idAttribute) const
{
    EnsureXmlSec();
    xmlNode* root = xmlDocGetRootElement(doc);
    xmlNode* work = idAttribute ? CommonAncestor(signature->parent, idAttribute->parent) : nullptr;
    if (work == nullptr || work == root) {
        SignPrepared(doc, signature, idAttribute, m_key->Value.get());
        return signature;
    }
    // Canonicalisation visits the whole document for every reference; for an RPS inside a lot
    // that makes signing quadratic. The same bytes come out of a standalone copy of the
    // smallest element holding both the signed element and its signature.
    RegisterId(doc, idAttribute);
    XmlDocPtr scratch = StandaloneCopy(work);
    xmlNode* copy = xmlDocGetRootElement(scratch.get());
    xmlNode* signatureCopy = Follow(copy, PathFrom(work, signature));
    xmlNode* targetCopy = Follow(copy, PathFrom(work, idAttribute->parent));
    xmlAttr* idCopy = xmlHasNsProp(targetCopy, idAttribute->name, idAttribute->ns ? idAttribute->ns->href : nullptr);
    SignPrepared(scratch.get(), signatureCopy, idCopy, m_key->Value.get());

    xmlNode* signedNode = xmlDocCopyNode(signatureCopy, doc, 1);
    if (signedNode == nullptr) {
        throw std::bad_alloc();
    }
    xmlReplaceNode(signature, signedNode);
    XmlNodePtr skeleton(signature);
    return signedNode;
}

xmlNode* XmlSigner::SignElement(xmlDoc* doc, xmlNode* target, xmlAttr* idAttribute, SignatureTransforms transforms,
                                bool inside, std::string_view signatureId) const
{
    EnsureXmlSec();
    const bool isRoot = target == xmlDocGetRootElement(doc);
    const std::string id(signatureId);
    xmlNode* signature = xmlSecTmplSignatureCreate(doc, xmlSecTransformInclC14NId,
                                                   m_digest == SignatureDigest::Sha256 ? xmlSecTransformRsaSha256Id
                                                                                       : xmlSecTransformRsaSha1Id,
                                                   id.empty() ? nullptr : ToXmlChar(id));
    if (signature == nullptr) {
        throw std::bad_alloc();
    }
    XmlNodePtr owner(signature);
    xmlNode* reference = xmlSecTmplSignatureAddReference(
        signature, m_digest == SignatureDigest::Sha256 ? xmlSecTransformSha256Id : xmlSecTransformSha1Id, nullptr,
        X(""), nullptr);
    // A signature inside what it signs (the whole document included) must leave itself out,
    // or no verifier can ever match its digest.
    const bool enveloped = transforms.Enveloped || inside || isRoot || idAttribute == nullptr;
    if (reference == nullptr ||
        (enveloped && !xmlSecTmplReferenceAddTransform(reference, xmlSecTransformEnvelopedId)) ||
        (transforms.Canonical && !xmlSecTmplReferenceAddTransform(reference, xmlSecTransformInclC14NId))) {
        throw EmvlNFSeSignatureException(platform::Format("Erro na assinatura: %s", TakeXmlSecError()));
    }
    xmlNode* keyInfo = xmlSecTmplSignatureEnsureKeyInfo(signature, nullptr);
    if (keyInfo == nullptr || xmlSecTmplKeyInfoAddX509Data(keyInfo) == nullptr) {
        throw EmvlNFSeSignatureException(platform::Format("Erro na assinatura: %s", TakeXmlSecError()));
    }
    if (inside || isRoot) {
        xmlAddChild(target, owner.release());
    } else {
        xmlAddNextSibling(target, owner.release());
    }
    return SignSkeleton(doc, signature, idAttribute);
}

} // namespace engine
