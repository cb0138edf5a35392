#include "engine/mvlXSDDataset.h"

#include "engine/mvlExceptions.h"
#include "platform/Cp1252.h"
#include "platform/ProgramFolder.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

constexpr std::string_view kXmlDeclaration = R"(<?xml version="1.0" encoding="UTF-8"?>)";
constexpr std::string_view kRps = "EnviarLoteRpsEnvio/LoteRps/ListaRps/Rps";

// The lot fixture (schemas, mapping, TX2 and expected XML) in the test's own folder.
std::string LotFolder()
{
    return tests::CopyFixture("engine/XsdDataset") + "/";
}

std::unique_ptr<TmvlXSDDataset> OpenTree(const std::string& mapping, const std::string& section = "ENVIAR")
{
    auto tree = std::make_unique<TmvlXSDDataset>();
    tree->SetConfigSection(section);
    tree->SetMappingFileName(mapping);
    return tree;
}

// The lot mapping with more text after it, beside the lot schemas.
std::string MappingWith(const std::string& folder, std::string_view extra)
{
    const std::string fileName = folder + "Variante.txt";
    tests::WriteFile(fileName, tests::ReadFile(folder + "Lote.txt") + "\n" + std::string(extra));
    return fileName;
}

std::vector<std::string> FieldNames(const TMvlXSDClientDataSet& dataSet)
{
    std::vector<std::string> names;
    for (const auto& field : dataSet.Fields()) {
        names.push_back(field->FieldName());
    }
    return names;
}

std::string Join(const std::vector<std::string>& lines)
{
    std::string text;
    for (const std::string& line : lines) {
        text += line + "\n";
    }
    return text;
}

} // namespace

TEST(TmvlXSDDataset, ConvertsTheLotFixtureToTheExpectedXml)
{
    struct Row
    {
        const char* Section;
        const char* Expected;
    };
    // Two RPS blocks, a repeating element three levels down, flattened single elements, an
    // ignored subtree, an element of an imported namespace, escaping and CDATA, with and
    // without namespace prefixes.
    for (const Row& row : {Row {"ENVIAR", "Lote2Rps.xml"}, Row {"PREFIXOS", "Lote2RpsPrefixos.xml"}}) {
        SCOPED_TRACE(row.Section);
        const std::string folder = LotFolder();
        auto tree = OpenTree(folder + "Lote.txt", row.Section);
        tree->LoadFromTx2File(folder + "Lote2Rps.tx2");
        EXPECT_EQ(tree->GetXml(), tests::ReadFile(folder + row.Expected));
    }

    // Two cities get their batch in UTF-8: the same lot converts to the same XML.
    const std::string folder = LotFolder();
    tests::WriteFile(folder + "Lote2RpsUtf8.tx2", platform::Cp1252ToUtf8(tests::ReadFile(folder + "Lote2Rps.tx2")));
    auto tree = OpenTree(folder + "Lote.txt");
    tree->LoadFromTx2File(folder + "Lote2RpsUtf8.tx2");
    EXPECT_EQ(tree->GetXml(), tests::ReadFile(folder + "Lote2Rps.xml"));
}

TEST(TmvlXSDDataset, EachRpsRecordHoldsOnlyItsOwnFields)
{
    const std::string folder = LotFolder();
    auto tree = OpenTree(folder + "Lote.txt");
    tree->LoadFromTx2File(folder + "Lote2Rps.tx2");

    TMvlXSDClientDataSet* rps = tree->FindDataSet("rps");
    TMvlXSDClientDataSet* item = tree->FindDataSet("Item");
    ASSERT_TRUE(rps && item);
    ImvlXSDField* numero = rps->FindField("NumeroRps");
    ImvlXSDField* aliquota = rps->FindField("AliquotaISS");
    ASSERT_TRUE(numero && aliquota);
    std::vector<std::string> seen;
    for (rps->First(); !rps->Eof(); rps->Next()) {
        seen.push_back(numero->AsString() + "|" + aliquota->AsString() + "|" + std::to_string(item->RecordCount()) +
                       "|" + rps->HandleField()->AsString());
    }
    EXPECT_EQ(seen, (std::vector<std::string> {"1|2.00|2|1", "2||0|2"}));
}

