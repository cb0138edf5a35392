#include "engine/mvlXPath.h"

#include "engine/mvlExceptions.h"
#include "engine/mvlNFSeXmlUtils.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

namespace {

constexpr std::string_view kAnswer = R"(<?xml version="1.0" encoding="UTF-8"?>
<soap:Envelope xmlns:soap="http://schemas.xmlsoap.org/soap/envelope/" xmlns:tipos="http://www.exemplo.gov.br/tipos">
  <soap:Body>
    <ns2:ConsultarLoteRpsResposta xmlns:ns2="http://www.exemplo.gov.br/nfse">
      <ns2:ListaNfse>
        <tipos:Numero>101</tipos:Numero>
        <Numero xmlns="http://www.outro.gov.br">102</Numero>
        <ns2:Numero tipos:Origem="lote">103</ns2:Numero>
      </ns2:ListaNfse>
    </ns2:ConsultarLoteRpsResposta>
  </soap:Body>
</soap:Envelope>)";

} // namespace

TEST(TmvlXPath, SelectsByLocalNameWhateverThePrefix)
{
    TmvlXPath doc;
    doc.LoadXML(kAnswer);
    ASSERT_TRUE(doc.SelectNodes("//*[local-name()='Numero']"));
    std::vector<std::string> numbers;
    for (const engine::XmlNode& node : doc.CurrentNodeList()) {
        numbers.push_back(node.Text());
    }
    EXPECT_EQ(numbers, (std::vector<std::string> {"101", "102", "103"}));

    EXPECT_EQ(doc.SelectText(engine::LocalNameXPath("//ListaNfse/Numero[3]")), "103");
    EXPECT_EQ(doc.SelectText(engine::LocalNameXPath("/Envelope/Body/*/ListaNfse/Numero")), "101");
    EXPECT_EQ(doc.Evaluate("count(//*[local-name()='Numero'])"), "3");

    doc.SetSelectionNamespaces(R"(xmlns:n="http://www.exemplo.gov.br/nfse" xmlns:t='http://www.exemplo.gov.br/tipos')");
    ASSERT_TRUE(doc.SelectNode("//n:ListaNfse/n:Numero"));
    EXPECT_EQ(doc.CurrentNode().Text(), "103");
    EXPECT_EQ(doc.CurrentNode().Attribute("Origem"), "lote");
    EXPECT_EQ(doc.SelectText("//t:Numero"), "101");
    EXPECT_FALSE(doc.SelectNode("//n:Inexistente"));
    EXPECT_FALSE(doc.CurrentNode());
}

TEST(TmvlXPath, NodeWrittenAloneCarriesTheNamespacesItInherits)
{
    TmvlXPath doc;
    doc.LoadXML(kAnswer);
    ASSERT_TRUE(doc.SelectNode("//*[local-name()='ListaNfse']"));
    const std::string xml = doc.CurrentNode().Xml();
    EXPECT_TRUE(xml.starts_with("<ns2:ListaNfse")) << xml;
    EXPECT_NE(xml.find(R"(xmlns:ns2="http://www.exemplo.gov.br/nfse")"), std::string::npos) << xml;
    EXPECT_NE(xml.find(R"(xmlns:tipos="http://www.exemplo.gov.br/tipos")"), std::string::npos) << xml;

    // The fragment stands on its own: parsed again, it keeps every element in its namespace.
    TmvlXPath again;
    again.LoadXML(xml);
    again.SetSelectionNamespaces(R"(xmlns:t="http://www.exemplo.gov.br/tipos" xmlns:o="http://www.outro.gov.br")");
    EXPECT_EQ(again.SelectText("//t:Numero"), "101");
    EXPECT_EQ(again.SelectText("//o:Numero"), "102");
    EXPECT_EQ(again.SelectText("//*[@*[local-name()='Origem']]"), "103");

    // A default namespace declared on an ancestor comes along as well.
    TmvlXPath plain;
    plain.LoadXML(
        R"(<Envio xmlns="http://www.abrasf.org.br/nfse.xsd"><LoteRps Id="L1"><Numero>7</Numero></LoteRps></Envio>)");
    ASSERT_TRUE(plain.SelectNode("//*[local-name()='LoteRps']"));
    EXPECT_EQ(plain.CurrentNode().Xml(),
              R"(<LoteRps xmlns="http://www.abrasf.org.br/nfse.xsd" Id="L1"><Numero>7</Numero></LoteRps>)");
}

TEST(TmvlXPath, ValuesWithQuotesAreQuotedForXPath)
{
    struct Row
    {
        const char* Name;
        std::string Value;
    };
    const std::vector<Row> rows {
        {"plain", "Padaria Central"},           {"apostrophe", "Padaria D'Ouro"},
        {"double quote", "Oficina \"Boa\""},    {"both quotes", "D'Ouro \"Boa\" 'x'"},
        {"apostrophes at the edges", "'a''b'"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Name);
        TmvlXPath doc;
        doc.LoadXML("<r><Razao>outra</Razao><Razao>" + EscapeXml(row.Value) + "</Razao></r>");
        EXPECT_TRUE(doc.SelectNode("//Razao[text()=" + engine::XPathLiteral(row.Value) + "]"))
            << engine::XPathLiteral(row.Value);
        EXPECT_EQ(doc.CurrentNode().Text(), row.Value);
    }
}

TEST(TmvlXPath, LoadFailureNamesTheReasonAndTheText)
{
    TmvlXPath doc;
    try {
        doc.LoadXML("<a><b></a>");
        FAIL() << "no error";
    } catch (const EmvlException& error) {
        const std::string message = error.what();
        EXPECT_TRUE(message.starts_with("could not load xml ")) << message;
        EXPECT_NE(message.find("[<a><b></a>]"), std::string::npos) << message;
    }
    EXPECT_THROW(doc.LoadXML(""), EmvlException);
    doc.LoadXML("<a/>");
    EXPECT_THROW(doc.SelectNode("//a[@"), EmvlException);
}

TEST(TmvlXPath, KeepsDeclarationAndTopLevelNodesAsLoaded)
{
    TmvlXPath withDeclaration;
    withDeclaration.LoadXML("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<a>São</a><!--fim-->");
    EXPECT_EQ(withDeclaration.XML(), "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<a>São</a>\n<!--fim-->");
    EXPECT_EQ(withDeclaration.LastTopLevelNode().Xml(), "<!--fim-->");

    TmvlXPath without;
    without.LoadXML("<a><b x=\"1\">t</b></a>");
    EXPECT_EQ(without.XML(), "<a><b x=\"1\">t</b></a>");
}
