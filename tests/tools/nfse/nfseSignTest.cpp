#include "tests/support/SignatureVerifier.h"
#include "tests/support/TestCertificates.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

constexpr const char* kLot = "<EnviarLoteRpsEnvio xmlns=\"http://www.abrasf.org.br/nfse.xsd\"><LoteRps><ListaRps>"
                             "<Rps><InfRps><IdentificacaoRps><Numero>10</Numero><Serie>A</Serie><Tipo>1</Tipo>"
                             "</IdentificacaoRps></InfRps></Rps></ListaRps></LoteRps></EnviarLoteRpsEnvio>";

tests::ProgramRun Nfse(const std::vector<std::string>& args, const std::string& input = {})
{
    std::vector<std::string> all {"--log", tests::TempDir()};
    all.insert(all.end(), args.begin(), args.end());
    return tests::RunProgram(tests::ProgramDir() + "nfse", all, input);
}

bool Verifies(const std::string& xml, const std::string& pem, int signatures)
{
    int count = 0;
    const std::string failures = tests::VerifyWithXmlsec1(
        xml, pem, {"http://www.abrasf.org.br/nfse.xsd:InfRps", "http://www.abrasf.org.br/nfse.xsd:LoteRps"}, &count);
    EXPECT_EQ(failures, "");
    return failures.empty() && count == signatures;
}

TEST(nfse, SignWritesALotThatXmlsec1VerifiesWithOldAndNewPfxFiles)
{
    const std::string input = tests::TempDir() + "lote.xml";
    tests::WriteFile(input, kLot);
    for (const bool legacy : {false, true}) {
        SCOPED_TRACE(legacy ? "RC2-40" : "AES-256");
        tests::TestCertificateOptions options;
        options.Legacy = legacy;
        const tests::TestCertificate made =
            tests::MakeTestCertificate(tests::TempDir(), legacy ? "antigo" : "novo", options);

        const tests::ProgramRun byOption = Nfse({"sign", "--pfx", made.PfxFile, "--password", made.Password, input});
        ASSERT_EQ(byOption.Status, 0) << byOption.Errors;
        EXPECT_NE(byOption.Output.find("<InfRps Id=\"10_A_1\">"), std::string::npos);
        EXPECT_TRUE(Verifies(byOption.Output, made.CertificatePemFile, 2)) << byOption.Output;

        const tests::ProgramRun byStdin =
            Nfse({"sign", "--pfx", made.PfxFile, "--sha256", input}, made.Password + "\n");
        ASSERT_EQ(byStdin.Status, 0) << byStdin.Errors;
        EXPECT_NE(byStdin.Output.find("rsa-sha256"), std::string::npos);
        EXPECT_TRUE(Verifies(byStdin.Output, made.CertificatePemFile, 2));
    }
}

TEST(nfse, SignFailuresExplainThemselvesAndPrintNoDocument)
{
    const std::string input = tests::TempDir() + "lote.xml";
    tests::WriteFile(input, kLot);
    const tests::TestCertificate made = tests::MakeTestCertificate(tests::TempDir(), "a1");

    const tests::ProgramRun wrong = Nfse({"sign", "--pfx", made.PfxFile, "--password", "Errada#77", input});
    EXPECT_EQ(wrong.Status, 1);
    EXPECT_EQ(wrong.Output, "");
    EXPECT_NE(wrong.Errors.find("Senha do certificado incorreta"), std::string::npos);
    EXPECT_EQ(wrong.Errors.find("Errada#77"), std::string::npos);

    const tests::ProgramRun noId =
        Nfse({"sign", "--pfx", made.PfxFile, "--password", made.Password, "--id", "X9", input});
    EXPECT_EQ(noId.Status, 1);
    EXPECT_EQ(noId.Errors, "Nenhum elemento com Id=\"X9\" no XML.\n");
}

TEST(nfse, CertImportThenListThenSignByName)
{
    setenv("XDG_DATA_HOME", (tests::TempDir() + "dados").c_str(), 1);
    const tests::TestCertificate made = tests::MakeTestCertificate(tests::TempDir(), "a1");
    const tests::ProgramRun imported = Nfse({"cert", "import", made.PfxFile}, made.Password + "\n");
    ASSERT_EQ(imported.Status, 0) << imported.Errors;
    EXPECT_EQ(imported.Output.rfind("Certificado instalado: EMPRESA TESTE LTDA:12345678000195\n", 0), 0u);

    const tests::ProgramRun listed = Nfse({"cert", "list"});
    EXPECT_EQ(listed.Status, 0);
    EXPECT_EQ(listed.Output.rfind("EMPRESA TESTE LTDA:12345678000195 | válido até ", 0), 0u) << listed.Output;

    const std::string input = tests::TempDir() + "lote.xml";
    tests::WriteFile(input, kLot);
    const tests::ProgramRun signedByName = Nfse({"sign", "--cert", "EMPRESA TESTE LTDA:12345678000195", input});
    unsetenv("XDG_DATA_HOME");
    ASSERT_EQ(signedByName.Status, 0) << signedByName.Errors;
    EXPECT_TRUE(Verifies(signedByName.Output, made.CertificatePemFile, 2));
}

} // namespace
