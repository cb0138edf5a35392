#include "framework/data/CmIBSQL.h"

#include "framework/data/CmDataSet.h"
#include "platform/FormatSettings.h"
#include "platform/TextRules.h"

#include <charconv>
#include <cmath>

void TCmIBSQL::ExecProcedureLiteral(const std::string& procedureName, const std::vector<std::string>& values)
{
    std::string text = "Execute Procedure " + procedureName + "\r (";
    for (size_t i = 0; i < values.size(); ++i) {
        text += framework::QuotedLiteral(values[i]);
        text += i + 1 < values.size() ? ", " : ")";
    }
    if (values.empty()) {
        text += ")";
    }
    ExecText(text);
}

void TCmIBSQL::ExecText(const std::string& text)
{
    Close();
    SetSQL(text);
    Prepare();
    ExecQuery();
}

namespace framework {

LiteralKind LiteralKindOf(const TField& field)
{
    switch (field.DataType()) {
    case TFieldType::ftString:
    case TFieldType::ftFixedChar:
    case TFieldType::ftMemo:
    case TFieldType::ftFmtMemo:
        return LiteralKind::Text;
    case TFieldType::ftSmallint:
    case TFieldType::ftInteger:
    case TFieldType::ftLargeint:
        return LiteralKind::Integer;
    case TFieldType::ftFloat:
    case TFieldType::ftCurrency:
    case TFieldType::ftBCD:
        return LiteralKind::Decimal;
    case TFieldType::ftDate:
        return LiteralKind::Date;
    case TFieldType::ftTime:
        return LiteralKind::Time;
    case TFieldType::ftDateTime:
        return LiteralKind::DateTime;
    default:
        return LiteralKind::Other;
    }
}

std::string QuotedLiteral(const std::string& text)
{
    std::string literal = "'";
    for (char c : text) {
        literal += c;
        if (c == '\'') {
            literal += '\'';
        }
    }
    return literal + "'";
}

} // namespace framework

std::string FormatValueSql(const std::string& value, framework::LiteralKind kind)
{
    using framework::LiteralError;
    using framework::LiteralKind;
    const platform::FormatSettings& settings = platform::BrazilianFormatSettings();
    const std::string_view trimmed = platform::Trim(value);
    switch (kind) {
    case LiteralKind::Text:
        return framework::QuotedLiteral(value);
    case LiteralKind::Integer: {
        if (trimmed.empty()) {
            return "NULL";
        }
        int64_t number = 0;
        const char* begin = trimmed.data() + (trimmed[0] == '+' ? 1 : 0);
        const auto result = std::from_chars(begin, trimmed.data() + trimmed.size(), number);
        if (result.ec != std::errc() || result.ptr != trimmed.data() + trimmed.size()) {
            throw LiteralError("Valor inválido");
        }
        // Written from the number read, so nothing but digits and a sign reaches the statement.
        return std::to_string(number);
    }
    case LiteralKind::Decimal: {
        if (trimmed.empty()) {
            return "NULL";
        }
        const auto number = platform::TryStrToFloat(trimmed, settings);
        if (!number || !std::isfinite(*number)) {
            throw LiteralError("Valor inválido");
        }
        std::string text(trimmed);
        if (const size_t comma = text.find(','); comma != std::string::npos) {
            text[comma] = '.';
        }
        return text;
    }
    case LiteralKind::Date: {
        const auto date = platform::TryStrToDate(trimmed, settings);
        if (!date) {
            throw LiteralError("Data inválida");
        }
        return "'" + platform::FormatDateTime("mm/dd/yyyy", *date, settings) + "'";
    }
    case LiteralKind::Time: {
        const auto time = platform::TryStrToTime(trimmed, settings);
        if (!time) {
            throw LiteralError("Hora inválida");
        }
        return "'" + platform::FormatDateTime("hh:nn:ss", *time, settings) + "'";
    }
    case LiteralKind::DateTime: {
        const auto stamp = platform::TryStrToDateTime(trimmed, settings);
        if (!stamp) {
            throw LiteralError("Data e hora inválida");
        }
        return "'" + platform::FormatDateTime("mm/dd/yyyy hh:nn:ss", *stamp, settings) + "'";
    }
    default:
        return "0";
    }
}

std::string FormatFieldSql(const TField& field, const std::string& value)
{
    return FormatValueSql(value == "@" ? field.AsString() : value, framework::LiteralKindOf(field));
}
