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

std::string Quote(const std::string& arg)
{
    std::string quoted = "'";
    for (char c : arg) {
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return quoted + "'";
}

struct Result
{
    int Status = -1;
    std::string Output; // standard output only
    std::string Errors;
};

Result Nfse(const std::vector<std::string>& args, const std::string& input = {})
{
    std::string command = Quote(tests::ProgramDir() + "nfse");
    for (const std::string& arg : args) {
        command += " " + Quote(arg);
    }
    const std::string errors = tests::TempDir() + "stderr.txt";
    const std::string stdinFile = tests::TempDir() + "stdin.txt";
    tests::WriteFile(stdinFile, input);
    command += " < " + Quote(stdinFile) + " 2> " + Quote(errors);
    Result result;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return result;
    }
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) {
        result.Output.append(buffer, n);
    }
    const int status = ::pclose(pipe);
    result.Status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.Errors = tests::ReadFile(errors);
    return result;
}

bool Verifies(const std::string& xml, const std::string& pem, int signatures)
{
    const std::string file = tests::TempDir() + "assinado.xml";
    tests::WriteFile(file, xml);
    for (int i = 1; i <= signatures; ++i) {
        const std::string command = "xmlsec1 --verify --trusted-pem " + Quote(pem) +
            " --id-attr:Id http://www.abrasf.org.br/nfse.xsd:InfRps"
            " --id-attr:Id http://www.abrasf.org.br/nfse.xsd:LoteRps --node-xpath " +
            Quote("(//*[local-name()='Signature'])[" + std::to_string(i) + "]") + " " + Quote(file) +
            " > /dev/null 2>&1";
        if (std::system(command.c_str()) != 0) {
            return false;
        }
    }
    return true;
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

        const Result byOption = Nfse({"sign", "--pfx", made.PfxFile, "--password", made.Password, input});
        ASSERT_EQ(byOption.Status, 0) << byOption.Errors;
        EXPECT_NE(byOption.Output.find("<InfRps Id=\"10_A_1\">"), std::string::npos);
        EXPECT_TRUE(Verifies(byOption.Output, made.CertificatePemFile, 2)) << byOption.Output;

        const Result byStdin = Nfse({"sign", "--pfx", made.PfxFile, "--sha256", input}, made.Password + "\n");
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

    const Result wrong = Nfse({"sign", "--pfx", made.PfxFile, "--password", "Errada#77", input});
    EXPECT_EQ(wrong.Status, 1);
    EXPECT_EQ(wrong.Output, "");
    EXPECT_NE(wrong.Errors.find("Senha do certificado incorreta"), std::string::npos);
    EXPECT_EQ(wrong.Errors.find("Errada#77"), std::string::npos);

    const Result noId = Nfse({"sign", "--pfx", made.PfxFile, "--password", made.Password, "--id", "X9", input});
    EXPECT_EQ(noId.Status, 1);
    EXPECT_EQ(noId.Errors, "Nenhum elemento com Id=\"X9\" no XML.\n");
}

TEST(nfse, CertImportThenListThenSignByName)
{
    setenv("XDG_DATA_HOME", (tests::TempDir() + "dados").c_str(), 1);
    const tests::TestCertificate made = tests::MakeTestCertificate(tests::TempDir(), "a1");
    const Result imported = Nfse({"cert", "import", made.PfxFile}, made.Password + "\n");
    ASSERT_EQ(imported.Status, 0) << imported.Errors;
    EXPECT_EQ(imported.Output.rfind("Certificado instalado: EMPRESA TESTE LTDA:12345678000195\n", 0), 0u);

    const Result listed = Nfse({"cert", "list"});
    EXPECT_EQ(listed.Status, 0);
    EXPECT_EQ(listed.Output.rfind("EMPRESA TESTE LTDA:12345678000195 | válido até ", 0), 0u) << listed.Output;

    const std::string input = tests::TempDir() + "lote.xml";
    tests::WriteFile(input, kLot);
    const Result signedByName = Nfse({"sign", "--cert", "EMPRESA TESTE LTDA:12345678000195", input});
    unsetenv("XDG_DATA_HOME");
    ASSERT_EQ(signedByName.Status, 0) << signedByName.Errors;
    EXPECT_TRUE(Verifies(signedByName.Output, made.CertificatePemFile, 2));
}

} // namespace
