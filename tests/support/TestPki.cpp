#include "tests/support/TestPki.h"

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/pkcs12.h>
#include <openssl/provider.h>
#include <openssl/rsa.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <cstdio>
#include <memory>
#include <stdexcept>

namespace tests {
namespace {

struct Deleter
{
    void operator()(EVP_PKEY* key) const noexcept { EVP_PKEY_free(key); }
    void operator()(X509* cert) const noexcept { X509_free(cert); }
    void operator()(PKCS12* p12) const noexcept { PKCS12_free(p12); }
    void operator()(X509_EXTENSION* ext) const noexcept { X509_EXTENSION_free(ext); }
    void operator()(FILE* file) const noexcept { std::fclose(file); }
};
using KeyPtr = std::unique_ptr<EVP_PKEY, Deleter>;
using CertPtr = std::unique_ptr<X509, Deleter>;
using P12Ptr = std::unique_ptr<PKCS12, Deleter>;
using ExtPtr = std::unique_ptr<X509_EXTENSION, Deleter>;
using FilePtr = std::unique_ptr<FILE, Deleter>;

void Check(bool ok, const char* what)
{
    if (!ok) {
        throw std::runtime_error(std::string("certificados de teste: falha em ") + what);
    }
}

KeyPtr NewKey()
{
    KeyPtr key(EVP_RSA_gen(2048));
    Check(key != nullptr, "EVP_RSA_gen");
    return key;
}

void AddExtension(X509* cert, X509* issuer, int nid, const char* value)
{
    X509V3_CTX ctx;
    X509V3_set_ctx_nodb(&ctx);
    X509V3_set_ctx(&ctx, issuer, cert, nullptr, nullptr, 0);
    ExtPtr ext(X509V3_EXT_conf_nid(nullptr, &ctx, nid, value));
    Check(ext != nullptr, value);
    Check(X509_add_ext(cert, ext.get(), -1) == 1, "X509_add_ext");
}

CertPtr NewCert(EVP_PKEY* key, const std::string& commonName, X509* issuerCert, long serial, long fromSeconds,
                long toSeconds)
{
    CertPtr cert(X509_new());
    Check(cert != nullptr, "X509_new");
    X509_set_version(cert.get(), 2);
    ASN1_INTEGER_set(X509_get_serialNumber(cert.get()), serial);
    X509_gmtime_adj(X509_getm_notBefore(cert.get()), fromSeconds);
    X509_gmtime_adj(X509_getm_notAfter(cert.get()), toSeconds);
    X509_set_pubkey(cert.get(), key);
    X509_NAME* name = X509_get_subject_name(cert.get());
    X509_NAME_add_entry_by_txt(name, "C", MBSTRING_ASC, reinterpret_cast<const unsigned char*>("BR"), -1, -1, 0);
    X509_NAME_add_entry_by_txt(name, "O", MBSTRING_ASC, reinterpret_cast<const unsigned char*>("Notavia Testes"), -1,
                               -1, 0);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_UTF8, reinterpret_cast<const unsigned char*>(commonName.c_str()),
                               -1, -1, 0);
    X509* issuer = issuerCert ? issuerCert : cert.get();
    X509_set_issuer_name(cert.get(), X509_get_subject_name(issuer));
    if (!issuerCert) {
        AddExtension(cert.get(), issuer, NID_basic_constraints, "critical,CA:TRUE");
        AddExtension(cert.get(), issuer, NID_key_usage, "critical,keyCertSign,cRLSign");
    }
    AddExtension(cert.get(), issuer, NID_subject_key_identifier, "hash");
    if (issuerCert) {
        AddExtension(cert.get(), issuer, NID_authority_key_identifier, "keyid");
    }
    return cert;
}

void Sign(X509* cert, EVP_PKEY* key)
{
    Check(X509_sign(cert, key, EVP_sha256()) > 0, "X509_sign");
}

void WritePem(const std::string& path, X509* cert, EVP_PKEY* key)
{
    FilePtr file(std::fopen(path.c_str(), "wb"));
    Check(file != nullptr, path.c_str());
    if (cert) {
        Check(PEM_write_X509(file.get(), cert) == 1, "PEM_write_X509");
    }
    if (key) {
        Check(PEM_write_PrivateKey(file.get(), key, nullptr, nullptr, 0, nullptr, nullptr) == 1,
              "PEM_write_PrivateKey");
    }
}

} // namespace

