#pragma once

#include "framework/data/SqlStatement.h"
#include "framework/data/SqlValue.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class TCmDatabase;
class TCmTransaction;
class TCmSQLGlobals;
class TCmDataSet;

enum class TDataSetState
{
    dsInactive,
    dsBrowse,
    dsEdit,
    dsInsert,
};

enum class TFieldType
{
    ftUnknown,
    ftString,
    ftFixedChar,
    ftMemo,
    ftFmtMemo,
    ftSmallint,
    ftInteger,
    ftLargeint,
    ftFloat,
    ftCurrency,
    ftBCD,
    ftDate,
    ftTime,
    ftDateTime,
    ftBlob,
    ftBoolean,
};

// One column of a dataset (or a calculated value beside them). The object lives as long as the
// dataset and keeps its display settings when the dataset is reopened; values are those of the
// current record.
class TField
{
public:
    TField(TCmDataSet* dataSet, std::string fieldName, TFieldType dataType, bool calculated);
    TField(const TField&) = delete;
    TField& operator=(const TField&) = delete;

    TCmDataSet* DataSet() const { return m_dataSet; }
    const std::string& FieldName() const { return m_FieldName; }
    TFieldType DataType() const { return m_DataType; }
    bool Calculated() const { return m_Calculated; }
    // Position in the dataset's field list.
    int Index() const { return m_index; }

    // The caption grids and messages show; the field name until one is given.
    const std::string& DisplayLabel() const { return m_DisplayLabel.empty() ? m_FieldName : m_DisplayLabel; }
    void SetDisplayLabel(std::string label) { m_DisplayLabel = std::move(label); }
    bool Visible() const { return m_Visible; }
    void SetVisible(bool visible) { m_Visible = visible; }
    // A number pattern ("#,##0.00") for numeric fields, a date pattern for date and time fields.
    const std::string& DisplayFormat() const { return m_DisplayFormat; }
    void SetDisplayFormat(std::string format) { m_DisplayFormat = std::move(format); }
    int DisplayWidth() const { return m_DisplayWidth; }
    void SetDisplayWidth(int width) { m_DisplayWidth = width; }
    const std::string& EditMask() const { return m_EditMask; }
    void SetEditMask(std::string mask) { m_EditMask = std::move(mask); }
    bool ReadOnly() const { return m_ReadOnly; }
    void SetReadOnly(bool readOnly) { m_ReadOnly = readOnly; }
    // Replaces DisplayText (for codes shown as words).
    std::function<std::string(const TField&)> OnGetText;

    // Where the value comes from: table and column, and both as "TABLE"."COLUMN" (empty for
    // expressions and calculated fields), the reference a grid sorts by.
    const std::string& OriginTable() const { return m_OriginTable; }
    const std::string& OriginColumn() const { return m_OriginColumn; }
    std::string Origin() const;
    // Characters of a text column.
    int Size() const { return m_Size; }

    const framework::SqlValue& Value() const;
    // The value the stored row has (NULL for a record being inserted).
    const framework::SqlValue& OldValue() const;
    // Sets the value of the current record; only in edit or insert state (calculated fields also
    // while their handler runs).
    void SetValue(framework::SqlValue value);
    bool IsNull() const { return Value().IsNull(); }
    void Clear() { SetValue({}); }

    // Texts in the regional conventions: "1,5", "31/12/2016", "31/12/2016 10:30:00".
    std::string AsString() const;
    // Converts the text to the field's type; a text that is no value of that type raises
    // framework::DatabaseError with a Portuguese message; an empty text clears a non-text field.
    void SetAsString(const std::string& text);
    int64_t AsInteger() const;
    void SetAsInteger(int64_t value) { SetValue(framework::SqlValue::Integer(value)); }
    double AsFloat() const;
    void SetAsFloat(double value) { SetValue(framework::SqlValue::Double(value)); }
    platform::DateTime AsDateTime() const;
    void SetAsDateTime(const platform::DateTime& value);

