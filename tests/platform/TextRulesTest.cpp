#include "platform/TextRules.h"

#include <gtest/gtest.h>

using namespace platform;

TEST(TextRules, DigitsOnly)
{
    EXPECT_EQ(DigitsOnly("12.345.678/0001-90"), "12345678000190");
    EXPECT_EQ(DigitsOnly("(11) 3333-4444 ramal ²"), "1133334444");
    EXPECT_EQ(DigitsOnly("sem números"), "");
}

TEST(TextRules, CityKey)
{
    struct Row
    {
        const char* Name;
        const char* Key;
    };
    const Row rows[] = {
        {"São Bernardo do Campo", "SAOBERNARDODOCAMPO"},
        {"Olhos-d'Água", "OLHOS-D'AGUA"},
        {"Embu-Guaçu", "EMBU-GUACU"},
        {"Itaú de Minas", "ITAUDEMINAS"},
        {"Ñandú Ü Ï", "NANDUUI"},
        {"  Belo  Horizonte ", "BELOHORIZONTE"},
        // Not in the fold table: kept, but upper-cased by the code page's rules.
        {"Ångström ø ý ÿ š œ ž", "ÅNGSTROMØÝŸŠŒŽ"},
        {"", ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Name);
        EXPECT_EQ(CityKey(row.Name), row.Key);
    }
}

TEST(TextRules, FoldAccentsKeepsCaseAndUnfoldedLetters)
{
    EXPECT_EQ(FoldAccents("Açaí Ýpsilon Øre"), "Acai Ýpsilon Øre");
}

TEST(TextRules, CaseInsensitiveComparisonCoversLatinLetters)
{
    EXPECT_TRUE(EqualsIgnoreCase("NFSE", "nfse"));
    EXPECT_TRUE(EqualsIgnoreCase("SÃO PAULO/SP", "são paulo/sp"));
    EXPECT_FALSE(EqualsIgnoreCase("SAO", "são"));
    EXPECT_FALSE(EqualsIgnoreCase("abc", "abcd"));
}

TEST(TextRules, Trim)
{
    EXPECT_EQ(Trim(" \t x y \r\n"), "x y");
    EXPECT_EQ(TrimLeft("  x "), "x ");
    EXPECT_EQ(TrimRight("  x "), "  x");
    EXPECT_EQ(Trim("   "), "");
}
