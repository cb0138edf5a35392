#include "engine/mvlMappingDataset.h"

#include "engine/PointerFiles.h"
#include "engine/mvlExceptions.h"
#include "engine/mvlNFSeXmlUtils.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

namespace {

std::string PrintMapping()
{
    tests::CopyFixture("engine/NFSeDataset/comum.txt");
    return tests::CopyFixture("engine/NFSeDataset/Impressao.txt");
}

constexpr const char* kPrintXml = R"(<Impressao><Nfse>
<Registro><Numero>10</Numero><RazaoSocialTomador>A &amp; B Ltda</RazaoSocialTomador>
<OutrasInformacoes>linha 1|linha 2 &amp;amp; mais</OutrasInformacoes>
<Servicos><Registro><Descricao>Suporte &lt;remoto&gt;</Descricao><Valor>10.00</Valor></Registro>
<Registro><Descricao>Visita</Descricao><Valor>20.00</Valor></Registro></Servicos></Registro>
<Registro><Numero>11</Numero><Servicos><Registro><Descricao>Outro</Descricao></Registro></Servicos></Registro>
</Nfse></Impressao>)";

} // namespace

TEST(TmvlMappingDatasets, PrintXmlWithAmpersandsStaysWellFormed)
{
    TmvlPrintNfseDatasets print;
    print.SetMappingFileName(PrintMapping());
    print.SetDebugMode(true);
    print.BuildDataSets("Nfse");
    print.LoadXml(kPrintXml);

    TMvlXSDClientDataSet& nfse = print.DataSet("nfse");
    nfse.First();
    EXPECT_EQ(nfse.FindField("RazaoSocialTomador")->AsString(), "A & B Ltda");
    EXPECT_EQ(nfse.FindField("OutrasInformacoes")->AsString(), "linha 1\nlinha 2 & mais");
    EXPECT_EQ(nfse.FindField("OutrasInformacoes")->Size(), 2000u);
    EXPECT_EQ(print.DataSet("Servicos").FindField("Valor")->Size(), 255u);
    EXPECT_EQ(print.DataSet("Servicos").FindField("Descricao")->Size(), 60u);
    EXPECT_EQ(print.DataSet("Servicos").XPath(), "/Nfse/Registro[]/Servicos/Registro[]");

    const std::string xml = print.GetXml();
    ASSERT_TRUE(XmlIsWellFormed(xml)) << xml;
    EXPECT_NE(xml.find("A &amp; B Ltda"), std::string::npos);
    EXPECT_NE(xml.find("Suporte &lt;remoto&gt;"), std::string::npos);
    // Each note keeps only its own services.
    TmvlPrintNfseDatasets again;
    again.SetMappingFileName(PrintMapping());
    again.BuildDataSets("Nfse");
    again.LoadXml(xml);
    TMvlXSDClientDataSet& services = again.DataSet("Servicos");
    TMvlXSDClientDataSet& notes = again.DataSet("Nfse");
    notes.First();
    EXPECT_EQ(services.RecordCount(), 2u);
    notes.Next();
    EXPECT_EQ(services.RecordCount(), 1u);
    EXPECT_FALSE(print.Log().empty());
}

TEST(TmvlMappingDatasets, Failures)
{
    TmvlMappingDatasets print;
    try {
        print.LoadXml("<Impressao/>");
        ADD_FAILURE();
    } catch (const EmvlNFSeMappingDatasetsException& error) {
        EXPECT_STREQ(error.what(), "Datasets ainda não foram gerados");
    }
    const std::string mapping = PrintMapping();
    print.SetMappingFileName(mapping);
    try {
        print.BuildDataSets("Rps");
        ADD_FAILURE();
    } catch (const EmvlNFSeMappingDatasetsException& error) {
        EXPECT_EQ(std::string(error.what()), "Dataset de Impressão \"Rps\" não configurado no Mapping:\r" + mapping);
    }
    print.BuildDataSets("Nfse");
    struct Row
    {
        const char* Xml;
        const char* Message;
    };
    const Row rows[] = {{"<Impressao><Nfse>", "XML inválido"},
                        {"<Impressao><Rps/></Impressao>", "XML não corresponde ao dataset gerado"}};
    for (const Row& row : rows) {
        try {
            print.LoadXml(row.Xml);
            ADD_FAILURE() << row.Xml;
        } catch (const EmvlNFSeMappingDatasetsException& error) {
            EXPECT_STREQ(error.what(), row.Message);
        }
    }
    try {
        print.DataSet("Tomador");
        ADD_FAILURE();
    } catch (const EmvlNFSeMappingDatasetsException& error) {
        EXPECT_STREQ(error.what(), "Dataset \"Tomador\" não encontrado");
    }
}

