#include "engine/mvlGerarRegisterXmlNFSeItem.h"

#include <gtest/gtest.h>

TEST(TmvlGerarRegisterXmlNFSeItem, LineBreaksOfTextsBecomeTheDelimiter)
{
    struct Row
    {
        const char* Name;
        const char* LineBreak;
        const char* Xml;
        const char* Expected;
    };
    const Row rows[] = {
        {"BlankLineBreakKeepsBlanks", " ", "<a><b>x y\nz</b></a>", "<a><b>x y|z</b></a>"},
        {"EscapedInTheText", "&#xD;&#xA;", "<a c=\"1\nx\">um&amp;#xD;&amp;#xA;dois&#xD;&#xA;tres</a>",
         "<a c=\"1 x\">um|dois|tres</a>"},
        {"HtmlBreaks", "", "<a>x&lt;br /&gt;y&amp;lt;BR&amp;gt;z</a>", "<a>x|y|z</a>"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Name);
        EXPECT_EQ(TmvlGerarRegisterXmlNFSeItem::MarkLineBreaks(row.Xml, row.LineBreak), row.Expected);
    }
}
