#include "engine/CertificateStore.h"

#include "engine/mvlExceptions.h"
#include "platform/Clock.h"
#include "tests/support/TestCertificates.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

mode_t Mode(const std::string& path)
{
    struct stat info
    { };
    ::stat(path.c_str(), &info);
    return info.st_mode & 0777;
}

std::string MessageOf(const std::function<void()>& action)
{
    try {
        action();
    } catch (const EmvlException& error) {
        return error.what();
    }
    return "sem erro";
}

TEST(Certificate, OpensNewAndLegacyPfxFiles)
{
    struct Row
    {
        const char* Name;
        bool Legacy;
    };
    for (const Row& row : {Row {"AES-256", false}, Row {"RC2-40 and 3DES", true}}) {
        SCOPED_TRACE(row.Name);
        tests::TestCertificateOptions options;
        options.Legacy = row.Legacy;
        options.CommonName = "EMPRESA ÁGUA LTDA:12345678000195";
        const tests::TestCertificate made = tests::MakeTestCertificate(tests::TempDir(), row.Name, options);

        const engine::Certificate certificate = engine::Certificate::FromPkcs12File(made.PfxFile, made.Password);
        EXPECT_EQ(certificate.SubjectName(), "EMPRESA ÁGUA LTDA:12345678000195");
        EXPECT_TRUE(certificate.HasPrivateKey());
        EXPECT_EQ(certificate.SerialNumber(), "1092"); // 4242
        EXPECT_EQ(certificate.Thumbprint().size(), 40u);
        EXPECT_NO_THROW(certificate.CheckUsable(platform::Clock::Now()));
    }
}

TEST(Certificate, OpeningFailuresSayWhatIsWrongAndNeverShowThePassword)
{
    const tests::TestCertificate made = tests::MakeTestCertificate(tests::TempDir(), "a1");
    tests::WriteFile(tests::TempDir() + "lixo.pfx", "isto não é um certificado");
    struct Row
    {
        const char* Name;
        std::string File;
        std::string Password;
        std::string Message;
    };
    const Row rows[] = {
        {"wrong password", made.PfxFile, "senha-errada-XYZ",
         "Senha do certificado incorreta: \"" + made.PfxFile + "\"."},
        {"missing file", tests::TempDir() + "nada.pfx", "Segredo#991",
         "Arquivo do certificado não encontrado: " + tests::TempDir() + "nada.pfx"},
        {"not PKCS#12", tests::TempDir() + "lixo.pfx", "Segredo#992",
         "O arquivo \"" + tests::TempDir() +
             "lixo.pfx\" não é um certificado digital PKCS#12 "
             "(.pfx) válido."},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Name);
        const std::string message = MessageOf([&] { engine::Certificate::FromPkcs12File(row.File, row.Password); });
        EXPECT_EQ(message, row.Message);
        EXPECT_EQ(message.find(row.Password), std::string::npos);
    }
}

TEST(Certificate, ValidityPeriodDecidesUse)
{
    struct Row
    {
        const char* Name;
        int From;
        int To;
        std::string MessageStart;
    };
    const Row rows[] = {
        {"expired", -400, -30, "O certificado \"EMPRESA TESTE LTDA:12345678000195\" está vencido desde "},
        {"not yet valid", 10, 400, "O certificado \"EMPRESA TESTE LTDA:12345678000195\" só é válido a partir de "},
        {"valid", -1, 1, "sem erro"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Name);
        tests::TestCertificateOptions options;
        options.ValidFromDays = row.From;
        options.ValidToDays = row.To;
        const tests::TestCertificate made = tests::MakeTestCertificate(tests::TempDir(), row.Name, options);
        const engine::Certificate certificate = engine::Certificate::FromPkcs12File(made.PfxFile, made.Password);
        const std::string message = MessageOf([&] { certificate.CheckUsable(platform::Clock::Now()); });
        EXPECT_EQ(message.substr(0, row.MessageStart.size()), row.MessageStart);
    }
}

