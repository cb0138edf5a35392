#include "engine/mvlXSDDataset.h"

#include "engine/GovX16Utility.h"
#include "engine/MvlConvertTx2ToDataSet.h"
#include "engine/MvlConvertXMLToDataSet.h"
#include "engine/TextFile.h"
#include "engine/mvlExceptions.h"
#include "platform/Cp1252.h"
#include "platform/Format.h"
#include "platform/ProgramFolder.h"
#include "platform/TextRules.h"

#include <charconv>
#include <fstream>

namespace {

// Relative names are taken in the engine's base folder, as every engine file name is.
std::string AbsolutePath(const std::string& fileName)
{
    return engine::GovX16Utility().ExpandPath(fileName);
}

bool ReadsTrue(std::string_view value)
{
    const std::string_view text = platform::Trim(value);
    if (platform::EqualsIgnoreCase(text, "true")) {
        return true;
    }
    long long number = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
    return error == std::errc() && end == text.data() + text.size() && number != 0;
}

std::vector<std::string> Split(std::string_view text, char separator)
{
    std::vector<std::string> parts;
    size_t start = 0;
    while (start <= text.size()) {
        const size_t end = std::min(text.find(separator, start), text.size());
        const std::string_view part = platform::Trim(text.substr(start, end - start));
        if (!part.empty()) {
            parts.emplace_back(part);
        }
        start = end + 1;
    }
    return parts;
}

} // namespace

TmvlXSDDataset::TmvlXSDDataset()
{
    OnBeforeReadRecord = [this](TMvlXSDClientDataSet& dataSet) { DefaultBeforeReadRecord(dataSet); };
}

TmvlXSDDataset::~TmvlXSDDataset() = default;

void TmvlXSDDataset::SetMappingFileName(const std::string& fileName)
{
    const std::string absolute = AbsolutePath(fileName);
    if (!platform::FileExists(absolute)) {
        throw EmvlXSDFileNotFound(platform::Format("Arquivo não encontrado: \"%s\"", absolute));
    }
    if (absolute != m_loadedMapping) {
        try {
            Mapping().LoadFromFile(absolute);
        } catch (const std::exception&) {
            Mapping().Clear();
            m_loadedMapping.clear();
            throw EmvlXSDException("Erro ao carregar arquivo de Mapping.");
        }
        m_loadedMapping = absolute;
        m_converter.reset();
    }
    TmvlCustomXsdDataset::SetMappingFileName(absolute);
    ReadConfigSection();
}

void TmvlXSDDataset::ReadConfigSection()
{
    if (m_ConfigSection.empty()) {
        throw EmvlXSDException("Propriedade ConfigSection não configurada.");
    }
    const TmvlMappingFile& mapping = Mapping();
    if (!mapping.SectionExists(m_ConfigSection)) {
        return;
    }
    const std::string xsdFile = mapping.ReadString(m_ConfigSection, "XsdFile");
    if (xsdFile.empty()) {
        SetXsdFile("");
    } else {
        const std::string folder =
            m_schemaDirectory.empty() ? platform::ExtractFilePath(MappingFileName()) : m_schemaDirectory;
        const std::string path = AbsolutePath(platform::JoinPath(folder, platform::NativePath(xsdFile)));
        if (!platform::FileExists(path)) {
            throw EmvlXSDFileNotFound(platform::Format("Arquivo não encontrado: \"%s\"", path));
        }
        SetXsdFile(path);
    }
    SetIgnoredXPaths(Split(mapping.ReadString(m_ConfigSection, "IgnoredXPaths"), ';'));
    m_XSDElementName = mapping.ReadString(m_ConfigSection, "XSDElementName");
    SetXMLHeader(mapping.ReadString(m_ConfigSection, "XMLHeader"));
    m_XSDStartNode = mapping.ReadString(m_ConfigSection, "XSDStartNode");
    SetUseNamespacePrefixes(ReadsTrue(mapping.ReadString(m_ConfigSection, "UseNamespacePrefixes")));
    SetIgnoreUnknownElements(ReadsTrue(mapping.ReadString(m_ConfigSection, "IgnoreUnknownElements")));
    SetRootAttributes(Split(mapping.ReadString(m_ConfigSection, "RootAttributes"), ';'));
    const std::string fieldNames = mapping.ReadString(m_ConfigSection, "FieldNamesSection");
    SetFieldNamesSection(fieldNames.empty() ? m_XSDElementName : fieldNames);
}

