#pragma once

#include "engine/Certificate.h"

#include <memory>
#include <string>
#include <string_view>

struct _xmlDoc;
struct _xmlNode;
struct _xmlAttr;

namespace engine {

enum class SignatureDigest
{
    Sha1,  // RSA-SHA1 and SHA-1: what most cities verify
    Sha256 // RSA-SHA256 and SHA-256, for the cities that ask for it
};

// Transforms of a Reference in the signatures we build ourselves.
struct SignatureTransforms
{
    bool Enveloped = true;
    bool Canonical = true; // inclusive C14N 1.0
};

// Enveloped XML-DSig with one certificate: the key is read once, then each signature costs
// one RSA operation and a canonicalisation of the signed element only. Works on the
// document it is given, so callers hand it a working copy and keep the original until
// everything has been signed.
class XmlSigner
{
public:
    // The certificate must hold its private key.
    explicit XmlSigner(const Certificate& certificate, SignatureDigest digest = SignatureDigest::Sha1);
    ~XmlSigner();
    XmlSigner(const XmlSigner&) = delete;
    XmlSigner& operator=(const XmlSigner&) = delete;

    SignatureDigest Digest() const { return m_digest; }

    // Fills the Signature skeleton `signature` (already in `doc`) so that its Reference points
    // at `target` by the value of the target's attribute `idAttribute` ("#" + value); with no
    // attribute the Reference is "" (the whole document). The attribute is registered as an
    // XML Id; another element holding the same Id value fails. Returns the signed Signature
    // element, which may be a new node in place of the skeleton.
    _xmlNode* SignSkeleton(_xmlDoc* doc, _xmlNode* signature, _xmlAttr* idAttribute) const;

    // Builds a signature for `target` and places it right after the element, or as its last
    // child when `inside` (and always for the root element). Returns the Signature element.
    _xmlNode* SignElement(_xmlDoc* doc, _xmlNode* target, _xmlAttr* idAttribute, SignatureTransforms transforms,
                          bool inside, std::string_view signatureId = {}) const;

private:
    struct Key;
    std::unique_ptr<Key> m_key;
    SignatureDigest m_digest;
};

} // namespace engine
