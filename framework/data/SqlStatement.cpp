#include "framework/data/SqlStatement.h"

#include "framework/data/CmDatabase.h"
#include "framework/data/CmTransaction.h"
#include "framework/data/DatabaseError.h"
#include "platform/Cp1252.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace framework {
namespace {

constexpr unsigned kCharsetOctets = 1;
constexpr size_t kBlobSegment = 32768;

bool IsNameStart(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
}

bool IsNameChar(char c)
{
    return IsNameStart(c) || (c >= '0' && c <= '9') || c == '$';
}

std::string Upper(std::string_view text)
{
    std::string result(text);
    for (char& c : result) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return result;
}

bool IsTextType(unsigned type)
{
    return type == SQL_TEXT || type == SQL_VARYING;
}

template <typename T>
T ReadAt(const unsigned char* at)
{
    T value;
    std::memcpy(&value, at, sizeof(T));
    return value;
}

template <typename T>
void WriteAt(unsigned char* at, const T& value)
{
    std::memcpy(at, &value, sizeof(T));
}

SqlValue Scaled(int64_t value, int scale)
{
    if (scale >= 0) {
        return SqlValue::Integer(value);
    }
    return SqlValue::Double(static_cast<double>(value) / std::pow(10.0, -scale));
}

platform::DateTime DecodeDate(ISC_DATE date, platform::DateTime value = {})
{
    unsigned year = 0;
    unsigned month = 0;
    unsigned day = 0;
    fb::Util()->decodeDate(date, &year, &month, &day);
    value.Year = static_cast<int>(year);
    value.Month = static_cast<int>(month);
    value.Day = static_cast<int>(day);
    return value;
}

platform::DateTime DecodeTime(ISC_TIME time, platform::DateTime value = {})
{
    unsigned hours = 0;
    unsigned minutes = 0;
    unsigned seconds = 0;
    unsigned fractions = 0;
    fb::Util()->decodeTime(time, &hours, &minutes, &seconds, &fractions);
    value.Hour = static_cast<int>(hours);
    value.Minute = static_cast<int>(minutes);
    value.Second = static_cast<int>(seconds);
    value.Millisecond = static_cast<int>(fractions / 10);
    return value;
}

ISC_DATE EncodeDate(const platform::DateTime& value)
{
    return fb::Util()->encodeDate(static_cast<unsigned>(value.Year), static_cast<unsigned>(value.Month),
                                  static_cast<unsigned>(value.Day));
}

ISC_TIME EncodeTime(const platform::DateTime& value)
{
    return fb::Util()->encodeTime(static_cast<unsigned>(value.Hour), static_cast<unsigned>(value.Minute),
                                  static_cast<unsigned>(value.Second), static_cast<unsigned>(value.Millisecond * 10));
}

// The bytes a value stores in a text or BLOB column: cp1252 for text, raw for binary.
std::string StoredBytes(const SqlParameter& param)
{
    const SqlValue& value = param.Value;
    if (value.Kind() == SqlValueKind::Binary) {
        return value.AsBytes();
    }
    try {
        return platform::Utf8ToCp1252(value.AsString());
    } catch (const platform::EncodingError& error) {
        throw DatabaseError("O valor do parâmetro " + param.Name +
                            " tem um caractere que o banco de dados não comporta: " + error.what());
    }
}

SqlStatementType TypeOf(unsigned type)
{
    switch (type) {
    case isc_info_sql_stmt_select:
        return SqlStatementType::Select;
    case isc_info_sql_stmt_insert:
        return SqlStatementType::Insert;
    case isc_info_sql_stmt_update:
        return SqlStatementType::Update;
    case isc_info_sql_stmt_delete:
        return SqlStatementType::Delete;
    case isc_info_sql_stmt_ddl:
        return SqlStatementType::DDL;
    case isc_info_sql_stmt_get_segment:
        return SqlStatementType::GetSegment;
    case isc_info_sql_stmt_put_segment:
        return SqlStatementType::PutSegment;
    case isc_info_sql_stmt_exec_procedure:
        return SqlStatementType::ExecProcedure;
    case isc_info_sql_stmt_start_trans:
        return SqlStatementType::StartTransaction;
    case isc_info_sql_stmt_commit:
        return SqlStatementType::Commit;
    case isc_info_sql_stmt_rollback:
        return SqlStatementType::Rollback;
    case isc_info_sql_stmt_select_for_upd:
        return SqlStatementType::SelectForUpdate;
    case isc_info_sql_stmt_set_generator:
        return SqlStatementType::SetGenerator;
    case isc_info_sql_stmt_savepoint:
        return SqlStatementType::SavePoint;
    default:
        return SqlStatementType::Unknown;
    }
}

SqlColumnType ColumnTypeOf(unsigned type, int subType)
{
    switch (type) {
    case SQL_VARYING:
        return SqlColumnType::Text;
    case SQL_TEXT:
        return SqlColumnType::FixedText;
    case SQL_BLOB:
        return subType == 1 ? SqlColumnType::Memo : SqlColumnType::Blob;
    case SQL_SHORT:
        return SqlColumnType::SmallInt;
    case SQL_LONG:
        return SqlColumnType::Integer;
    case SQL_INT64:
        return SqlColumnType::BigInt;
    case SQL_FLOAT:
        return SqlColumnType::Float;
    case SQL_DOUBLE:
    case SQL_D_FLOAT:
        return SqlColumnType::Double;
    case SQL_TYPE_DATE:
        return SqlColumnType::Date;
    case SQL_TYPE_TIME:
        return SqlColumnType::Time;
    case SQL_TIMESTAMP:
        return SqlColumnType::Timestamp;
    case SQL_BOOLEAN:
        return SqlColumnType::Boolean;
    default:
        return SqlColumnType::Unknown;
    }
}

} // namespace

