#pragma once

#include <cstddef>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace engine {

// The small in-memory table under the XSD datasets: named text columns, records in insert
// order, a cursor, an optional master table whose current record selects the visible records
// (master-detail through a key column), and an optional filter on one column's values.
// Every value is text; numbers and dates arrive already formatted.
class MemoryTable
{
public:
    enum class FieldKind
    {
        String, // holds at most Size characters; longer values are cut when stored
        Memo,   // unbounded text
        Integer,
        Currency,
        DateTime
    };

    struct FieldDef
    {
        std::string Name;
        FieldKind Kind = FieldKind::String;
        size_t Size = 0;
    };

    enum class State
    {
        Inactive,
        Browse,
        Insert,
        Edit
    };

    MemoryTable() = default;
    MemoryTable(const MemoryTable&) = delete;
    MemoryTable& operator=(const MemoryTable&) = delete;

    // Structure: fields are added before CreateDataSet; sizes may change until then.
    size_t AddField(std::string name, FieldKind kind, size_t size);
    void SetFieldSize(size_t field, size_t size);
    const std::vector<FieldDef>& Fields() const { return m_fields; }
    // Index of the field with that name, compared without case.
    std::optional<size_t> FindField(std::string_view name) const;
    void CreateDataSet();
    bool Active() const { return m_state != State::Inactive; }
    State CurrentState() const { return m_state; }

    // Only the records whose detailField equals the master's current masterField are visible;
    // a master with no record shows none. Moving the master puts this table on its first
    // visible record.
    void SetMaster(MemoryTable* master, size_t masterField, size_t detailField);
    MemoryTable* Master() const { return m_master; }

    // Only the records whose field holds one of the values are visible.
    void SetFilter(size_t field, std::set<std::string> values);
    void ClearFilter();
    bool Filtered() const { return m_filter.has_value(); }

    // A new record at the end, made current; under a master its key column is filled.
    void Append();
    void Edit();
    void Post();

    void First();
    void Next();
    // After Next on the last record, or when no record is visible.
    bool Eof() const;
    bool IsEmpty() const;
    size_t RecordCount() const;
    // Position of the current record among the visible ones, from 1; 0 without one.
    size_t RecNo() const;
    size_t TotalRecordCount() const { return m_records.size(); }
    // A value of any record, visible or not, by its place in insert order.
    const std::string& ValueAt(size_t record, size_t field) const { return m_records.at(record).at(field); }

    // Values of the current record; empty without one.
    const std::string& Value(size_t field) const;
    // Needs a current record.
    void SetValue(size_t field, std::string_view value);

    // Removes every record.
    void EmptyDataSet();

private:
    struct Filter
    {
        size_t Field = 0;
        std::set<std::string> Values;
    };

    void Sync() const;
    void Invalidate() { ++m_version; }
    bool Visible(size_t record) const;
    std::optional<std::string> MasterKey() const;
    void RequireActive() const;

    std::vector<FieldDef> m_fields;
    std::vector<std::vector<std::string>> m_records;
    State m_state = State::Inactive;

    MemoryTable* m_master = nullptr;
    size_t m_masterField = 0;
    size_t m_detailField = 0;
    std::optional<Filter> m_filter;

    // The visible records and the cursor are recomputed when the records, the filter or the
    // master's current key change.
    mutable std::vector<size_t> m_visible;
    mutable size_t m_current = kNone;
    mutable bool m_eof = true;
    mutable unsigned long long m_version = 1;
    mutable unsigned long long m_syncedVersion = 0;
    mutable std::optional<std::string> m_syncedKey;

    static constexpr size_t kNone = static_cast<size_t>(-1);
};

// Cuts UTF-8 text to a number of characters.
std::string CutToCharacters(std::string_view text, size_t characters);

} // namespace engine
