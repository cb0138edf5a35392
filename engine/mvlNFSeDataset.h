#pragma once

#include "engine/mvlXSDDataset.h"

#include <memory>
#include <string>
#include <string_view>
#include <vector>

// The TX2-to-XML conversion as the provider operations use it: finds the mapping file (a city
// folder falls back to its provider's folder), applies the NFS-e field rules the generic tree
// leaves open, and lets an operation edit the filled tree before the XML is written.
class TmvlNFSeDataSet
{
public:
    enum class Mode
    {
        Closed,
        Inserting,
        Editing
    };

    TmvlNFSeDataSet();
    ~TmvlNFSeDataSet();
    TmvlNFSeDataSet(const TmvlNFSeDataSet&) = delete;
    TmvlNFSeDataSet& operator=(const TmvlNFSeDataSet&) = delete;

    const std::string& MappingFileName() const { return m_MappingFileName; }
    void SetMappingFileName(std::string fileName) { m_MappingFileName = std::move(fileName); }
    const std::string& ConfigSection() const { return m_ConfigSection; }
    void SetConfigSection(std::string section) { m_ConfigSection = std::move(section); }
    const std::string& DataSetPrincipal() const { return m_DataSetPrincipal; }
    void SetDataSetPrincipal(std::string name) { m_DataSetPrincipal = std::move(name); }
    Mode EditMode() const { return m_editMode; }

    // Finds the mapping file, loads it into the tree and generates the tree. The facade never
    // writes an XML declaration.
    void Prepare();
    // Fails with "Arquivo "%s" não foi encontrado." when the file is missing.
    void LoadTx2File(const std::string& fileName);
    void LoadTx2Text(std::string_view text);
    // The provider rewrite, then the tree's XML.
    std::string GetXml();

    TmvlXSDDataset& Tree() { return *m_tree; }
    const TmvlXSDDataset& Tree() const { return *m_tree; }

    // Editing a filled tree.
    void OpenForEditing();
    void OpenForInserting();
    void EditDataSet(std::string_view name);
    // The first dataset in tree order holding a data field of that name; in edit mode that
    // dataset is put in edit state, in insert mode a record is appended to it when it is
    // browsing. "Campo "%s" não encontrado" when none has it.
    ImvlXSDField& FieldByName(std::string_view name);
    void First();
    void Next();
    bool Eof() const;
    void PostDataSet(std::string_view name);
    void PostPrincipal();
    TmvlXsdClientDatasetHandler Handler(std::string_view name) const;

    // The mapping file a name stands for: the name itself when the file exists; otherwise,
    // when its folder is a city that a provider serves, the provider folder's file (its
    // "Custom" variant first); else the name unchanged.
    static std::string ResolveMappingFile(const std::string& fileName);
    // The provider folder of a city folder, compared without case; empty when the table has none.
    static std::string ProviderFolderOf(std::string_view cityFolder);
    // Field sizes larger than the schema's for description fields; zero when the rule does
    // not apply to that field of that dataset.
    static size_t FieldSizeFor(std::string_view dataSetName, std::string_view fieldName);

private:
    void BeforeCreateNewDataSet(TMvlXSDClientDataSet& dataSet);
    void BeforeReadRecord(TMvlXSDClientDataSet& dataSet);
    void RewriteGinfesCpf();
    TMvlXSDClientDataSet& Principal() const;
    void RequireOpen() const;

    std::string m_MappingFileName = "Mapping.txt";
    std::string m_ConfigSection = "ENVIAR";
    std::string m_DataSetPrincipal = "Rps";
    Mode m_editMode = Mode::Closed;
    std::unique_ptr<TmvlXSDDataset> m_tree;
};