TEST(TmvlXSDDataset, GeneratesOneDatasetPerRepeatingElement)
{
    const std::string folder = LotFolder();
    auto tree = OpenTree(folder + "Lote.txt");
    tree->GenerateDataSets();

    std::vector<std::string> shape;
    for (const auto& dataSet : tree->DataSets()) {
        shape.push_back(dataSet->Name() + " [" + dataSet->XPath() + "] <- " + dataSet->MasterName());
    }
    EXPECT_EQ(shape,
              (std::vector<std::string> {
                  "EnviarLoteRpsEnvio [] <- ",
                  "Rps [EnviarLoteRpsEnvio/LoteRps/ListaRps/Rps] <- EnviarLoteRpsEnvio",
                  "Item [EnviarLoteRpsEnvio/LoteRps/ListaRps/Rps/InfRps/Servico/Item] <- Rps",
              }));
    // Schema order; the link marks the child's place; nothing of the ignored Tomador.
    EXPECT_EQ(FieldNames(*tree->FindDataSet("Rps")),
              (std::vector<std::string> {"Handle", "Handle_EnviarLoteRpsEnvio", "NumeroRps", "SerieRps", "TipoRps",
                                         "DataEmissao", "ValorServicos", "AliquotaISS", "CodigoItemListaServico",
                                         "DiscriminacaoServico", "Item", "Observacao", "CpfCnpjPrestador",
                                         "InscricaoMunicipalPrestador", "NumeroRpsSubstituido", "Sinal", "IdRps",
                                         "AssinaturaRps"}));
    EXPECT_EQ(FieldNames(*tree->FindDataSet("Item")),
              (std::vector<std::string> {"Handle", "Handle_Rps", "NumeroItem", "DescricaoItem"}));
    EXPECT_EQ(tree->FindDataSet("Rps")->FindField("Item")->Role(), ImvlXSDField::TRole::Link);
    EXPECT_EQ(tree->FindDataSet("Rps")->FindField("AssinaturaRps")->XPath().front(),
              std::string(kRps) + "/Assinatura/Valor");

    // Lote.xsd and Tipos.xsd both include Comum.xsd and import Assinatura.xsd; the missing
    // Ausente.xsd is passed over because nothing uses it.
    std::vector<std::string> schemas;
    for (const auto& schema : tree->XmlSchemas()) {
        schemas.push_back(platform::ExtractFileName(schema->FileName()));
    }
    EXPECT_EQ(schemas, (std::vector<std::string> {"Lote.xsd", "Tipos.xsd", "Comum.xsd", "Assinatura.xsd"}));
    EXPECT_EQ(
        tree->UsedNamespaces(),
        (std::vector<std::pair<std::string, std::string>> {{"xmlns:nfse", "\"http://www.notavia.test/nfse\""},
                                                           {"xmlns:ass", "\"http://www.notavia.test/assinatura\""}}));
}

TEST(TmvlXSDDataset, UnnamedFieldsAreNumberedAndSizedByTheSchemaOnRequest)
{
    const std::string folder = LotFolder();
    tests::WriteFile(folder + "SemNomes.txt", "[ENVIAR]\nXsdFile=Lote.xsd\nXSDElementName=EnviarLoteRpsEnvio\n");
    auto tree = OpenTree(folder + "SemNomes.txt");
    tree->SetUseFieldLength(true);
    tree->GenerateDataSets();

    const TMvlXSDClientDataSet& rps = *tree->FindDataSet("Rps");
    const std::vector<std::string> names = FieldNames(rps);
    EXPECT_NE(std::find(names.begin(), names.end(), "Numero"), names.end());
    ASSERT_NE(rps.FindField("Numero1"), nullptr);
    EXPECT_EQ(rps.FindField("Numero1")->XPath().front(), std::string(kRps) + "/InfRps/RpsSubstituido/Numero");
    EXPECT_EQ(rps.FindField("Numero")->Size(), 15u);
    EXPECT_EQ(rps.FindField("Cnpj")->Size(), 14u);
    EXPECT_STREQ(rps.FindField("Discriminacao")->ClassName(), "TmvlXSDBlobField");
    EXPECT_STREQ(rps.FindField("Serie")->ClassName(), "TmvlXSDStringField");
    EXPECT_EQ(rps.FindField("Serie")->Size(), 255u);
    EXPECT_NE(tree->DataSets().front()->FindField("Cnpj"), nullptr);
    EXPECT_NE(tree->DataSets().front()->FindField("Id"), nullptr);
}

