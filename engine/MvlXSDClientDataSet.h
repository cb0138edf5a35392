#pragma once

#include "engine/MemoryTable.h"

#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <vector>

class TMvlXSDClientDataSet;

// A field of an XSD dataset: a column of its table plus the schema nodes it stands for.
class ImvlXSDField
{
public:
    enum class TRole
    {
        Data,  // a simple element or attribute
        Link,  // the place of a child dataset inside its parent
        Handle // a record key
    };

    virtual ~ImvlXSDField() = default;
    ImvlXSDField(const ImvlXSDField&) = delete;
    ImvlXSDField& operator=(const ImvlXSDField&) = delete;

    virtual const char* ClassName() const = 0;
    virtual TRole Role() const { return TRole::Data; }

    const std::string& FieldName() const { return m_fieldName; }
    size_t Index() const { return m_index; }
    TMvlXSDClientDataSet& DataSet() const { return *m_dataSet; }

    // Normally one XPath; a field may stand for several nodes, of which the writer picks one.
    const std::vector<std::string>& XPath() const { return m_xpath; }
    void SetXPath(std::vector<std::string> xpath) { m_xpath = std::move(xpath); }
    // The list as one text, double quotes removed.
    std::string XPathText() const;
    const std::string& XsdType() const { return m_xsdType; }
    void SetXsdType(std::string type) { m_xsdType = std::move(type); }
    bool GenerateFieldInXML() const { return m_generateFieldInXML; }
    void SetGenerateFieldInXML(bool value) { m_generateFieldInXML = value; }
    bool GeraTagVazia() const { return m_geraTagVazia; }
    void SetGeraTagVazia(bool value) { m_geraTagVazia = value; }
    size_t Size() const;
    // Only before the dataset is created.
    void SetSize(size_t size);
    size_t DisplayWidth() const { return m_displayWidth; }
    void SetDisplayWidth(size_t width) { m_displayWidth = width; }

    // The value in the dataset's current record.
    const std::string& AsString() const;
    virtual void SetAsString(std::string_view value);
    bool IsNull() const { return AsString().empty(); }

protected:
    ImvlXSDField() = default;

private:
    friend class TMvlXSDClientDataSet;

    TMvlXSDClientDataSet* m_dataSet = nullptr;
    size_t m_index = 0;
    std::string m_fieldName;
    std::vector<std::string> m_xpath;
    std::string m_xsdType;
    bool m_generateFieldInXML = true;
    bool m_geraTagVazia = false;
    size_t m_displayWidth = 0;
};

class TMvlXSDCustomStringField : public ImvlXSDField
{
public:
    const char* ClassName() const override { return "TMvlXSDCustomStringField"; }
    // A marker of a tag that must be written and must stay empty.
    bool TagObrigatoria() const { return m_tagObrigatoria; }
    void SetTagObrigatoria(bool value) { m_tagObrigatoria = value; }
    void SetAsString(std::string_view value) override;

private:
    bool m_tagObrigatoria = false;
};

class TmvlXSDStringField : public TMvlXSDCustomStringField
{
public:
    const char* ClassName() const override { return "TmvlXSDStringField"; }
};

class TmvlXSDBlobField : public ImvlXSDField
{
public:
    const char* ClassName() const override { return "TmvlXSDBlobField"; }
};

class TMvlFieldLink : public TmvlXSDStringField
{
public:
    const char* ClassName() const override { return "TMvlFieldLink"; }
    TRole Role() const override { return TRole::Link; }
    bool Bidirecional() const { return m_bidirecional; }
    void SetBidirecional(bool value) { m_bidirecional = value; }

private:
    bool m_bidirecional = false;
};

class TMvlXSDIntegerField : public ImvlXSDField
{
public:
    const char* ClassName() const override { return "TMvlXSDIntegerField"; }
    long long AsInteger() const;
    void SetAsInteger(long long value);
};

class TMvlHandleField : public TMvlXSDIntegerField
{
public:
    const char* ClassName() const override { return "TMvlHandleField"; }
    TRole Role() const override { return TRole::Handle; }
};

class TMvlXSDCurrencyField : public ImvlXSDField
{
public:
    const char* ClassName() const override { return "TMvlXSDCurrencyField"; }
};

class TMvlXSDDateTimeField : public ImvlXSDField
{
public:
    const char* ClassName() const override { return "TMvlXSDDateTimeField"; }
};

// One repeating element of a schema (or the start element) as an in-memory dataset: one
// record per occurrence, its children linked through the Handle_<parent> fields.
class TMvlXSDClientDataSet
{
public:
    static constexpr size_t kMaxFieldNameLength = 31;