TEST(PointerFiles, OneKeyForWritersAndReaders)
{
    struct Row
    {
        const char* Name;
        const char* Document;
        const char* Serie;
        const char* Expected;
    };
    const Row rows[] = {
        {"Cnpj", "12345678000195", "NF", "12345678000195_101_NF_1.txt"},
        {"CpfNotPadded", "12345678901", "NF", "12345678901_101_NF_1.txt"},
        {"CpfInCnpjElement", "CPF12345678901", "NF", "12345678901_101_NF_1.txt"},
        {"FormattedCnpj", "12.345.678/0001-95", "NF", "12345678000195_101_NF_1.txt"},
        {"SeriesWithSlash", "12345678000195", "A/../1", "12345678000195_101_A----1_1.txt"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Name);
        EXPECT_EQ(engine::PointerFileName(row.Document, " 101 ", row.Serie, "1"), row.Expected);
    }
}

TEST(TmvlMappingDatasets, ConsultPrintXmlForCnpjAndCpfIssuers)
{
    const std::string folder = tests::TempDir() + "XmlImpressao/";
    const std::string log = tests::TempDir() + "enviar_lote_rps_envio.xml";
    // The logged lot holds one RPS of a company and one of a person.
    tests::WriteFile(
        log,
        R"(<s:Envelope xmlns:s="http://schemas.xmlsoap.org/soap/envelope/"><s:Body><EnviarLoteRpsEnvio xmlns="urn:n">)"
        R"(<LoteRps><ListaRps>)"
        R"(<Rps><InfRps><IdentificacaoRps><Numero>5</Numero><Serie>NF</Serie><Tipo>1</Tipo></IdentificacaoRps>)"
        R"(<Prestador><Cnpj>12345678000195</Cnpj></Prestador></InfRps></Rps>)"
        R"(<Rps><InfRps><IdentificacaoRps><Numero>6</Numero><Serie>NF</Serie><Tipo>1</Tipo></IdentificacaoRps>)"
        R"(<Prestador><CpfCnpj><Cpf>12345678901</Cpf></CpfCnpj></Prestador></InfRps></Rps>)"
        R"(</ListaRps></LoteRps></EnviarLoteRpsEnvio></s:Body></s:Envelope>)");
    engine::WritePointerFile(folder, engine::PointerFileName("12345678000195", "5", "NF", "1"), log);
    engine::WritePointerFile(folder, engine::PointerFileName("CPF12345678901", "6", "NF", "1"), log);

    const auto note = [](const char* number, const char* issuer, const char* rps) {
        return std::string("<CompNfse><Nfse><InfNfse><Numero>") + number + "</Numero><IdentificacaoRps><Numero>" + rps +
            "</Numero><Serie>NF</Serie><Tipo>1</Tipo></IdentificacaoRps>"
            "<PrestadorServico><IdentificacaoPrestador>" +
            issuer + "</IdentificacaoPrestador></PrestadorServico></InfNfse></Nfse></CompNfse>";
    };
    const std::string answer = "<ConsultarLoteRpsResposta xmlns=\"urn:n\"><ListaNfse>" +
        note("900", "<Cnpj>12345678000195</Cnpj>", "5") +
        note("901", "<CpfCnpj><Cpf>12345678901</Cpf></CpfCnpj>", "6") + "</ListaNfse></ConsultarLoteRpsResposta>";

    TmvlPrintNfseDatasets print;
    const std::string xml = CompactXml(print.ConsultPrintXml(answer, folder));
    ASSERT_TRUE(XmlIsWellFormed(xml)) << xml;
    EXPECT_NE(xml.find("<Rps><Rps><InfRps><IdentificacaoRps><Numero>5</Numero>"), std::string::npos) << xml;
    EXPECT_NE(xml.find("<Cpf>12345678901</Cpf></CpfCnpj></Prestador></InfRps></Rps></Rps><Nfse><InfNfse><Numero>901"),
              std::string::npos)
        << xml;
    EXPECT_EQ(xml.find("urn:n"), std::string::npos) << "espaços de nomes removidos";

    try {
        print.ConsultPrintXml("<L>" + note("902", "<Cnpj>12345678000195</Cnpj>", "7") + "</L>", folder);
        ADD_FAILURE();
    } catch (const EmvlNFSeMappingDatasetsException& error) {
        EXPECT_STREQ(error.what(),
                     "Não foi encontrado o arquivo-ponteiro para a NFSe com a chave \"12345678000195_7_NF_1\"");
    }
}