struct Tx2Case
{
    const char* Name;
    std::vector<std::string> Lines;
    bool IgnoreUnknownElements;
    const char* Error; // empty: loads
    const char* DataSet = "";
    const char* Field = "";
    std::string Value = {};
};

void PrintTo(const Tx2Case& row, std::ostream* out)
{
    *out << row.Name;
}

class Tx2Lines : public testing::TestWithParam<Tx2Case>
{ };

TEST_P(Tx2Lines, LoadAsTheMappingDirects)
{
    const Tx2Case& row = GetParam();
    const std::string folder = LotFolder();
    auto tree = OpenTree(folder + "Lote.txt");
    tree->SetIgnoreUnknownElements(row.IgnoreUnknownElements);
    if (*row.Error) {
        try {
            tree->LoadFromTx2Text(Join(row.Lines));
            FAIL() << "carregou sem erro";
        } catch (const EmvlXSDException& error) {
            EXPECT_EQ(std::string(error.what()), row.Error);
        }
        return;
    }
    tree->LoadFromTx2Text(Join(row.Lines));
    TMvlXSDClientDataSet* dataSet = tree->FindDataSet(row.DataSet);
    ASSERT_NE(dataSet, nullptr);
    ASSERT_NE(dataSet->FindField(row.Field), nullptr);
    EXPECT_EQ(dataSet->FindField(row.Field)->AsString(), row.Value);
}

const Tx2Case kTx2Cases[] = {
    {"HeaderSkippedBlankLinesIgnoredCommandsInAnyCase",
     {"formato=tx2", "padrao=MarvoliNFSe", "", "incluir", "   ", "NumeroLote=5", "", "Salvar"},
     false,
     "",
     "EnviarLoteRpsEnvio",
     "NumeroLote",
     "5"},
    {"ValueKeepsEveryEqualsSignAfterTheFirst",
     {"INCLUIR", "SALVAR", "INCLUIRRPS", "DiscriminacaoServico=a=b"},
     false,
     "",
     "Rps",
     "DiscriminacaoServico",
     "a=b"},
    {"ValueKeepsItsLeadingBlank",
     {"INCLUIR", "SALVAR", "INCLUIRRPS", "NumeroRps= 12"},
     false,
     "",
     "Rps",
     "NumeroRps",
     " 12"},
    {"RpsWithoutLotGetsAnEmptyLotRecord",
     {"INCLUIRRPS", "NumeroRps=1", "SALVARRPS"},
     false,
     "",
     "Rps",
     "Handle_EnviarLoteRpsEnvio",
     "1"},
    {"LongValueIsCutToTheFieldSize",
     {"INCLUIR", "SALVAR", "INCLUIRRPS", "DiscriminacaoServico=" + std::string(300, 'x')},
     false,
     "",
     "Rps",
     "DiscriminacaoServico",
     std::string(255, 'x')},
    {"AccentedValueIsCutByCharacters",
     {"INCLUIR", "SALVAR", "INCLUIRRPS", "SerieRps=" + std::string(250, 'a') + "çãéíóú"},
     false,
     "",
     "Rps",
     "SerieRps",
     std::string(250, 'a') + "çãéíó"},
    {"UnknownNameSkippedWhenAllowed",
     {"INCLUIR", "SALVAR", "INCLUIRRPS", "NumeroRps =12", "SerieRps=A"},
     true,
     "",
     "Rps",
     "SerieRps",
     "A"},
    {"CommandWithTrailingBlankIsAFieldLine", {"INCLUIR", "SALVAR", "INCLUIRRPS "}, false, "Campo inválido: \rLinha 3"},
    {"BlankBeforeEqualsNamesNoField",
     {"INCLUIR", "SALVAR", "INCLUIRRPS", "NumeroRps =12"},
     false,
     "Campo inválido: NumeroRps \rLinha 4"},
    {"BlankBeforeNameNamesNoField",
     {"INCLUIR", "SALVAR", "INCLUIRRPS", " NumeroRps=12"},
     false,
     "Campo inválido:  NumeroRps\rLinha 4"},
    {"FieldOfAnotherDataset",
     {"formato=tx2", "INCLUIR", "NumeroRps=1"},
     false,
     "Campo \"NumeroRps\" não encontrado no DataSet \"EnviarLoteRpsEnvio\"."},
    {"NoCommandAtAll",
     {"formato=tx2", "padrao=MarvoliNFSe", "NumeroLote=1"},
     false,
     "Arquivo Tx2 sem comandos: nenhuma das 3 linhas é um comando do mapeamento.\rLinha 3: esperado um dos comandos "
     "INCLUIR, SALVAR, INCLUIRRPS, SALVARRPS, INCLUIRITEM, SALVARITEM."},
    {"NoLineAtAll", {}, false, "Arquivo Tx2 não atribuído."},
};

