#include "engine/mvlMappingDataset.h"

#include "engine/PointerFiles.h"
#include "engine/TextFile.h"
#include "engine/mvlExceptions.h"
#include "engine/mvlNFSeXmlUtils.h"
#include "engine/mvlXPath.h"
#include "platform/Format.h"
#include "platform/IniFile.h"
#include "platform/ProgramFolder.h"
#include "platform/TextRules.h"

#include <charconv>

namespace {

constexpr std::string_view kSectionPrefix = "PrintXml_";
constexpr std::string_view kOutrasInformacoes = "OutrasInformacoes";
constexpr size_t kDefaultSize = 255;
constexpr size_t kOutrasInformacoesSize = 2000;
constexpr std::string_view kDeclaration = R"(<?xml version="1.0" encoding="utf-8"?>)";

// "[60]" gives 60; anything else between the brackets, 255.
size_t BracketSize(std::string_view value)
{
    std::string_view inner = platform::Trim(value);
    if (inner.starts_with('[')) {
        inner.remove_prefix(1);
    }
    if (inner.ends_with(']')) {
        inner.remove_suffix(1);
    }
    size_t size = 0;
    const auto [end, error] = std::from_chars(inner.data(), inner.data() + inner.size(), size);
    return error == std::errc() && end == inner.data() + inner.size() && size > 0 ? size : kDefaultSize;
}

std::string ReplaceAll(std::string text, std::string_view from, std::string_view to)
{
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
        text.replace(at, from.size(), to);
    }
    return text;
}

engine::XmlNode ChildNamed(engine::XmlNode node, std::string_view name)
{
    for (const engine::XmlNode& child : node.Children()) {
        if (child.LocalName() == name) {
            return child;
        }
    }
    return {};
}

// A field's path below its record ("/Nfse/InfNfse/Numero"), step by step by local name.
engine::XmlNode NodeAtPath(engine::XmlNode record, std::string_view path)
{
    engine::XmlNode node = record;
    size_t start = 0;
    while (node && start <= path.size()) {
        const size_t slash = path.find('/', start);
        const std::string_view step = path.substr(start, slash == std::string_view::npos ? path.npos : slash - start);
        if (!step.empty()) {
            node = ChildNamed(node, step);
        }
        if (slash == std::string_view::npos) {
            break;
        }
        start = slash + 1;
    }
    return node;
}

} // namespace

std::vector<std::pair<std::string, std::string>> TmvlMappingDatasets::ReadPrintSection(const std::string& fileName,
                                                                                       const std::string& section) const
{
    std::string current = fileName;
    // A section may live in a shared file; the redirection is followed as often as it is made,
    // but a chain that comes back to a file it has read would never end.
    std::vector<std::string> visited;
    while (true) {
        const platform::IniFile ini(current);
        if (!ini.SectionExists(section)) {
            throw EmvlNFSeMappingDatasetsException(
                platform::Format("Dataset de Impressão \"%s\" não configurado no Mapping:\r%s",
                                 section.substr(kSectionPrefix.size()), m_MappingFileName));
        }
        auto lines = ini.ReadSectionValues(section);
        if (lines.empty() || !platform::EqualsIgnoreCase(lines.front().first, "FILE")) {
            return lines;
        }
        visited.push_back(current);
        current = platform::ExtractFilePath(current) + std::string(platform::Trim(lines.front().second));
        for (const std::string& seen : visited) {
            if (seen == current) {
                throw EmvlNFSeMappingDatasetsException(
                    platform::Format("Redirecionamento circular da seção \"%s\" no Mapping:\r%s", section, current));
            }
        }
    }
}

void TmvlMappingDatasets::Debug(size_t depth, const std::string& line)
{
    if (m_DebugMode) {
        m_log.push_back(std::string(depth, '\t') + line);
    }
}

void TmvlMappingDatasets::BuildDataSets(const std::string& name)
{
    Build(name, nullptr, 0);
}

