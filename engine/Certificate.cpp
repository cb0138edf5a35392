#include "engine/Certificate.h"

#include "engine/OpenSslHandles.h"
#include "engine/mvlExceptions.h"
#include "platform/Format.h"
#include "platform/FormatSettings.h"
#include "platform/TextRules.h"

#include <openssl/err.h>
#include <openssl/pem.h>

#include <cctype>
#include <ctime>
#include <fstream>
#include <sstream>

namespace engine {

struct Certificate::Handles
{
    X509Ptr Cert;
    EvpPkeyPtr Key;
};

namespace {

std::string Hex(const unsigned char* bytes, size_t size)
{
    static const char kDigits[] = "0123456789ABCDEF";
    std::string text;
    text.reserve(size * 2);
    for (size_t i = 0; i < size; ++i) {
        text += kDigits[bytes[i] >> 4];
        text += kDigits[bytes[i] & 0x0F];
    }
    return text;
}

// Hexadecimal written any way a user copies it from a certificate viewer.
std::string NormalHex(std::string_view text)
{
    std::string hex;
    for (char c : text) {
        if (std::isxdigit(static_cast<unsigned char>(c))) {
            hex += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        } else if (c != ' ' && c != ':') {
            return {};
        }
    }
    return hex;
}

std::string NameText(const X509_NAME* name)
{
    BioPtr bio(BIO_new(BIO_s_mem()));
    X509_NAME_print_ex(bio.get(), name, 0, XN_FLAG_ONELINE & ~ASN1_STRFLGS_ESC_MSB);
    return BioText(bio.get());
}

platform::DateTime ToDateTime(const ASN1_TIME* time)
{
    std::tm utc {};
    if (!time || ASN1_TIME_to_tm(time, &utc) != 1) {
        return {};
    }
    return platform::ToLocal(std::chrono::system_clock::from_time_t(timegm(&utc)));
}

std::string DateText(const platform::DateTime& value)
{
    return platform::FormatDateTime("dd/mm/yyyy hh:nn:ss", value, platform::BrazilianFormatSettings());
}

} // namespace

Certificate::Certificate(std::unique_ptr<Handles> handles)
    : m_handles(std::move(handles))
{ }

Certificate::Certificate(Certificate&&) noexcept = default;
Certificate& Certificate::operator=(Certificate&&) noexcept = default;
Certificate::~Certificate() = default;

Certificate Certificate::FromPkcs12File(const std::string& fileName, std::string_view password)
{
    std::ifstream in(fileName, std::ios::binary);
    if (!in) {
        throw EmvlCertStoreException(platform::Format("Arquivo do certificado não encontrado: %s", fileName));
    }
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return FromPkcs12(bytes.str(), password, fileName);
}

Certificate Certificate::FromPkcs12(std::string_view bytes, std::string_view password, std::string_view name)
{
    EnsureOpenSsl();
    ERR_clear_error();
    BioPtr bio = MemoryBio(bytes);
    Pkcs12Ptr p12(d2i_PKCS12_bio(bio.get(), nullptr));
    if (!p12) {
        TakeOpenSslErrors();
        throw EmvlCertStoreException(
            platform::Format("O arquivo \"%s\" não é um certificado digital PKCS#12 (.pfx) válido.", name));
    }
    // An empty password may have been stored as "no password" or as an empty one.
    const std::string pass(password);
    const char* passArg = pass.c_str();
    if (!PKCS12_verify_mac(p12.get(), passArg, static_cast<int>(pass.size()))) {
        if (pass.empty() && PKCS12_verify_mac(p12.get(), nullptr, 0)) {
            passArg = nullptr;
        } else {
            TakeOpenSslErrors();
            throw EmvlCertStoreException(platform::Format("Senha do certificado incorreta: \"%s\".", name));
        }
    }
    EVP_PKEY* key = nullptr;
    X509* cert = nullptr;
    STACK_OF(X509)* chain = nullptr;
    if (!PKCS12_parse(p12.get(), passArg, &key, &cert, &chain)) {
        const std::string reason = TakeOpenSslErrors();
        throw EmvlCertStoreException(platform::Format("Não foi possível abrir o certificado \"%s\": %s", name, reason));
    }
    X509StackPtr chainOwner(chain);
    auto handles = std::make_unique<Handles>();
    handles->Key.reset(key);
    handles->Cert.reset(cert);
    if (!handles->Cert) {
        throw EmvlCertStoreException(platform::Format("O arquivo \"%s\" não contém certificado.", name));
    }
    return Certificate(std::move(handles));
}

Certificate Certificate::FromPem(std::string_view pem, std::string_view name)
{
    EnsureOpenSsl();
    ERR_clear_error();
    auto handles = std::make_unique<Handles>();
    {
        BioPtr bio = MemoryBio(pem);
        handles->Cert.reset(PEM_read_bio_X509(bio.get(), nullptr, nullptr, nullptr));
    }
    if (!handles->Cert) {
        TakeOpenSslErrors();
        throw EmvlCertStoreException(platform::Format("O arquivo \"%s\" não contém certificado.", name));
    }
    if (pem.find("PRIVATE KEY-----") != std::string_view::npos) {
        BioPtr bio = MemoryBio(pem);
        // An empty passphrase: a key of the store is never encrypted, and no prompt may appear.
        handles->Key.reset(PEM_read_bio_PrivateKey(bio.get(), nullptr, nullptr, const_cast<char*>("")));
        if (!handles->Key) {
            const std::string reason = TakeOpenSslErrors();
            throw EmvlCertStoreException(
                platform::Format("Não foi possível ler a chave privada do certificado \"%s\": %s", name, reason));
        }
    }
    return Certificate(std::move(handles));
}

std::string Certificate::SubjectName() const
{
    const X509_NAME* subject = X509_get_subject_name(m_handles->Cert.get());
    const int index = X509_NAME_get_index_by_NID(subject, NID_commonName, -1);
    if (index < 0) {
        return Subject();
    }
    const ASN1_STRING* data = X509_NAME_ENTRY_get_data(X509_NAME_get_entry(subject, index));
    unsigned char* utf8 = nullptr;
    const int size = ASN1_STRING_to_UTF8(&utf8, data);
    if (size < 0) {
        return Subject();
    }
    std::string text(reinterpret_cast<char*>(utf8), static_cast<size_t>(size));
    OPENSSL_free(utf8);
    return text;
}

std::string Certificate::Subject() const
{
    return NameText(X509_get_subject_name(m_handles->Cert.get()));
}

std::string Certificate::Issuer() const
{
    return NameText(X509_get_issuer_name(m_handles->Cert.get()));
}

std::string Certificate::SerialNumber() const
{
    const ASN1_INTEGER* serial = X509_get0_serialNumber(m_handles->Cert.get());
    return Hex(serial->data, static_cast<size_t>(serial->length));
}

std::string Certificate::Thumbprint() const
{
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    X509_digest(m_handles->Cert.get(), EVP_sha1(), digest, &size);
    return Hex(digest, size);
}

platform::DateTime Certificate::ValidFrom() const
{
    return ToDateTime(X509_get0_notBefore(m_handles->Cert.get()));
}

platform::DateTime Certificate::ValidTo() const
{
    return ToDateTime(X509_get0_notAfter(m_handles->Cert.get()));
}

bool Certificate::HasPrivateKey() const
{
    return m_handles->Key != nullptr;
}

bool Certificate::IsValidAt(const platform::DateTime& now) const
{
    return ValidFrom() <= now && now <= ValidTo();
}

void Certificate::CheckUsable(const platform::DateTime& now) const
{
    const std::string name = SubjectName();
    if (now > ValidTo()) {
        throw EmvlCertStoreException(
            platform::Format("O certificado \"%s\" está vencido desde %s.", name, DateText(ValidTo())));
    }
    if (now < ValidFrom()) {
        throw EmvlCertStoreException(
            platform::Format("O certificado \"%s\" só é válido a partir de %s.", name, DateText(ValidFrom())));
    }
    if (!HasPrivateKey()) {
        throw EmvlCertStoreException(platform::Format("O certificado \"%s\" não possui chave privada.", name));
    }
}

bool Certificate::Matches(std::string_view selector) const
{
    const std::string_view wanted = platform::Trim(selector);
    if (wanted.empty()) {
        return false;
    }
    if (platform::EqualsIgnoreCase(wanted, SubjectName())) {
        return true;
    }
    const std::string hex = NormalHex(wanted);
    return !hex.empty() && (hex == Thumbprint() || hex == SerialNumber());
}

std::string Certificate::CertificatePem() const
{
    BioPtr bio(BIO_new(BIO_s_mem()));
    PEM_write_bio_X509(bio.get(), m_handles->Cert.get());
    return BioText(bio.get());
}

std::string Certificate::ToPem() const
{
    BioPtr bio(BIO_new(BIO_s_mem()));
    PEM_write_bio_X509(bio.get(), m_handles->Cert.get());
    if (m_handles->Key) {
        PEM_write_bio_PrivateKey(bio.get(), m_handles->Key.get(), nullptr, nullptr, 0, nullptr, nullptr);
    }
    return BioText(bio.get());
}

x509_st* Certificate::X509Handle() const
{
    return m_handles->Cert.get();
}

evp_pkey_st* Certificate::KeyHandle() const
{
    return m_handles->Key.get();
}

} // namespace engine