INSTANTIATE_TEST_SUITE_P(TMvlConvertTx2ToDataSet, Tx2Lines, testing::ValuesIn(kTx2Cases),
                         [](const testing::TestParamInfo<Tx2Case>& info) { return std::string(info.param.Name); });

TEST(TmvlXSDDataset, RequiredElementsAreWrittenEmptyAndRefuseAValue)
{
    const std::string folder = LotFolder();
    const std::string mapping = MappingWith(folder,
                                            "[OBRIGATORIEDADE]\n"
                                            "EnviarLoteRpsEnvio/LoteRps/ListaRps/Rps/InfRps/Servico/Observacao=true\n"
                                            "EnviarLoteRpsEnvio/LoteRps/ListaRps/Rps/InfRps/Sinal=TRUE\n");
    auto tree = OpenTree(mapping);
    tree->LoadFromTx2File(folder + "Lote2Rps.tx2");
    const std::string xml = tree->GetXml();
    std::string expected = tests::ReadFile(folder + "Lote2Rps.xml");
    for (const char* rpsEnd : {"</Prestador></InfRps><Assinatura", "</RpsSubstituido></InfRps></Rps>"}) {
        const size_t at = expected.find(rpsEnd);
        ASSERT_NE(at, std::string::npos);
        expected.insert(expected.find("</InfRps>", at), "<Sinal/>");
    }
    for (const char* servicoEnd : {"</Item></Servico>", "</Discriminacao></Servico>"}) {
        expected.insert(expected.find(servicoEnd) + std::string_view(servicoEnd).find("</Servico>"), "<Observacao/>");
    }
    EXPECT_EQ(xml, expected);

    auto refused = OpenTree(mapping);
    try {
        refused->LoadFromTx2Text("INCLUIR\nSALVAR\nINCLUIRRPS\nObservacao=texto\n");
        FAIL() << "aceitou valor em tag obrigatória vazia";
    } catch (const EmvlXSDException& error) {
        EXPECT_STREQ(error.what(), "O campo \"Observacao\" é um campo de tag obrigatória e não deve conter valor");
    }
}

TEST(TMvlConvertXMLToDataSet, SampleDocumentComesBackIdentical)
{
    struct Row
    {
        const char* Section;
        const char* Document;
    };
    for (const Row& row : {Row {"ENVIAR", "Lote2Rps.xml"}, Row {"PREFIXOS", "Lote2RpsPrefixos.xml"}}) {
        SCOPED_TRACE(row.Document);
        const std::string folder = LotFolder();
        auto tree = OpenTree(folder + "Lote.txt", row.Section);
        tree->LoadFromXmlFile(folder + row.Document);
        EXPECT_EQ(tree->FindDataSet("Rps")->RecordCount(), 2u);
        EXPECT_EQ(tree->FindDataSet("Rps")->FindField("DiscriminacaoServico")->AsString(),
                  "<![CDATA[Suporte x<y & z]]>");
        EXPECT_EQ(tree->GetXml(), tests::ReadFile(folder + row.Document));
    }
}

