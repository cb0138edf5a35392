#pragma once

#include "engine/mvlNFSeXsdCustomDataset.h"

#include <memory>
#include <string>
#include <string_view>
#include <vector>

class TmvlConvertFactory;

enum class TmvlFileType
{
    ftTx2 = 0,
    ftRec = 1,
    ftXml = 2,
    ftDatabase = 3
};

// A dataset tree configured by one section of a mapping file: which schema, which element,
// how the XML is written. Loads TX2 or XML into the tree and writes the tree as XML.
class TmvlXSDDataset : public TmvlCustomXsdDataset
{
public:
    TmvlXSDDataset();
    ~TmvlXSDDataset() override;

    const std::string& XSDElementName() const { return m_XSDElementName; }
    void SetXSDElementName(std::string name) { m_XSDElementName = std::move(name); }
    const std::string& XSDStartNode() const { return m_XSDStartNode; }
    void SetXSDStartNode(std::string name) { m_XSDStartNode = std::move(name); }
    const std::string& ConfigSection() const { return m_ConfigSection; }
    void SetConfigSection(std::string section) { m_ConfigSection = std::move(section); }
    // Where the section's XsdFile is looked for; empty means the mapping file's folder.
    const std::string& SchemaDirectory() const { return m_schemaDirectory; }
    void SetSchemaDirectory(std::string folder) { m_schemaDirectory = std::move(folder); }

    // Loads the mapping table (when the name changes) and reads the configuration section.
    void SetMappingFileName(const std::string& fileName) override;

    const std::string& FileName() const { return m_FileName; }
    // The file must exist.
    void SetFileName(const std::string& fileName);
    TmvlFileType FileType() const { return m_FileType; }
    void SetFileType(TmvlFileType type) { m_FileType = type; }
    const std::string& FileContent() const { return m_FileContent; }
    void SetFileContent(std::string content) { m_FileContent = std::move(content); }

    // Generates the tree for XSDElementName from XSDStartNode.
    void GenerateDataSets();

    void LoadFromTx2File(const std::string& fileName);
    void LoadFromTx2Text(std::string_view text);
    void LoadFromXmlFile(const std::string& fileName);
    void LoadFromXml(std::string_view xml);

    std::string GetXml();

    // Fails with "DataSet %s não foi encontrado".
    TmvlXsdClientDatasetHandler GetDataSetHandler(std::string_view name) const;

    // A mapping file for the generated tree, to be completed by hand.
    std::vector<std::string> MappingSkeleton() const;
    void SaveMappingSkeleton(const std::string& fileName) const;

private:
    void ReadConfigSection();
    void EnsureGenerated();
    TmvlConvertFactory& Converter();
    void DefaultBeforeReadRecord(TMvlXSDClientDataSet& dataSet) const;

    std::string m_XSDElementName;
    std::string m_XSDStartNode;
    std::string m_ConfigSection;
    std::string m_schemaDirectory;
    std::string m_FileName;
    TmvlFileType m_FileType = TmvlFileType::ftTx2;
    std::string m_FileContent;
    std::string m_loadedMapping;
    std::unique_ptr<TmvlConvertFactory> m_converter;
};
