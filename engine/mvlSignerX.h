#pragma once

#include "engine/OstreloX.h"
#include "engine/mvlAssinadorNFSeX.h"

#include <string>
#include <string_view>

// Drives one signing component for one signing task: its settings are set by the operation,
// then documents are signed by the Id of the element the node kind names.
class TmvlSignerX
{
public:
    TmvlSignerX();

    // The element each node kind signs; kind 4 names none (the previous name stays).
    static std::string_view NodeKindElement(int kind);

    void SetNomesCertificado(std::string names) { m_nomesCertificado = std::move(names); }
    void SetCaminhoCertificado(std::string fileName) { m_caminhoCertificado = std::move(fileName); }
    void SetSenhaCertificado(std::string password) { m_senhaCertificado = std::move(password); }
    void SetIdAttribute(std::string name) { m_idAttribute = std::move(name); }
    void SetSignatureOption(int option) { m_signatureOption = option; }
    void SetSecondOption(int option) { m_secondOption = option; }
    void SetNodeKind(int kind);
    void SetRemoveAccents(bool remove) { m_removeAccents = remove; }
    void SetRpsIdXPath(std::string xpath) { m_rpsIdXPath = std::move(xpath); }
    void SetRpsIdentificationXPath(std::string xpath) { m_rpsIdentificationXPath = std::move(xpath); }
    void SetCertificateStore(engine::CertificateStore store) { m_component.SetCertificateStore(std::move(store)); }

    const std::string& IdAttribute() const { return m_idAttribute; }
    int NodeKind() const { return m_nodeKind; }
    const std::string& ElementName() const { return m_elementName; }
    bool RemoveAccents() const { return m_removeAccents; }
    const std::string& RpsIdXPath() const { return m_rpsIdXPath; }
    const std::string& RpsIdentificationXPath() const { return m_rpsIdentificationXPath; }

    // The document normalised (accents removed when asked) and signed at the Id value.
    std::string Sign(std::string_view document, std::string_view idValue);
    // The same for several Ids of one document, parsed and written once.
    std::string SignAll(std::string_view document, const std::vector<std::string>& idValues);

    std::string Normalise(std::string_view document) const;
    OstreloX& Component();

private:
    std::string m_nomesCertificado;
    std::string m_caminhoCertificado;
    std::string m_senhaCertificado;
    std::string m_idAttribute = "Id";
    int m_signatureOption = 0;
    int m_secondOption = 0;
    int m_nodeKind = 2;
    std::string m_elementName;
    bool m_removeAccents = true;
    std::string m_rpsIdXPath = R"(//*[local-name()="InfRps"])";
    std::string m_rpsIdentificationXPath = std::string(engine::kRpsIdentificationXPath);
    OstreloX m_component;
};

namespace engine {

// Which kinds sign the RPS and the lot of a document.
struct SignerXKinds
{
    int RpsKind = 1;        // "InfRps"
    int LotKind = 2;        // "LoteRPS"
    std::string RpsIdXPath; // empty: the default selection of the RPS Ids
};

// Signs a finished document through the signer: with GerarAssinaturaRps every RPS (given its
// automatic Id first when IdRpsAutomatico), then with GerarAssinaturaXml the lot, by the Id of
// LoteRps ("L1" given when it has none and UsarIdLoteRps) or with no Id. The signer's
// certificate settings must be set. The input is never changed.
std::string SignDocumentWithSignerX(std::string_view document, const SigningSettings& settings, TmvlSignerX& signer,
                                    const SignerXKinds& kinds = {});

} // namespace engine
