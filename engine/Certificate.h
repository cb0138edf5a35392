#pragma once

#include "platform/DateTime.h"

#include <memory>
#include <string>
#include <string_view>

struct x509_st;
struct evp_pkey_st;

namespace engine {

// An A1 certificate: the signer's X.509 certificate and, when it was loaded with one, its
// private key. Passwords are used to open the file and never kept nor written anywhere.
class Certificate
{
public:
    // A PKCS#12 (".pfx", ".p12") file, old RC2-40/3DES ones included. Fails with
    // EmvlCertStoreException naming the file (never the password).
    static Certificate FromPkcs12File(const std::string& fileName, std::string_view password);
    static Certificate FromPkcs12(std::string_view bytes, std::string_view password, std::string_view name);
    // PEM text holding the certificate and, optionally, its private key.
    static Certificate FromPem(std::string_view pem, std::string_view name);

    Certificate(Certificate&&) noexcept;
    Certificate& operator=(Certificate&&) noexcept;
    ~Certificate();

    std::string SubjectName() const; // the subject's CN, as certificate lists show it
    std::string Subject() const;     // the whole subject, one line
    std::string Issuer() const;
    std::string SerialNumber() const;     // upper-case hexadecimal
    std::string Thumbprint() const;       // SHA-1 of the DER form, upper-case hexadecimal
    platform::DateTime ValidFrom() const; // local time
    platform::DateTime ValidTo() const;
    bool HasPrivateKey() const;

    // True when `now` lies inside the validity period.
    bool IsValidAt(const platform::DateTime& now) const;
    // Throws EmvlCertStoreException when the certificate cannot sign at `now`: expired, not
    // valid yet, or without its private key.
    void CheckUsable(const platform::DateTime& now) const;

    // True when the selector names this certificate: its CN (case ignored), its serial
    // number or its thumbprint (hexadecimal, blanks and colons ignored, case ignored).
    bool Matches(std::string_view selector) const;

    // The certificate and (unencrypted) key as PEM, for the per-user store.
    std::string ToPem() const;
    std::string CertificatePem() const;

    x509_st* X509Handle() const;
    evp_pkey_st* KeyHandle() const; // null without a private key

private:
    struct Handles;
    explicit Certificate(std::unique_ptr<Handles> handles);
    std::unique_ptr<Handles> m_handles;
};

} // namespace engine
