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
    // A buffered result list holds one value per column and row: the number and the date share
    // their room, and a date is kept in as few bytes as its parts need.
    struct PackedDateTime
    {
        int16_t Year;
        int16_t Millisecond;
        int8_t Month;
        int8_t Day;
        int8_t Hour;
        int8_t Minute;
        int8_t Second;
    };
    static PackedDateTime Pack(const platform::DateTime& value);
    platform::DateTime Unpack() const;

    SqlValueKind m_kind = SqlValueKind::Null;
    union
    {
        int64_t m_integer = 0;
        double m_double;
        PackedDateTime m_dateTime;
    };
    std::string m_text;
};

} // namespace framework