SqlStatement::SqlStatement(TCmDatabase* database, TCmTransaction* transaction)
{
    SetDatabase(database);
    SetTransaction(transaction);
}

SqlStatement::~SqlStatement()
{
    Unprepare();
    if (m_Database) {
        m_Database->RemoveStatement(this);
    }
}

void SqlStatement::SetDatabase(TCmDatabase* database)
{
    if (database == m_Database) {
        return;
    }
    Unprepare();
    if (m_Database) {
        m_Database->RemoveStatement(this);
    }
    m_Database = database;
}

TCmTransaction* SqlStatement::Transaction() const
{
    if (m_Transaction) {
        return m_Transaction;
    }
    return m_Database ? m_Database->DefaultTransaction() : nullptr;
}

void SqlStatement::SetTransaction(TCmTransaction* transaction)
{
    if (transaction == m_Transaction) {
        return;
    }
    Close();
    m_Transaction = transaction;
}

void SqlStatement::SetSQL(std::string utf8)
{
    Unprepare();
    m_SQL = std::move(utf8);
    ParseParams();
}

void SqlStatement::SetParamCheck(bool check)
{
    if (check == m_ParamCheck) {
        return;
    }
    Unprepare();
    m_ParamCheck = check;
    ParseParams();
}

// ":NAME" outside literals, quoted names and comments becomes "?"; the same name in several
// places is one parameter. A bare "?" is an unnamed parameter of its own.
void SqlStatement::ParseParams()
{
    m_params.clear();
    m_slots.clear();
    std::string text;
    if (!m_ParamCheck) {
        text = m_SQL;
    } else {
        const std::string& sql = m_SQL;
        size_t i = 0;
        while (i < sql.size()) {
            const char c = sql[i];
            if (c == '\'' || c == '"') {
                const size_t close = sql.find(c, i + 1);
                const size_t end = close == std::string::npos ? sql.size() : close + 1;
                text.append(sql, i, end - i);
                i = end;
            } else if (c == '/' && i + 1 < sql.size() && sql[i + 1] == '*') {
                const size_t close = sql.find("*/", i + 2);
                const size_t end = close == std::string::npos ? sql.size() : close + 2;
                text.append(sql, i, end - i);
                i = end;
            } else if (c == '-' && i + 1 < sql.size() && sql[i + 1] == '-') {
                const size_t close = sql.find('\n', i);
                const size_t end = close == std::string::npos ? sql.size() : close;
                text.append(sql, i, end - i);
                i = end;
            } else if (c == ':' && i + 1 < sql.size() && (IsNameStart(sql[i + 1]) || sql[i + 1] == '"')) {
                std::string name;
                size_t j = i + 1;
                if (sql[j] == '"') {
                    const size_t close = sql.find('"', j + 1);
                    const size_t end = close == std::string::npos ? sql.size() : close;
                    name = sql.substr(j + 1, end - j - 1);
                    j = end == sql.size() ? end : end + 1;
                } else {
                    while (j < sql.size() && IsNameChar(sql[j])) {
                        ++j;
                    }
                    name = Upper(std::string_view(sql).substr(i + 1, j - i - 1));
                }
                const auto found = std::find_if(m_params.begin(), m_params.end(),
                                                [&](const SqlParameter& p) { return p.Name == name; });
                int index = static_cast<int>(found - m_params.begin());
                if (found == m_params.end()) {
                    m_params.push_back({name, {}});
                }
                m_slots.push_back({index});
                text += '?';
                i = j;
            } else if (c == '?') {
                m_params.push_back({"", {}});
                m_slots.push_back({static_cast<int>(m_params.size()) - 1});
                text += '?';
                ++i;
            } else {
                text += c;
                ++i;
            }
        }
    }
    try {
        m_serverText = platform::Utf8ToCp1252(text);
    } catch (const platform::EncodingError& error) {
        m_serverText.clear();
        throw DatabaseError(std::string("O comando tem um caractere que o banco de dados não comporta: ") +
                            error.what());
    }
}