TEST(CertificateStore, ImportedCertificatesAreListedPrivatelyAndFoundByCnSerialOrThumbprint)
{
    const std::string folder = tests::TempDir() + "store/";
    engine::CertificateStore store(folder);
    tests::TestCertificateOptions second;
    second.CommonName = "Outra Empresa SA:98765432000110";
    second.Serial = 77;
    second.Legacy = true;
    const engine::Certificate first =
        store.Import(tests::MakeTestCertificate(tests::TempDir(), "um").PfxFile, "senha123");
    store.Import(tests::MakeTestCertificate(tests::TempDir(), "dois", second).PfxFile, "senha123");
    store.Import(tests::MakeTestCertificate(tests::TempDir(), "um-de-novo").PfxFile, "senha123");

    EXPECT_EQ(Mode(folder), 0700u);
    EXPECT_EQ(Mode(folder + first.Thumbprint() + ".pem"), 0600u);

    std::vector<std::string> names;
    engine::ListarCertificados(&names, store);
    EXPECT_EQ(names,
              (std::vector<std::string> {"EMPRESA TESTE LTDA:12345678000195", "Outra Empresa SA:98765432000110"}));

    for (const std::string& selector :
         {std::string("outra empresa sa:98765432000110"), std::string("4D"), std::string("4d")}) {
        SCOPED_TRACE(selector);
        const std::optional<engine::Certificate> found = store.Find(selector);
        ASSERT_TRUE(found);
        EXPECT_EQ(found->SubjectName(), "Outra Empresa SA:98765432000110");
        EXPECT_TRUE(found->HasPrivateKey());
    }
    std::string spaced;
    for (size_t i = 0; i < first.Thumbprint().size(); i += 2) {
        spaced += first.Thumbprint().substr(i, 2) + ":";
    }
    ASSERT_TRUE(store.Find(spaced));
    EXPECT_EQ(store.Find(spaced)->SubjectName(), first.SubjectName());
    EXPECT_FALSE(store.Find("Ninguém"));

    EXPECT_EQ(MessageOf([&] { engine::ListarCertificados(nullptr, store); }),
              "A lista do certificado não foi instanciada. ");
}

TEST(CertificateStore, EngineChecksOfTheSelectedCertificate)
{
    engine::CertificateStore store(tests::TempDir() + "store/");
    tests::TestCertificateOptions expired;
    expired.CommonName = "Vencida Ltda";
    expired.ValidFromDays = -400;
    expired.ValidToDays = -1;
    store.Import(tests::MakeTestCertificate(tests::TempDir(), "vencida", expired).PfxFile, "senha123");
    const tests::TestCertificate valid = tests::MakeTestCertificate(tests::TempDir(), "valida");
    store.Import(valid.PfxFile, valid.Password);

    EXPECT_TRUE(engine::VerificarCertificado("EMPRESA TESTE LTDA:12345678000195", store));
    EXPECT_FALSE(engine::VerificarCertificado("Vencida Ltda", store));
    EXPECT_FALSE(engine::VerificarCertificado("Ninguém", store));
    EXPECT_LT(engine::ValidadeCertificado("Vencida Ltda", store), platform::Clock::Now());

    EXPECT_NO_THROW(engine::CheckSelectedCertificate("", "", "", store)) << "nothing chosen, nothing checked";
    EXPECT_NO_THROW(engine::CheckSelectedCertificate("Ninguém\nEMPRESA TESTE LTDA:12345678000195", "", "", store));
    EXPECT_NO_THROW(engine::CheckSelectedCertificate("", valid.PfxFile, valid.Password, store));
    EXPECT_EQ(MessageOf([&] { engine::CheckSelectedCertificate("Ninguém", "", "", store); }),
              "Certificado não encontrado: Ninguém");
    EXPECT_EQ(MessageOf([&] { engine::CheckSelectedCertificate("Vencida Ltda", "", "", store); }).substr(0, 45),
              std::string("O certificado \"Vencida Ltda\" está vencido desde ").substr(0, 45));
    EXPECT_THROW(engine::CheckSelectedCertificate("", valid.PfxFile, "errada", store), EmvlCertStoreException);
}

} // namespace