void TmvlXSDDataset::SetFileName(const std::string& fileName)
{
    if (!platform::FileExists(platform::FindFileIgnoringCase(fileName))) {
        throw EmvlXSDFileNotFound(platform::Format("Arquivo não encontrado: \"%s\"", fileName));
    }
    m_FileName = fileName;
}

void TmvlXSDDataset::GenerateDataSets()
{
    TmvlCustomXsdDataset::GenerateDataSets(m_XSDElementName, m_XSDStartNode);
}

void TmvlXSDDataset::EnsureGenerated()
{
    if (!Generated()) {
        GenerateDataSets();
    }
}

TmvlConvertFactory& TmvlXSDDataset::Converter()
{
    const bool fits = m_converter &&
        ((m_FileType == TmvlFileType::ftTx2 && dynamic_cast<TMvlConvertTx2ToDataSet*>(m_converter.get())) ||
         (m_FileType == TmvlFileType::ftXml && dynamic_cast<TMvlConvertXMLToDataSet*>(m_converter.get())) ||
         m_FileType == TmvlFileType::ftRec);
    if (fits) {
        return *m_converter;
    }
    switch (m_FileType) {
    case TmvlFileType::ftTx2:
        m_converter = std::make_unique<TMvlConvertTx2ToDataSet>(*this);
        break;
    case TmvlFileType::ftXml:
        m_converter = std::make_unique<TMvlConvertXMLToDataSet>(*this);
        break;
    case TmvlFileType::ftRec:
        m_converter = std::make_unique<TmvlConvertFactory>(*this);
        break;
    case TmvlFileType::ftDatabase:
        throw EmvlXSDException("A carga de datasets a partir de outro dataset não está disponível.");
    }
    return *m_converter;
}

void TmvlXSDDataset::LoadFromTx2File(const std::string& fileName)
{
    const std::string found = platform::FindFileIgnoringCase(fileName);
    if (!platform::FileExists(found)) {
        throw EmvlXSDFileNotFound(platform::Format("O arquivo TX2 \"%s\" não foi encontrado.", fileName));
    }
    std::string text;
    try {
        text = engine::ReadTextFile(found);
    } catch (const std::exception& error) {
        throw EmvlXSDException(platform::Format("Erro ao ler o arquivo TX2 \"%s\": %s", fileName, error.what()));
    }
    m_FileName = found;
    LoadFromTx2Text(text);
}

void TmvlXSDDataset::LoadFromTx2Text(std::string_view text)
{
    m_FileType = TmvlFileType::ftTx2;
    m_FileContent = std::string(text);
    EnsureGenerated();
    static_cast<TMvlConvertTx2ToDataSet&>(Converter()).LoadLines(engine::SplitLines(text));
}

void TmvlXSDDataset::LoadFromXmlFile(const std::string& fileName)
{
    const std::string found = platform::FindFileIgnoringCase(fileName);
    if (!platform::FileExists(found)) {
        throw EmvlXSDFileNotFound(platform::Format("O arquivo XML \"%s\" não foi encontrado.", fileName));
    }
    std::string text;
    try {
        text = engine::ReadTextFile(found);
    } catch (const std::exception& error) {
        throw EmvlXSDException(platform::Format("Erro ao ler o arquivo XML \"%s\": %s", fileName, error.what()));
    }
    m_FileName = found;
    LoadFromXml(text);
}

void TmvlXSDDataset::LoadFromXml(std::string_view xml)
{
    if (platform::Trim(xml).empty()) {
        throw EmvlXSDException("XML não informado.");
    }
    m_FileType = TmvlFileType::ftXml;
    m_FileContent = std::string(xml);
    EnsureGenerated();
    static_cast<TMvlConvertXMLToDataSet&>(Converter()).LoadXml(xml);
}