    std::string DisplayText() const;
    // The text of any value of this field, as DisplayText would show it.
    std::string TextOf(const framework::SqlValue& value) const;
    // The text of any value of this field, as AsString gives the current one (no display format).
    std::string AsStringOf(const framework::SqlValue& value) const;

    bool IsText() const;
    bool IsNumeric() const;

private:
    friend class TCmDataSet;

    TCmDataSet* m_dataSet;
    std::string m_FieldName;
    TFieldType m_DataType;
    bool m_Calculated;
    int m_index = -1;
    int m_column = -1; // column of the select statement, -1 for calculated fields
    std::string m_DisplayLabel;
    bool m_Visible = true;
    std::string m_DisplayFormat;
    int m_DisplayWidth = 0;
    std::string m_EditMask;
    bool m_ReadOnly = false;
    std::string m_OriginTable;
    std::string m_OriginColumn;
    int m_Size = 0;
};

// Something that shows a dataset (a grid model, an edit control): told what changed, unless
// the dataset's controls are disabled; EnableControls then tells DataSetChanged once.
class TCmDataLink
{
public:
    virtual ~TCmDataLink() = default;
    // Opened, closed, rows added or removed, or everything may differ.
    virtual void DataSetChanged() { }
    // Values of the current record changed (field null: several fields).
    virtual void RecordChanged(const TField* field) { (void)field; }
    // The current record moved.
    virtual void DataSetScrolled() { }
    virtual void StateChanged() { }
    // The dataset is being destroyed; the link must forget it.
    virtual void DataSetGone() { }
};

enum class TLocateOption
{
    loCaseInsensitive = 1,
    loPartialKey = 2,
};
using TLocateOptions = unsigned;

using TBookmark = uint64_t;
using TDataSetNotifyEvent = std::function<void(TCmDataSet&)>;

// The framework's editable, buffered dataset over one Firebird table. The select statement's
// rows are fetched whole at open (a commit may end the cursor, the buffer stays); inserts,
// changes and deletions go to the database at once through the insert, modify and delete
// statements, whose ":NAME" parameters take the record's values and ":OLD_NAME" the values
// it had when stored. Nothing is committed here: that is the owner of the transaction's
// business.
class TCmDataSet
{
public:
    explicit TCmDataSet(std::string name = {});
    virtual ~TCmDataSet();
    TCmDataSet(const TCmDataSet&) = delete;
    TCmDataSet& operator=(const TCmDataSet&) = delete;

    virtual const char* ClassName() const { return "TCmDataSet"; }

    const std::string& Name() const { return m_Name; }
    // An empty TableName takes the new name.
    void SetName(std::string name);

    TCmDatabase* Database() const { return m_Database; }
    void SetDatabase(TCmDatabase* database);
    // The database's default transaction when none was given.
    TCmTransaction* Transaction() const;
    // Only while closed: the rows belong to the transaction that read them.
    void SetTransaction(TCmTransaction* transaction);

    TCmSQLGlobals* SQLGlobals() const { return m_SQLGlobals; }
    // Unregisters from the previous session object and registers with the new one.
    void SetSQLGlobals(TCmSQLGlobals* globals);

    const std::string& TableName() const { return m_TableName; }
    void SetTableName(std::string tableName) { m_TableName = std::move(tableName); }
    // One entry per unique key, its columns joined by ";".
    std::vector<std::string>& UniqueKeys() { return m_UniqueKeys; }
    const std::vector<std::string>& UniqueKeys() const { return m_UniqueKeys; }
    void SetUniqueKeys(std::vector<std::string> keys) { m_UniqueKeys = std::move(keys); }
    // Entries joined by ";", each a column reference with an optional " ASC"/" DESC"; the select
    // statement is rewritten with it at the next open.
    const std::string& OrderByFields() const { return m_OrderByFields; }
    void SetOrderByFields(const std::string& fields);

