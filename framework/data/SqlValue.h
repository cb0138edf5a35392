#pragma once

#include "platform/DateTime.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace framework {

enum class SqlValueKind
{
    Null,
    Integer,
    Double,
    Text,
    Date,
    Time,
    Timestamp,
    Binary,
};

// One value crossing the database boundary: a parameter to bind or a column of the current row.
// Text is UTF-8 here and cp1252 in the database; Binary is raw bytes (binary BLOBs).
class SqlValue
{
public:
    SqlValue() = default;
    static SqlValue Integer(int64_t value);
    static SqlValue Double(double value);
    static SqlValue Text(std::string utf8);
    static SqlValue Date(const platform::DateTime& value);
    static SqlValue Time(const platform::DateTime& value);
    static SqlValue Timestamp(const platform::DateTime& value);
    static SqlValue Binary(std::string bytes);

    SqlValueKind Kind() const { return m_kind; }
    bool IsNull() const { return m_kind == SqlValueKind::Null; }

    // Conversions raise framework::DatabaseError when the value cannot be read as asked.
    // AsString of NULL is empty; numbers use "." and no grouping; dates are yyyy-mm-dd,
    // times hh:nn:ss, timestamps both joined by a blank.
    std::string AsString() const;
    int64_t AsInteger() const;
    double AsDouble() const;
    platform::DateTime AsDateTime() const;
    // The bytes of a text or binary value.
    const std::string& AsBytes() const { return m_text; }

private:
    SqlValueKind m_kind = SqlValueKind::Null;
    int64_t m_integer = 0;
    double m_double = 0;
    std::string m_text;
    platform::DateTime m_dateTime;
};

} // namespace framework