TMvlXSDClientDataSet& TmvlMappingDatasets::Build(const std::string& name, TMvlXSDClientDataSet* master, size_t depth)
{
    const auto lines = ReadPrintSection(platform::NativePath(m_MappingFileName), std::string(kSectionPrefix) + name);
    auto owned = std::make_unique<TMvlXSDClientDataSet>(name);
    TMvlXSDClientDataSet& dataSet = *owned;
    m_dataSets.push_back(std::move(owned));
    dataSet.SetXPath((master ? master->XPath() : std::string()) + "/" + name + "/" + std::string(kRecordName) + "[]");
    Debug(depth, "NOVO DATASET - nome: " + name + ", xpath: " + dataSet.XPath());
    if (master) {
        dataSet.SetMasterDataSet(master);
    }
    std::vector<std::pair<TMvlFieldLink*, std::string>> children;
    for (const auto& [fieldName, value] : lines) {
        const std::string text(platform::Trim(value));
        if (text.starts_with('/') && text.ends_with("[]")) {
            TMvlFieldLink& link = dataSet.AddLinkField(fieldName);
            link.SetXPath({text});
            children.emplace_back(&link, fieldName);
            Debug(depth, platform::Format("Create Field - nome: %s, tamanho: %d", fieldName, 0));
            continue;
        }
        size_t size = text.starts_with('/') ? kDefaultSize : BracketSize(text);
        if (fieldName == kOutrasInformacoes) {
            size = kOutrasInformacoesSize;
        }
        TmvlXSDStringField& field = dataSet.AddStringField(fieldName, size);
        if (text.starts_with('/')) {
            field.SetXPath({text});
        }
        Debug(depth, platform::Format("Create Field - nome: %s, tamanho: %d", fieldName, size));
    }
    if (OnBeforeCreateNewDataSet) {
        OnBeforeCreateNewDataSet(dataSet);
    }
    dataSet.CreateDataSet();
    for (const auto& [link, childName] : children) {
        TMvlXSDClientDataSet& child = Build(childName, &dataSet, depth + 1);
        link->SetXPath({child.XPath()});
    }
    Debug(depth, "FIM DO DATASET " + name);
    return dataSet;
}

TMvlXSDClientDataSet& TmvlMappingDatasets::DataSet(std::string_view name) const
{
    for (const auto& dataSet : m_dataSets) {
        if (platform::EqualsIgnoreCase(dataSet->Name(), name)) {
            return *dataSet;
        }
    }
    throw EmvlNFSeMappingDatasetsException(platform::Format("Dataset \"%s\" não encontrado", name));
}

void TmvlMappingDatasets::Clear()
{
    m_dataSets.clear();
    m_log.clear();
    m_DebugMode = false;
    m_MappingFileName.clear();
}

void TmvlMappingDatasets::LoadXml(std::string_view xml, std::string_view dataSetName)
{
    if (m_dataSets.empty()) {
        throw EmvlNFSeMappingDatasetsException("Datasets ainda não foram gerados");
    }
    TmvlXPath doc;
    if (!doc.TryLoadXML(xml)) {
        throw EmvlNFSeMappingDatasetsException("XML inválido");
    }
    TMvlXSDClientDataSet& start = dataSetName.empty() ? *m_dataSets.front() : DataSet(dataSetName);
    const engine::XmlNode root = doc.DocumentElement();
    const engine::XmlNode list =
        root && root.LocalName() == kRootName ? ChildNamed(root, start.Name()) : engine::XmlNode();
    if (!list) {
        throw EmvlNFSeMappingDatasetsException("XML não corresponde ao dataset gerado");
    }
    LoadRecords(start, list);
}

void TmvlMappingDatasets::LoadRecords(TMvlXSDClientDataSet& dataSet, engine::XmlNode list)
{
    for (const engine::XmlNode& record : list.Children()) {
        if (record.LocalName() != kRecordName) {
            continue;
        }
        dataSet.InsertRecord();
        std::vector<std::pair<TMvlXSDClientDataSet*, engine::XmlNode>> children;
        for (const auto& field : dataSet.Fields()) {
            if (field->Role() == ImvlXSDField::TRole::Handle) {
                continue;
            }
            if (field->Role() == ImvlXSDField::TRole::Link) {
                for (const auto& child : m_dataSets) {
                    if (child->MasterDataSet() == &dataSet && child->Name() == field->FieldName()) {
                        children.emplace_back(child.get(), ChildNamed(record, child->Name()));
                    }
                }
                continue;
            }
            const engine::XmlNode node = field->XPath().empty() ? ChildNamed(record, field->FieldName())
                                                                : NodeAtPath(record, field->XPath().front());
            if (!node) {
                continue;
            }
            std::string value = node.Text();
            if (field->FieldName() == kOutrasInformacoes) {
                value = ReplaceAll(ReplaceAll(value, "&amp;", "&"), "|", "\n");
            }
            field->SetAsString(value);
        }
        dataSet.Post();
        // The children follow the record just posted, so they load under it.
        for (auto& [child, node] : children) {
            if (node) {
                LoadRecords(*child, node);
            }
        }
    }
}