TEST(TMvlConvertXMLToDataSet, DocumentOfAnotherShapeIsRefused)
{
    const std::string folder = LotFolder();
    const std::string lote = tests::ReadFile(folder + "Lote2Rps.xml");
    struct Row
    {
        const char* Name;
        std::string Xml;
    };
    const Row rows[] = {
        {"OutraRaiz", "<ConsultarLoteRpsEnvio xmlns=\"http://www.notavia.test/nfse\"/>"},
        {"CampoDesconhecido", std::string(lote).insert(lote.find("</LoteRps>"), "<Desconhecido>1</Desconhecido>")},
        {"RpsForaDaLista", std::string(lote).insert(lote.find("<NumeroLote>"), "<Rps><InfRps Id=\"R0\"/></Rps>")},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Name);
        auto tree = OpenTree(folder + "Lote.txt");
        EXPECT_THROW(tree->LoadFromXml(row.Xml), EmvlXSDEmptyParent);
    }
    auto tree = OpenTree(folder + "Lote.txt");
    EXPECT_THROW(tree->LoadFromXml("  "), EmvlXSDException);
}

TEST(TmvlXSDDataset, SchemaAndConfigurationFailures)
{
    struct Row
    {
        const char* Name;
        std::string Mapping; // section [ENVIAR] of a mapping beside the lot schemas
        std::string Error;
    };
    const std::string folder = LotFolder();
    tests::WriteFile(
        folder + "UsaAusente.xsd",
        R"(<xsd:schema xmlns:xsd="http://www.w3.org/2001/XMLSchema" xmlns:aus="http://www.notavia.test/ausente">
  <xsd:import namespace="http://www.notavia.test/ausente" schemaLocation="Ausente.xsd"/>
  <xsd:element name="Pedido"><xsd:complexType><xsd:sequence>
    <xsd:element name="Coisa" type="aus:tcCoisa"/>
  </xsd:sequence></xsd:complexType></xsd:element>
</xsd:schema>)");
    tests::WriteFile(folder + "Referencia.xsd",
                     R"(<xsd:schema xmlns:xsd="http://www.w3.org/2001/XMLSchema">
  <xsd:element name="Pasta"><xsd:complexType><xsd:sequence>
    <xsd:element name="Nome" type="xsd:string"/>
    <xsd:element ref="Pasta" minOccurs="0"/>
  </xsd:sequence></xsd:complexType></xsd:element>
</xsd:schema>)");
    tests::WriteFile(folder + "Recursivo.xsd",
                     R"(<xsd:schema xmlns:xsd="http://www.w3.org/2001/XMLSchema">
  <xsd:complexType name="tcNo"><xsd:sequence>
    <xsd:element name="Valor" type="xsd:string"/>
    <xsd:element name="No" type="tcNo" minOccurs="0"/>
  </xsd:sequence></xsd:complexType>
  <xsd:element name="Arvore"><xsd:complexType><xsd:sequence>
    <xsd:element name="No" type="tcNo"/>
  </xsd:sequence></xsd:complexType></xsd:element>
</xsd:schema>)");
    const Row rows[] = {
        {"SchemaMissing", "XsdFile=Nenhum.xsd\nXSDElementName=EnviarLoteRpsEnvio\n",
         "Arquivo não encontrado: \"" + folder + "Nenhum.xsd\""},
        {"NoSchemaConfigured", "XSDElementName=EnviarLoteRpsEnvio\n", "Arquivo XSD não configurado."},
        {"ElementNotTopLevel", "XsdFile=Lote.xsd\nXSDElementName=ListaRps\n",
         "Nome do elemento \"ListaRps\" não encontrado no Schema XML"},
        {"StartNodeUnknown", "XsdFile=Lote.xsd\nXSDElementName=EnviarLoteRpsEnvio\nXSDStartNode=Fatura\n",
         "Nó de início \"Fatura\" não encontrado no Schema XML"},
        {"TypeOfAMissingImport", "XsdFile=UsaAusente.xsd\nXSDElementName=Pedido\n",
         "Referência \"aus:tcCoisa\" não encontrada"},
        {"TypeHoldingItself", "XsdFile=Recursivo.xsd\nXSDElementName=Arvore\n",
         "Definição recursiva no Schema XML: \"tcNo\""},
        {"ElementReferringToItself", "XsdFile=Referencia.xsd\nXSDElementName=Pasta\n",
         "Definição recursiva no Schema XML: \"Pasta\""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Name);
        tests::WriteFile(folder + "Falha.txt", "[ENVIAR]\n" + row.Mapping);
        try {
            auto tree = OpenTree(folder + "Falha.txt");
            tree->GenerateDataSets();
            FAIL() << "gerou sem erro";
        } catch (const EmvlXSDException& error) {
            EXPECT_EQ(std::string(error.what()), row.Error);
        }
    }

    TmvlXSDDataset tree;
    EXPECT_THROW(tree.SetMappingFileName(folder + "Lote.txt"), EmvlXSDException); // no ConfigSection
    tree.SetConfigSection("ENVIAR");
    EXPECT_THROW(tree.SetMappingFileName(folder + "Inexistente.txt"), EmvlXSDFileNotFound);
    EXPECT_THROW(tree.LoadFromTx2File(folder + "Inexistente.tx2"), EmvlXSDFileNotFound);

    // A failed walk leaves nothing behind.
    tests::WriteFile(folder + "Falha.txt", "[ENVIAR]\n" + rows[4].Mapping);
    auto failed = OpenTree(folder + "Falha.txt");
    EXPECT_THROW(failed->GenerateDataSets(), EmvlXSDException);
    EXPECT_FALSE(failed->Generated());
    EXPECT_TRUE(failed->DataSets().empty());
}

