#include "engine/OpenSslHandles.h"

#include <openssl/err.h>
#include <openssl/provider.h>

#include <mutex>

namespace engine {

void OpenSslDeleter::operator()(BIO* bio) const noexcept
{
    BIO_free_all(bio);
}

void OpenSslDeleter::operator()(EVP_PKEY* key) const noexcept
{
    EVP_PKEY_free(key);
}

void OpenSslDeleter::operator()(EVP_MD_CTX* ctx) const noexcept
{
    EVP_MD_CTX_free(ctx);
}

void OpenSslDeleter::operator()(X509* cert) const noexcept
{
    X509_free(cert);
}

void OpenSslDeleter::operator()(STACK_OF(X509) * certs) const noexcept
{
    sk_X509_pop_free(certs, X509_free);
}

void OpenSslDeleter::operator()(PKCS12* p12) const noexcept
{
    PKCS12_free(p12);
}

void OpenSslDeleter::operator()(ASN1_TIME* time) const noexcept
{
    ASN1_TIME_free(time);
}

void OpenSslDeleter::operator()(char* text) const noexcept
{
    OPENSSL_free(text);
}

void EnsureOpenSsl()
{
    static std::once_flag once;
    std::call_once(once, [] {
        // Loading any provider by hand stops OpenSSL from loading the default one by itself,
        // so both are named. The providers stay loaded for the life of the process; holding
        // them here is what says so to a leak checker.
        static OSSL_PROVIDER* const defaultProvider = OSSL_PROVIDER_load(nullptr, "default");
        static OSSL_PROVIDER* const legacyProvider = OSSL_PROVIDER_load(nullptr, "legacy");
        (void)defaultProvider;
        (void)legacyProvider;
        ERR_clear_error();
    });
}

std::string TakeOpenSslErrors()
{
    std::string text;
    unsigned long code = 0;
    while ((code = ERR_get_error()) != 0) {
        char reason[256];
        ERR_error_string_n(code, reason, sizeof reason);
        if (!text.empty()) {
            text += "; ";
        }
        text += reason;
    }
    return text;
}

BioPtr MemoryBio(std::string_view bytes)
{
    return BioPtr(BIO_new_mem_buf(bytes.data(), static_cast<int>(bytes.size())));
}

std::string BioText(BIO* bio)
{
    char* data = nullptr;
    const long size = BIO_get_mem_data(bio, &data);
    return size > 0 ? std::string(data, static_cast<size_t>(size)) : std::string();
}

} // namespace engine
