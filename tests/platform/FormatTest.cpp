#include "platform/Format.h"

#include <gtest/gtest.h>

using namespace platform;

TEST(Format, FillsTheSystemsPatterns)
{
    EXPECT_EQ(Format("Ocorreu um erro inesperado: %s", "falha"), "Ocorreu um erro inesperado: falha");
    EXPECT_EQ(Format("%4.4d.%4.4d.%4.4d.%4.4d", 1, 0, 0, 3), "0001.0000.0000.0003");
    EXPECT_EQ(Format("[%s] %d - %s : %s", "x", 42, "EmvlNFSeException", "m"), "[x] 42 - EmvlNFSeException : m");
    EXPECT_EQ(Format("%5d|%-5d|%05d|%x|%X", 42, 42, -42, 255, 255), "   42|42   |-0042|ff|FF");
    EXPECT_EQ(Format("%.2f %s", 1234.5, "%d"), "1234.50 %d");
    EXPECT_EQ(Format("100%%"), "100%");
    EXPECT_EQ(Format("%s", std::string("€ç")), "€ç");
}

TEST(Format, MismatchesAreErrorsAndExtraArgumentsAreIgnored)
{
    EXPECT_THROW(Format("%d", "texto"), FormatError);
    EXPECT_THROW(Format("%s %s", "um"), FormatError);
    EXPECT_THROW(Format("%q", 1), FormatError);
    EXPECT_THROW(Format("fim %"), FormatError);
    EXPECT_EQ(Format("só %s", "um", "dois"), "só um");
}
