#include "engine/mvlNFSeGov.h"

#include "engine/mvlExceptions.h"
#include "engine/mvlNFSe.h"
#include "platform/Clock.h"
#include "platform/IniFile.h"
#include "platform/ProgramFolder.h"
#include "tests/engine/EngineTestSupport.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

std::string WriteConfig(const std::string& root, const std::string& keys)
{
    const std::string file = root + "nfseConfig.ini";
    tests::WriteFile(file, "[NFSE]\nCIDADE=BELOHORIZONTEMG\n" + keys);
    return file;
}

} // namespace

TEST(TmvlNFSeGov, LoadsTheEnvironmentAndCertificateKind)
{
    struct Row
    {
        const char* Keys;
        TAmbienteKind Ambiente;
        bool Valid;
        TCertificadoKind Certificado;
    };
    const std::vector<Row> rows {
        {"Ambiente=1\nTipoCertificado=SmartCard\n", TAmbienteKind::akProducao, true, TCertificadoKind::ckSmartCard},
        {"Ambiente=2\nTipoCertificado=file\n", TAmbienteKind::akHomologacao, true, TCertificadoKind::ckFile},
        {"TipoCertificado=LOCALMACHINE\n", TAmbienteKind::akHomologacao, true, TCertificadoKind::ckLocalMachine},
        {"Ambiente=3\nTipoCertificado=memory\n", static_cast<TAmbienteKind>(2), false, TCertificadoKind::ckMemory},
        {"Ambiente=x\nTipoCertificado=ActiveDirectory\n", TAmbienteKind::akHomologacao, true,
         TCertificadoKind::ckActiveDiretory},
        {"TipoCertificado=PENDRIVE\n", TAmbienteKind::akHomologacao, true, TCertificadoKind::ckFile},
        {"", TAmbienteKind::akHomologacao, true, TCertificadoKind::ckFile},
    };
    const std::string root = tests::MakeEngineFolder();
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Keys);
        WriteConfig(root, row.Keys);
        TmvlNFSe engine(root);
        engine.SetTipoCertificado(TCertificadoKind::ckSmartCard);
        engine.LoadConfig();
        EXPECT_EQ(engine.Ambiente(), row.Ambiente);
        EXPECT_EQ(engine.AmbienteValido(), row.Valid);
        EXPECT_EQ(engine.TipoCertificado(), row.Certificado);
    }
}

TEST(TmvlNFSeGov, MissingKeysTakeTheirDefaults)
{
    const std::string root = tests::MakeEngineFolder();
    tests::WriteFile(root + "nfseConfig.ini", "[NFSE]\n");
    TmvlNFSe engine(root);
    engine.LoadConfig();
    EXPECT_EQ(engine.Cidade(), "CURITIBA");
    EXPECT_EQ(engine.Ambiente(), TAmbienteKind::akHomologacao);
    EXPECT_EQ(engine.DiretorioLog(), "\\Log");
    EXPECT_EQ(engine.DiretorioTemplates(), root + "Templates/");
    EXPECT_EQ(engine.DiretorioEsquemas(), root + "Esquemas/");
    EXPECT_EQ(engine.ArquivoServidoresHom(), "nfseServidoresHom.ini");
    EXPECT_EQ(engine.ArquivoServidoresProd(), "nfseServidoresProd.ini");
    EXPECT_EQ(engine.DiretorioXmlImpressao(), "XmlImpressao\\");
    EXPECT_EQ(engine.MappingFileName(), "Mapping.txt");
    EXPECT_EQ(engine.ArquivoLocais(), "nfseLocais.ini");
    EXPECT_TRUE(engine.RemoverAcentos());
    EXPECT_FALSE(engine.ValidarEsquemaAntesEnvio());
    EXPECT_EQ(engine.TimeOut(), 0);
    EXPECT_TRUE(engine.NomesCertificado().empty());
    EXPECT_EQ(engine.EmailSettings().TimeOut, 30000);
    EXPECT_FALSE(engine.EmailSettings().Autenticacao);
}

