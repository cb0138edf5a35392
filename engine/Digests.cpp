#include "engine/Digests.h"

#include "engine/OpenSslHandles.h"
#include "engine/mvlExceptions.h"
#include "platform/Format.h"

namespace engine {
namespace {

std::string Digest(const EVP_MD* md, std::string_view text)
{
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    if (EVP_Digest(text.data(), text.size(), digest, &size, md, nullptr) != 1) {
        throw EmvlNFSeException(platform::Format("Erro ao calcular o resumo: %s", TakeOpenSslErrors()));
    }
    return std::string(reinterpret_cast<char*>(digest), size);
}

} // namespace

std::string Base64(std::string_view bytes)
{
    std::string text(4 * ((bytes.size() + 2) / 3) + 1, '\0');
    const int size =
        EVP_EncodeBlock(reinterpret_cast<unsigned char*>(text.data()),
                        reinterpret_cast<const unsigned char*>(bytes.data()), static_cast<int>(bytes.size()));
    text.resize(static_cast<size_t>(size));
    return text;
}

std::string Sha1Base64(std::string_view text)
{
    return Base64(Digest(EVP_sha1(), text));
}

std::string Md5Hex(std::string_view text)
{
    static const char kDigits[] = "0123456789abcdef";
    std::string hex;
    for (unsigned char byte : Digest(EVP_md5(), text)) {
        hex += kDigits[byte >> 4];
        hex += kDigits[byte & 0x0F];
    }
    return hex;
}

std::string SignRsaSha1Base64(std::string_view text, const Certificate& certificate)
{
    if (!certificate.HasPrivateKey()) {
        throw EmvlCertStoreException(
            platform::Format("O certificado \"%s\" não possui chave privada.", certificate.SubjectName()));
    }
    EvpMdCtxPtr ctx(EVP_MD_CTX_new());
    size_t size = 0;
    if (!ctx || EVP_DigestSignInit(ctx.get(), nullptr, EVP_sha1(), nullptr, certificate.KeyHandle()) != 1 ||
        EVP_DigestSign(ctx.get(), nullptr, &size, reinterpret_cast<const unsigned char*>(text.data()), text.size()) !=
            1) {
        throw EmvlNFSeSignatureException(platform::Format("Erro na assinatura: %s", TakeOpenSslErrors()));
    }
    std::string signature(size, '\0');
    if (EVP_DigestSign(ctx.get(), reinterpret_cast<unsigned char*>(signature.data()), &size,
                       reinterpret_cast<const unsigned char*>(text.data()), text.size()) != 1) {
        throw EmvlNFSeSignatureException(platform::Format("Erro na assinatura: %s", TakeOpenSslErrors()));
    }
    signature.resize(size);
    return Base64(signature);
}

} // namespace engine
