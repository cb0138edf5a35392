#include "framework/data/SqlValue.h"

#include "framework/data/DatabaseError.h"
#include "platform/Format.h"
#include "platform/TextRules.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <optional>

namespace framework {
namespace {

// The number a whole text (blanks around it aside) spells, if it spells one.
template <typename Number>
std::optional<Number> ParseWhole(std::string_view text)
{
    text = platform::Trim(text);
    Number value {};
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || text.empty()) {
        return std::nullopt;
    }
    return value;
}

} // namespace

SqlValue::PackedDateTime SqlValue::Pack(const platform::DateTime& value)
{
    return {static_cast<int16_t>(value.Year), static_cast<int16_t>(value.Millisecond),
            static_cast<int8_t>(value.Month), static_cast<int8_t>(value.Day),
            static_cast<int8_t>(value.Hour),  static_cast<int8_t>(value.Minute),
            static_cast<int8_t>(value.Second)};
}

platform::DateTime SqlValue::Unpack() const
{
    return {m_dateTime.Year,   m_dateTime.Month,  m_dateTime.Day,        m_dateTime.Hour,
            m_dateTime.Minute, m_dateTime.Second, m_dateTime.Millisecond};
}

SqlValue SqlValue::Integer(int64_t value)
{
    SqlValue result;
    result.m_kind = SqlValueKind::Integer;
    result.m_integer = value;
    return result;
}

SqlValue SqlValue::Double(double value)
{
    SqlValue result;
    result.m_kind = SqlValueKind::Double;
    result.m_double = value;
    return result;
}

SqlValue SqlValue::Text(std::string utf8)
{
    SqlValue result;
    result.m_kind = SqlValueKind::Text;
    result.m_text = std::move(utf8);
    return result;
}

SqlValue SqlValue::Binary(std::string bytes)
{
    SqlValue result;
    result.m_kind = SqlValueKind::Binary;
    result.m_text = std::move(bytes);
    return result;
}

SqlValue SqlValue::Date(const platform::DateTime& value)
{
    SqlValue result;
    result.m_kind = SqlValueKind::Date;
    result.m_dateTime = Pack({value.Year, value.Month, value.Day, 0, 0, 0, 0});
    return result;
}

SqlValue SqlValue::Time(const platform::DateTime& value)
{
    SqlValue result;
    result.m_kind = SqlValueKind::Time;
    platform::DateTime time = value;
    time.Year = 1899;
    time.Month = 12;
    time.Day = 30;
    result.m_dateTime = Pack(time);
    return result;
}

SqlValue SqlValue::Timestamp(const platform::DateTime& value)
{
    SqlValue result;
    result.m_kind = SqlValueKind::Timestamp;
    result.m_dateTime = Pack(value);
    return result;
}

std::string SqlValue::AsString() const
{
    const platform::DateTime d = Unpack();
    switch (m_kind) {
    case SqlValueKind::Null:
        return {};
    case SqlValueKind::Integer:
        return std::to_string(m_integer);
    case SqlValueKind::Double: {
        char buffer[64];
        const auto end = std::to_chars(buffer, buffer + sizeof(buffer), m_double).ptr;
        return std::string(buffer, end);
    }
    case SqlValueKind::Text:
    case SqlValueKind::Binary:
        return m_text;
    case SqlValueKind::Date:
        return platform::Format("%.4d-%.2d-%.2d", d.Year, d.Month, d.Day);
    case SqlValueKind::Time:
        return platform::Format("%.2d:%.2d:%.2d", d.Hour, d.Minute, d.Second);
    case SqlValueKind::Timestamp:
        return platform::Format("%.4d-%.2d-%.2d %.2d:%.2d:%.2d", d.Year, d.Month, d.Day, d.Hour, d.Minute, d.Second);
    }
    return {};
}

int64_t SqlValue::AsInteger() const
{
    switch (m_kind) {
    case SqlValueKind::Null:
        return 0;
    case SqlValueKind::Integer:
        return m_integer;
    case SqlValueKind::Double:
        if (!std::isfinite(m_double) || std::fabs(m_double) > 9.2e18) {
            break;
        }
        return std::llround(m_double);
    case SqlValueKind::Text:
        if (const auto value = ParseWhole<int64_t>(m_text)) {
            return *value;
        }
        break;
    default:
        break;
    }
    throw DatabaseError("'" + AsString() + "' não é um número inteiro válido.");
}

double SqlValue::AsDouble() const
{
    switch (m_kind) {
    case SqlValueKind::Null:
        return 0;
    case SqlValueKind::Integer:
        return static_cast<double>(m_integer);
    case SqlValueKind::Double:
        return m_double;
    case SqlValueKind::Text:
        if (const auto value = ParseWhole<double>(m_text)) {
            return *value;
        }
        break;
    default:
        break;
    }
    throw DatabaseError("'" + AsString() + "' não é um número válido.");
}

platform::DateTime SqlValue::AsDateTime() const
{
    switch (m_kind) {
    case SqlValueKind::Null:
        return {};
    case SqlValueKind::Date:
    case SqlValueKind::Time:
    case SqlValueKind::Timestamp:
        return Unpack();
    default:
        throw DatabaseError("'" + AsString() + "' não é uma data válida.");
    }
}

} // namespace framework