    const std::string& SelectSQL() const { return m_SelectSQL; }
    void SetSelectSQL(std::string sql);
    const std::string& InsertSQL() const { return m_InsertSQL; }
    void SetInsertSQL(std::string sql) { m_InsertSQL = std::move(sql); }
    const std::string& ModifySQL() const { return m_ModifySQL; }
    void SetModifySQL(std::string sql) { m_ModifySQL = std::move(sql); }
    const std::string& DeleteSQL() const { return m_DeleteSQL; }
    void SetDeleteSQL(std::string sql) { m_DeleteSQL = std::move(sql); }
    // Reads one stored row again (":ID" and the like take the record's values).
    const std::string& RefreshSQL() const { return m_RefreshSQL; }
    void SetRefreshSQL(std::string sql) { m_RefreshSQL = std::move(sql); }

    // Parameters of the select statement; their values outlive reopening and the sort rewrite.
    int ParamCount() const { return m_select.ParamCount(); }
    framework::SqlParameter& Params(int index) { return m_select.Params(index); }
    framework::SqlParameter& ParamByName(std::string_view name) { return m_select.ParamByName(name); }

    // Master-detail: before every open, each select parameter named like a field of the master
    // takes that field's value; the detail reopens whenever the master moves or posts.
    TCmDataSet* DataSource() const { return m_DataSource; }
    void SetDataSource(TCmDataSet* master);

    TDataSetState State() const { return m_State; }
    bool Active() const { return m_State != TDataSetState::dsInactive; }
    void SetActive(bool active);
    void Open();
    void Close();
    bool Prepared() const { return m_select.Prepared(); }
    void Prepare();
    void Unprepare();
    // Builds the field list from the select statement without opening (for setting labels).
    void InitFields();

    void OpenShared();
    void CloseShared();
    int SharedCount() const { return m_sharedCount; }

    int FieldCount() const { return static_cast<int>(m_fields.size()); }
    TField& Fields(int index) const;
    TField* FindField(std::string_view name) const;
    // Raises framework::DatabaseError when there is no such field.
    TField& FieldByName(std::string_view name) const;
    // A calculated field, filled by OnCalcFields for every record.
    TField& AddCalculatedField(const std::string& name, TFieldType dataType);
    // Whether the select statement's output columns include the name.
    bool HasColumn(std::string_view name) const;

    int RecordCount() const { return static_cast<int>(m_rows.size()); }
    bool IsEmpty() const { return m_rows.empty(); }
    // 1-based position of the current record, 0 when there is none.
    int RecNo() const { return m_rows.empty() ? 0 : m_recNo + 1; }
    void SetRecNo(int recNo);
    bool Bof() const { return m_Bof; }
    bool Eof() const { return m_Eof; }
    void First();
    void Last();
    void Next();
    void Prior();
    int MoveBy(int distance);

    TBookmark GetBookmark() const;
    bool BookmarkValid(TBookmark bookmark) const;
    void GotoBookmark(TBookmark bookmark);

    // Moves to the first row whose fields (names joined by ";") hold the values.
    bool Locate(const std::string& keyFields, const std::vector<framework::SqlValue>& keyValues,
                TLocateOptions options = 0);

    void Insert();
    void Append();
    void Edit();
    void Post();
    void Cancel();
    void Delete();
    // Reads the current record again through RefreshSQL; without it, reopens and returns to the
    // current ID.
    void Refresh();
    // Posts a pending insert or edit.
    void CheckBrowseMode();
    bool Modified() const { return m_Modified; }

    void DisableControls();
    void EnableControls();
    bool ControlsDisabled() const { return m_disableCount > 0; }
    void AddDataLink(TCmDataLink* link);
    void RemoveDataLink(TCmDataLink* link);

    // The value of field `field` in row `row` (0-based), whatever the current record is.
    const framework::SqlValue& ValueAt(int row, int field) const;
    // The display text of field `field` in row `row`, its OnGetText seeing that row as current.
    std::string DisplayTextAt(int row, int field) const;

