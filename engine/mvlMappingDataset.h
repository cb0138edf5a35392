#pragma once

#include "engine/MvlXSDClientDataSet.h"
#include "engine/mvlCustomXML.h"

#include <functional>
#include <string>
#include <string_view>
#include <vector>

using TmvlXsdDataSetNotify = std::function<void(TMvlXSDClientDataSet& aDataSet)>;

// Flat datasets for printing, built from a print mapping (one section "PrintXml_" + name per
// dataset) and filled from NFS-e XML; they also assemble the RPS-plus-NFS-e XML printing needs.
class TmvlMappingDatasets
{
public:
    static constexpr std::string_view kRootName = "Impressao";
    static constexpr std::string_view kRecordName = "Registro";

    TmvlMappingDatasets() = default;
    virtual ~TmvlMappingDatasets() = default;
    TmvlMappingDatasets(const TmvlMappingDatasets&) = delete;
    TmvlMappingDatasets& operator=(const TmvlMappingDatasets&) = delete;

    const std::string& MappingFileName() const { return m_MappingFileName; }
    void SetMappingFileName(std::string fileName) { m_MappingFileName = std::move(fileName); }
    bool DebugMode() const { return m_DebugMode; }
    void SetDebugMode(bool value) { m_DebugMode = value; }
    const std::vector<std::string>& Log() const { return m_log; }
    TmvlXsdDataSetNotify OnBeforeCreateNewDataSet;

    // Builds dataset `name` and its children from the print mapping; the first one built is
    // the main dataset.
    void BuildDataSets(const std::string& name);
    // Fills the datasets from print XML ("Impressao/<dataset>/Registro…"), from the main
    // dataset or from the named one.
    void LoadXml(std::string_view xml, std::string_view dataSetName = {});
    // The datasets as print XML; field texts are escaped, so the result is well-formed.
    virtual std::string GetXml();

    // The print XML of a consult answer: per note, the RPS found through its pointer file in
    // `pointerFolder` and the note itself.
    std::string ConsultPrintXml(std::string_view answer, const std::string& pointerFolder) const;
    // The RPS of a note as logged when its lot was sent, through the pointer file.
    std::string LoggedRpsXml(const std::string& pointerFolder, std::string_view cpfCnpj, std::string_view numero,
                             std::string_view serie, std::string_view tipo) const;

    // "Dataset "%s" não encontrado".
    TMvlXSDClientDataSet& DataSet(std::string_view name) const;
    const TmvlXsdDatasetList& DataSets() const { return m_dataSets; }
    void Clear();

protected:
    std::string DataSetXml(TMvlXSDClientDataSet& dataSet) const;
    std::string Declaration() const;

private:
    std::vector<std::pair<std::string, std::string>> ReadPrintSection(const std::string& fileName,
                                                                      const std::string& section) const;
    TMvlXSDClientDataSet& Build(const std::string& name, TMvlXSDClientDataSet* master, size_t depth);
    void LoadRecords(TMvlXSDClientDataSet& dataSet, engine::XmlNode list);
    void Debug(size_t depth, const std::string& line);

    std::string m_MappingFileName;
    bool m_DebugMode = false;
    std::vector<std::string> m_log;
    TmvlXsdDatasetList m_dataSets;
};

// The engine's print datasets: the main dataset's XML is followed by the "Config" dataset's.
class TmvlPrintNfseDatasets : public TmvlMappingDatasets
{
public:
    std::string GetXml() override;
};
