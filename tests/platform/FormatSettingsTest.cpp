#include "platform/FormatSettings.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>

using namespace platform;

namespace {

const FormatSettings& Br()
{
    return BrazilianFormatSettings();
}

} // namespace

TEST(FormatFloat, PatternsOfTheSystem)
{
    struct Row
    {
        const char* Pattern;
        double Value;
        const char* Text;
    };
    const Row rows[] = {
        {"#,##0.00", 1234.56, "1.234,56"},
        {"#,##0.00", 1234567.891, "1.234.567,89"},
        {"#,##0.00", 0.5, "0,50"},
        {"#,##0.00", -1234.5, "-1.234,50"},
        {"#,##0.00", 999.995, "1.000,00"},
        {"#,##0.00", 2.675, "2,68"},
        {"#,##0.00", 0.125, "0,13"},
        {"#,##0.00", -0.001, "0,00"},
        {"0.00", 1234.5, "1234,50"},
        {"###,###,###,##0 KB", 16777216, "16.777.216 KB"},
        {"###,###,###,##0 KB", 0, "0 KB"},
        {"0.##", 1.5, "1,5"},
        {"0.##", 2, "2"},
        {"000", 7, "007"},
        {"#,##0.00;(#,##0.00)", -5, "(5,00)"},
        {"#,##0.00;-#,##0.00;'zero'", 0, "zero"},
        {"'R$ '#,##0.00", 10, "R$ 10,00"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.Pattern) + " " + std::to_string(row.Value));
        EXPECT_EQ(FormatFloat(row.Pattern, row.Value, Br()), row.Text);
    }
}

TEST(FormatDateTime, PatternsOfTheSystem)
{
    const DateTime value {2026, 3, 7, 14, 5, 9, 42}; // a Saturday
    struct Row
    {
        const char* Pattern;
        const char* Text;
    };
    const Row rows[] = {
        {"dd/mm/yyyy", "07/03/2026"},
        {"yyyymmdd_hhmmss", "20260307_140509"},
        {"yyyy-mm-dd-hh-mm", "2026-03-07-14-05"},
        {"dd/mm/YYYY hh:MM:ss:zzz", "07/03/2026 14:05:09:042"},
        {"YYYY-MM-DD-HH-NN-SS-Z", "2026-03-07-14-05-09-42"},
        {"yyyy-mm-dd", "2026-03-07"},
        {"yyyyMMdd", "20260307"},
        {"d/m/yy", "7/3/26"},
        {"dddd, d 'de' mmmm 'de' yyyy", "sábado, 7 de Março de 2026"},
        {"ddd mmm", "sáb Mar"},
        {"ddddd", "07/03/2026"},
        {"hh:nn am/pm", "14:05 pm"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Pattern);
        EXPECT_EQ(FormatDateTime(row.Pattern, value, Br()), row.Text);
    }
}

TEST(FormatSettings, BrazilianNames)
{
    EXPECT_EQ(Br().LongMonthNames[2], "Março");
    EXPECT_EQ(Br().ShortMonthNames[1], "Fev");
    EXPECT_EQ(Br().LongDayNames[0], "domingo");
    EXPECT_EQ(Br().ShortDayNames[2], "ter");
    EXPECT_EQ(Br().ShortDayNames[6], "sáb");
    EXPECT_EQ(Br().ShortDateFormat, "dd/mm/yyyy");
    EXPECT_EQ(Br().CurrencyString, "");
}

TEST(StrToFloat, ReadsRegionalNumbersOnly)
{
    EXPECT_DOUBLE_EQ(StrToFloat("1234,56", Br()), 1234.56);
    EXPECT_DOUBLE_EQ(StrToFloat(" -0,5 ", Br()), -0.5);
    EXPECT_DOUBLE_EQ(StrToFloat("+3", Br()), 3);
    EXPECT_DOUBLE_EQ(StrToFloat("1,5E3", Br()), 1500);
    for (const char* bad : {"", "1.234,56", "1.5", "abc", "1,2,3", "12 34", "1,5x"}) {
        SCOPED_TRACE(bad);
        EXPECT_FALSE(TryStrToFloat(bad, Br()).has_value());
    }
    EXPECT_THROW(StrToFloat("1.5", Br()), ConversionError);
    EXPECT_EQ(FloatToStr(1234.5, Br()), "1234,5");
}

TEST(MoneyText, AlwaysDotAndTwoDecimals)
{
    EXPECT_EQ(MoneyText(1234.5), "1234.50");
    EXPECT_EQ(MoneyText(0), "0.00");
    EXPECT_EQ(MoneyText(-7.005), "-7.01");
    EXPECT_EQ(MoneyText(1e6), "1000000.00");
}

TEST(FormatSettings, RegionalFormattingLeavesThePrintfOfTheProcessAlone)
{
    EXPECT_EQ(FormatFloat("#,##0.00", 1.5, Br()), "1,50");
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.2f", 1.5);
    EXPECT_STREQ(buffer, "1.50");
}
