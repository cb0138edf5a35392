#include "engine/mvlCustomXML.h"

#include "engine/mvlExceptions.h"
#include "engine/mvlNFSeXmlUtils.h"
#include "engine/mvlXPath.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

// City answers are untrusted: whatever their DOCTYPE says, loading one reads no file, reaches
// no network and expands no entity without bound.
TEST(TmvlCustomXML, HostileAnswersReadNothingOutsideTheirText)
{
    const std::string secret = tests::TempDir() + "segredo.txt";
    tests::WriteFile(secret, "SENHA-DO-CERTIFICADO");
    const std::string dtd = tests::TempDir() + "externo.dtd";
    tests::WriteFile(dtd, "<!ENTITY vaza SYSTEM \"file://" + secret + "\">");

    struct Row
    {
        const char* Name;
        std::string Xml;
    };
    const std::vector<Row> rows {
        {"external entity to a local file",
         "<!DOCTYPE r [<!ENTITY xxe SYSTEM \"file://" + secret + "\">]><r><Mensagem>&xxe;</Mensagem></r>"},
        {"external entity by relative path",
         "<!DOCTYPE r [<!ENTITY xxe SYSTEM \"" + secret + "\">]><r><Mensagem>&xxe;</Mensagem></r>"},
        {"external DTD that declares the entity",
         "<!DOCTYPE r SYSTEM \"file://" + dtd + "\"><r><Mensagem>&vaza;</Mensagem></r>"},
        {"parameter entity",
         "<!DOCTYPE r [<!ENTITY % p SYSTEM \"file://" + dtd + "\"> %p;]><r><Mensagem>&vaza;</Mensagem></r>"},
        {"network entity",
         "<!DOCTYPE r [<!ENTITY net SYSTEM \"http://127.0.0.1:9/x\">]><r><Mensagem>&net;</Mensagem></r>"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Name);
        TmvlXPath doc;
        if (!doc.TryLoadXML(row.Xml)) {
            continue; // refusing the answer is as safe as loading it without the entity
        }
        EXPECT_EQ(doc.XML().find("SENHA"), std::string::npos);
        EXPECT_EQ(doc.SelectText("//Mensagem").find("SENHA"), std::string::npos);
        std::string text;
        if (SelectNodeText(row.Xml, "//Mensagem", text)) {
            EXPECT_EQ(text.find("SENHA"), std::string::npos);
        }
        EXPECT_EQ(StripNamespaces(row.Xml).find("SENHA"), std::string::npos);

        const std::string file = tests::TempDir() + "resposta.xml";
        tests::WriteFile(file, row.Xml);
        TmvlXPath fromFile;
        fromFile.LoadFromFile(file);
        EXPECT_EQ(fromFile.XML().find("SENHA"), std::string::npos);
    }
}

TEST(TmvlCustomXML, EntityExpansionStaysBounded)
{
    std::string bomb = "<!DOCTYPE r [<!ENTITY a0 \"xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx\">";
    for (int i = 1; i <= 12; ++i) {
        bomb += "<!ENTITY a" + std::to_string(i) + " \"";
        for (int j = 0; j < 10; ++j) {
            bomb += "&a" + std::to_string(i - 1) + ";";
        }
        bomb += "\">";
    }
    bomb += "]><r><Mensagem>&a12;</Mensagem></r>";
    TmvlXPath doc;
    if (doc.TryLoadXML(bomb)) {
        EXPECT_LT(doc.SelectText("//Mensagem").size(), 1'000'000u);
    }
    std::string text;
    if (SelectNodeText(bomb, "//Mensagem", text)) {
        EXPECT_LT(text.size(), 1'000'000u);
    }
}