TCmTransaction* SqlStatement::ActiveTransaction()
{
    TCmTransaction* transaction = Transaction();
    if (!transaction) {
        throw DatabaseError("Nenhuma transação atribuída ao comando.");
    }
    if (!transaction->InTransaction()) {
        transaction->StartTransaction();
    }
    return transaction;
}

void SqlStatement::Prepare()
{
    if (Prepared()) {
        return;
    }
    if (!m_Database || !m_Database->Connected()) {
        throw DatabaseError("Banco de dados não conectado.");
    }
    if (m_serverText.empty()) {
        throw DatabaseError("Comando SQL vazio.");
    }
    TCmTransaction* transaction = ActiveTransaction();
    m_Database->Trace(TraceCategory::Prepare, [&] { return "[Prepare] " + m_SQL; });
    try {
        fb::Status status;
        m_statement.reset(m_Database->Handle()->prepare(
            &status, transaction->Handle(), static_cast<unsigned>(m_serverText.size()), m_serverText.c_str(),
            static_cast<unsigned>(m_Database->SQLDialect()), Firebird::IStatement::PREPARE_PREFETCH_METADATA));
        m_type = m_statement->getType(&status);
        m_inputServer.reset(m_statement->getInputMetadata(&status));
        m_output.reset(m_statement->getOutputMetadata(&status));
        m_outputBuffer.assign(m_output->getMessageLength(&status), 0);
        const unsigned inputs = m_inputServer->getCount(&status);
        if (!m_ParamCheck) {
            m_params.assign(inputs, SqlParameter {});
            m_slots.clear();
            for (unsigned i = 0; i < inputs; ++i) {
                m_slots.push_back({static_cast<int>(i)});
            }
        } else if (inputs != m_slots.size()) {
            throw DatabaseError("O comando tem " + std::to_string(m_slots.size()) + " parâmetros e o servidor espera " +
                                std::to_string(inputs) + ".");
        }
        m_fields.clear();
        m_outputSlots.clear();
        const unsigned outputs = m_output->getCount(&status);
        for (unsigned i = 0; i < outputs; ++i) {
            // Read once here: asking the metadata for every column of every row cost more than
            // the values themselves on long lists.
            m_outputSlots.push_back({m_output->getOffset(&status, i), m_output->getNullOffset(&status, i),
                                     m_output->getType(&status, i) & ~1u, m_output->getLength(&status, i),
                                     m_output->getCharSet(&status, i), m_output->getScale(&status, i),
                                     m_output->getSubType(&status, i)});
            m_fields.push_back({platform::Cp1252ToUtf8Lossy(m_output->getAlias(&status, i)),
                                platform::Cp1252ToUtf8Lossy(m_output->getRelation(&status, i)),
                                {},
                                platform::Cp1252ToUtf8Lossy(m_output->getField(&status, i)),
                                ColumnTypeOf(m_output->getType(&status, i) & ~1u, m_output->getSubType(&status, i)),
                                m_output->getScale(&status, i),
                                m_output->getLength(&status, i)});
        }
    } catch (const DatabaseError& error) {
        m_Database->Trace(TraceCategory::Error, [&] { return "[Prepare] " + m_SQL + "\r\n" + error.what(); });
        Unprepare();
        throw;
    }
    m_inputSignature.clear();
    m_Database->AddStatement(this);
}

