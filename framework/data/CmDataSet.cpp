#include "framework/data/CmDataSet.h"

#include "framework/data/CmDatabase.h"
#include "framework/data/CmIBSQL.h"
#include "framework/data/CmSQLGlobals.h"
#include "framework/data/CmTransaction.h"
#include "framework/data/DatabaseError.h"
#include "platform/FormatSettings.h"
#include "platform/TextRules.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>

using framework::DatabaseError;
using framework::SqlColumnType;
using framework::SqlStatement;
using framework::SqlValue;
using framework::SqlValueKind;

namespace {

std::string UpperAscii(std::string_view text)
{
    std::string result(text);
    for (char& c : result) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return result;
}

bool SameName(std::string_view a, std::string_view b)
{
    return UpperAscii(a) == UpperAscii(b);
}

std::string RemoveQuotes(std::string_view text)
{
    std::string result;
    for (char c : text) {
        if (c != '"') {
            result += c;
        }
    }
    return result;
}

const SqlValue& NullValue()
{
    static const SqlValue s_null;
    return s_null;
}

TFieldType FieldTypeOf(const framework::SqlColumn& column)
{
    switch (column.Type) {
    case SqlColumnType::Text:
        return TFieldType::ftString;
    case SqlColumnType::FixedText:
        return TFieldType::ftFixedChar;
    case SqlColumnType::Memo:
        return TFieldType::ftMemo;
    case SqlColumnType::Blob:
        return TFieldType::ftBlob;
    case SqlColumnType::SmallInt:
        return column.Scale < 0 ? TFieldType::ftBCD : TFieldType::ftSmallint;
    case SqlColumnType::Integer:
        return column.Scale < 0 ? TFieldType::ftBCD : TFieldType::ftInteger;
    case SqlColumnType::BigInt:
        return column.Scale < 0 ? TFieldType::ftBCD : TFieldType::ftLargeint;
    case SqlColumnType::Float:
    case SqlColumnType::Double:
        return TFieldType::ftFloat;
    case SqlColumnType::Date:
        return TFieldType::ftDate;
    case SqlColumnType::Time:
        return TFieldType::ftTime;
    case SqlColumnType::Timestamp:
        return TFieldType::ftDateTime;
    case SqlColumnType::Boolean:
        return TFieldType::ftBoolean;
    default:
        return TFieldType::ftUnknown;
    }
}

// The words sort references are never aliases of.
constexpr std::array<std::string_view, 43> kReservedWords = {
    "SELECT",   "UPDATE",   "DELETE",  "AS",       "FROM",      "LEFT",      "OUTER",   "JOIN",   "ON",
    "INNER",    "RIGHT",    "LEFT",    "WHERE",    "ORDER",     "BY",        "ASC",     "DESC",   "MONTH",
    "YEAR",     "DISTINCT", "BETWEEN", "SUM",      "GENERATOR", "PROCEDURE", "TRIGGER", "BEFORE", "AFTER",
    "INSERT",   "EXTRACT",  "IN",      "DATABASE", "CREATE",    "TABLE",     "SET",     "COMMIT", "WORK",
    "POSITION", "BEGIN",    "END",     "DECLARE",  "DEC",       "COUNT",     "SUSPEND"};

bool IsReserved(const std::string& upperWord)
{
    return std::find(kReservedWords.begin(), kReservedWords.end(), upperWord) != kReservedWords.end();
}

bool IsAliasWord(const std::string& upperWord)
{
    if (upperWord.empty()) {
        return false;
    }
    for (char c : upperWord) {
        if (!((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '"')) {
            return false;
        }
    }
    return !IsReserved(upperWord);
}

bool StartsWithPositiveInteger(std::string_view entry)
{
    const std::string_view head = entry.substr(0, entry.find(' '));
    int value = 0;
    const auto result = std::from_chars(head.data(), head.data() + head.size(), value);
    return !head.empty() && result.ec == std::errc() && result.ptr == head.data() + head.size() && value > 0;
}

// A sort entry as the select statement can take it: a column position as it stands, otherwise
// the column under the alias its table has in the statement.
std::string ResolveSortEntry(const std::string& entry, const std::string& selectSQL)
{
    if (StartsWithPositiveInteger(entry)) {
        return entry;
    }
    const size_t dot = entry.find('.');
    const std::string qualifier = dot == std::string::npos ? std::string() : RemoveQuotes(entry.substr(0, dot));
    const std::string column = RemoveQuotes(dot == std::string::npos ? entry : entry.substr(dot + 1));

    // Line breaks count as blanks, and table names match whatever their case.
    std::string text = selectSQL;
    std::replace_if(
        text.begin(), text.end(), [](char c) { return c == '\r' || c == '\n' || c == '\t'; }, ' ');
    const std::string upperText = UpperAscii(text);
    const std::string upperQualifier = UpperAscii(qualifier);
    std::string alias;
    for (const std::string& needle : {upperQualifier + " ", upperQualifier + "\" "}) {
        size_t from = 0;
        while (alias.empty()) {
            const size_t found = upperText.find(needle, from);
            if (found == std::string::npos) {
                break;
            }
            from = found + needle.size();
            const std::string_view rest = platform::Trim(std::string_view(text).substr(from));
            const std::string word(rest.substr(0, rest.find_first_of(" ,")));
            if (IsAliasWord(UpperAscii(word))) {
                alias = word;
            }
        }
        if (!alias.empty()) {
            break;
        }
    }
    const std::string prefix = alias.empty() ? qualifier : alias;
    if (prefix.empty()) {
        return column;
    }
    return prefix + "." + column;
}

} // namespace

// ---------------------------------------------------------------------------------------------
// TField

TField::TField(TCmDataSet* dataSet, std::string fieldName, TFieldType dataType, bool calculated)
    : m_dataSet(dataSet)
    , m_FieldName(std::move(fieldName))
    , m_DataType(dataType)
    , m_Calculated(calculated)
{ }

std::string TField::Origin() const
{
    if (m_OriginTable.empty() || m_OriginColumn.empty()) {
        return {};
    }
    return "\"" + m_OriginTable + "\".\"" + m_OriginColumn + "\"";
}

const SqlValue& TField::Value() const
{
    return m_dataSet->CurrentValue(m_index);
}

const SqlValue& TField::OldValue() const
{
    switch (m_dataSet->State()) {
    case TDataSetState::dsInsert:
        return NullValue();
    case TDataSetState::dsEdit:
        return m_dataSet->m_oldRecord.Values.at(static_cast<size_t>(m_index));
    default:
        return Value();
    }
}

void TField::SetValue(SqlValue value)
{
    m_dataSet->SetCurrentValue(m_index, std::move(value));
}

bool TField::IsText() const
{
    return m_DataType == TFieldType::ftString || m_DataType == TFieldType::ftFixedChar ||
        m_DataType == TFieldType::ftMemo || m_DataType == TFieldType::ftFmtMemo;
}

bool TField::IsNumeric() const
{
    switch (m_DataType) {
    case TFieldType::ftSmallint:
    case TFieldType::ftInteger:
    case TFieldType::ftLargeint:
    case TFieldType::ftFloat:
    case TFieldType::ftCurrency:
    case TFieldType::ftBCD:
        return true;
    default:
        return false;
    }
}

std::string TField::AsStringOf(const SqlValue& value) const
{
    const platform::FormatSettings& settings = platform::BrazilianFormatSettings();
    switch (value.Kind()) {
    case SqlValueKind::Null:
        return {};
    case SqlValueKind::Integer:
        return std::to_string(value.AsInteger());
    case SqlValueKind::Double:
        return platform::FloatToStr(value.AsDouble(), settings);
    case SqlValueKind::Date:
        return platform::FormatDateTime(settings.ShortDateFormat, value.AsDateTime(), settings);
    case SqlValueKind::Time:
        return platform::FormatDateTime(settings.LongTimeFormat, value.AsDateTime(), settings);
    case SqlValueKind::Timestamp: {
        const platform::DateTime stamp = value.AsDateTime();
        std::string text = platform::FormatDateTime(settings.ShortDateFormat, stamp, settings);
        if (stamp.Hour != 0 || stamp.Minute != 0 || stamp.Second != 0) {
            text += " " + platform::FormatDateTime(settings.LongTimeFormat, stamp, settings);
        }
        return text;
    }
    default:
        return value.AsString();
    }
}

std::string TField::AsString() const
{
    return AsStringOf(Value());
}

void TField::SetAsString(const std::string& text)
{
    if (IsText() || m_DataType == TFieldType::ftBlob || m_DataType == TFieldType::ftUnknown) {
        SetValue(SqlValue::Text(text));
        return;
    }
    const std::string_view trimmed = platform::Trim(text);
    if (trimmed.empty()) {
        Clear();
        return;
    }
    const platform::FormatSettings& settings = platform::BrazilianFormatSettings();
    auto invalid = [&](const char* kind) {
        return DatabaseError("'" + text + "' não é " + kind + " válido para o campo " + DisplayLabel() + ".");
    };
    switch (m_DataType) {
    case TFieldType::ftSmallint:
    case TFieldType::ftInteger:
    case TFieldType::ftLargeint:
    case TFieldType::ftBoolean: {
        int64_t value = 0;
        const char* begin = trimmed.data() + (trimmed[0] == '+' ? 1 : 0);
        const auto result = std::from_chars(begin, trimmed.data() + trimmed.size(), value);
        if (result.ec != std::errc() || result.ptr != trimmed.data() + trimmed.size()) {
            throw invalid("um número inteiro");
        }
        SetValue(SqlValue::Integer(value));
        return;
    }
    case TFieldType::ftFloat:
    case TFieldType::ftCurrency:
    case TFieldType::ftBCD: {
        const auto value = platform::TryStrToFloat(trimmed, settings);
        if (!value) {
            throw invalid("um número");
        }
        SetValue(SqlValue::Double(*value));
        return;
    }
    case TFieldType::ftDate:
        if (const auto value = platform::TryStrToDate(trimmed, settings)) {
            SetValue(SqlValue::Date(*value));
            return;
        }
        throw invalid("uma data");
    case TFieldType::ftTime:
        if (const auto value = platform::TryStrToTime(trimmed, settings)) {
            SetValue(SqlValue::Time(*value));
            return;
        }
        throw invalid("uma hora");
    case TFieldType::ftDateTime:
        if (const auto value = platform::TryStrToDateTime(trimmed, settings)) {
            SetValue(SqlValue::Timestamp(*value));
            return;
        }
        throw invalid("uma data e hora");
    default:
        SetValue(SqlValue::Text(text));
    }
}

int64_t TField::AsInteger() const
{
    const SqlValue& value = Value();
    return value.IsNull() ? 0 : value.AsInteger();
}

double TField::AsFloat() const
{
    const SqlValue& value = Value();
    return value.IsNull() ? 0 : value.AsDouble();
}

platform::DateTime TField::AsDateTime() const
{
    const SqlValue& value = Value();
    return value.IsNull() ? platform::DateTime() : value.AsDateTime();
}

void TField::SetAsDateTime(const platform::DateTime& value)
{
    switch (m_DataType) {
    case TFieldType::ftDate:
        SetValue(SqlValue::Date(value));
        break;
    case TFieldType::ftTime:
        SetValue(SqlValue::Time(value));
        break;
    default:
        SetValue(SqlValue::Timestamp(value));
        break;
    }
}

std::string TField::TextOf(const SqlValue& value) const
{
    if (value.IsNull() || m_DisplayFormat.empty()) {
        return AsStringOf(value);
    }
    const platform::FormatSettings& settings = platform::BrazilianFormatSettings();
    switch (value.Kind()) {
    case SqlValueKind::Integer:
    case SqlValueKind::Double:
        return platform::FormatFloat(m_DisplayFormat, value.AsDouble(), settings);
    case SqlValueKind::Date:
    case SqlValueKind::Time:
    case SqlValueKind::Timestamp:
        return platform::FormatDateTime(m_DisplayFormat, value.AsDateTime(), settings);
    default:
        return AsStringOf(value);
    }
}

std::string TField::DisplayText() const
{
    if (OnGetText) {
        return OnGetText(*this);
    }
    return TextOf(Value());
}

// ---------------------------------------------------------------------------------------------
// TCmDataSet

// The detail's ear on its master: a move or a post there reopens the detail.
class TCmDataSet::MasterLink : public TCmDataLink
{
public:
    explicit MasterLink(TCmDataSet* detail)
        : m_detail(detail)
    { }
    void DataSetScrolled() override { m_detail->MasterMoved(); }
    void DataSetChanged() override { m_detail->MasterMoved(); }
    TCmDataSet* Detail() const { return m_detail; }

private:
    TCmDataSet* m_detail;
};

TCmDataSet::TCmDataSet(std::string name)
{
    SetName(std::move(name));
}

TCmDataSet::~TCmDataSet()
{
    SetSQLGlobals(nullptr);
    SetDataSource(nullptr);
    // Details of this dataset lose their master; views forget it.
    const std::vector<TCmDataLink*> links = m_links;
    m_links.clear();
    for (TCmDataLink* link : links) {
        if (auto* master = dynamic_cast<MasterLink*>(link)) {
            master->Detail()->m_DataSource = nullptr;
            master->Detail()->m_masterLink.reset();
        } else {
            link->DataSetGone();
        }
    }
}

void TCmDataSet::SetName(std::string name)
{
    m_Name = std::move(name);
    if (m_TableName.empty()) {
        m_TableName = m_Name;
    }
}

void TCmDataSet::SetDatabase(TCmDatabase* database)
{
    if (database == m_Database) {
        return;
    }
    if (Active()) {
        throw DatabaseError("Não é possível trocar o banco de dados de " + m_Name + " aberto.");
    }
    Unprepare();
    m_Database = database;
    m_select.SetDatabase(database);
}

TCmTransaction* TCmDataSet::Transaction() const
{
    if (m_Transaction) {
        return m_Transaction;
    }
    return m_Database ? m_Database->DefaultTransaction() : nullptr;
}

void TCmDataSet::SetTransaction(TCmTransaction* transaction)
{
    if (transaction == m_Transaction) {
        return;
    }
    if (Active()) {
        throw DatabaseError("Não é possível trocar a transação de " + m_Name + " aberto.");
    }
    m_Transaction = transaction;
    m_select.SetTransaction(transaction);
}

void TCmDataSet::SetSQLGlobals(TCmSQLGlobals* globals)
{
    if (m_SQLGlobals) {
        m_SQLGlobals->RemoveDataSet(this);
    }
    if (globals) {
        globals->AddDataSet(this);
    }
    m_SQLGlobals = globals;
}

void TCmDataSet::SetOrderByFields(const std::string& fields)
{
    if (fields != m_OrderByFields) {
        m_OrderByFields = fields;
    }
}

void TCmDataSet::SetSelectSQL(std::string sql)
{
    if (sql == m_SelectSQL) {
        return;
    }
    Close();
    // Parameter values survive a new text (the sort rewrite changes it before every open).
    std::vector<framework::SqlParameter> values;
    for (int i = 0; i < m_select.ParamCount(); ++i) {
        values.push_back(m_select.Params(i));
    }
    m_SelectSQL = std::move(sql);
    m_select.SetSQL(m_SelectSQL);
    for (const framework::SqlParameter& value : values) {
        for (int i = 0; i < m_select.ParamCount(); ++i) {
            if (!value.Name.empty() && m_select.Params(i).Name == value.Name) {
                m_select.Params(i).Value = value.Value;
            }
        }
    }
}

void TCmDataSet::SetDataSource(TCmDataSet* master)
{
    if (master == m_DataSource) {
        return;
    }
    if (m_DataSource && m_masterLink) {
        m_DataSource->RemoveDataLink(m_masterLink.get());
    }
    m_masterLink.reset();
    m_DataSource = master;
    if (master) {
        if (master == this) {
            m_DataSource = nullptr;
            throw DatabaseError("Um conjunto de dados não pode ser mestre de si mesmo.");
        }
        m_masterLink = std::make_unique<MasterLink>(this);
        master->AddDataLink(m_masterLink.get());
    }
}

void TCmDataSet::MasterMoved()
{
    if (Active() && m_State == TDataSetState::dsBrowse) {
        Close();
        Open();
    }
}

void TCmDataSet::SetActive(bool active)
{
    if (active) {
        Open();
    } else {
        Close();
    }
}

void TCmDataSet::CheckActive() const
{
    if (!Active()) {
        throw DatabaseError("O conjunto de dados " + m_Name + " está fechado.");
    }
}

void TCmDataSet::Prepare()
{
    if (Prepared()) {
        return;
    }
    if (!m_Database) {
        throw DatabaseError("Banco de dados não atribuído a " + m_Name + ".");
    }
    if (!m_Database->Connected()) {
        m_Database->Open();
    }
    m_select.SetDatabase(m_Database);
    m_select.SetTransaction(m_Transaction);
    m_select.Prepare();
    BuildFields();
}

void TCmDataSet::Unprepare()
{
    m_select.Unprepare();
}

void TCmDataSet::InitFields()
{
    Prepare();
}

void TCmDataSet::BuildFields()
{
    std::vector<std::unique_ptr<TField>> previous = std::move(m_fields);
    m_fields.clear();
    auto take = [&](std::string_view name, bool calculated) -> std::unique_ptr<TField> {
        for (auto& field : previous) {
            if (field && field->m_Calculated == calculated && SameName(field->m_FieldName, name)) {
                return std::move(field);
            }
        }
        return nullptr;
    };
    for (int i = 0; i < m_select.FieldCount(); ++i) {
        const framework::SqlColumn& column = m_select.Fields(i);
        std::unique_ptr<TField> field = take(column.Name, false);
        if (!field) {
            field = std::make_unique<TField>(this, column.Name, FieldTypeOf(column), false);
        }
        field->m_DataType = FieldTypeOf(column);
        field->m_column = i;
        field->m_OriginTable = column.Relation;
        field->m_OriginColumn = column.Field;
        field->m_Size = column.Type == SqlColumnType::Text || column.Type == SqlColumnType::FixedText
            ? static_cast<int>(column.Length)
            : 0;
        m_fields.push_back(std::move(field));
    }
    for (auto& field : previous) {
        if (field && field->m_Calculated) {
            m_fields.push_back(std::move(field));
        }
    }
    for (size_t i = 0; i < m_fields.size(); ++i) {
        m_fields[i]->m_index = static_cast<int>(i);
    }
}

TField& TCmDataSet::AddCalculatedField(const std::string& name, TFieldType dataType)
{
    if (Active()) {
        throw DatabaseError("Campos calculados são criados com " + m_Name + " fechado.");
    }
    if (FindField(name)) {
        throw DatabaseError("O campo " + name + " já existe em " + m_Name + ".");
    }
    m_fields.push_back(std::make_unique<TField>(this, name, dataType, true));
    m_fields.back()->m_index = static_cast<int>(m_fields.size()) - 1;
    return *m_fields.back();
}

TField& TCmDataSet::Fields(int index) const
{
    if (index < 0 || index >= FieldCount()) {
        throw DatabaseError("Índice de campo fora dos limites: " + std::to_string(index));
    }
    return *m_fields[static_cast<size_t>(index)];
}

TField* TCmDataSet::FindField(std::string_view name) const
{
    for (const auto& field : m_fields) {
        if (SameName(field->FieldName(), name)) {
            return field.get();
        }
    }
    return nullptr;
}

TField& TCmDataSet::FieldByName(std::string_view name) const
{
    if (TField* field = FindField(name)) {
        return *field;
    }
    throw DatabaseError(m_Name + ": campo " + std::string(name) + " não encontrado.");
}

bool TCmDataSet::HasColumn(std::string_view name) const
{
    // The field list outlives unpreparing; calculated fields are no output columns.
    return std::any_of(m_fields.begin(), m_fields.end(),
                       [&](const auto& field) { return !field->m_Calculated && SameName(field->m_FieldName, name); });
}

std::string TCmDataSet::RewriteOrderBy(const std::string& selectSQL, const std::string& orderByFields)
{
    std::string sql = selectSQL;
    const size_t orderBy = UpperAscii(sql).find("ORDER BY");
    if (orderBy != std::string::npos) {
        sql = std::string(platform::Trim(std::string_view(sql).substr(0, orderBy)));
    }
    std::vector<std::string> references;
    size_t start = 0;
    while (start <= orderByFields.size()) {
        const size_t end = std::min(orderByFields.find(';', start), orderByFields.size());
        const std::string entry(platform::Trim(std::string_view(orderByFields).substr(start, end - start)));
        if (!entry.empty()) {
            references.push_back(ResolveSortEntry(entry, sql));
        }
        start = end + 1;
    }
    if (references.empty()) {
        return sql;
    }
    sql += " order by " + references[0];
    for (size_t i = 1; i < references.size(); ++i) {
        sql += ", " + references[i];
    }
    return sql;
}

TCmDataSet::Record TCmDataSet::ReadRecord(SqlStatement& statement)
{
    Record record;
    record.Values.resize(m_fields.size());
    for (size_t i = 0; i < m_fields.size(); ++i) {
        if (m_fields[i]->m_column >= 0) {
            record.Values[i] = statement.TakeValue(m_fields[i]->m_column);
        }
    }
    record.Bookmark = m_nextBookmark++;
    return record;
}

void TCmDataSet::CalculateFields(Record& record)
{
    if (!OnCalcFields) {
        return;
    }
    const bool any = std::any_of(m_fields.begin(), m_fields.end(), [](const auto& f) { return f->m_Calculated; });
    if (!any) {
        return;
    }
    Record* previous = m_calculating;
    m_calculating = &record;
    try {
        OnCalcFields(*this);
    } catch (...) {
        m_calculating = previous;
        throw;
    }
    m_calculating = previous;
}

void TCmDataSet::Open()
{
    if (Active()) {
        return;
    }
    if (BeforeOpen) {
        BeforeOpen(*this);
    }
    if (!m_OrderByFields.empty()) {
        SetSelectSQL(RewriteOrderBy(m_SelectSQL, m_OrderByFields));
    }
    Prepare();
    if (m_DataSource && m_DataSource->Active()) {
        for (int i = 0; i < m_select.ParamCount(); ++i) {
            framework::SqlParameter& param = m_select.Params(i);
            if (const TField* field = m_DataSource->FindField(param.Name)) {
                param.Value = field->Value();
            }
        }
    }
    std::vector<Record> rows;
    try {
        m_select.ExecQuery();
        while (!m_select.Eof()) {
            rows.push_back(ReadRecord(m_select));
            m_select.Next();
        }
        m_select.Close();
        for (Record& row : rows) {
            CalculateFields(row);
        }
    } catch (...) {
        m_select.Close();
        throw;
    }
    m_rows = std::move(rows);
    m_recNo = m_rows.empty() ? -1 : 0;
    m_Bof = true;
    m_Eof = m_rows.empty();
    m_Modified = false;
    m_insertOnEmpty = false;
    SetState(TDataSetState::dsBrowse);
    if (const TField* id = FindField("ID"); id && !id->IsNull()) {
        m_lastID = static_cast<int>(id->AsInteger());
    }
    if (AfterOpen) {
        AfterOpen(*this);
    }
    NotifyChanged();
    if (AfterScroll) {
        AfterScroll(*this);
    }
}

void TCmDataSet::Close()
{
    if (!Active()) {
        return;
    }
    if (BeforeClose) {
        BeforeClose(*this);
    }
    if (const TField* id = FindField("ID")) {
        m_lastID = id->IsNull() ? -1 : static_cast<int>(id->AsInteger());
        m_lastCloseID = m_lastID;
    }
    m_select.Close();
    m_rows.clear();
    m_recNo = -1;
    m_Bof = true;
    m_Eof = true;
    m_Modified = false;
    m_insertOnEmpty = false;
    SetState(TDataSetState::dsInactive);
    if (AfterClose) {
        AfterClose(*this);
    }
    NotifyChanged();
}

void TCmDataSet::OpenShared()
{
    if (!Prepared()) {
        Prepare();
    }
    Open();
    ++m_sharedCount;
    if (m_idToFind != -1) {
        LocateID(m_idToFind);
        m_idToFind = -1;
    }
}

void TCmDataSet::CloseShared()
{
    m_sharedCount = std::max(m_sharedCount - 1, 0);
    if (m_sharedCount == 0) {
        Close();
        if (Prepared()) {
            Unprepare();
        }
    }
}

const SqlValue& TCmDataSet::CurrentValue(int field) const
{
    if (m_calculating) {
        return m_calculating->Values.at(static_cast<size_t>(field));
    }
    if (m_recNo < 0 || m_recNo >= RecordCount()) {
        return NullValue();
    }
    return m_rows[static_cast<size_t>(m_recNo)].Values.at(static_cast<size_t>(field));
}

void TCmDataSet::SetCurrentValue(int field, SqlValue value)
{
    const TField& target = Fields(field);
    if (m_calculating && target.Calculated()) {
        m_calculating->Values.at(static_cast<size_t>(field)) = std::move(value);
        return;
    }
    if (m_State != TDataSetState::dsEdit && m_State != TDataSetState::dsInsert) {
        throw DatabaseError(m_Name + " não está em modo de edição ou inclusão.");
    }
    if (target.ReadOnly() || target.Calculated()) {
        throw DatabaseError("O campo " + target.DisplayLabel() + " não pode ser alterado.");
    }
    Record& record = m_rows.at(static_cast<size_t>(m_recNo));
    record.Values.at(static_cast<size_t>(field)) = std::move(value);
    m_Modified = true;
    CalculateFields(record);
    NotifyRecord(&target);
}

const SqlValue& TCmDataSet::ValueAt(int row, int field) const
{
    return m_rows.at(static_cast<size_t>(row)).Values.at(static_cast<size_t>(field));
}

std::string TCmDataSet::DisplayTextAt(int row, int field) const
{
    const TField& target = Fields(field);
    if (!target.OnGetText) {
        return target.TextOf(ValueAt(row, field));
    }
    // The handler reads the record through the fields, as it does for the current one.
    auto* self = const_cast<TCmDataSet*>(this);
    Record* previous = self->m_calculating;
    self->m_calculating = &self->m_rows.at(static_cast<size_t>(row));
    try {
        std::string text = target.DisplayText();
        self->m_calculating = previous;
        return text;
    } catch (...) {
        self->m_calculating = previous;
        throw;
    }
}

void TCmDataSet::CheckBrowseMode()
{
    CheckActive();
    if (m_State == TDataSetState::dsEdit || m_State == TDataSetState::dsInsert) {
        if (m_Modified) {
            Post();
        } else {
            Cancel();
        }
    }
}

void TCmDataSet::ScrollTo(int recNo)
{
    m_recNo = recNo;
    if (AfterScroll) {
        AfterScroll(*this);
    }
    NotifyScrolled();
}

void TCmDataSet::First()
{
    CheckBrowseMode();
    m_Bof = true;
    m_Eof = m_rows.empty();
    ScrollTo(m_rows.empty() ? -1 : 0);
}

void TCmDataSet::Last()
{
    CheckBrowseMode();
    m_Eof = true;
    m_Bof = m_rows.empty();
    ScrollTo(RecordCount() - 1);
}

void TCmDataSet::Next()
{
    CheckBrowseMode();
    if (m_recNo + 1 < RecordCount()) {
        m_Bof = false;
        m_Eof = false;
        ScrollTo(m_recNo + 1);
    } else {
        m_Eof = true;
    }
}

void TCmDataSet::Prior()
{
    CheckBrowseMode();
    if (m_recNo > 0) {
        m_Bof = false;
        m_Eof = false;
        ScrollTo(m_recNo - 1);
    } else {
        m_Bof = true;
    }
}

int TCmDataSet::MoveBy(int distance)
{
    CheckBrowseMode();
    const int from = m_recNo;
    int to = std::clamp(m_recNo + distance, 0, std::max(RecordCount() - 1, 0));
    if (m_rows.empty()) {
        to = -1;
    }
    m_Bof = distance < 0 && m_recNo + distance < 0;
    m_Eof = distance > 0 && m_recNo + distance >= RecordCount();
    if (to != from) {
        ScrollTo(to);
    }
    return to - from;
}

void TCmDataSet::SetRecNo(int recNo)
{
    CheckBrowseMode();
    if (m_rows.empty()) {
        return;
    }
    m_Bof = false;
    m_Eof = false;
    ScrollTo(std::clamp(recNo, 1, RecordCount()) - 1);
}

TBookmark TCmDataSet::GetBookmark() const
{
    if (m_recNo < 0 || m_recNo >= RecordCount()) {
        return 0;
    }
    return m_rows[static_cast<size_t>(m_recNo)].Bookmark;
}

bool TCmDataSet::BookmarkValid(TBookmark bookmark) const
{
    return bookmark != 0 &&
        std::any_of(m_rows.begin(), m_rows.end(), [&](const Record& r) { return r.Bookmark == bookmark; });
}

void TCmDataSet::GotoBookmark(TBookmark bookmark)
{
    CheckBrowseMode();
    const auto found =
        std::find_if(m_rows.begin(), m_rows.end(), [&](const Record& r) { return r.Bookmark == bookmark; });
    if (found == m_rows.end()) {
        throw DatabaseError(m_Name + ": registro não encontrado.");
    }
    m_Bof = false;
    m_Eof = false;
    ScrollTo(static_cast<int>(found - m_rows.begin()));
}

bool TCmDataSet::Locate(const std::string& keyFields, const std::vector<SqlValue>& keyValues, TLocateOptions options)
{
    CheckBrowseMode();
    std::vector<const TField*> fields;
    size_t start = 0;
    while (start <= keyFields.size()) {
        const size_t end = std::min(keyFields.find(';', start), keyFields.size());
        fields.push_back(&FieldByName(platform::Trim(std::string_view(keyFields).substr(start, end - start))));
        start = end + 1;
    }
    if (fields.size() != keyValues.size()) {
        throw DatabaseError(m_Name + ": número de valores diferente do número de campos na busca.");
    }
    const bool caseInsensitive = options & static_cast<unsigned>(TLocateOption::loCaseInsensitive);
    const bool partial = options & static_cast<unsigned>(TLocateOption::loPartialKey);
    auto matches = [&](const Record& record) {
        for (size_t i = 0; i < fields.size(); ++i) {
            const SqlValue& have = record.Values[static_cast<size_t>(fields[i]->Index())];
            const SqlValue& want = keyValues[i];
            if (want.IsNull() || have.IsNull()) {
                if (want.IsNull() != have.IsNull()) {
                    return false;
                }
                continue;
            }
            const bool numbers = (have.Kind() == SqlValueKind::Integer || have.Kind() == SqlValueKind::Double) &&
                (want.Kind() == SqlValueKind::Integer || want.Kind() == SqlValueKind::Double);
            if (numbers) {
                if (have.AsDouble() != want.AsDouble()) {
                    return false;
                }
                continue;
            }
            std::string a = fields[i]->AsStringOf(have);
            std::string b = want.Kind() == SqlValueKind::Text ? want.AsString() : fields[i]->AsStringOf(want);
            if (caseInsensitive) {
                a = platform::FoldCase(a);
                b = platform::FoldCase(b);
            }
            if (partial ? a.compare(0, b.size(), b) != 0 : a != b) {
                return false;
            }
        }
        return true;
    };
    for (size_t row = 0; row < m_rows.size(); ++row) {
        if (matches(m_rows[row])) {
            m_Bof = false;
            m_Eof = false;
            ScrollTo(static_cast<int>(row));
            return true;
        }
    }
    return false;
}

int TCmDataSet::CurrentID() const
{
    if (!Active()) {
        return m_lastID;
    }
    const TField* id = FindField("ID");
    if (!id || id->IsNull()) {
        return -1;
    }
    return static_cast<int>(id->AsInteger());
}

void TCmDataSet::LocateID(int id)
{
    if (!Active() || !FindField("ID")) {
        return;
    }
    if (Locate("ID", {SqlValue::Integer(id)})) {
        m_lastID = id;
    }
}

void TCmDataSet::BeginInsert(bool append)
{
    CheckBrowseMode();
    if (BeforeInsert) {
        BeforeInsert(*this);
    }
    // A cancel must leave an empty dataset as empty as it was, with no row left behind.
    m_insertOnEmpty = m_rows.empty();
    m_beforeInsertRecNo = m_recNo;
    Record record;
    record.Values.resize(m_fields.size());
    record.Bookmark = m_nextBookmark++;
    const int position = append || m_recNo < 0 ? RecordCount() : m_recNo;
    m_rows.insert(m_rows.begin() + position, std::move(record));
    m_recNo = position;
    m_Bof = false;
    m_Eof = false;
    m_Modified = false;
    SetState(TDataSetState::dsInsert);
    NotifyChanged();
    if (OnNewRecord) {
        OnNewRecord(*this);
    }
    CalculateFields(m_rows[static_cast<size_t>(m_recNo)]);
    if (AfterInsert) {
        AfterInsert(*this);
    }
    if (AfterScroll) {
        AfterScroll(*this);
    }
}

void TCmDataSet::Insert()
{
    BeginInsert(false);
}

void TCmDataSet::Append()
{
    BeginInsert(true);
}

void TCmDataSet::Edit()
{
    CheckActive();
    if (m_State == TDataSetState::dsEdit || m_State == TDataSetState::dsInsert) {
        return;
    }
    if (m_rows.empty()) {
        Insert();
        return;
    }
    if (BeforeEdit) {
        BeforeEdit(*this);
    }
    m_oldRecord = m_rows[static_cast<size_t>(m_recNo)];
    m_Modified = false;
    SetState(TDataSetState::dsEdit);
    if (AfterEdit) {
        AfterEdit(*this);
    }
}

// Runs one of the update statements: ":NAME" takes the record's field NAME, ":OLD_NAME" the
// value stored before the edit, any other name the select statement's parameter.
void TCmDataSet::ExecuteUpdate(const std::string& sql, const char* what)
{
    if (platform::Trim(sql).empty()) {
        throw DatabaseError(m_Name + " não tem comando de " + what + ".");
    }
    const Record& current = m_rows.at(static_cast<size_t>(m_recNo));
    const Record& old = m_State == TDataSetState::dsEdit ? m_oldRecord : current;
    SqlStatement statement(m_Database, m_Transaction);
    statement.SetSQL(sql);
    for (int i = 0; i < statement.ParamCount(); ++i) {
        framework::SqlParameter& param = statement.Params(i);
        const std::string name = UpperAscii(param.Name);
        if (name.rfind("OLD_", 0) == 0) {
            if (const TField* field = FindField(std::string_view(name).substr(4))) {
                param.Value =
                    m_State == TDataSetState::dsInsert ? SqlValue() : old.Values[static_cast<size_t>(field->Index())];
                continue;
            }
        }
        if (const TField* field = FindField(name)) {
            param.Value = current.Values[static_cast<size_t>(field->Index())];
            continue;
        }
        param.Value = m_select.ParamByName(name).Value;
    }
    statement.ExecQuery();
}

void TCmDataSet::RefreshCurrent()
{
    if (m_recNo < 0) {
        return;
    }
    SqlStatement statement(m_Database, m_Transaction);
    statement.SetSQL(m_RefreshSQL);
    Record& current = m_rows.at(static_cast<size_t>(m_recNo));
    for (int i = 0; i < statement.ParamCount(); ++i) {
        framework::SqlParameter& param = statement.Params(i);
        const std::string name = UpperAscii(param.Name);
        const std::string_view plain = name.rfind("OLD_", 0) == 0 ? std::string_view(name).substr(4) : name;
        if (const TField* field = FindField(plain)) {
            param.Value = current.Values[static_cast<size_t>(field->Index())];
        } else {
            param.Value = m_select.ParamByName(name).Value;
        }
    }
    statement.ExecQuery();
    if (statement.Eof()) {
        return;
    }
    for (int i = 0; i < statement.FieldCount(); ++i) {
        const framework::SqlColumn& column = statement.Fields(i);
        if (const TField* field = FindField(column.Name); field && !field->Calculated()) {
            current.Values[static_cast<size_t>(field->Index())] = column.Value;
        }
    }
    statement.Close();
    CalculateFields(current);
}

void TCmDataSet::Post()
{
    CheckActive();
    if (m_State != TDataSetState::dsEdit && m_State != TDataSetState::dsInsert) {
        return;
    }
    if (BeforePost) {
        BeforePost(*this);
    }
    if (m_State == TDataSetState::dsInsert) {
        ExecuteUpdate(m_InsertSQL, "inclusão");
    } else {
        ExecuteUpdate(m_ModifySQL, "alteração");
    }
    if (!platform::Trim(m_RefreshSQL).empty()) {
        RefreshCurrent();
    }
    m_Modified = false;
    m_insertOnEmpty = false;
    SetState(TDataSetState::dsBrowse);
    if (const TField* id = FindField("ID"); id && !id->IsNull()) {
        m_lastID = static_cast<int>(id->AsInteger());
    }
    if (AfterPost) {
        AfterPost(*this);
    }
    NotifyRecord(nullptr);
    // Details follow the posted master record.
    NotifyScrolled();
}

void TCmDataSet::Cancel()
{
    if (m_State != TDataSetState::dsEdit && m_State != TDataSetState::dsInsert) {
        return;
    }
    if (BeforeCancel) {
        BeforeCancel(*this);
    }
    if (m_State == TDataSetState::dsInsert) {
        if (m_insertOnEmpty) {
            m_rows.clear();
        } else {
            m_rows.erase(m_rows.begin() + m_recNo);
        }
        m_recNo = m_rows.empty() ? -1 : std::clamp(m_beforeInsertRecNo, 0, RecordCount() - 1);
        m_Bof = m_rows.empty();
        m_Eof = m_rows.empty();
    } else {
        m_rows.at(static_cast<size_t>(m_recNo)) = m_oldRecord;
    }
    m_Modified = false;
    m_insertOnEmpty = false;
    SetState(TDataSetState::dsBrowse);
    if (AfterCancel) {
        AfterCancel(*this);
    }
    NotifyChanged();
}

void TCmDataSet::Delete()
{
    CheckActive();
    if (m_State == TDataSetState::dsInsert) {
        Cancel();
        return;
    }
    if (m_State == TDataSetState::dsEdit) {
        Cancel();
    }
    if (m_rows.empty()) {
        throw DatabaseError(m_Name + " não tem registro para excluir.");
    }
    if (BeforeDelete) {
        BeforeDelete(*this);
    }
    ExecuteUpdate(m_DeleteSQL, "exclusão");
    m_rows.erase(m_rows.begin() + m_recNo);
    m_recNo = std::min(m_recNo, RecordCount() - 1);
    m_Bof = m_rows.empty();
    m_Eof = m_rows.empty();
    if (AfterDelete) {
        AfterDelete(*this);
    }
    NotifyChanged();
    if (AfterScroll) {
        AfterScroll(*this);
    }
}

void TCmDataSet::Refresh()
{
    CheckBrowseMode();
    if (!platform::Trim(m_RefreshSQL).empty()) {
        RefreshCurrent();
        NotifyRecord(nullptr);
        return;
    }
    const int id = CurrentID();
    Close();
    Open();
    LocateID(id);
}

void TCmDataSet::SetState(TDataSetState state)
{
    if (state == m_State) {
        return;
    }
    m_State = state;
    if (!ControlsDisabled()) {
        for (TCmDataLink* link : std::vector<TCmDataLink*>(m_links)) {
            link->StateChanged();
        }
    }
}

void TCmDataSet::DisableControls()
{
    ++m_disableCount;
}

void TCmDataSet::EnableControls()
{
    if (m_disableCount == 0) {
        return;
    }
    if (--m_disableCount == 0) {
        NotifyChanged();
    }
}

void TCmDataSet::AddDataLink(TCmDataLink* link)
{
    if (link && std::find(m_links.begin(), m_links.end(), link) == m_links.end()) {
        m_links.push_back(link);
    }
}

void TCmDataSet::RemoveDataLink(TCmDataLink* link)
{
    m_links.erase(std::remove(m_links.begin(), m_links.end(), link), m_links.end());
}

void TCmDataSet::NotifyChanged()
{
    if (ControlsDisabled()) {
        return;
    }
    for (TCmDataLink* link : std::vector<TCmDataLink*>(m_links)) {
        link->DataSetChanged();
    }
}

void TCmDataSet::NotifyRecord(const TField* field)
{
    if (ControlsDisabled()) {
        return;
    }
    for (TCmDataLink* link : std::vector<TCmDataLink*>(m_links)) {
        link->RecordChanged(field);
    }
}

void TCmDataSet::NotifyScrolled()
{
    if (ControlsDisabled()) {
        return;
    }
    for (TCmDataLink* link : std::vector<TCmDataLink*>(m_links)) {
        link->DataSetScrolled();
    }
}

bool TCmDataSet::HasDuplicate()
{
    if (m_UniqueKeys.empty()) {
        throw DatabaseError("UniqueKeys not assigned (ChavesÚnicas não atribuidas)");
    }
    if (!m_Database) {
        throw DatabaseError("Banco de dados não atribuído a " + m_Name + ".");
    }
    if (!m_Database->Connected()) {
        m_Database->Open();
    }
    TCmTransaction* transaction = Transaction();
    if (transaction && !transaction->InTransaction()) {
        transaction->StartTransaction();
    }
    std::vector<SqlValue> values;
    std::string where;
    for (size_t k = 0; k < m_UniqueKeys.size(); ++k) {
        if (k > 0) {
            where += " ) OR ( ";
        }
        const std::string& key = m_UniqueKeys[k];
        size_t start = 0;
        bool first = true;
        while (start <= key.size()) {
            const size_t end = std::min(key.find(';', start), key.size());
            const std::string column(platform::Trim(std::string_view(key).substr(start, end - start)));
            start = end + 1;
            if (column.empty()) {
                continue;
            }
            if (!first) {
                where += " AND ";
            }
            first = false;
            const TField& field = FieldByName(column);
            const std::string text(platform::Trim(field.AsString()));
            if (text.empty()) {
                where += column + " is null ";
            } else {
                // A literal, not a parameter: a typed value longer than the column must simply
                // match nothing. The literal rules double every quote.
                where += column + " = " + FormatFieldSql(field, text);
            }
        }
    }
    std::string sql = "SELECT COUNT(*) FROM " + m_TableName + " WHERE ( " + where + " ) ";
    // A stored record is not its own duplicate.
    const TField* id = FindField("ID");
    const bool stored = m_State != TDataSetState::dsInsert && id && !id->OldValue().IsNull();
    if (stored) {
        sql = "SELECT COUNT(*) FROM " + m_TableName + " WHERE ( ( " + where + " ) ) AND ID <> ?";
        values.push_back(id->OldValue());
    }
    SqlStatement statement(m_Database, transaction);
    statement.SetSQL(sql);
    for (size_t i = 0; i < values.size(); ++i) {
        statement.Params(static_cast<int>(i)).Value = values[i];
    }
    statement.ExecQuery();
    const bool found = !statement.Eof() && statement.Fields(0).Value.AsInteger() > 0;
    statement.Close();
    return found;
}

void TCmDataSet::DeriveUniqueKeys()
{
    if (!m_Database) {
        throw DatabaseError("Banco de dados não atribuído a " + m_Name + ".");
    }
    const bool wasConnected = m_Database->Connected();
    if (!wasConnected) {
        m_Database->Open();
    }
    TCmTransaction* transaction = Transaction();
    if (!transaction) {
        throw DatabaseError("Nenhuma transação atribuída a " + m_Name + ".");
    }
    const bool wasActive = transaction->InTransaction();
    if (!wasActive) {
        transaction->StartTransaction();
    }
    m_UniqueKeys.clear();
    try {
        SqlStatement statement(m_Database, transaction);
        statement.SetSQL("Select I.RDB$INDEX_NAME as IName, I.RDB$UNIQUE_FLAG, I.RDB$INDEX_TYPE,\n"
                         "I.RDB$SEGMENT_COUNT, S.RDB$FIELD_NAME as FName\n"
                         "from RDB$INDICES I, RDB$INDEX_SEGMENTS S\n"
                         "where I.RDB$INDEX_NAME = S.RDB$INDEX_NAME and\n"
                         "I.RDB$RELATION_NAME = :TABLENAME\n"
                         "and I.RDB$UNIQUE_FLAG = 1\n"
                         "ORDER BY I.RDB$INDEX_NAME, S.RDB$FIELD_POSITION");
        statement.SetParam("TABLENAME", SqlValue::Text(UpperAscii(m_TableName)));
        statement.ExecQuery();
        std::string index;
        while (!statement.Eof()) {
            const std::string name(platform::Trim(statement.FieldByName("INAME").AsString()));
            const std::string field(platform::Trim(statement.FieldByName("FNAME").AsString()));
            if (!m_UniqueKeys.empty() && name == index) {
                m_UniqueKeys.back() += ";" + field;
            } else {
                m_UniqueKeys.push_back(field);
                index = name;
            }
            statement.Next();
        }
        statement.Close();
    } catch (...) {
        if (!wasActive && transaction->InTransaction()) {
            transaction->Rollback();
        }
        throw;
    }
    m_UniqueKeys.erase(std::remove(m_UniqueKeys.begin(), m_UniqueKeys.end(), "ID"), m_UniqueKeys.end());
    if (!wasActive) {
        transaction->Commit();
    }
    if (!wasConnected) {
        m_Database->Close();
    }
}
