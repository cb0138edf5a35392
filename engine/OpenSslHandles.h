#pragma once

// The one header that brings OpenSSL into our code, with one owner type per C handle; their
// free functions are called only in these deleters.

#include <openssl/bio.h>
#include <openssl/evp.h>
#include <openssl/pkcs12.h>
#include <openssl/x509.h>

#include <memory>
#include <string>

namespace engine {

struct OpenSslDeleter
{
    void operator()(BIO* bio) const noexcept;
    void operator()(EVP_PKEY* key) const noexcept;
    void operator()(EVP_MD_CTX* ctx) const noexcept;
    void operator()(X509* cert) const noexcept;
    void operator()(STACK_OF(X509) * certs) const noexcept; // the stack and its certificates
    void operator()(PKCS12* p12) const noexcept;
    void operator()(ASN1_TIME* time) const noexcept;
    void operator()(char* text) const noexcept; // texts OpenSSL allocated for us
};

using BioPtr = std::unique_ptr<BIO, OpenSslDeleter>;
using EvpPkeyPtr = std::unique_ptr<EVP_PKEY, OpenSslDeleter>;
using EvpMdCtxPtr = std::unique_ptr<EVP_MD_CTX, OpenSslDeleter>;
using X509Ptr = std::unique_ptr<X509, OpenSslDeleter>;
using X509StackPtr = std::unique_ptr<STACK_OF(X509), OpenSslDeleter>;
using Pkcs12Ptr = std::unique_ptr<PKCS12, OpenSslDeleter>;
using Asn1TimePtr = std::unique_ptr<ASN1_TIME, OpenSslDeleter>;
using OpenSslTextPtr = std::unique_ptr<char, OpenSslDeleter>;

// Loads, once per process, the default provider and the legacy one, so that old ".pfx" files
// protected with RC2-40 and 3DES still open.
void EnsureOpenSsl();

// The reasons OpenSSL queued on this thread, oldest first, joined by "; "; the queue is emptied.
std::string TakeOpenSslErrors();

// A memory BIO over the bytes (read only, not copied: the bytes must outlive it).
BioPtr MemoryBio(std::string_view bytes);
// Everything written to a memory BIO.
std::string BioText(BIO* bio);

} // namespace engine