void SqlStatement::Unprepare()
{
    Close();
    m_statement.reset();
    m_inputServer.reset();
    m_input.reset();
    m_output.reset();
    m_outputSlots.clear();
    m_inputSignature.clear();
    m_fields.clear();
    if (m_Database) {
        m_Database->RemoveStatement(this);
    }
}

SqlStatementType SqlStatement::StatementType()
{
    Prepare();
    return TypeOf(m_type);
}

SqlParameter& SqlStatement::Params(int index)
{
    if (!m_ParamCheck && !Prepared()) {
        Prepare();
    }
    if (index < 0 || index >= ParamCount()) {
        throw DatabaseError("Índice de parâmetro fora dos limites: " + std::to_string(index));
    }
    return m_params[static_cast<size_t>(index)];
}

SqlParameter& SqlStatement::ParamByName(std::string_view name)
{
    const std::string wanted = Upper(name);
    for (SqlParameter& param : m_params) {
        if (!param.Name.empty() && Upper(param.Name) == wanted) {
            return param;
        }
    }
    throw DatabaseError("Parâmetro " + std::string(name) + " não encontrado.");
}

void SqlStatement::SetParam(std::string_view name, SqlValue value)
{
    ParamByName(name).Value = std::move(value);
}

void SqlStatement::BuildInput(Firebird::ITransaction* transaction)
{
    fb::Status status;
    const unsigned count = m_inputServer->getCount(&status);
    if (count == 0) {
        return;
    }
    // Each value travels in the type it has here; the server converts it to the column's type.
    // NULLs keep the server's type, and BLOB places always get a BLOB.
    struct Slot
    {
        unsigned Type;
        unsigned Length;
        unsigned CharSet;
        int SubType;
    };
    std::vector<Slot> slots;
    std::vector<uint64_t> signature;
    std::vector<std::string> bytes(count);
    for (unsigned i = 0; i < count; ++i) {
        const SqlParameter& param = m_params[static_cast<size_t>(m_slots[i].Param)];
        const unsigned serverType = m_inputServer->getType(&status, i) & ~1u;
        Slot slot {serverType, m_inputServer->getLength(&status, i), m_inputServer->getCharSet(&status, i),
                   m_inputServer->getSubType(&status, i)};
        if (!param.Value.IsNull()) {
            if (serverType == SQL_BLOB) {
                bytes[i] = StoredBytes(param);
            } else {
                switch (param.Value.Kind()) {
                case SqlValueKind::Integer:
                    slot = {SQL_INT64, 8, 0, 0};
                    break;
                case SqlValueKind::Double:
                    slot = {SQL_DOUBLE, 8, 0, 0};
                    break;
                case SqlValueKind::Date:
                    slot = {SQL_TYPE_DATE, 4, 0, 0};
                    break;
                case SqlValueKind::Time:
                    slot = {SQL_TYPE_TIME, 4, 0, 0};
                    break;
                case SqlValueKind::Timestamp:
                    slot = {SQL_TIMESTAMP, 8, 0, 0};
                    break;
                default:
                    bytes[i] = StoredBytes(param);
                    slot = {SQL_VARYING, static_cast<unsigned>(std::max<size_t>(bytes[i].size(), 1)),
                            IsTextType(serverType)                           ? slot.CharSet
                                : param.Value.Kind() == SqlValueKind::Binary ? kCharsetOctets
                                                                             : 0,
                            0};
                    break;
                }
            }
        }
        slots.push_back(slot);
        signature.push_back((uint64_t(slot.Type) << 48) | (uint64_t(slot.CharSet & 0xff) << 40) |
                            (uint64_t(slot.SubType & 0xff) << 32) | slot.Length);
    }
    if (signature != m_inputSignature || !m_input) {
        fb::MetadataBuilderPtr builder(m_inputServer->getBuilder(&status));
        for (unsigned i = 0; i < count; ++i) {
            builder->setType(&status, i, slots[i].Type | 1u);
            builder->setLength(&status, i, slots[i].Length);
            if (IsTextType(slots[i].Type)) {
                builder->setCharSet(&status, i, slots[i].CharSet);
            } else {
                builder->setSubType(&status, i, slots[i].SubType);
                builder->setScale(&status, i, 0);
            }
        }
        m_input.reset(builder->getMetadata(&status));
        m_inputBuffer.assign(m_input->getMessageLength(&status), 0);
        m_inputSignature = signature;
    }
    std::fill(m_inputBuffer.begin(), m_inputBuffer.end(), 0);
    for (unsigned i = 0; i < count; ++i) {
        const SqlValue& value = m_params[static_cast<size_t>(m_slots[i].Param)].Value;
        unsigned char* at = m_inputBuffer.data() + m_input->getOffset(&status, i);
        WriteAt<int16_t>(m_inputBuffer.data() + m_input->getNullOffset(&status, i), value.IsNull() ? -1 : 0);
        if (value.IsNull()) {
            continue;
        }
        switch (slots[i].Type) {
        case SQL_INT64:
            WriteAt<int64_t>(at, value.AsInteger());
            break;
        case SQL_DOUBLE:
            WriteAt<double>(at, value.AsDouble());
            break;
        case SQL_TYPE_DATE:
            WriteAt<ISC_DATE>(at, EncodeDate(value.AsDateTime()));
            break;
        case SQL_TYPE_TIME:
            WriteAt<ISC_TIME>(at, EncodeTime(value.AsDateTime()));
            break;
        case SQL_TIMESTAMP: {
            ISC_TIMESTAMP stamp {EncodeDate(value.AsDateTime()), EncodeTime(value.AsDateTime())};
            WriteAt<ISC_TIMESTAMP>(at, stamp);
            break;
        }
        case SQL_VARYING:
            WriteAt<uint16_t>(at, static_cast<uint16_t>(bytes[i].size()));
            std::memcpy(at + 2, bytes[i].data(), bytes[i].size());
            break;
        case SQL_BLOB: {
            ISC_QUAD id {};
            fb::BlobPtr blob(m_Database->Handle()->createBlob(&status, transaction, &id, 0, nullptr));
            for (size_t done = 0; done < bytes[i].size(); done += kBlobSegment) {
                const size_t size = std::min(kBlobSegment, bytes[i].size() - done);
                blob->putSegment(&status, static_cast<unsigned>(size), bytes[i].data() + done);
            }
            blob->close(&status);
            (void)blob.release();
            WriteAt<ISC_QUAD>(at, id);
            m_Database->Trace(TraceCategory::Blob, [&] { return "[Blob write] " + std::to_string(bytes[i].size()); });
            break;
        }
        default:
            throw DatabaseError("Tipo de parâmetro não suportado.");
        }
    }
}

