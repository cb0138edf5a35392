#pragma once

#include "engine/MvlXSDClientDataSet.h"
#include "engine/mvlMappingFile.h"
#include "engine/mvlXmlSchema.h"

#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

using TmvlXsdDataSetNotifyEvent = std::function<void(TMvlXSDClientDataSet& aDataSet)>;
using TmvlXsdBeforeGenerateNode = std::function<void(ImvlXSDField& aField, int& aChosenPath)>;

// The tree of datasets a provider's schema gives for one element: walked from the schema at
// run time, so that the shape of a request is data, never code.
class TmvlCustomXsdDataset
{
public:
    TmvlCustomXsdDataset();
    virtual ~TmvlCustomXsdDataset();
    TmvlCustomXsdDataset(const TmvlCustomXsdDataset&) = delete;
    TmvlCustomXsdDataset& operator=(const TmvlCustomXsdDataset&) = delete;

    const std::string& MappingFileName() const { return m_MappingFileName; }
    virtual void SetMappingFileName(const std::string& fileName) { m_MappingFileName = fileName; }
    // The schema to walk, as an absolute path.
    const std::string& XsdFile() const { return m_XsdFile; }
    void SetXsdFile(std::string fileName) { m_XsdFile = std::move(fileName); }
    const std::vector<std::string>& IgnoredXPaths() const { return m_IgnoredXPaths; }
    void SetIgnoredXPaths(std::vector<std::string> xpaths) { m_IgnoredXPaths = std::move(xpaths); }
    const std::string& StartNode() const { return m_StartNode; }
    void SetStartNode(std::string name) { m_StartNode = std::move(name); }
    const std::string& XMLHeader() const { return m_XMLHeader; }
    void SetXMLHeader(std::string header) { m_XMLHeader = std::move(header); }
    // name=value lines.
    const std::vector<std::string>& RootAttributes() const { return m_RootAttributes; }
    void SetRootAttributes(std::vector<std::string> lines) { m_RootAttributes = std::move(lines); }
    // The lines joined by ";", double quotes removed.
    std::string RootAttributesText() const;
    bool UseNamespacePrefixes() const { return m_UseNamespacePrefixes; }
    void SetUseNamespacePrefixes(bool value) { m_UseNamespacePrefixes = value; }
    bool IgnoreUnknownElements() const { return m_IgnoreUnknownElements; }
    void SetIgnoreUnknownElements(bool value) { m_IgnoreUnknownElements = value; }
    const std::string& FieldNamesSection() const { return m_FieldNamesSection; }
    void SetFieldNamesSection(std::string section) { m_FieldNamesSection = std::move(section); }
    // Sizes string fields by the maxLength facets of the schema instead of 255.
    bool UseFieldLength() const { return m_UseFieldLength; }
    void SetUseFieldLength(bool value) { m_UseFieldLength = value; }
    bool DebugMode() const { return m_DebugMode; }
    void SetDebugMode(bool value) { m_DebugMode = value; }
    // With DebugMode on: how the last tree was generated.
    const std::vector<std::string>& History() const { return m_history; }

    // Prefix declaration name ("xmlns:p", or "xmlns" for a default namespace) and the
    // namespace in double quotes, one pair per namespace met while generating.
    const std::vector<std::pair<std::string, std::string>>& UsedNamespaces() const { return m_UsedNamespaces; }
    const TmvlXmlSchemaList& XmlSchemas() const { return m_XmlSchemas; }

    TmvlXsdDataSetNotifyEvent OnBeforeCreateNewDataSet;
    TmvlXsdDataSetNotifyEvent OnBeforeReadRecord;
    TmvlXsdBeforeGenerateNode OnBeforeGenerateNode;

    // Walks the schema from element E, the root dataset being start node S (default E).
    void GenerateDataSets(const std::string& elementName, const std::string& startNode);
    bool Generated() const { return m_generated; }
    void Clear();
    // Empties every dataset and keeps the tree, so one walk of the schema serves a whole batch.
    // Handles count from 1 again.
    void EmptyDataSets();

    TmvlXsdDatasetList& DataSets() { return m_dataSets; }
    const TmvlXsdDatasetList& DataSets() const { return m_dataSets; }
    // Null when absent; names compare without case.
    TMvlXSDClientDataSet* FindDataSet(std::string_view name) const;
    TMvlXSDClientDataSet* FindDataSetByXPath(std::string_view xpath) const;

    // The element the last tree was generated for, and the path above its start node.
    const std::string& ElementName() const { return m_elementName; }
    const std::string& PathPrefix() const { return m_pathPrefix; }
    // The namespace recorded for an element name, and the prefix ("p:" or "") the main schema
    // declares for it.
    std::string NamespaceOf(std::string_view elementName) const;
    std::string PrefixOf(std::string_view elementName) const;
    // The name under which the main schema declares a namespace: "xmlns:p", or "xmlns".
    std::string DeclarationNameOf(std::string_view uri) const;

    TmvlMappingFile& Mapping() { return m_mapping; }
    const TmvlMappingFile& Mapping() const { return m_mapping; }

private:
    friend class XsdTreeWalker;

    void LoadSchema(const std::string& fileName, const TmvlXmlSchema* includer);

    std::string m_MappingFileName;
    std::string m_XsdFile;
    std::vector<std::string> m_IgnoredXPaths;
    std::string m_StartNode;
    std::string m_XMLHeader;
    std::vector<std::string> m_RootAttributes;
    bool m_UseNamespacePrefixes = false;
    bool m_IgnoreUnknownElements = false;
    std::string m_FieldNamesSection;
    bool m_UseFieldLength = false;
    bool m_DebugMode = false;
    std::vector<std::string> m_history;

    std::vector<std::pair<std::string, std::string>> m_UsedNamespaces;
    TmvlXmlSchemaList m_XmlSchemas;
    TmvlXsdDatasetList m_dataSets;
    TmvlMappingFile m_mapping;
    bool m_generated = false;
    std::string m_elementName;
    std::string m_pathPrefix;
    std::map<std::string, std::string> m_elementNamespaces;
    std::map<std::string, std::string> m_elementPrefixes;
};