TestPki MakeTestPki(const std::string& folder, const TestPkiOptions& options)
{
    static const bool providers = [] {
        OSSL_PROVIDER_load(nullptr, "legacy");
        OSSL_PROVIDER_load(nullptr, "default");
        return true;
    }();
    (void)providers;

    const std::string base = folder.empty() || folder.back() == '/' ? folder : folder + "/";
    constexpr long kDay = 24 * 60 * 60;

    KeyPtr caKey = NewKey();
    CertPtr ca = NewCert(caKey.get(), "Notavia AC de Testes", nullptr, 1, -kDay, 3650 * kDay);
    Sign(ca.get(), caKey.get());

    KeyPtr serverKey = NewKey();
    CertPtr server = NewCert(serverKey.get(), "localhost", ca.get(), 2, -kDay, 365 * kDay);
    AddExtension(server.get(), ca.get(), NID_subject_alt_name, "DNS:localhost,IP:127.0.0.1");
    AddExtension(server.get(), ca.get(), NID_ext_key_usage, "serverAuth");
    Sign(server.get(), caKey.get());

    KeyPtr clientKey = NewKey();
    CertPtr client = NewCert(clientKey.get(), options.ClientCommonName, ca.get(), 3,
                             options.ExpiredClient ? -30 * kDay : -kDay, options.ExpiredClient ? -kDay : 365 * kDay);
    AddExtension(client.get(), ca.get(), NID_ext_key_usage, "clientAuth,emailProtection");
    AddExtension(client.get(), ca.get(), NID_key_usage, "critical,digitalSignature,nonRepudiation,keyEncipherment");
    Sign(client.get(), caKey.get());

    TestPki pki;
    pki.CaCertFile = base + "ca.pem";
    pki.ServerCertFile = base + "server.pem";
    pki.ServerKeyFile = base + "server.key";
    pki.ClientCertFile = base + "client.pem";
    pki.ClientKeyFile = base + "client.key";
    pki.ClientPfxFile = base + "client.pfx";
    pki.ClientPassword = options.ClientPassword;
    pki.ClientCommonName = options.ClientCommonName;
    WritePem(pki.CaCertFile, ca.get(), nullptr);
    WritePem(pki.ServerCertFile, server.get(), nullptr);
    WritePem(pki.ServerKeyFile, nullptr, serverKey.get());
    WritePem(pki.ClientCertFile, client.get(), nullptr);
    WritePem(pki.ClientKeyFile, nullptr, clientKey.get());

    const int keyNid = options.LegacyPfx ? NID_pbe_WithSHA1And3_Key_TripleDES_CBC : NID_aes_256_cbc;
    const int certNid = options.LegacyPfx ? NID_pbe_WithSHA1And40BitRC2_CBC : NID_aes_256_cbc;
    P12Ptr p12(PKCS12_create(options.ClientPassword.c_str(), options.ClientCommonName.c_str(), clientKey.get(),
                             client.get(), nullptr, keyNid, certNid, 2048, 1, 0));
    Check(p12 != nullptr, "PKCS12_create");
    FilePtr file(std::fopen(pki.ClientPfxFile.c_str(), "wb"));
    Check(file != nullptr, pki.ClientPfxFile.c_str());
    Check(i2d_PKCS12_fp(file.get(), p12.get()) == 1, "i2d_PKCS12_fp");
    return pki;
}

} // namespace tests