void SqlStatement::ExecQuery()
{
    Prepare();
    Close();
    TCmTransaction* transaction = ActiveTransaction();
    Firebird::ITransaction* handle = transaction->Handle();
    m_Database->Trace(TraceCategory::Execute, [&] {
        std::string text = "[Execute] " + m_SQL;
        for (const SqlParameter& param : m_params) {
            text += "\r\n  " + param.Name + " = " + (param.Value.IsNull() ? "<NULL>" : param.Value.AsString());
        }
        return text;
    });
    try {
        BuildInput(handle);
        fb::Status status;
        const bool hasInput = m_input && !m_inputSignature.empty();
        Firebird::IMessageMetadata* input = hasInput ? m_input.get() : nullptr;
        void* inputBuffer = hasInput ? m_inputBuffer.data() : nullptr;
        if (m_type == isc_info_sql_stmt_select || m_type == isc_info_sql_stmt_select_for_upd) {
            m_cursor.reset(m_statement->openCursor(&status, handle, input, inputBuffer, m_output.get(), 0));
            m_cursorTransaction = transaction;
            transaction->AddCursor(this);
            m_Eof = false;
            Next();
        } else {
            const bool hasOutput = !m_fields.empty();
            m_statement->execute(&status, handle, input, inputBuffer, hasOutput ? m_output.get() : nullptr,
                                 hasOutput ? m_outputBuffer.data() : nullptr);
            m_Eof = !hasOutput;
            if (hasOutput) {
                ReadRow(handle);
            }
        }
    } catch (const DatabaseError& error) {
        m_Database->Trace(TraceCategory::Error, [&] { return "[Execute] " + m_SQL + "\r\n" + error.what(); });
        throw;
    }
}