    // ID of the current record (-1 without a field ID); when closed, the last one known.
    int CurrentID() const;
    void LocateID(int id);
    // ID at the last close, and the ID to return to at the next OpenShared (-1: none).
    int LastCloseID() const { return m_lastCloseID; }
    int IDToFind() const { return m_idToFind; }
    void SetIDToFind(int id) { m_idToFind = id; }

    // Whether another stored row holds any of the current record's unique keys.
    bool HasDuplicate();
    void DeriveUniqueKeys();

    // The select text with its sort clause replaced by `orderByFields`.
    static std::string RewriteOrderBy(const std::string& selectSQL, const std::string& orderByFields);

    TDataSetNotifyEvent BeforeOpen;
    TDataSetNotifyEvent AfterOpen;
    TDataSetNotifyEvent BeforeClose;
    TDataSetNotifyEvent AfterClose;
    TDataSetNotifyEvent BeforeInsert;
    TDataSetNotifyEvent AfterInsert;
    TDataSetNotifyEvent OnNewRecord;
    TDataSetNotifyEvent BeforeEdit;
    TDataSetNotifyEvent AfterEdit;
    TDataSetNotifyEvent BeforePost;
    TDataSetNotifyEvent AfterPost;
    TDataSetNotifyEvent BeforeCancel;
    TDataSetNotifyEvent AfterCancel;
    TDataSetNotifyEvent BeforeDelete;
    TDataSetNotifyEvent AfterDelete;
    TDataSetNotifyEvent AfterScroll;
    TDataSetNotifyEvent OnCalcFields;

private:
    friend class TField;
    struct Record
    {
        std::vector<framework::SqlValue> Values;
        TBookmark Bookmark = 0;
    };
    class MasterLink;

    void CheckActive() const;
    void CheckBrowse(const char* operation) const;
    void BuildFields();
    Record ReadRecord(framework::SqlStatement& statement);
    void CalculateFields(Record& record);
    void BeginInsert(bool append);
    void ExecuteUpdate(const std::string& sql, const char* what);
    void RefreshCurrent();
    bool InCalculation() const { return m_calculating != nullptr; }
    const framework::SqlValue& CurrentValue(int field) const;
    void SetCurrentValue(int field, framework::SqlValue value);
    void ScrollTo(int recNo);
    void SetState(TDataSetState state);
    void NotifyChanged();
    void NotifyRecord(const TField* field);
    void NotifyScrolled();
    void MasterMoved();

    std::string m_Name;
    TCmDatabase* m_Database = nullptr;
    TCmTransaction* m_Transaction = nullptr;
    TCmSQLGlobals* m_SQLGlobals = nullptr;
    std::string m_TableName;
    std::vector<std::string> m_UniqueKeys;
    std::string m_OrderByFields;
    std::string m_SelectSQL;
    std::string m_InsertSQL;
    std::string m_ModifySQL;
    std::string m_DeleteSQL;
    std::string m_RefreshSQL;
    TCmDataSet* m_DataSource = nullptr;
    std::unique_ptr<MasterLink> m_masterLink;

    framework::SqlStatement m_select;
    std::vector<std::unique_ptr<TField>> m_fields;
    std::vector<Record> m_rows;
    int m_recNo = -1;
    bool m_Bof = true;
    bool m_Eof = true;
    TDataSetState m_State = TDataSetState::dsInactive;
    bool m_Modified = false;
    Record m_oldRecord;
    int m_beforeInsertRecNo = -1;
    TBookmark m_nextBookmark = 1;
    Record* m_calculating = nullptr;

    int m_disableCount = 0;
    std::vector<TCmDataLink*> m_links;

    int m_lastID = -1;
    int m_lastCloseID = -1;
    int m_idToFind = -1;
    int m_sharedCount = 0;
    bool m_insertOnEmpty = false;
};