TEST(TmvlXSDDataset, CreationHookSizesFieldsBeforeTheDatasetExists)
{
    const std::string folder = LotFolder();
    auto tree = OpenTree(folder + "Lote.txt");
    std::vector<std::string> created;
    tree->OnBeforeCreateNewDataSet = [&](TMvlXSDClientDataSet& dataSet) {
        created.push_back(dataSet.Name());
        if (ImvlXSDField* field = dataSet.FindField("DiscriminacaoServico")) {
            field->SetSize(2000);
        }
    };
    const std::string longText(1999, 'd');
    tree->LoadFromTx2Text("INCLUIRRPS\nDiscriminacaoServico=" + longText + "\nSALVARRPS\n");
    // Children are complete before their parent.
    EXPECT_EQ(created, (std::vector<std::string> {"Item", "Rps", "EnviarLoteRpsEnvio"}));
    EXPECT_EQ(tree->FindDataSet("Rps")->FindField("DiscriminacaoServico")->AsString(), longText);
}

TEST(TmvlXSDDataset, StartNodeBelowTheElementBecomesTheRoot)
{
    const std::string folder = LotFolder();
    const std::string mapping = MappingWith(folder,
                                            "[SORPS]\nXsdFile=Lote.xsd\nXSDElementName=EnviarLoteRpsEnvio\n"
                                            "XSDStartNode=Rps\nFieldNamesSection=EnviarLoteRpsEnvio\n");
    auto tree = OpenTree(mapping, "SORPS");
    tree->LoadFromTx2Text("INCLUIRRPS\nNumeroRps=9\nIdRps=R9\nINCLUIRITEM\nNumeroItem=1\nSALVARITEM\nSALVARRPS\n");
    EXPECT_EQ(tree->PathPrefix(), "EnviarLoteRpsEnvio/LoteRps/ListaRps");
    EXPECT_EQ(tree->GetXml(),
              "<Rps xmlns=\"http://www.notavia.test/nfse\"><InfRps Id=\"R9\"><IdentificacaoRps><Numero>9"
              "</Numero></IdentificacaoRps><Servico><Item><Numero>1</Numero></Item></Servico></InfRps>"
              "</Rps>");
}

TEST(TmvlXSDDataset, SkeletonMappingDrivesTheSameConversion)
{
    const std::string folder = LotFolder();
    auto tree = OpenTree(folder + "Lote.txt");
    tree->GenerateDataSets();
    tree->SaveMappingSkeleton(folder + "Esqueleto.txt");

    const std::vector<std::string> lines = tree->MappingSkeleton();
    ASSERT_GE(lines.size(), 4u);
    EXPECT_EQ(lines[0], ";" + std::string(99, '*'));
    EXPECT_EQ(lines[1], ";        ARQUIVO DE MAPEAMENTO");
    const auto has = [&](const std::string& line) {
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    };
    EXPECT_TRUE(has("XSDFile=Lote.xsd"));
    EXPECT_TRUE(has("EnviarLoteRpsEnvio.Insert=INCLUIR"));
    EXPECT_TRUE(has("Item.Post=SALVARITEM"));
    EXPECT_TRUE(has("CpfCnpjRemetente=EnviarLoteRpsEnvio/LoteRps/Cnpj"));

    auto fromSkeleton = OpenTree(folder + "Esqueleto.txt", "XML");
    fromSkeleton->LoadFromTx2File(folder + "Lote2Rps.tx2");
    EXPECT_EQ(fromSkeleton->GetXml(), tests::ReadFile(folder + "Lote2Rps.xml").substr(kXmlDeclaration.size()));
}

