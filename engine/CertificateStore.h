#pragma once

#include "engine/Certificate.h"
#include "platform/DateTime.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace engine {

// The user's installed certificates: a private folder (0700) holding one PEM file (0600)
// per imported certificate, named after its thumbprint, with the certificate and its key.
// Like a user certificate store, it needs no password once a certificate is imported; the
// folder's permissions are what protects the keys.
class CertificateStore
{
public:
    // $XDG_DATA_HOME/Brevant/Certificados/ (~/.local/share when the variable is unset).
    static std::string DefaultFolder();

    explicit CertificateStore(std::string folder = DefaultFolder());

    // Opens the PKCS#12 file with its password and installs it; importing the same
    // certificate again replaces it. Returns what was installed.
    Certificate Import(const std::string& pfxFileName, std::string_view password);

    // Every installed certificate, ordered by subject CN. Unreadable files are skipped.
    std::vector<Certificate> Certificates() const;
    // The first certificate the selector names (CN, serial number or thumbprint).
    std::optional<Certificate> Find(std::string_view selector) const;
    bool Remove(std::string_view selector);

    const std::string& Folder() const { return m_folder; }

private:
    std::string m_folder;
};

// The certificate operations the engine offers its callers.

// Fills the list with the subject CN of every installed certificate.
// A null list: EmvlNFSeCheckParams; store errors: EmvlCertStoreException.
void ListarCertificados(std::vector<std::string>* list, const CertificateStore& store);
// True when the named certificate is installed, has its key and is valid now.
bool VerificarCertificado(std::string_view name, const CertificateStore& store);
// Expiry date of the named certificate (EmvlCertStoreException when it is not installed).
platform::DateTime ValidadeCertificado(std::string_view name, const CertificateStore& store);

// The signing certificate chosen by the engine's settings: the file when `caminhoCertificado`
// is set (opened with `senhaCertificado`), else the first line of `nomesCertificado` that
// names an installed certificate. Failures: EmvlCertStoreException.
Certificate SelectCertificate(std::string_view nomesCertificado, const std::string& caminhoCertificado,
                              std::string_view senhaCertificado, const CertificateStore& store);
// The check made before every operation: nothing when neither a name nor a file is set;
// otherwise the chosen certificate must exist, open, hold its key and be valid now.
void CheckSelectedCertificate(std::string_view nomesCertificado, const std::string& caminhoCertificado,
                              std::string_view senhaCertificado, const CertificateStore& store);

} // namespace engine