std::string TmvlXSDDataset::GetXml()
{
    EnsureGenerated();
    if (!m_converter) {
        return TmvlConvertFactory(*this).GetXml();
    }
    return m_converter->GetXml();
}

TmvlXsdClientDatasetHandler TmvlXSDDataset::GetDataSetHandler(std::string_view name) const
{
    TMvlXSDClientDataSet* dataSet = FindDataSet(name);
    if (!dataSet) {
        throw EmvlXSDException(platform::Format("DataSet %s não foi encontrado", name));
    }
    return TmvlXsdClientDatasetHandler(*dataSet);
}

void TmvlXSDDataset::DefaultBeforeReadRecord(TMvlXSDClientDataSet& dataSet) const
{
    for (const auto& field : dataSet.Fields()) {
        if (field->Role() != ImvlXSDField::TRole::Data) {
            continue;
        }
        field->SetGenerateFieldInXML(!field->IsNull() ||
                                     (!field->XPath().empty() && Mapping().Obrigatorio(field->XPath().front())));
    }
}

std::vector<std::string> TmvlXSDDataset::MappingSkeleton() const
{
    if (!Generated()) {
        throw EmvlXSDException("Datasets não foram gerados");
    }
    std::vector<std::string> lines;
    const std::string rule = ";" + std::string(99, '*');
    const auto block = [&](const std::string& title) {
        lines.push_back(rule);
        lines.push_back(";        " + title);
        lines.push_back(rule);
    };
    block("ARQUIVO DE MAPEAMENTO");
    lines.emplace_back();
    block("Configurações para a geração do XML");
    lines.emplace_back("[XML]");
    lines.push_back("XSDElementName=" + ElementName());
    lines.push_back("XSDFile=" + platform::ExtractFileName(XsdFile()));
    lines.push_back("XSDStartNode=" + StartNode());
    std::string ignored;
    for (const std::string& xpath : IgnoredXPaths()) {
        ignored += ignored.empty() ? xpath : ";" + xpath;
    }
    lines.push_back("IgnoredXPaths=" + ignored);
    lines.emplace_back("UseNamespacePrefixes=0");
    lines.emplace_back("XMLHeader=");
    lines.emplace_back("RootAttributes=");
    lines.emplace_back();
    block("Nomes dos comandos para os respectivos datasets (para uso nos arquivos TX2)");
    lines.emplace_back("[comandos]");
    for (size_t i = 0; i < DataSets().size(); ++i) {
        const std::string& name = DataSets()[i]->Name();
        const std::string suffix = i == 0 ? std::string() : platform::UpperCp1252(name);
        lines.push_back(name + ".Insert=INCLUIR" + suffix);
        lines.push_back(name + ".Post=SALVAR" + suffix);
    }
    lines.emplace_back();
    block("Nomes dos Campos do XML");
    lines.push_back("[" + DataSets().front()->Name() + "]");
    for (const auto& dataSet : DataSets()) {
        for (const auto& field : dataSet->Fields()) {
            if (field->Role() == ImvlXSDField::TRole::Data) {
                lines.push_back(platform::Format("%s=%s", field->FieldName(),
                                                 field->XPath().empty() ? std::string() : field->XPath().front()));
            }
        }
    }
    return lines;
}

void TmvlXSDDataset::SaveMappingSkeleton(const std::string& fileName) const
{
    std::string text;
    for (const std::string& line : MappingSkeleton()) {
        text += line + "\r\n";
    }
    // Mapping files are Windows-1252 like the rest of the engine's files; a name the code page
    // cannot hold keeps the whole file in UTF-8 rather than losing it.
    std::string bytes;
    try {
        bytes = platform::Utf8ToCp1252(text);
    } catch (const platform::EncodingError&) {
        bytes = text;
    }
    std::ofstream out(fileName, std::ios::binary | std::ios::trunc);
    out << bytes;
    out.close();
    if (!out) {
        throw EmvlXSDException(platform::Format("Não foi possível gravar o arquivo de mapeamento \"%s\".", fileName));
    }
}