TEST(TmvlConvertFactory, RecordWithNothingToWriteLeavesNoElementAndTheNextOnesStillWrite)
{
    const std::string folder = LotFolder();
    auto tree = OpenTree(folder + "Lote.txt");
    tree->LoadFromTx2Text("INCLUIR\nNumeroLote=1\nSALVAR\nINCLUIRRPS\nSALVARRPS\nINCLUIRRPS\nNumeroRps=2\n"
                          "INCLUIRITEM\nSALVARITEM\nINCLUIRITEM\nNumeroItem=2\nSALVARITEM\nSALVARRPS\n");
    EXPECT_EQ(tree->GetXml(),
              std::string(kXmlDeclaration) +
                  "<EnviarLoteRpsEnvio xmlns=\"http://www.notavia.test/nfse\"><LoteRps><NumeroLote>1"
                  "</NumeroLote><ListaRps><Rps><InfRps><IdentificacaoRps><Numero>2</Numero>"
                  "</IdentificacaoRps><Servico><Item><Numero>2</Numero></Item></Servico></InfRps>"
                  "</Rps></ListaRps></LoteRps></EnviarLoteRpsEnvio>");
}

TEST(TmvlConvertFactory, FieldOfSeveralXPathsIsWrittenWhereTheHandlerChooses)
{
    struct Row
    {
        const char* Name;
        bool Handler;
        int Chosen;
        const char* Error;
    };
    const Row rows[] = {
        {"SemEscolha", false, 0, "Campo \"DiscriminacaoServico\" possui mais de um XPath."},
        {"NaoEscolhido", true, -1, "XPath não escolhido para o campo \"DiscriminacaoServico\"."},
        {"Inexistente", true, 2, "XPath escolhido para o campo \"DiscriminacaoServico\" inexistente."},
        {"Segundo", true, 1, ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Name);
        const std::string folder = LotFolder();
        auto tree = OpenTree(folder + "Lote.txt");
        tree->LoadFromTx2File(folder + "Lote2Rps.tx2");
        const std::string servico = std::string(kRps) + "/InfRps/Servico/";
        tree->FindDataSet("Rps")
            ->FindField("DiscriminacaoServico")
            ->SetXPath({servico + "Discriminacao", servico + "Observacao"});
        if (row.Handler) {
            tree->OnBeforeGenerateNode = [&](ImvlXSDField&, int& chosen) { chosen = row.Chosen; };
        }
        if (*row.Error) {
            try {
                (void)tree->GetXml();
                FAIL() << "escreveu sem erro";
            } catch (const EmvlXSDException& error) {
                EXPECT_STREQ(error.what(), row.Error);
            }
            continue;
        }
        const std::string xml = tree->GetXml();
        EXPECT_EQ(xml.find("<Discriminacao>"), std::string::npos);
        EXPECT_NE(xml.find("<Observacao>Manutenção &amp; reparo &lt;urgente&gt;</Observacao>"), std::string::npos);
    }
}

