#pragma once

#include "engine/CertificateStore.h"
#include "engine/XmlSigner.h"

#include <memory>
#include <string>
#include <string_view>
#include <vector>

struct _xmlDoc;

// The signing component: signs the element named ElementoXML whose Id attribute holds the
// given value, with the certificate chosen by name (installed) or by file and password.
//
// Signature option: 0 RSA-SHA1/SHA-1, 1 RSA-SHA256/SHA-256, the signature placed right after
// the element; 2 and 3 the same, placed as the element's last child.
// The element name is matched ignoring case ("LoteRPS" names a LoteRps).
// Second option, the Reference transforms: 0 none, 1 enveloped-signature, 2 C14N 1.0, 3 both.
// A signature that lies inside what it signs always gets the enveloped-signature transform.
// Without an Id attribute name or value, the element's own "Id"/"id" is referenced when it has
// one; otherwise the whole document (URI "").
class OstreloX
{
public:
    OstreloX();
    ~OstreloX();
    OstreloX(const OstreloX&) = delete;
    OstreloX& operator=(const OstreloX&) = delete;

    void SetNomesCertificado(std::string names) { m_nomesCertificado = std::move(names); }
    void SetCaminhoCertificado(std::string fileName) { m_caminhoCertificado = std::move(fileName); }
    void SetSenhaCertificado(std::string password) { m_senhaCertificado = std::move(password); }
    void SetIdAttribute(std::string name) { m_idAttribute = std::move(name); }
    void SetSignatureOption(int option) { m_signatureOption = option; }
    void SetElementName(std::string name) { m_elementName = std::move(name); }
    void SetSecondOption(int option) { m_secondOption = option; }
    void SetCertificateStore(engine::CertificateStore store) { m_store = std::move(store); }

    const std::string& IdAttribute() const { return m_idAttribute; }
    const std::string& ElementName() const { return m_elementName; }

    // Signs a working copy of the document and returns it; the input is never changed.
    std::string Sign(std::string_view document, std::string_view idValue);
    // Each Id in turn, in one pass over the document.
    void SignInDocument(_xmlDoc* doc, const std::vector<std::string>& idValues);

    // The signer for the current certificate settings, opened once and kept until they change.
    const engine::XmlSigner& Signer();

private:
    std::string m_nomesCertificado;
    std::string m_caminhoCertificado;
    std::string m_senhaCertificado;
    std::string m_idAttribute;
    int m_signatureOption = 0;
    std::string m_elementName;
    int m_secondOption = 0;
    engine::CertificateStore m_store;

    std::unique_ptr<engine::XmlSigner> m_signer;
    std::string m_signerKey;
};
