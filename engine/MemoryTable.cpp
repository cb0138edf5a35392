#include "engine/MemoryTable.h"

#include "engine/mvlExceptions.h"
#include "platform/Format.h"
#include "platform/TextRules.h"

#include <algorithm>

namespace engine {

namespace {

// Stands for "the master has no record": no real key is a lone NUL.
const std::string kNoMasterRecord(1, '\0');

} // namespace

std::string CutToCharacters(std::string_view text, size_t characters)
{
    size_t at = 0;
    size_t count = 0;
    while (at < text.size()) {
        if (count == characters) {
            return std::string(text.substr(0, at));
        }
        const auto lead = static_cast<unsigned char>(text[at]);
        size_t length = 1;
        if (lead >= 0xF0) {
            length = 4;
        } else if (lead >= 0xE0) {
            length = 3;
        } else if (lead >= 0xC0) {
            length = 2;
        }
        at = std::min(text.size(), at + length);
        ++count;
    }
    return std::string(text);
}

size_t MemoryTable::AddField(std::string name, FieldKind kind, size_t size)
{
    if (Active()) {
        throw EmvlNFSeDatasetException(
            platform::Format("Não é possível incluir o campo \"%s\" em um DataSet já criado.", name));
    }
    m_fields.push_back(FieldDef {std::move(name), kind, size});
    return m_fields.size() - 1;
}

void MemoryTable::SetFieldSize(size_t field, size_t size)
{
    if (Active()) {
        throw EmvlNFSeDatasetException(platform::Format(
            "Não é possível alterar o tamanho do campo \"%s\" em um DataSet já criado.", m_fields.at(field).Name));
    }
    m_fields.at(field).Size = size;
}

std::optional<size_t> MemoryTable::FindField(std::string_view name) const
{
    for (size_t i = 0; i < m_fields.size(); ++i) {
        if (platform::EqualsIgnoreCase(m_fields[i].Name, name)) {
            return i;
        }
    }
    return std::nullopt;
}

void MemoryTable::CreateDataSet()
{
    m_state = State::Browse;
    Invalidate();
}

void MemoryTable::RequireActive() const
{
    if (!Active()) {
        throw EmvlNFSeDatasetException("DataSet não está aberto.");
    }
}

void MemoryTable::SetMaster(MemoryTable* master, size_t masterField, size_t detailField)
{
    m_master = master;
    m_masterField = masterField;
    m_detailField = detailField;
    Invalidate();
}

void MemoryTable::SetFilter(size_t field, std::set<std::string> values)
{
    m_filter = Filter {field, std::move(values)};
    Invalidate();
    // A new filter starts from the first record, as a new master key does.
    m_syncedKey.reset();
}

void MemoryTable::ClearFilter()
{
    m_filter.reset();
    Invalidate();
    m_syncedKey.reset();
}

std::optional<std::string> MemoryTable::MasterKey() const
{
    if (!m_master) {
        return std::string();
    }
    if (m_master->IsEmpty()) {
        return kNoMasterRecord;
    }
    return m_master->Value(m_masterField);
}

bool MemoryTable::Visible(size_t record) const
{
    if (m_master && m_records[record][m_detailField] != *m_syncedKey) {
        return false;
    }
    return !m_filter || m_filter->Values.contains(m_records[record][m_filter->Field]);
}

void MemoryTable::Sync() const
{
    std::optional<std::string> key = MasterKey();
    const bool keyChanged = key != m_syncedKey;
    if (!keyChanged && m_syncedVersion == m_version) {
        return;
    }
    m_syncedKey = std::move(key);
    m_syncedVersion = m_version;
    m_visible.clear();
    for (size_t i = 0; i < m_records.size(); ++i) {
        if (Visible(i)) {
            m_visible.push_back(i);
        }
    }
    const bool currentVisible = std::binary_search(m_visible.begin(), m_visible.end(), m_current);
    if (keyChanged || !currentVisible) {
        m_current = m_visible.empty() ? kNone : m_visible.front();
        m_eof = m_visible.empty();
    }
}

void MemoryTable::Append()
{
    RequireActive();
    Sync();
    m_records.emplace_back(m_fields.size());
    if (m_master) {
        m_records.back()[m_detailField] = *m_syncedKey == kNoMasterRecord ? std::string() : *m_syncedKey;
    }
    m_current = m_records.size() - 1;
    m_eof = false;
    m_state = State::Insert;
    Invalidate();
}

void MemoryTable::Edit()
{
    RequireActive();
    if (IsEmpty()) {
        Append();
        return;
    }
    if (m_state == State::Browse) {
        m_state = State::Edit;
    }
}

void MemoryTable::Post()
{
    RequireActive();
    m_state = State::Browse;
}

void MemoryTable::First()
{
    RequireActive();
    Sync();
    m_current = m_visible.empty() ? kNone : m_visible.front();
    m_eof = m_visible.empty();
    m_state = State::Browse;
}

void MemoryTable::Next()
{
    RequireActive();
    Sync();
    m_state = State::Browse;
    const auto at = std::lower_bound(m_visible.begin(), m_visible.end(), m_current);
    if (at != m_visible.end() && at + 1 != m_visible.end()) {
        m_current = *(at + 1);
        m_eof = false;
    } else {
        m_eof = true;
    }
}

bool MemoryTable::Eof() const
{
    Sync();
    return m_eof || m_visible.empty();
}

bool MemoryTable::IsEmpty() const
{
    Sync();
    return m_visible.empty();
}

size_t MemoryTable::RecordCount() const
{
    Sync();
    return m_visible.size();
}

size_t MemoryTable::RecNo() const
{
    Sync();
    const auto at = std::lower_bound(m_visible.begin(), m_visible.end(), m_current);
    if (at == m_visible.end() || *at != m_current) {
        return 0;
    }
    return static_cast<size_t>(at - m_visible.begin()) + 1;
}

const std::string& MemoryTable::Value(size_t field) const
{
    static const std::string kEmpty;
    Sync();
    if (m_current == kNone || field >= m_fields.size()) {
        return kEmpty;
    }
    return m_records[m_current][field];
}

void MemoryTable::SetValue(size_t field, std::string_view value)
{
    RequireActive();
    Sync();
    if (m_current == kNone) {
        throw EmvlNFSeDatasetException(
            platform::Format("O campo \"%s\" não pode ser gravado sem um registro.", m_fields.at(field).Name));
    }
    const FieldDef& def = m_fields.at(field);
    std::string& slot = m_records[m_current][field];
    slot = def.Kind == FieldKind::String ? CutToCharacters(value, def.Size) : std::string(value);
    if ((m_master && field == m_detailField) || (m_filter && field == m_filter->Field)) {
        Invalidate();
    }
}

void MemoryTable::EmptyDataSet()
{
    m_records.clear();
    m_current = kNone;
    m_eof = true;
    if (Active()) {
        m_state = State::Browse;
    }
    Invalidate();
}

} // namespace engine