TEST(TmvlNFSeGov, SaveThenLoadKeepsTheSettings)
{
    const std::string root = tests::MakeEngineFolder();
    for (TCertificadoKind kind :
         {TCertificadoKind::ckMemory, TCertificadoKind::ckLocalMachine, TCertificadoKind::ckFile,
          TCertificadoKind::ckActiveDiretory, TCertificadoKind::ckSmartCard}) {
        SCOPED_TRACE(static_cast<int>(kind));
        {
            TmvlNFSe engine(root);
            engine.SetCidade("BELOHORIZONTEMG");
            engine.SetTipoCertificado(kind);
            engine.SetAmbiente(TAmbienteKind::akProducao);
            engine.SetNomesCertificado({"EMPRESA TESTE LTDA:12345678000199"});
            engine.SetPinCode("1234");
            engine.SetCNPJ("12345678000199");
            engine.SetInscricaoMunicipal("0012345");
            engine.SetValidarEsquemaAntesEnvio(true);
            engine.SetDiretorioLog("\\NFSe\\Engine\\Log\\");
            engine.EmailSettings().Porta = 587;
            engine.SaveConfig();
        }
        const platform::IniFile saved(root + "nfseConfig.ini");
        EXPECT_NE(saved.ReadString("NFSE", "PINCODE", ""), "1234"); // never in clear text
        EXPECT_FALSE(saved.ReadString("NFSE", "Repositorio", "").empty());

        TmvlNFSe loaded(root);
        loaded.LoadConfig();
        EXPECT_EQ(loaded.TipoCertificado(), kind);
        EXPECT_EQ(loaded.Ambiente(), TAmbienteKind::akProducao);
        EXPECT_EQ(loaded.Cidade(), "BELOHORIZONTE");
        EXPECT_EQ(loaded.NomesCertificado(), std::vector<std::string> {"EMPRESA TESTE LTDA:12345678000199"});
        EXPECT_EQ(loaded.PinCode(), "1234");
        EXPECT_EQ(loaded.CNPJ(), "12345678000199");
        EXPECT_EQ(loaded.InscricaoMunicipal(), "0012345");
        EXPECT_TRUE(loaded.ValidarEsquemaAntesEnvio());
        EXPECT_EQ(loaded.DiretorioLog(), "\\NFSe\\Engine\\Log\\");
        EXPECT_EQ(loaded.EmailSettings().Porta, 587);
    }
}

TEST(TmvlNFSeGov, LoadFailuresNameTheirCause)
{
    const std::string root = tests::MakeEngineFolder();
    TmvlNFSe engine(root);
    try {
        engine.LoadConfig("outro.ini");
        FAIL() << "loaded";
    } catch (const EmvlNFSeException& error) {
        EXPECT_EQ(std::string(error.what()),
                  "Um problema foi encontrado durante o carregamento do arquivo de configuração: \"Arquivo de "
                  "configuração \"" +
                      root + "outro.ini\" não foi encontrado\"");
    }
    WriteConfig(root, "ArquivoLocais=naoexiste.ini\n");
    try {
        engine.LoadConfig();
        FAIL() << "loaded";
    } catch (const EmvlNFSeException& error) {
        EXPECT_NE(std::string(error.what()).find("O arquivo de locais informado não existe: " + root + "naoexiste.ini"),
                  std::string::npos)
            << error.what();
    }
    EXPECT_THROW(engine.LoadConfig(static_cast<const platform::IniFile*>(nullptr)), EmvlConfigINIException);
    EXPECT_THROW(engine.SaveConfig(static_cast<platform::IniFile*>(nullptr)), EmvlConfigINIException);
}

TEST(TmvlNFSeGov, LogsAreNamedByTimeAndIdAndReadableByTheOwnerOnly)
{
    const std::string root = tests::MakeEngineFolder();
    TmvlNFSe engine(root);
    engine.SetDiretorioLog("\\NFSe\\Engine\\Log\\");
    std::vector<std::string> fired;
    engine.SetOnLog([&](const std::string& nome, const std::string& id, const std::string& fileName) {
        fired.push_back(nome + "|" + id + "|" + fileName);
    });
    platform::ScopedClockPin pin({2026, 12, 11, 9, 5, 7, 42});

    const std::string withId = engine.SalvarLog("<r>senha</r>", "ConsultarLoteresposta", "", "123");
    EXPECT_EQ(withId, root + "NFSe/Engine/Log/2026-12-11-09-05-07-42_123_ConsultarLoteresposta.xml");
    EXPECT_EQ(tests::ReadFile(withId), "<r>senha</r>");
    struct stat info
    { };
    ASSERT_EQ(::stat(withId.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    EXPECT_EQ(engine.UltimoLog(), withId);

    const std::string withoutId = engine.SalvarLog("<e/>", "EnviarLoteenvio");
    EXPECT_EQ(withoutId, root + "NFSe/Engine/Log/2026-12-11-09-05-07-42-EnviarLoteenvio.xml");
    EXPECT_EQ(fired,
              (std::vector<std::string> {"ConsultarLoteresposta|123|" + withId, "EnviarLoteenvio||" + withoutId}));

    tests::WriteFile(root + "arquivo", "x");
    engine.SetDiretorioLog(root + "arquivo/Log");
    EXPECT_THROW(engine.SalvarLog("x", "y"), EmvlLogException);
}
