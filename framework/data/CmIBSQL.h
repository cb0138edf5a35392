#pragma once

#include "framework/data/SqlStatement.h"

#include <stdexcept>
#include <string>
#include <vector>

class TField;

// A single statement that returns at most one row, with two ways of running a text at once.
class TCmIBSQL : public framework::SqlStatement
{
public:
    using framework::SqlStatement::SqlStatement;

    // "Execute Procedure NAME" with every value as a quoted text literal, in order.
    void ExecProcedureLiteral(const std::string& procedureName, const std::vector<std::string>& values);
    // Closes the statement, takes the text, prepares and runs it.
    void ExecText(const std::string& text);
};

namespace framework {

// What a value is written as in a statement built as text.
enum class LiteralKind
{
    Text,
    Integer,
    Decimal,
    Date,
    Time,
    DateTime,
    Other,
};

// A value that cannot be written as the literal asked for. Its text ("Valor inválido",
// "Data inválida", "Hora inválida", "Data e hora inválida") is all the user is shown, in an
// error box; the operation that built the statement ends there.
class LiteralError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// The literal kind of a field's data type.
LiteralKind LiteralKindOf(const TField& field);

// A single-quoted text literal; quotes inside are doubled.
std::string QuotedLiteral(const std::string& text);

} // namespace framework

// The SQL literal of a value typed in the regional conventions: text quoted (inner quotes
// doubled), integers and decimals checked ("1,5" becomes 1.5, empty becomes NULL), dates
// "'mm/dd/yyyy'", times "'hh:nn:ss'", date and time both; "0" for any other kind.
std::string FormatValueSql(const std::string& value, framework::LiteralKind kind);
// The same with the kind taken from the field's data type; "@" stands for the field's value.
std::string FormatFieldSql(const TField& field, const std::string& value);
