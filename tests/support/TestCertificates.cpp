#include "tests/support/TestCertificates.h"

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

struct Free
{
    void operator()(EVP_PKEY* p) const { EVP_PKEY_free(p); }
    void operator()(X509* p) const { X509_free(p); }
    void operator()(PKCS12* p) const { PKCS12_free(p); }
    void operator()(EVP_PKEY_CTX* p) const { EVP_PKEY_CTX_free(p); }
    void operator()(FILE* p) const { std::fclose(p); }
};

template <class T>
using Owned = std::unique_ptr<T, Free>;

// One key for every test certificate: RSA key generation is the slow part.
EVP_PKEY* SharedKey()
{
    static Owned<EVP_PKEY> key = [] {
        Owned<EVP_PKEY_CTX> ctx(EVP_PKEY_CTX_new_id(EVP_PKEY_RSA, nullptr));
        EVP_PKEY* made = nullptr;
        if (!ctx || EVP_PKEY_keygen_init(ctx.get()) != 1 || EVP_PKEY_CTX_set_rsa_keygen_bits(ctx.get(), 2048) != 1 ||
            EVP_PKEY_keygen(ctx.get(), &made) != 1) {
            throw std::runtime_error("RSA key generation failed");
        }
        return Owned<EVP_PKEY>(made);
    }();
    return key.get();
}

Owned<FILE> Open(const std::string& name)
{
    Owned<FILE> file(std::fopen(name.c_str(), "wb"));
    if (!file) {
        throw std::runtime_error("cannot write " + name);
    }
    return file;
}

} // namespace

TestCertificate MakeTestCertificate(const std::string& folder, const std::string& baseName,
                                    const TestCertificateOptions& options)
{
    static bool providers = [] {
        OSSL_PROVIDER_load(nullptr, "default");
        OSSL_PROVIDER_load(nullptr, "legacy");
        return true;
    }();
    (void)providers;

    EVP_PKEY* key = SharedKey();
    Owned<X509> cert(X509_new());
    X509_set_version(cert.get(), 2);
    ASN1_INTEGER_set(X509_get_serialNumber(cert.get()), options.Serial);
    X509_gmtime_adj(X509_getm_notBefore(cert.get()), static_cast<long>(options.ValidFromDays) * 86400);
    X509_gmtime_adj(X509_getm_notAfter(cert.get()), static_cast<long>(options.ValidToDays) * 86400);
    X509_set_pubkey(cert.get(), key);
    X509_NAME* name = X509_get_subject_name(cert.get());
    X509_NAME_add_entry_by_txt(name, "C", MBSTRING_UTF8, reinterpret_cast<const unsigned char*>("BR"), -1, -1, 0);
    X509_NAME_add_entry_by_txt(name, "O", MBSTRING_UTF8, reinterpret_cast<const unsigned char*>("ICP-Brasil"), -1, -1,
                               0);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_UTF8,
                               reinterpret_cast<const unsigned char*>(options.CommonName.c_str()), -1, -1, 0);
    X509_set_issuer_name(cert.get(), name);
    if (X509_sign(cert.get(), key, EVP_sha256()) == 0) {
        throw std::runtime_error("certificate signing failed");
    }

    const int keyPbe = options.Legacy ? NID_pbe_WithSHA1And3_Key_TripleDES_CBC : NID_aes_256_cbc;
    const int certPbe = options.Legacy ? NID_pbe_WithSHA1And40BitRC2_CBC : NID_aes_256_cbc;
    Owned<PKCS12> p12(PKCS12_create(options.Password.c_str(), options.CommonName.c_str(), key, cert.get(), nullptr,
                                    keyPbe, certPbe, 2048, 2048, 0));
    if (!p12) {
        throw std::runtime_error("PKCS12_create failed");
    }
    TestCertificate made;
    made.PfxFile = folder + baseName + ".pfx";
    made.CertificatePemFile = folder + baseName + ".pem";
    made.Password = options.Password;
    {
        Owned<FILE> file = Open(made.PfxFile);
        i2d_PKCS12_fp(file.get(), p12.get());
    }
    {
        Owned<FILE> file = Open(made.CertificatePemFile);
        PEM_write_X509(file.get(), cert.get());
    }
    return made;
}

} // namespace tests
