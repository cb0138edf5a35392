#include "engine/Digests.h"

#include "engine/OpenSslHandles.h"
#include "tests/support/TestCertificates.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <openssl/x509.h>

namespace {

TEST(Digests, PublishedTestVectors)
{
    EXPECT_EQ(engine::Sha1Base64("abc"), "qZk+NkcGgWq6PiVxeFDCbJzQ2J0=");
    EXPECT_EQ(engine::Sha1Base64(""), "2jmj7l5rSw0yVb/vlWAYkK/YBwk=");
    EXPECT_EQ(engine::Md5Hex("abc"), "900150983cd24fb0d6963f7d28e17f72");
    EXPECT_EQ(engine::Md5Hex(""), "d41d8cd98f00b204e9800998ecf8427e");
    // Bytes as given: a UTF-8 "ç" is two bytes.
    EXPECT_EQ(engine::Md5Hex("ç"), engine::Md5Hex("\xC3\xA7"));
}

TEST(Digests, RsaSha1SignatureOfATextVerifiesWithTheCertificate)
{
    const tests::TestCertificate made = tests::MakeTestCertificate(tests::TempDir(), "texto");
    const engine::Certificate certificate = engine::Certificate::FromPkcs12File(made.PfxFile, made.Password);
    const std::string text = "Nota 123|Prestador 12345678000195|Valor 100,00";
    const std::string signature = engine::SignRsaSha1Base64(text, certificate);

    unsigned char raw[512];
    const int size = EVP_DecodeBlock(raw, reinterpret_cast<const unsigned char*>(signature.data()),
                                     static_cast<int>(signature.size()));
    ASSERT_EQ(size, 258); // RSA-2048: 256 bytes, and the decoder counts the two "=" of the padding
    engine::EvpMdCtxPtr ctx(EVP_MD_CTX_new());
    ASSERT_EQ(EVP_DigestVerifyInit(ctx.get(), nullptr, EVP_sha1(), nullptr, X509_get0_pubkey(certificate.X509Handle())),
              1);
    EXPECT_EQ(EVP_DigestVerify(ctx.get(), raw, 256, reinterpret_cast<const unsigned char*>(text.data()), text.size()),
              1);
    engine::EvpMdCtxPtr other(EVP_MD_CTX_new());
    ASSERT_EQ(
        EVP_DigestVerifyInit(other.get(), nullptr, EVP_sha1(), nullptr, X509_get0_pubkey(certificate.X509Handle())), 1);
    EXPECT_EQ(EVP_DigestVerify(other.get(), raw, 256, reinterpret_cast<const unsigned char*>("outro"), 5), 0);
}

} // namespace