std::string TmvlMappingDatasets::DataSetXml(TMvlXSDClientDataSet& dataSet) const
{
    const std::string record(kRecordName);
    std::string xml = "<" + dataSet.Name() + ">";
    for (dataSet.First(); !dataSet.Eof(); dataSet.Next()) {
        xml += "<" + record + ">";
        for (const auto& field : dataSet.Fields()) {
            if (field->Role() == ImvlXSDField::TRole::Link) {
                for (const auto& child : m_dataSets) {
                    if (child->MasterDataSet() == &dataSet && child->Name() == field->FieldName()) {
                        xml += DataSetXml(*child);
                    }
                }
                continue;
            }
            // Texts hold "&" and "<" as they are ("A & B Ltda"): written raw they would make
            // the print XML ill-formed and no PDF would come out of it.
            xml +=
                platform::Format("<%s>%s</%s>", field->FieldName(), EscapeXml(field->AsString()), field->FieldName());
        }
        xml += "</" + record + ">";
    }
    xml += "</" + dataSet.Name() + ">";
    dataSet.First();
    return xml;
}

std::string TmvlMappingDatasets::Declaration() const
{
    return std::string(kDeclaration);
}

std::string TmvlMappingDatasets::GetXml()
{
    const std::string main = m_dataSets.empty() ? std::string() : DataSetXml(*m_dataSets.front());
    return FormatXml(platform::Format("%s<%s>%s</%s>", Declaration(), kRootName, main, kRootName));
}

std::string TmvlPrintNfseDatasets::GetXml()
{
    const std::string main = DataSets().empty() ? std::string() : DataSetXml(*DataSets().front());
    std::string config;
    for (const auto& dataSet : DataSets()) {
        if (dataSet.get() != DataSets().front().get() && platform::EqualsIgnoreCase(dataSet->Name(), "Config")) {
            config = DataSetXml(*dataSet);
        }
    }
    return FormatXml(platform::Format("%s<%s>%s%s</%s>", Declaration(), kRootName, main, config, kRootName));
}

std::string TmvlMappingDatasets::LoggedRpsXml(const std::string& pointerFolder, std::string_view cpfCnpj,
                                              std::string_view numero, std::string_view serie,
                                              std::string_view tipo) const
{
    const std::string pointer = engine::PointerFileName(cpfCnpj, numero, serie, tipo);
    const std::string logFile = engine::ReadPointerFile(pointerFolder, pointer);
    if (logFile.empty() || !platform::FileExists(logFile)) {
        throw EmvlNFSeMappingDatasetsException(
            platform::Format("Não foi encontrado o arquivo-ponteiro para a NFSe com a chave \"%s\"",
                             pointer.substr(0, pointer.size() - 4)));
    }
    const std::string rps = engine::FindRpsInLog(engine::ReadTextFile(logFile), cpfCnpj, numero, serie, tipo);
    if (rps.empty()) {
        throw EmvlNFSeMappingDatasetsException("Não foi possível encontrar o RPS no arquivo de log");
    }
    return rps;
}

std::string TmvlMappingDatasets::ConsultPrintXml(std::string_view answer, const std::string& pointerFolder) const
{
    TmvlXPath doc;
    doc.LoadXML(answer);
    if (!doc.SelectNodes(R"(//*[local-name()="CompNfse"])")) {
        throw EmvlNFSeMappingDatasetsException("Não foi possível encontrar NFSe na consulta");
    }
    const std::vector<engine::XmlNode> notes = doc.CurrentNodeList();
    std::string xml = platform::Format("%s<%s><%s>", kDeclaration, kRootName, kRecordName);
    for (const engine::XmlNode& note : notes) {
        const engine::XmlNode identification = engine::FirstDescendant(note, "IdentificacaoRps");
        const auto part = [&](std::string_view name) {
            const engine::XmlNode node = engine::FirstDescendant(identification, name);
            return node ? std::string(platform::Trim(node.Text())) : std::string();
        };
        const std::string rps = LoggedRpsXml(pointerFolder, engine::IssuerDocument(note, "IdentificacaoPrestador"),
                                             part("Numero"), part("Serie"), part("Tipo"));
        const engine::XmlNode infNfse = engine::FirstDescendant(note, "InfNfse");
        xml += "<Rps>" + RootOuterXml(StripNamespaces(rps)) + "</Rps>";
        xml += "<Nfse>" + (infNfse ? RootOuterXml(StripNamespaces(infNfse.Xml())) : std::string()) + "</Nfse>";
    }
    xml += platform::Format("</%s></%s>", kRecordName, kRootName);
    return FormatXml(xml);
}
