#include "platform/ProgramFolder.h"
#include "tests/support/TestCertificates.h"
#include "tests/support/TestSupport.h"
#include "tools/citysim/Abrasf100City.h"
#include "tools/citysim/CitySim.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

using testing::HasSubstr;

// The whole ABRASF 1.00 cycle from the command line: each command prints what the engine's
// proxy returns, and each step reads the file the previous one wrote.
TEST(nfseCycle, Tx2SignSendConsultAndCancelAgainstAnAbrasfCity)
{
    const std::string schemas = tests::SourceDir() + "data/NFSe/Engine/Esquemas/ABRASF/";
    tools::Abrasf100City city(schemas);
    tools::CitySim sim;
    city.Install(sim, "/nfse");
    sim.Start();

    const std::string root = tests::TempDir() + "programa/";
    std::filesystem::create_directories(root);
    std::filesystem::copy(tests::SourceDir() + "data/", root,
                          std::filesystem::copy_options::recursive | std::filesystem::copy_options::overwrite_existing);
    const tests::TestCertificate certificate = tests::MakeTestCertificate(tests::TempDir(), "empresa");
    tests::WriteFile(root + "nfseConfig.ini",
                     "[NFSE]\nCIDADE=ARACAJU\nAmbiente=2\nCNPJ=12345678000195\n"
                     "InscricaoMunicipal=98765\nValidarEsquema=1\n"
                     "DiretorioEsquemas=\\NFSe\\Engine\\Esquemas\\\n"
                     "DiretorioTemplates=\\NFSe\\Engine\\Templates\\\n"
                     "DiretorioLog=\\NFSe\\Engine\\Log\\\n"
                     "DiretorioXmlImpressao=\\NFSe\\Engine\\XmlImpressao\\\n"
                     "CaminhoCertificado=" +
                         certificate.PfxFile + "\nSenhaCertificado=" + certificate.Password + "\n");
    tests::WriteFile(root + "nfseLocais.ini", "[ARACAJU]\nCollectionName=ABRASF\nGerarAssinaturaRps=0\n");
    tests::WriteFile(root + "nfseServidoresHom.ini", "[ARACAJU]\nNFSe=" + sim.BaseUrl() + "/nfse\n");
    const std::string nfse = tests::ProgramDir() + "nfse";
    const auto run = [&](std::vector<std::string> args) {
        args.insert(args.begin(), {"--pasta", root});
        return tests::RunProgram(nfse, args);
    };

    const auto xml =
        run({"tx2", "xml", "--city", "aracaju", tests::CopyFixture("providers/Abrasf/LoteDoisTomadores.tx2")});
    ASSERT_EQ(xml.Status, 0) << xml.Errors;
    EXPECT_THAT(xml.Output, HasSubstr("<LoteRps Id=\"L12\">"));
    tests::WriteFile(tests::TempDir() + "lote.xml", xml.Output);

    const auto signedLot = run({"sign", "--city", "ARACAJU", tests::TempDir() + "lote.xml"});
    ASSERT_EQ(signedLot.Status, 0) << signedLot.Errors;
    EXPECT_THAT(signedLot.Output, HasSubstr("<SignatureValue>"));
    tests::WriteFile(tests::TempDir() + "assinado.xml", signedLot.Output);

    const auto sent =
        run({"send", "--city", "ARACAJU", "--operation", "Enviar_ViaProxy", tests::TempDir() + "assinado.xml"});
    ASSERT_EQ(sent.Status, 0) << sent.Errors;
    EXPECT_EQ(sent.Output, "PROT5000\n");
    EXPECT_THAT(sent.Errors, HasSubstr("enviar_lote_rps_resposta.xml"));

    const auto lot = run({"consult", "--city", "ARACAJU", "--extras", "Cabecalho=true", "lot", "PROT5000"});
    ASSERT_EQ(lot.Status, 0) << lot.Errors;
    EXPECT_THAT(lot.Output, HasSubstr("<TipoRetorno>LoteNotas</TipoRetorno><SituacaoLote>4</SituacaoLote>"));

    const auto rps = run({"consult", "--city", "ARACAJU", "rps", "102", "NF", "1"});
    EXPECT_THAT(rps.Output, HasSubstr("<Numero>202600002</Numero>"));
    const auto note = run({"consult", "--city", "ARACAJU", "nfse", "202600001"});
    EXPECT_THAT(note.Output, HasSubstr("<Numero>202600001</Numero>"));

    const auto cancelled = run({"cancel", "--city", "ARACAJU", "--extras", "Cabecalho=true", "202600001"});
    ASSERT_EQ(cancelled.Status, 0) << cancelled.Errors;
    EXPECT_THAT(cancelled.Output, HasSubstr("<Cancelada>true</Cancelada>"));

    for (const std::string& check : city.Checks()) {
        EXPECT_EQ(check, "");
    }
    EXPECT_EQ(city.Checks().size(), 5u);

    const auto usage = run({"consult", "--city", "ARACAJU", "rps", "102"});
    EXPECT_NE(usage.Status, 0);
}
