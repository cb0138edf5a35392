#include "framework/data/CmIBSQL.h"

#include "framework/data/CmDataSet.h"
#include "platform/Clock.h"

#include <gtest/gtest.h>

using framework::LiteralError;
using framework::LiteralKind;

namespace {

struct LiteralCase
{
    const char* Name;
    const char* Value;
    LiteralKind Kind;
    const char* Expected; // nullptr: refused with Error
    const char* Error = nullptr;
};

} // namespace

TEST(FormatValueSql, WritesEachKindAsASafeLiteral)
{
    const platform::ScopedClockPin pin(platform::DateTime {2026, 12, 11, 15, 0, 0, 0});
    const LiteralCase cases[] = {
        {"decimal comma becomes a point", "1,5", LiteralKind::Decimal, "1.5"},
        {"negative decimal", " -1234,56 ", LiteralKind::Decimal, "-1234.56"},
        {"empty decimal", "", LiteralKind::Decimal, "NULL"},
        {"decimal point is not the regional one", "1.5", LiteralKind::Decimal, nullptr, "Valor inválido"},
        {"decimal that tries to inject", "1,5 or 1=1", LiteralKind::Decimal, nullptr, "Valor inválido"},
        {"not a number", "nan", LiteralKind::Decimal, nullptr, "Valor inválido"},
        {"empty integer", "", LiteralKind::Integer, "NULL"},
        {"blank integer", "   ", LiteralKind::Integer, "NULL"},
        {"integer", " 42 ", LiteralKind::Integer, "42"},
        {"integer that tries to inject", "1; delete from CLIENTE", LiteralKind::Integer, nullptr, "Valor inválido"},
        {"decimal as integer", "1,5", LiteralKind::Integer, nullptr, "Valor inválido"},
        {"date typed day first", "31/12/2016", LiteralKind::Date, "'12/31/2016'"},
        {"date with a two-digit year", "5/1/16", LiteralKind::Date, "'01/05/2016'"},
        {"date without a year", "05/01", LiteralKind::Date, "'01/05/2026'"},
        {"no such day", "31/02/2016", LiteralKind::Date, nullptr, "Data inválida"},
        {"date that tries to inject", "31/12/2016' or '1'='1", LiteralKind::Date, nullptr, "Data inválida"},
        {"time", "9:05", LiteralKind::Time, "'09:05:00'"},
        {"no such hour", "25:00", LiteralKind::Time, nullptr, "Hora inválida"},
        {"date and time", "31/12/2016 23:59:58", LiteralKind::DateTime, "'12/31/2016 23:59:58'"},
        {"date alone as date and time", "31/12/2016", LiteralKind::DateTime, "'12/31/2016 00:00:00'"},
        {"broken date and time", "31/12/2016 ontem", LiteralKind::DateTime, nullptr, "Data e hora inválida"},
        {"text", "São Paulo", LiteralKind::Text, "'São Paulo'"},
        {"quote inside text", "Olhos-d'Água", LiteralKind::Text, "'Olhos-d''Água'"},
        {"text that tries to inject", "x'; drop table CLIENTE; --", LiteralKind::Text, "'x''; drop table CLIENTE; --'"},
        {"other kinds", "qualquer", LiteralKind::Other, "0"},
    };
    for (const LiteralCase& c : cases) {
        SCOPED_TRACE(c.Name);
        if (c.Expected) {
            EXPECT_EQ(FormatValueSql(c.Value, c.Kind), c.Expected);
        } else {
            try {
                const std::string literal = FormatValueSql(c.Value, c.Kind);
                ADD_FAILURE() << "accepted as " << literal;
            } catch (const LiteralError& error) {
                EXPECT_STREQ(error.what(), c.Error);
            }
        }
    }
}

TEST(FormatFieldSql, KindFollowsTheFieldAndAtSignTakesItsValue)
{
    struct Case
    {
        TFieldType Type;
        LiteralKind Kind;
    };
    const Case cases[] = {
        {TFieldType::ftString, LiteralKind::Text},       {TFieldType::ftFixedChar, LiteralKind::Text},
        {TFieldType::ftMemo, LiteralKind::Text},         {TFieldType::ftFmtMemo, LiteralKind::Text},
        {TFieldType::ftSmallint, LiteralKind::Integer},  {TFieldType::ftInteger, LiteralKind::Integer},
        {TFieldType::ftLargeint, LiteralKind::Integer},  {TFieldType::ftFloat, LiteralKind::Decimal},
        {TFieldType::ftCurrency, LiteralKind::Decimal},  {TFieldType::ftBCD, LiteralKind::Decimal},
        {TFieldType::ftDate, LiteralKind::Date},         {TFieldType::ftTime, LiteralKind::Time},
        {TFieldType::ftDateTime, LiteralKind::DateTime}, {TFieldType::ftBlob, LiteralKind::Other},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.Type));
        const TField field(nullptr, "X", c.Type, false);
        EXPECT_EQ(framework::LiteralKindOf(field), c.Kind);
    }

    // "@": a calculated value of the current record, as the search filters pass it.
    TCmDataSet dataSet("X");
    TField& valor = dataSet.AddCalculatedField("VALOR", TFieldType::ftFloat);
    EXPECT_EQ(FormatFieldSql(valor, "2,25"), "2.25");
}
