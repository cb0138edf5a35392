#include "platform/IniFile.h"

#include "platform/Cp1252.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace platform;
using tests::ReadFile;
using tests::TempDir;
using tests::WriteFile;

namespace {

const char* const kSample = "; configuração do motor\n"
                            "[NFSE]\n"
                            "Ambiente=2\n"
                            "Senha= ab;c,d\\e\"f\"=g \n"
                            "ambiente=1\n"
                            "\n"
                            "[Servidores]\n"
                            "Chave=x\n"
                            "[nfse]\n"
                            "Extra=segunda seção\n"
                            "[São Paulo/SP]\n"
                            "Codigo=3550308\n";

} // namespace

TEST(IniFile, LooksUpWithoutCaseAndTheFirstMatchWins)
{
    const IniFile ini = IniFile::FromText(kSample);
    EXPECT_EQ(ini.ReadString("nfse", "AMBIENTE", "?"), "2");
    // A second section of the same name is never reached.
    EXPECT_EQ(ini.ReadString("NFSE", "Extra", "ausente"), "ausente");
    EXPECT_EQ(ini.ReadString("são paulo/sp", "codigo", ""), "3550308");
    EXPECT_EQ(ini.ReadString("Outra", "Ambiente", "padrão"), "padrão");
    EXPECT_EQ(ini.ReadInteger("NFSE", "Ambiente", 0), 2);
    EXPECT_EQ(ini.ReadInteger("Servidores", "Chave", -1), -1);
    EXPECT_TRUE(ini.ReadBool("NFSE", "Ambiente", false));
}

TEST(IniFile, ValuesAreRawText)
{
    const IniFile ini = IniFile::FromText(kSample);
    EXPECT_EQ(ini.ReadString("NFSE", "Senha", ""), " ab;c,d\\e\"f\"=g ");
    const IniFile spaced = IniFile::FromText("[S]\n  Chave  =  valor\r\n");
    EXPECT_EQ(spaced.ReadString("S", "chave", ""), "  valor");
}

TEST(IniFile, ListsSectionsAndKeys)
{
    const IniFile ini = IniFile::FromText(kSample);
    EXPECT_EQ(ini.ReadSections(), (std::vector<std::string> {"NFSE", "Servidores", "São Paulo/SP"}));
    EXPECT_EQ(ini.ReadSection("nfse"), (std::vector<std::string> {"Ambiente", "Senha"}));
    EXPECT_TRUE(ini.SectionExists("servidores"));
    EXPECT_TRUE(ini.ValueExists("Servidores", "CHAVE"));
    EXPECT_FALSE(ini.ValueExists("Servidores", "Outra"));
}

TEST(IniFile, MissingFileReadsEmptyAndIsCreatedOnUpdate)
{
    const std::string path = TempDir() + "novo.ini";
    IniFile ini(path);
    EXPECT_TRUE(ini.ReadSections().empty());
    EXPECT_EQ(ini.ReadString("NFSE", "Cidade", "x"), "x");
    ini.WriteString("NFSE", "Cidade", "São Paulo");
    ini.UpdateFile();
    // New files are written in the code page the system's peers read.
    EXPECT_EQ(ReadFile(path), "[NFSE]\nCidade=S\xE3o Paulo\n");
}

TEST(IniFile, RewriteKeepsForeignKeysCommentsAndLayout)
{
    const std::string path = TempDir() + "nfseConfig.ini";
    WriteFile(path,
              Utf8ToCp1252("; não mexa\r\n[NFSE]\r\nCidade=Campinas\r\nChaveDeOutroPrograma=1\r\n\r\n"
                           "[Outra]\r\nx=y\r\n"));
    chmod(path.c_str(), 0600);
    IniFile ini(path);
    ini.WriteString("nfse", "CIDADE", "Jundiaí");
    ini.WriteString("NFSE", "Ambiente", "2");
    ini.WriteString("Nova", "k", "v");
    ini.UpdateFile();
    EXPECT_EQ(ReadFile(path),
              Utf8ToCp1252("; não mexa\r\n[NFSE]\r\nCidade=Jundiaí\r\nChaveDeOutroPrograma=1\r\n"
                           "Ambiente=2\r\n\r\n[Outra]\r\nx=y\r\n\r\n[Nova]\r\nk=v\r\n"));
    struct stat info
    { };
    ASSERT_EQ(stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u) << "a rewrite must not widen the file's permissions";
    EXPECT_EQ(IniFile(path).ReadString("NFSE", "Cidade", ""), "Jundiaí");
}

TEST(IniFile, Utf8FilesStayUtf8)
{
    const std::string path = TempDir() + "utf8.ini";
    WriteFile(path, "\xEF\xBB\xBF[Cidades]\nNome=Olhos-d'Água\n");
    IniFile ini(path);
    EXPECT_EQ(ini.ReadString("Cidades", "Nome", ""), "Olhos-d'Água");
    ini.WriteString("Cidades", "Outra", "Ição");
    ini.UpdateFile();
    EXPECT_EQ(ReadFile(path), "\xEF\xBB\xBF[Cidades]\nNome=Olhos-d'Água\nOutra=Ição\n");
    // Without a BOM, non-ASCII text that is valid UTF-8 is read as UTF-8.
    WriteFile(path, "[C]\nNome=Jundiaí\n");
    EXPECT_EQ(IniFile(path).ReadString("C", "Nome", ""), "Jundiaí");
}

TEST(IniFile, RefusesWhatWouldCorruptTheFile)
{
    IniFile ini(TempDir() + "x.ini");
    EXPECT_THROW(ini.WriteString("S", "k", "linha\n[Injetada]\nx=1"), std::invalid_argument);
    EXPECT_THROW(ini.WriteString("S]", "k", "v"), std::invalid_argument);
    EXPECT_THROW(ini.WriteString("S", "k=1", "v"), std::invalid_argument);
    ini.WriteString("S", "k", "Łódź");
    EXPECT_THROW(ini.UpdateFile(), EncodingError);
    EXPECT_FALSE(platform::IniFile(TempDir() + "x.ini").SectionExists("S")) << "nothing is written on failure";
}

TEST(IniFile, UndefinedCp1252ByteIsAClearError)
{
    const std::string path = TempDir() + "ruim.ini";
    WriteFile(path, "[S]\nk=\x81\n");
    EXPECT_THROW(IniFile(path, IniFile::Encoding::Cp1252), EncodingError);
}

TEST(IniFile, EraseSectionAndDeleteKey)
{
    IniFile ini = IniFile::FromText(kSample);
    ini.DeleteKey("NFSE", "ambiente");
    EXPECT_EQ(ini.ReadString("NFSE", "Ambiente", ""), "1") << "the duplicate now comes first";
    ini.EraseSection("nfse");
    EXPECT_FALSE(ini.SectionExists("NFSE"));
    EXPECT_TRUE(ini.SectionExists("Servidores"));
}

TEST(ParamString, ReadsKeysAsTheBodyOfSectionGeneral)
{
    const char* params = "Usuario=joao;=semchave;Senha=a=b==;USUARIO=segundo; Espaco = x";
    EXPECT_EQ(ParamStringValue(params, "usuario"), "joao");
    EXPECT_EQ(ParamStringValue(params, "Senha"), "a=b==");
    EXPECT_EQ(ParamStringValue(params, "Espaco"), " x");
    EXPECT_EQ(ParamStringValue(params, "Falta", "padrão"), "padrão");
    EXPECT_EQ(ParamStringValue("", "Usuario"), "");
    EXPECT_EQ(ParamStringValue("[Outra];Usuario=x", "Usuario"), "");
}
