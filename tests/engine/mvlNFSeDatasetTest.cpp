#include "engine/mvlNFSeDataset.h"

#include "engine/mvlExceptions.h"
#include "engine/mvlSchemaValidator.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

// The installed ABRASF 1.00 schema set and mapping, copied so a test may add to them.
std::string AbrasfFolder(const std::string& name = "ABRASF")
{
    const std::string target = tests::TempDir() + "Esquemas/" + name + "/";
    std::filesystem::create_directories(target);
    std::filesystem::copy(tests::SourceDir() + "data/NFSe/Engine/Esquemas/ABRASF/", target,
                          std::filesystem::copy_options::recursive | std::filesystem::copy_options::overwrite_existing);
    return target;
}

std::string Tx2(const std::string& rpsLines)
{
    return "formato=tx2\nINCLUIR\nIdLote=L7\nNumeroLote=7\nCpfCnpjRemetente=12345678000195\n"
           "InscricaoMunicipalRemetente=98765\nQuantidadeRps=1\nSALVAR\n"
           "INCLUIRRPS\nNumeroRps=1\nSerieRps=NF\nTipoRps=1\nDataEmissao=2026-01-15T10:00:00\n"
           "NaturezaTributacao=1\nOptanteSimplesNacional=2\nIncentivadorCultural=2\nSituacaoNota=1\n"
           "ValorServicos=100.00\nIssRetido=2\nCodigoItemListaServico=0107\nCodigoCidadePrestacao=2800308\n"
           "CpfCnpjPrestador=12345678000195\n" +
        rpsLines + "SALVARRPS\n";
}

std::string Convert(const std::string& mapping, const std::string& tx2Text)
{
    TmvlNFSeDataSet dataSet;
    dataSet.SetMappingFileName(mapping);
    dataSet.Prepare();
    dataSet.LoadTx2Text(tx2Text);
    return dataSet.GetXml();
}

} // namespace

TEST(TmvlNFSeDataSet, MappingOfACityFolderFallsBackToItsProvider)
{
    struct Row
    {
        const char* Name;
        std::vector<std::string> Files; // below Esquemas/
        std::string Expected;           // below Esquemas/; empty: the name stays as given
    };
    const std::vector<Row> rows = {
        {"ProviderCustomFirst", {"CSM/Mapping.txt", "CSM/MappingCustom.txt"}, "CSM/MappingCustom.txt"},
        {"ProviderPlain", {"CSM/Mapping.txt"}, "CSM/Mapping.txt"},
        {"NeitherExists", {}, ""},
        {"OwnFileWinsOverCustom", {"ARARAS/Mapping.txt", "ARARAS/MappingCustom.txt"}, "ARARAS/Mapping.txt"},
        {"CityWithoutProvider", {"CSM/Mapping.txt"}, ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Name);
        const std::string base = tests::TempDir() + row.Name + "/Esquemas/";
        for (const std::string& file : row.Files) {
            std::filesystem::create_directories(std::filesystem::path(base + file).parent_path());
            tests::WriteFile(base + file, "[ENVIAR]\n");
        }
        const std::string city = std::string(row.Name) == "CityWithoutProvider" ? "NENHUMA" : "ARARAS";
        const std::string given = base + city + "/Mapping.txt";
        EXPECT_EQ(TmvlNFSeDataSet::ResolveMappingFile(given), row.Expected.empty() ? given : base + row.Expected);
    }
    EXPECT_EQ(TmvlNFSeDataSet::ProviderFolderOf("capinzalsc"), "BETHA");
    EXPECT_EQ(TmvlNFSeDataSet::ProviderFolderOf("CONTAGEM"), "GovBr");
}

TEST(TmvlNFSeDataSet, MissingMappingFailsNamingTheCityPath)
{
    TmvlNFSeDataSet dataSet;
    const std::string given = tests::TempDir() + "Esquemas/ARARAS/Mapping.txt";
    dataSet.SetMappingFileName(given);
    try {
        dataSet.Prepare();
        FAIL() << "sem arquivo de mapeamento";
    } catch (const EmvlXSDFileNotFound& error) {
        EXPECT_NE(std::string(error.what()).find("ARARAS"), std::string::npos) << error.what();
    }
}

