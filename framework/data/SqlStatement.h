#pragma once

#include "framework/data/FirebirdHandles.h"
#include "framework/data/SqlValue.h"

#include <cstdint>
#include <string>
#include <vector>

class TCmDatabase;
class TCmTransaction;

namespace framework {

// The kinds the server reports for a prepared statement.
enum class SqlStatementType
{
    Unknown,
    Select,
    Insert,
    Update,
    Delete,
    DDL,
    GetSegment,
    PutSegment,
    ExecProcedure,
    StartTransaction,
    Commit,
    Rollback,
    SelectForUpdate,
    SetGenerator,
    SavePoint,
};

// What the server says a result column holds.
enum class SqlColumnType
{
    Unknown,
    Text,      // varchar
    FixedText, // char
    Memo,      // text BLOB
    Blob,      // binary BLOB
    SmallInt,
    Integer,
    BigInt,
    Float,
    Double,
    Date,
    Time,
    Timestamp,
    Boolean,
};

struct SqlColumn
{
    std::string Name;     // the column's alias, as the select list names it
    std::string Relation; // the table it comes from, empty for expressions
    SqlValue Value;
    std::string Field; // the table's column it comes from, empty for expressions
    SqlColumnType Type = SqlColumnType::Unknown;
    int Scale = 0;       // negative: a numeric with that many decimals
    unsigned Length = 0; // bytes of a text column
};

struct SqlParameter
{
    std::string Name; // upper-case; empty for a "?" placeholder
    SqlValue Value;
};

// One SQL statement with named parameters (":NAME", case-insensitive, a name may appear more
// than once) on a database and a transaction. A select runs as a cursor: after ExecQuery the
// first row (if any) is current and Next moves on. The transaction is started when needed.
// The database and the transaction must outlive the statement; a hard commit or rollback
// closes its cursor, and closing the database unprepares it.
class SqlStatement
{
public:
    SqlStatement() = default;
    SqlStatement(TCmDatabase* database, TCmTransaction* transaction);
    ~SqlStatement();
    SqlStatement(const SqlStatement&) = delete;
    SqlStatement& operator=(const SqlStatement&) = delete;

    TCmDatabase* Database() const { return m_Database; }
    void SetDatabase(TCmDatabase* database);
    // The database's default transaction when none was given.
    TCmTransaction* Transaction() const;
    void SetTransaction(TCmTransaction* transaction);

    const std::string& SQL() const { return m_SQL; }
    // A new text closes and unprepares the statement.
    void SetSQL(std::string utf8);
    // Off: the text goes to the server untouched (stored procedure bodies use ":NAME" for their
    // own variables); parameters are then the server's "?" places, by position.
    bool ParamCheck() const { return m_ParamCheck; }
    void SetParamCheck(bool check);

    void Prepare();
    bool Prepared() const { return m_statement != nullptr; }
    void Unprepare();
    SqlStatementType StatementType();

    int ParamCount() const { return static_cast<int>(m_params.size()); }
    SqlParameter& Params(int index);
    SqlParameter& ParamByName(std::string_view name);
    // Shorthand for ParamByName(name).Value = value.
    void SetParam(std::string_view name, SqlValue value);

    void ExecQuery();
    bool Open() const { return m_cursor != nullptr; }
    bool Eof() const { return m_Eof; }
    // Fetches the next row; false (and Eof) after the last.
    bool Next();
    void Close();

    int FieldCount() const { return static_cast<int>(m_fields.size()); }
    const SqlColumn& Fields(int index) const;
    // Case-insensitive; -1 when the statement has no such column.
    int FieldIndex(std::string_view name) const;
    const SqlValue& FieldByName(std::string_view name) const;
    // Moves a value of the current row out, for whoever buffers the rows; that column reads
    // NULL until the next row is fetched.
    SqlValue TakeValue(int index);

    // Rows the last insert, update or delete touched.
    int64_t RowsAffected();

    // Called by the database and the transaction when they go away.
    void DatabaseGone();

private:
    struct InputSlot
    {
        int Param = 0; // index into m_params
    };
    void ParseParams();
    void BuildInput(Firebird::ITransaction* transaction);
    void ReadRow(Firebird::ITransaction* transaction);
    TCmTransaction* ActiveTransaction();

    TCmDatabase* m_Database = nullptr;
    TCmTransaction* m_Transaction = nullptr;
    std::string m_SQL;
    bool m_ParamCheck = true;
    bool m_Eof = true;

    std::string m_serverText; // cp1252, placeholders as "?"
    std::vector<InputSlot> m_slots;
    std::vector<SqlParameter> m_params;
    std::vector<SqlColumn> m_fields;

    fb::StatementPtr m_statement;
    fb::ResultSetPtr m_cursor;
    TCmTransaction* m_cursorTransaction = nullptr;
    unsigned m_type = 0;
    fb::MetadataPtr m_inputServer;
    fb::MetadataPtr m_input;
    std::vector<uint64_t> m_inputSignature;
    std::vector<unsigned char> m_inputBuffer;
    fb::MetadataPtr m_output;
    std::vector<unsigned char> m_outputBuffer;
    std::vector<char> m_segment;
    struct OutputSlot
    {
        unsigned Offset = 0;
        unsigned NullOffset = 0;
        unsigned Type = 0;
        unsigned Length = 0;
        unsigned CharSet = 0;
        int Scale = 0;
        int SubType = 0;
    };
    std::vector<OutputSlot> m_outputSlots;
};

} // namespace framework
