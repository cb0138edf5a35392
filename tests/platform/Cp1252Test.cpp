#include "platform/Cp1252.h"

#include <gtest/gtest.h>

using namespace platform;

namespace {

struct RoundTrip
{
    const char* Name;
    const char* Utf8;
    const char* Cp1252;
};

const RoundTrip kRoundTrips[] = {
    {"Cedilha", "ç", "\xE7"},   {"ATil", "ã", "\xE3"},
    {"EAgudo", "é", "\xE9"},    {"Euro", "€", "\x80"},
    {"EnDash", "–", "\x96"},    {"AspasCurvas", "“x”", "\x93x\x94"},
    {"SCaron", "Š", "\x8A"},    {"Oe", "œ", "\x9C"},
    {"TradeMark", "™", "\x99"}, {"Misto", "Olhos-d'Água, São Paulo", "Olhos-d'\xC1gua, S\xE3o Paulo"},
    {"Vazio", "", ""},
};

} // namespace

TEST(Cp1252, RoundTripsEveryTableRow)
{
    for (const auto& row : kRoundTrips) {
        SCOPED_TRACE(row.Name);
        EXPECT_EQ(Utf8ToCp1252(row.Utf8), row.Cp1252);
        EXPECT_EQ(Cp1252ToUtf8(row.Cp1252), row.Utf8);
    }
}

TEST(Cp1252, AllDefinedBytesSurviveARoundTrip)
{
    std::string all;
    for (int b = 1; b < 256; ++b) {
        if (b != 0x81 && b != 0x8D && b != 0x8F && b != 0x90 && b != 0x9D) {
            all += static_cast<char>(b);
        }
    }
    EXPECT_EQ(Utf8ToCp1252(Cp1252ToUtf8(all)), all);
}

TEST(Cp1252, UndefinedBytesAreErrorsInStrictModeAndReplacedInLossyMode)
{
    for (const char* undefinedByte : {"\x81", "\x8D", "\x8F", "\x90", "\x9D"}) {
        const std::string text = std::string("a") + undefinedByte + "b";
        SCOPED_TRACE(static_cast<int>(static_cast<unsigned char>(undefinedByte[0])));
        EXPECT_THROW(Cp1252ToUtf8(text), EncodingError);
        EXPECT_EQ(Cp1252ToUtf8Lossy(text),
                  "a\xEF\xBF\xBD"
                  "b");
    }
}

TEST(Cp1252, UnencodableCharacterFailsStrictAndBecomesQuestionMarkLossy)
{
    EXPECT_THROW(Utf8ToCp1252("Łódź"), EncodingError);
    EXPECT_EQ(Utf8ToCp1252Lossy("Łódź"),
              "?\xF3"
              "d?");
    // A broken UTF-8 sequence is not text at all: strict refuses it, lossy marks it.
    EXPECT_THROW(Utf8ToCp1252("a\xC3"), EncodingError);
    EXPECT_EQ(Utf8ToCp1252Lossy("a\xC3"), "a?");
}

TEST(Cp1252, StrictErrorNamesTheByteAndItsPosition)
{
    try {
        Cp1252ToUtf8("abc\x90");
        FAIL() << "no error";
    } catch (const EncodingError& e) {
        EXPECT_STREQ(e.what(), "Byte 0x90 na posição 3 não existe no código Windows-1252.");
    }
}

TEST(Cp1252, LongTextCrossesTheConversionBuffer)
{
    const std::string utf8(10000, 'x');
    const std::string accented = utf8 + "ção" + utf8;
    EXPECT_EQ(Cp1252ToUtf8(Utf8ToCp1252(accented)), accented);
}

TEST(Cp1252, Utf8Validation)
{
    EXPECT_TRUE(IsValidUtf8("São Paulo €"));
    EXPECT_FALSE(IsValidUtf8("S\xE3o"));
    EXPECT_FALSE(IsValidUtf8("\xC0\xAF"));         // overlong "/"
    EXPECT_FALSE(IsValidUtf8("\xED\xA0\x80"));     // surrogate
    EXPECT_FALSE(IsValidUtf8("\xF4\x90\x80\x80")); // past U+10FFFF
}