TEST(TmvlNFSeDataSet, AbrasfLotFromTx2IsSchemaValid)
{
    const std::string folder = AbrasfFolder();
    TmvlNFSeDataSet dataSet;
    dataSet.SetMappingFileName(folder + "Mapping.txt");
    dataSet.Prepare();
    dataSet.LoadTx2File(tests::CopyFixture("engine/NFSeDataset/LoteDoisTomadores.tx2"));
    const std::string xml = dataSet.GetXml();
    EXPECT_EQ(xml.rfind("<EnviarLoteRpsEnvio xmlns=\"http://www.abrasf.org.br/ABRASF/arquivos/nfse.xsd\">", 0), 0u)
        << "sem declaração XML e com o espaço de nomes do padrão";
    // The taker of the second RPS is a person; the mapping hands the value to the Cnpj field,
    // which the ABRASF operation moves to Cpf: here it is still where the mapping put it.
    EXPECT_NE(xml.find("<Cnpj>12345678909</Cnpj>"), std::string::npos);
    EXPECT_NE(xml.find("<Discriminacao>Desenvolvimento de sistemas &amp; suporte</Discriminacao>"), std::string::npos);

    TmvlSchemaValidator validator;
    validator.SetSchemaFolder(folder);
    validator.AddSchema("http://www.abrasf.org.br/ABRASF/arquivos/nfse.xsd", "servico_enviar_lote_rps_envio.xsd");
    validator.LoadXML(xml);
    EXPECT_FALSE(validator.Validate());
    ASSERT_EQ(validator.Errors().size(), 1u) << validator.ErrorsAsText();
    EXPECT_NE(validator.Errors().front().Reason.find("length"), std::string::npos) << validator.ErrorsAsText();
}

TEST(TmvlNFSeDataSet, FieldRulesForDescriptionsNullAndRequiredElements)
{
    const std::string folder = AbrasfFolder();
    std::string mapping = tests::ReadFile(folder + "Mapping.txt");
    tests::WriteFile(folder + "Mapping.txt",
                     mapping +
                         "\n[OBRIGATORIEDADE]\nInscricaoMunicipalTomador=1\nCodigoCnae=true\n"
                         "EnviarLoteRpsEnvio/LoteRps/ListaRps/Rps/InfRps/Servico/CodigoTributacaoMunicipio=0\n");
    const std::string longText(1999, 'd');
    const std::string xml = Convert(folder + "Mapping.txt",
                                    Tx2("DiscriminacaoServico=" + longText +
                                        "\nInscricaoMunicipalTomador=\nCodigoCnae= null \nRazaoSocialTomador=NULL\n"
                                        "CodigoTributacaoMunicipio=\n"));
    EXPECT_NE(xml.find("<Discriminacao>" + longText + "</Discriminacao>"), std::string::npos) << "cortada";
    EXPECT_NE(xml.find("<InscricaoMunicipal/>"), std::string::npos) << "vazio e obrigatório: elemento vazio";
    EXPECT_EQ(xml.find("CodigoCnae"), std::string::npos) << "NULL omite mesmo marcado como obrigatório";
    EXPECT_EQ(xml.find("RazaoSocial"), std::string::npos);
    EXPECT_EQ(xml.find("CodigoTributacaoMunicipio"), std::string::npos);

    tests::WriteFile(folder + "Mapping.txt", mapping + "\n[OBRIGATORIEDADE]\nCodigoCnae=TRUE\n");
    try {
        Convert(folder + "Mapping.txt", Tx2(""));
        FAIL() << "TRUE não é um valor aceito";
    } catch (const EmvlNFSeDatasetException& error) {
        EXPECT_STREQ(error.what(), "Obrigatoriedade inválida para o campo CodigoCnae");
    }
}