bool SqlStatement::Next()
{
    if (!m_cursor) {
        m_Eof = true;
        return false;
    }
    fb::Status status;
    const int result = m_cursor->fetchNext(&status, m_outputBuffer.data());
    if (result != Firebird::IStatus::RESULT_OK) {
        m_Eof = true;
        return false;
    }
    ReadRow(m_cursorTransaction->Handle());
    m_Database->Trace(TraceCategory::Fetch, [&] { return "[Fetch] " + m_SQL; });
    return true;
}

void SqlStatement::ReadRow(Firebird::ITransaction* transaction)
{
    fb::Status status;
    for (unsigned i = 0; i < m_fields.size(); ++i) {
        SqlValue& value = m_fields[i].Value;
        const OutputSlot& slot = m_outputSlots[i];
        const unsigned char* at = m_outputBuffer.data() + slot.Offset;
        if (ReadAt<int16_t>(m_outputBuffer.data() + slot.NullOffset) != 0) {
            value = SqlValue();
            continue;
        }
        const unsigned type = slot.Type;
        const int scale = slot.Scale;
        switch (type) {
        case SQL_TEXT:
        case SQL_VARYING: {
            const char* text = reinterpret_cast<const char*>(type == SQL_TEXT ? at : at + 2);
            const size_t length = type == SQL_TEXT ? slot.Length : ReadAt<uint16_t>(at);
            if (slot.CharSet == kCharsetOctets) {
                value = SqlValue::Binary(std::string(text, length));
            } else {
                value = SqlValue::Text(platform::Cp1252ToUtf8Lossy(std::string_view(text, length)));
            }
            break;
        }
        case SQL_SHORT:
            value = Scaled(ReadAt<int16_t>(at), scale);
            break;
        case SQL_LONG:
            value = Scaled(ReadAt<int32_t>(at), scale);
            break;
        case SQL_INT64:
            value = Scaled(ReadAt<int64_t>(at), scale);
            break;
        case SQL_FLOAT:
            value = SqlValue::Double(ReadAt<float>(at));
            break;
        case SQL_DOUBLE:
        case SQL_D_FLOAT:
            value = SqlValue::Double(ReadAt<double>(at));
            break;
        case SQL_TYPE_DATE:
            value = SqlValue::Date(DecodeDate(ReadAt<ISC_DATE>(at)));
            break;
        case SQL_TYPE_TIME:
            value = SqlValue::Time(DecodeTime(ReadAt<ISC_TIME>(at)));
            break;
        case SQL_TIMESTAMP: {
            const auto stamp = ReadAt<ISC_TIMESTAMP>(at);
            value = SqlValue::Timestamp(DecodeTime(stamp.timestamp_time, DecodeDate(stamp.timestamp_date)));
            break;
        }
        case SQL_BOOLEAN:
            value = SqlValue::Integer(ReadAt<FB_BOOLEAN>(at) ? 1 : 0);
            break;
        case SQL_BLOB: {
            ISC_QUAD id = ReadAt<ISC_QUAD>(at);
            fb::BlobPtr blob(m_Database->Handle()->openBlob(&status, transaction, &id, 0, nullptr));
            std::string bytes;
            // One buffer for every BLOB of the statement: a fresh one per value cost more than
            // the read itself when a long list is fetched.
            m_segment.resize(kBlobSegment);
            for (;;) {
                unsigned got = 0;
                const int result =
                    blob->getSegment(&status, static_cast<unsigned>(m_segment.size()), m_segment.data(), &got);
                if (result == Firebird::IStatus::RESULT_OK || result == Firebird::IStatus::RESULT_SEGMENT) {
                    bytes.append(m_segment.data(), got);
                } else {
                    break;
                }
            }
            blob->close(&status);
            (void)blob.release();
            if (slot.SubType == 1) {
                value = SqlValue::Text(platform::Cp1252ToUtf8Lossy(bytes));
            } else {
                value = SqlValue::Binary(std::move(bytes));
            }
            break;
        }
        case SQL_NULL:
            value = SqlValue();
            break;
        default:
            throw DatabaseError("Tipo de coluna não suportado: " + m_fields[i].Name);
        }
    }
}