    explicit TMvlXSDClientDataSet(std::string name);
    TMvlXSDClientDataSet(const TMvlXSDClientDataSet&) = delete;
    TMvlXSDClientDataSet& operator=(const TMvlXSDClientDataSet&) = delete;

    const std::string& Name() const { return m_name; }
    const std::string& XPath() const { return m_xpath; }
    void SetXPath(std::string xpath) { m_xpath = std::move(xpath); }
    const std::string& TypeName() const { return m_typeName; }
    void SetTypeName(std::string typeName) { m_typeName = std::move(typeName); }
    const std::string& MasterName() const { return m_masterName; }
    bool Abstrato() const { return m_abstrato; }
    void SetAbstrato(bool value) { m_abstrato = value; }
    bool Associativo() const { return m_associativo; }
    void SetAssociativo(bool value) { m_associativo = value; }
    const std::string& AssociationName() const { return m_associationName; }
    void SetAssociationName(std::string name) { m_associationName = std::move(name); }
    long long LastHandle() const { return m_lastHandle; }

    // Structure, before CreateDataSet.
    TmvlXSDStringField& AddStringField(std::string name, size_t size);
    TmvlXSDBlobField& AddBlobField(std::string name, size_t size);
    TMvlFieldLink& AddLinkField(std::string name);
    TMvlHandleField& AddHandleField(std::string name);
    // Follows the master: only the records whose Handle_<master> holds the master's current
    // Handle are visible. Adds that field.
    void SetMasterDataSet(TMvlXSDClientDataSet* master);
    TMvlXSDClientDataSet* MasterDataSet() const { return m_master; }
    void CreateDataSet();
    bool Active() const { return m_table.Active(); }

    const std::vector<std::unique_ptr<ImvlXSDField>>& Fields() const { return m_fields; }
    ImvlXSDField* FindField(std::string_view name) const;
    // The first data field whose XPath list holds the path.
    ImvlXSDField* FindFieldByXPath(std::string_view xpath) const;
    bool HasFieldNamed(std::string_view name) const { return FindField(name) != nullptr; }
    TMvlHandleField* HandleField() const { return m_handle; }

    // A new record keyed by the next handle and tied to the master's current record; a master
    // with no record at all first gets an empty one, so that no record is left without parent.
    void InsertRecord();
    void Append() { m_table.Append(); }
    void Edit() { m_table.Edit(); }
    void Post() { m_table.Post(); }
    void First() { m_table.First(); }
    void Next() { m_table.Next(); }
    bool Eof() const { return m_table.Eof(); }
    bool IsEmpty() const { return m_table.IsEmpty(); }
    size_t RecordCount() const { return m_table.RecordCount(); }
    size_t RecNo() const { return m_table.RecNo(); }
    void EmptyDataSet();

    // Only the records with one of these handles stay visible.
    void FilterHandles(std::set<std::string> handles);
    void ClearFilter() { m_table.ClearFilter(); }

    engine::MemoryTable& Table() { return m_table; }
    const engine::MemoryTable& Table() const { return m_table; }

private:
    template <class F>
    F& AddField(std::unique_ptr<F> field, std::string name, engine::MemoryTable::FieldKind kind, size_t size);

    std::string m_name;
    std::string m_xpath;
    std::string m_typeName;
    std::string m_masterName;
    bool m_abstrato = false;
    bool m_associativo = false;
    std::string m_associationName;
    long long m_lastHandle = 0;
    TMvlXSDClientDataSet* m_master = nullptr;
    TMvlHandleField* m_handle = nullptr;
    std::vector<std::unique_ptr<ImvlXSDField>> m_fields;
    engine::MemoryTable m_table;
};

// The tree: index 0 is the root dataset.
using TmvlXsdDatasetList = std::vector<std::unique_ptr<TMvlXSDClientDataSet>>;

// What a caller may do with one dataset of a filled tree.
class TmvlXsdClientDatasetHandler
{
public:
    explicit TmvlXsdClientDatasetHandler(TMvlXSDClientDataSet& dataSet)
        : m_dataSet(dataSet)
    { }

    TMvlXSDClientDataSet& DataSet() const { return m_dataSet; }
    void Edit() { m_dataSet.Edit(); }
    void First() { m_dataSet.First(); }
    void Next() { m_dataSet.Next(); }
    bool Eof() const { return m_dataSet.Eof(); }
    void Post() { m_dataSet.Post(); }
    // Fails with "Campo "%s" não encontrado no DataSet "%s".".
    ImvlXSDField& FieldByName(std::string_view name) const;

private:
    TMvlXSDClientDataSet& m_dataSet;
};
