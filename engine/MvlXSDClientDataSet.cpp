#include "engine/MvlXSDClientDataSet.h"

#include "engine/mvlExceptions.h"
#include "platform/Format.h"
#include "platform/TextRules.h"

#include <charconv>

using FieldKind = engine::MemoryTable::FieldKind;

std::string ImvlXSDField::XPathText() const
{
    std::string text;
    for (size_t i = 0; i < m_xpath.size(); ++i) {
        if (i > 0) {
            text += "\r\n";
        }
        text += m_xpath[i];
    }
    std::erase(text, '"');
    return text;
}

size_t ImvlXSDField::Size() const
{
    return m_dataSet->Table().Fields().at(m_index).Size;
}

void ImvlXSDField::SetSize(size_t size)
{
    m_dataSet->Table().SetFieldSize(m_index, size);
}

const std::string& ImvlXSDField::AsString() const
{
    return m_dataSet->Table().Value(m_index);
}

void ImvlXSDField::SetAsString(std::string_view value)
{
    m_dataSet->Table().SetValue(m_index, value);
}

void TMvlXSDCustomStringField::SetAsString(std::string_view value)
{
    if (m_tagObrigatoria && !value.empty()) {
        throw EmvlXSDException(
            platform::Format("O campo \"%s\" é um campo de tag obrigatória e não deve conter valor", FieldName()));
    }
    ImvlXSDField::SetAsString(value);
}

long long TMvlXSDIntegerField::AsInteger() const
{
    const std::string& text = AsString();
    long long value = 0;
    std::from_chars(text.data(), text.data() + text.size(), value);
    return value;
}

void TMvlXSDIntegerField::SetAsInteger(long long value)
{
    SetAsString(std::to_string(value));
}

TMvlXSDClientDataSet::TMvlXSDClientDataSet(std::string name)
    : m_name(std::move(name))
{
    AddHandleField("Handle");
    m_handle = static_cast<TMvlHandleField*>(m_fields.front().get());
}

template <class F>
F& TMvlXSDClientDataSet::AddField(std::unique_ptr<F> field, std::string name, FieldKind kind, size_t size)
{
    field->m_dataSet = this;
    field->m_fieldName = name;
    field->m_index = m_table.AddField(std::move(name), kind, size);
    F& added = *field;
    m_fields.push_back(std::move(field));
    return added;
}

TmvlXSDStringField& TMvlXSDClientDataSet::AddStringField(std::string name, size_t size)
{
    auto& field = AddField(std::make_unique<TmvlXSDStringField>(), std::move(name), FieldKind::String, size);
    field.SetDisplayWidth(20);
    return field;
}

TmvlXSDBlobField& TMvlXSDClientDataSet::AddBlobField(std::string name, size_t size)
{
    return AddField(std::make_unique<TmvlXSDBlobField>(), std::move(name), FieldKind::Memo, size);
}

TMvlFieldLink& TMvlXSDClientDataSet::AddLinkField(std::string name)
{
    auto& field = AddField(std::make_unique<TMvlFieldLink>(), std::move(name), FieldKind::String, 255);
    field.SetDisplayWidth(20);
    return field;
}

TMvlHandleField& TMvlXSDClientDataSet::AddHandleField(std::string name)
{
    if (name.size() > kMaxFieldNameLength) {
        name.resize(kMaxFieldNameLength);
    }
    return AddField(std::make_unique<TMvlHandleField>(), std::move(name), FieldKind::Integer, 0);
}

void TMvlXSDClientDataSet::SetMasterDataSet(TMvlXSDClientDataSet* master)
{
    m_master = master;
    m_masterName = master->Name();
    const TMvlHandleField& link = AddHandleField("Handle_" + master->Name());
    m_table.SetMaster(&master->Table(), master->HandleField()->Index(), link.Index());
}

void TMvlXSDClientDataSet::CreateDataSet()
{
    m_table.CreateDataSet();
}

ImvlXSDField* TMvlXSDClientDataSet::FindField(std::string_view name) const
{
    for (const auto& field : m_fields) {
        if (platform::EqualsIgnoreCase(field->FieldName(), name)) {
            return field.get();
        }
    }
    return nullptr;
}

ImvlXSDField* TMvlXSDClientDataSet::FindFieldByXPath(std::string_view xpath) const
{
    for (const auto& field : m_fields) {
        if (field->Role() != ImvlXSDField::TRole::Data) {
            continue;
        }
        for (const std::string& path : field->XPath()) {
            if (path == xpath) {
                return field.get();
            }
        }
    }
    return nullptr;
}

void TMvlXSDClientDataSet::InsertRecord()
{
    if (m_master && m_master->IsEmpty()) {
        m_master->InsertRecord();
        m_master->Post();
    }
    m_table.Append();
    ++m_lastHandle;
    m_handle->SetAsInteger(m_lastHandle);
    if (m_master) {
        const long long parent = m_master->HandleField()->AsInteger();
        for (const auto& field : m_fields) {
            if (field.get() != m_handle && field->Role() == ImvlXSDField::TRole::Handle && parent > 0) {
                static_cast<TMvlHandleField&>(*field).SetAsInteger(parent);
            }
        }
    }
}

void TMvlXSDClientDataSet::EmptyDataSet()
{
    m_table.EmptyDataSet();
    m_lastHandle = 0;
}

void TMvlXSDClientDataSet::FilterHandles(std::set<std::string> handles)
{
    m_table.SetFilter(m_handle->Index(), std::move(handles));
}

ImvlXSDField& TmvlXsdClientDatasetHandler::FieldByName(std::string_view name) const
{
    ImvlXSDField* field = m_dataSet.FindField(name);
    if (!field) {
        throw EmvlXSDException(
            platform::Format("Campo \"%s\" não encontrado no DataSet \"%s\".", name, m_dataSet.Name()));
    }
    return *field;
}