void SqlStatement::Close()
{
    if (m_cursorTransaction) {
        m_cursorTransaction->RemoveCursor(this);
        m_cursorTransaction = nullptr;
    }
    m_Eof = true;
    if (!m_cursor) {
        return;
    }
    fb::ResultSetPtr cursor = std::move(m_cursor);
    try {
        fb::Status status;
        cursor->close(&status);
        (void)cursor.release();
    } catch (const DatabaseError&) {
        // The transaction ended under the cursor; the deleter lets go of what is left.
    }
}

const SqlColumn& SqlStatement::Fields(int index) const
{
    if (index < 0 || index >= FieldCount()) {
        throw DatabaseError("Índice de coluna fora dos limites: " + std::to_string(index));
    }
    return m_fields[static_cast<size_t>(index)];
}

int SqlStatement::FieldIndex(std::string_view name) const
{
    const std::string wanted = Upper(name);
    for (size_t i = 0; i < m_fields.size(); ++i) {
        if (Upper(m_fields[i].Name) == wanted) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

const SqlValue& SqlStatement::FieldByName(std::string_view name) const
{
    const int index = FieldIndex(name);
    if (index < 0) {
        throw DatabaseError("Coluna " + std::string(name) + " não encontrada.");
    }
    return m_fields[static_cast<size_t>(index)].Value;
}

SqlValue SqlStatement::TakeValue(int index)
{
    if (index < 0 || index >= FieldCount()) {
        throw DatabaseError("Índice de coluna fora dos limites: " + std::to_string(index));
    }
    SqlValue value = std::move(m_fields[static_cast<size_t>(index)].Value);
    m_fields[static_cast<size_t>(index)].Value = SqlValue();
    return value;
}

int64_t SqlStatement::RowsAffected()
{
    if (!m_statement) {
        return 0;
    }
    fb::Status status;
    return static_cast<int64_t>(m_statement->getAffectedRecords(&status));
}

void SqlStatement::DatabaseGone()
{
    Close();
    m_statement.reset();
    m_inputServer.reset();
    m_input.reset();
    m_output.reset();
    m_outputSlots.clear();
    m_Database = nullptr;
}

} // namespace framework