TEST(TmvlXSDDataset, TypesListingEachOtherBecomeAnAssociation)
{
    const std::string folder = tests::TempDir();
    tests::WriteFile(folder + "Cadastro.xsd", R"(<xsd:schema xmlns:xsd="http://www.w3.org/2001/XMLSchema">
  <xsd:complexType name="tcPessoa"><xsd:sequence>
    <xsd:element name="Nome" type="xsd:string"/>
    <xsd:element name="Empresa" type="tcEmpresa" minOccurs="0" maxOccurs="unbounded"/>
  </xsd:sequence></xsd:complexType>
  <xsd:complexType name="tcEmpresa"><xsd:sequence>
    <xsd:element name="Razao" type="xsd:string"/>
    <xsd:element name="Pessoa" type="tcPessoa" minOccurs="0" maxOccurs="unbounded"/>
  </xsd:sequence></xsd:complexType>
  <xsd:element name="Cadastro"><xsd:complexType><xsd:sequence>
    <xsd:element name="Pessoa" type="tcPessoa" maxOccurs="unbounded"/>
  </xsd:sequence></xsd:complexType></xsd:element>
</xsd:schema>)");
    tests::WriteFile(folder + "Cadastro.txt",
                     "[ENVIAR]\nXsdFile=Cadastro.xsd\nXSDElementName=Cadastro\n"
                     "[comandos]\nPessoa.Insert=INCLUIRPESSOA\nEmpresa.Insert=INCLUIREMPRESA\n"
                     "Pessoa_Empresa.Insert=VINCULAR\n"
                     "[Cadastro]\nNome=Cadastro/Pessoa/Nome\nRazao=Cadastro/Pessoa/Empresa/Razao\n");
    auto tree = OpenTree(folder + "Cadastro.txt");
    tree->GenerateDataSets();
    std::vector<std::string> shape;
    for (const auto& dataSet : tree->DataSets()) {
        shape.push_back(dataSet->Name() + " <- " + dataSet->MasterName() + (dataSet->Associativo() ? " *" : "") + " " +
                        dataSet->AssociationName());
    }
    EXPECT_EQ(shape,
              (std::vector<std::string> {"Cadastro <-  ", "Pessoa <- Cadastro Pessoa_Empresa",
                                         "Empresa <- Pessoa Pessoa_Empresa", "Pessoa_Empresa <- Pessoa * "}));
    const ImvlXSDField* back = tree->FindDataSet("Empresa")->FindField("Pessoa");
    ASSERT_NE(back, nullptr);
    EXPECT_TRUE(static_cast<const TMvlFieldLink*>(back)->Bidirecional());
    EXPECT_EQ(FieldNames(*tree->FindDataSet("Pessoa_Empresa")),
              (std::vector<std::string> {"Handle", "Handle_Pessoa", "Handle_Empresa"}));

    // A company is written under a person only when the association ties them, and the
    // writer never walks the way back from the company to its people.
    tree->LoadFromTx2Text("INCLUIRPESSOA\nNome=Ana\nINCLUIREMPRESA\nRazao=Oficina\nINCLUIREMPRESA\nRazao=Avulsa\n");
    EXPECT_EQ(tree->GetXml(), "<Cadastro><Pessoa><Nome>Ana</Nome></Pessoa></Cadastro>");
    tree->LoadFromTx2Text("VINCULAR\n");
    EXPECT_EQ(tree->GetXml(),
              "<Cadastro><Pessoa><Nome>Ana</Nome><Empresa><Razao>Oficina</Razao></Empresa></Pessoa>"
              "</Cadastro>");
}

TEST(TMvlXSDClientDataSet, ChildFollowsTheCurrentParentRecord)
{
    const std::string longName(40, 'P');
    TMvlXSDClientDataSet parent(longName);
    parent.AddStringField("Nome", 10);
    parent.CreateDataSet();
    TMvlXSDClientDataSet child("Filho");
    child.SetMasterDataSet(&parent);
    ImvlXSDField& valor = child.AddStringField("Valor", 3);
    child.CreateDataSet();
    EXPECT_EQ(child.Fields()[1]->FieldName(), ("Handle_" + longName).substr(0, 31));

    // A child record with no parent record gets an empty parent first.
    child.InsertRecord();
    valor.SetAsString("a1");
    EXPECT_EQ(parent.RecordCount(), 1u);
    parent.InsertRecord();
    EXPECT_TRUE(child.IsEmpty());
    child.InsertRecord();
    valor.SetAsString("b1xyz");
    child.InsertRecord();
    valor.SetAsString("b2");

    std::vector<std::string> seen;
    for (parent.First(); !parent.Eof(); parent.Next()) {
        for (child.First(); !child.Eof(); child.Next()) {
            seen.push_back(parent.HandleField()->AsString() + ":" + child.HandleField()->AsString() + ":" +
                           valor.AsString());
        }
    }
    EXPECT_EQ(seen, (std::vector<std::string> {"1:1:a1", "2:2:b1x", "2:3:b2"}));

    parent.First();
    parent.Next();
    child.FilterHandles({"3"});
    EXPECT_EQ(child.RecordCount(), 1u);
    EXPECT_EQ(valor.AsString(), "b2");
    child.ClearFilter();
    EXPECT_EQ(child.RecordCount(), 2u);
}