TEST(TmvlNFSeDataSet, FieldSizeRules)
{
    struct Row
    {
        const char* DataSet;
        const char* Field;
        size_t Size;
    };
    const Row rows[] = {
        {"Rps", "Discriminacao", 2000},       {"Rps", "DescricaoRPS", 1500},
        {"servico", "descricao", 2000},       {"Rps", "descricao", 0},
        {"SERVICOS", "Descricao", 2000},      {"servico", "Descricao", 0},
        {"Rps", "discriminacao", 0},          {"x", "DiscrSrv", 4000},
        {"x", "InformacoesAdicionais", 2300}, {"x", "Numero", 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.DataSet) + "." + row.Field);
        EXPECT_EQ(TmvlNFSeDataSet::FieldSizeFor(row.DataSet, row.Field), row.Size);
    }
}

TEST(TmvlNFSeDataSet, GinfesLotCarriesACpfIssuerInItsCnpj)
{
    const std::string mapping = tests::CopyFixture("engine/NFSeDataset/GINFES/Mapping.txt");
    tests::CopyFixture("engine/NFSeDataset/GINFES/LoteCpf.xsd");
    const std::string xml = Convert(mapping,
                                    "INCLUIR\nCpf=12345678901\nSALVAR\nINCLUIRRPS\nNumeroRps=1\n"
                                    "CpfPrestador=12345678901\nSALVARRPS\nINCLUIRRPS\nNumeroRps=2\n"
                                    "CnpjPrestador=12345678000195\nSALVARRPS\n");
    EXPECT_EQ(xml,
              "<EnviarLoteRpsEnvio xmlns=\"http://www.notavia.test/ginfes\"><Cnpj>CPF12345678901</Cnpj>"
              "<Rps><Numero>1</Numero><CnpjPrestador>CPF12345678901</CnpjPrestador></Rps>"
              "<Rps><Numero>2</Numero><CnpjPrestador>12345678000195</CnpjPrestador></Rps>"
              "</EnviarLoteRpsEnvio>");
}

TEST(TmvlNFSeDataSet, EditingAFilledTree)
{
    const std::string folder = AbrasfFolder();
    TmvlNFSeDataSet dataSet;
    dataSet.SetMappingFileName(folder + "Mapping.txt");
    dataSet.Prepare();
    dataSet.LoadTx2Text(Tx2("RazaoSocialTomador=Antes\n"));

    const auto expectMessage = [](const auto& action, const char* message) {
        try {
            action();
            ADD_FAILURE() << "esperado: " << message;
        } catch (const EmvlNFSeDatasetException& error) {
            EXPECT_STREQ(error.what(), message);
        }
    };
    expectMessage([&] { dataSet.EditDataSet("Rps"); },
                  "Edição não permitida. Abra o dataset principal para edição antes de continuar.");
    expectMessage([&] { dataSet.PostPrincipal(); },
                  "O Dataset principal ainda não foi aberto, é necessário abrí-lo para inclusão ou edição antes de "
                  "continuar.");

    dataSet.OpenForEditing();
    expectMessage([&] { dataSet.OpenForEditing(); },
                  "Edição não permitida. O Dataset está aberto, salve-o antes de continuar.");
    expectMessage([&] { dataSet.FieldByName("NaoExiste"); }, "Campo \"NaoExiste\" não encontrado");
    dataSet.FieldByName("razaosocialtomador").SetAsString("Depois & Cia");
    dataSet.PostPrincipal();
    EXPECT_EQ(dataSet.EditMode(), TmvlNFSeDataSet::Mode::Closed);
    EXPECT_NE(dataSet.GetXml().find("<RazaoSocial>Depois &amp; Cia</RazaoSocial>"), std::string::npos);

    dataSet.First();
    EXPECT_FALSE(dataSet.Eof());
    dataSet.Next();
    EXPECT_TRUE(dataSet.Eof());
}

TEST(TmvlNFSeDataSet, MissingTx2FileIsNamed)
{
    const std::string folder = AbrasfFolder();
    TmvlNFSeDataSet dataSet;
    dataSet.SetMappingFileName(folder + "Mapping.txt");
    dataSet.Prepare();
    const std::string missing = tests::TempDir() + "Lote99.tx2";
    try {
        dataSet.LoadTx2File(missing);
        FAIL();
    } catch (const EmvlNFSeDatasetException& error) {
        EXPECT_EQ(std::string(error.what()), "Arquivo \"" + missing + "\" não foi encontrado.");
    }
}
