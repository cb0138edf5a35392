#include "platform/ProgramFolder.h"
#include "tests/support/TestPki.h"
#include "tests/support/TestSupport.h"
#include "tools/citysim/CitySim.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <regex>
#include <vector>

using testing::HasSubstr;

namespace {

struct NfseRun
{
    int Status = -1;
    std::string Out;
    std::string Err;
};

std::string Quote(const std::string& arg)
{
    std::string quoted = "'";
    for (char c : arg) {
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return quoted + "'";
}

NfseRun Nfse(const std::vector<std::string>& args)
{
    const std::string errFile = tests::TempDir() + "nfse.err";
    std::string command = Quote(tests::ProgramDir() + "nfse") + " --log " + Quote(tests::TempDir());
    for (const std::string& arg : args) {
        command += " " + Quote(arg);
    }
    command += " 2>" + Quote(errFile);
    NfseRun run;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return run;
    }
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) {
        run.Out.append(buffer, n);
    }
    const int status = ::pclose(pipe);
    run.Status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.Err = tests::ReadFile(errFile);
    return run;
}

} // namespace

TEST(nfseSend, SendsToTheCityOverHttpsWithTheConfiguredCertificate)
{
    const std::string root = tests::TempDir();
    const tests::TestPki pki = tests::MakeTestPki(root);
    tools::CitySimOptions options;
    options.Https = true;
    options.CertificateFile = pki.ServerCertFile;
    options.KeyFile = pki.ServerKeyFile;
    options.ClientCaFile = pki.CaCertFile;
    tools::CitySim sim(options);
    sim.UseAbrasfDialect("/nfse");
    sim.Start();

    tests::WriteFile(root + "nfseConfig.ini",
                     "[NFSE]\n"
                     "CIDADE=CIDADEUMXX\n"
                     "Ambiente=2\n"
                     "DiretorioLog=Log\\\n"
                     "CaminhoCertificado=" +
                         pki.ClientPfxFile + "\nSenhaCertificado=" + pki.ClientPassword +
                         "\nArquivoAutoridadesCertificadoras=" + pki.CaCertFile + "\n");
    tests::WriteFile(root + "nfseLocais.ini",
                     "[LOCAIS]\nCIDADEUMXX=9999991\nCIDADEGXX=9999990\n"
                     "[CIDADEUMXX]\nCollectionName=ABRASF\n"
                     "[CIDADEGXX]\nCollectionName=GINFES\n");
    tests::WriteFile(root + "nfseServidoresHom.ini",
                     "[CIDADEUMXX]\nNFSe=" + sim.BaseUrl() +
                         "/nfse\nSoapURI=http://www.abrasf.org.br/nfse\n"
                         "[CIDADEGXX]\nNFSe=" +
                         sim.BaseUrl() + "/nfse\n");
    tests::WriteFile(root + "Templates/envelope_soap.xml",
                     tests::ReadFile(tests::SourceDir() + "data/NFSe/Engine/Templates/envelope_soap.xml"));
    tests::WriteFile(root + "consulta.xml",
                     "<ConsultarLoteRpsEnvio xmlns=\"http://www.abrasf.org.br/nfse\">\n"
                     "  <Protocolo>77</Protocolo>\n"
                     "</ConsultarLoteRpsEnvio>\n");

    const NfseRun sent =
        Nfse({"--pasta", root, "send", "--city", "CIDADEUMXX", "--service", "ConsultarLoteRps", root + "consulta.xml"});
    ASSERT_EQ(sent.Status, 0) << sent.Err;
    EXPECT_THAT(sent.Out, HasSubstr("<ConsultarLoteRpsResult>"));
    EXPECT_THAT(sent.Out, HasSubstr("Número do protocolo não encontrado"));

    const tools::RecordedRequest request = sim.LastRequest();
    EXPECT_EQ(request.SoapAction, "http://www.abrasf.org.br/nfse/ConsultarLoteRps");
    EXPECT_EQ(request.ClientSubject, pki.ClientCommonName);
    EXPECT_THAT(request.Text(), HasSubstr("<soap:Body><ConsultarLoteRpsEnvio"));

    std::smatch match;
    ASSERT_TRUE(std::regex_search(sent.Err, match, std::regex("log ConsultarLoteRps-envio: (\\S+)")));
    EXPECT_EQ(tests::ReadFile(match[1].str()), request.Text());
    ASSERT_TRUE(std::regex_search(sent.Err, match, std::regex("log ConsultarLoteRps-resposta: (\\S+)")));
    EXPECT_EQ(tests::ReadFile(match[1].str()) + "\n", sent.Out);

    // Through a collection this version does not build: a clear refusal, nothing sent.
    const size_t before = sim.RequestCount();
    const NfseRun refused =
        Nfse({"--pasta", root, "send", "--city", "CIDADEGXX", "--operation", "Enviar_ViaProxy", root + "consulta.xml"});
    EXPECT_EQ(refused.Status, 1);
    EXPECT_THAT(refused.Err, HasSubstr("\"GINFES\""));
    EXPECT_EQ(sim.RequestCount(), before);
}
