#include "engine/MvlConvertTx2ToDataSet.h"

#include "engine/mvlExceptions.h"
#include "engine/mvlNFSeXsdCustomDataset.h"
#include "platform/Format.h"
#include "platform/TextRules.h"

void TMvlConvertTx2ToDataSet::Prepare()
{
    if (m_prepared) {
        return;
    }
    const TmvlMappingFile& mapping = Owner().Mapping();
    for (const TmvlMappingFile::Row& row : mapping.Rows()) {
        if (platform::EqualsIgnoreCase(row.Section, "comandos")) {
            const std::string name = platform::FoldCase(row.Name);
            const size_t dot = name.find('.');
            Command command {name.substr(0, dot), dot == std::string::npos ? std::string() : name.substr(dot + 1)};
            const std::string keyword = platform::FoldCase(row.Value);
            if (m_commands.emplace(keyword, std::move(command)).second) {
                m_keywords.push_back(row.Value);
            }
        } else if (platform::EqualsIgnoreCase(row.Section, Owner().FieldNamesSection())) {
            m_fieldNames.insert(platform::FoldCase(row.Name));
        }
    }
    m_prepared = true;
}

void TMvlConvertTx2ToDataSet::LoadLines(const std::vector<std::string>& lines)
{
    if (lines.empty()) {
        throw EmvlXSDException("Arquivo Tx2 não atribuído.");
    }
    if (Owner().MappingFileName().empty()) {
        throw EmvlXSDException("Arquivo de mapeamento não atribuído.");
    }
    Prepare();
    // The header the desktop program writes lies before the first command.
    size_t first = 0;
    while (first < lines.size() && !m_commands.contains(platform::FoldCase(lines[first]))) {
        ++first;
    }
    if (first == lines.size()) {
        std::string expected;
        for (const std::string& keyword : m_keywords) {
            expected += expected.empty() ? keyword : ", " + keyword;
        }
        throw EmvlXSDException(platform::Format(
            "Arquivo Tx2 sem comandos: nenhuma das %d linhas é um comando do mapeamento.\rLinha %d: esperado um "
            "dos comandos %s.",
            lines.size(), lines.size(), expected.empty() ? std::string("(nenhum comando no mapeamento)") : expected));
    }
    m_current = nullptr;
    m_skipping = false;
    for (size_t i = first; i < lines.size(); ++i) {
        const std::string& line = lines[i];
        if (platform::Trim(line).empty()) {
            continue;
        }
        try {
            const auto command = m_commands.find(platform::FoldCase(line));
            if (command != m_commands.end()) {
                RunCommand(command->second);
            } else {
                StoreField(line, i + 1);
            }
        } catch (const EmvlXSDEmptyParent& error) {
            throw EmvlXSDTx2EmptyParent(std::string("Erro ao carregar o arquivo Tx2: \r\n") + error.what());
        }
    }
}

void TMvlConvertTx2ToDataSet::RunCommand(const Command& command)
{
    CheckDataSets();
    TMvlXSDClientDataSet* dataSet = Owner().FindDataSet(command.DataSet);
    if (!dataSet) {
        dataSet = Owner().FindDataSetByXPath(command.DataSet);
    }
    if (!dataSet) {
        if (!Owner().IgnoreUnknownElements()) {
            throw EmvlXSDException(platform::Format("DataSet \"%s\" não encontrado na lista.", command.DataSet));
        }
        // The fields that follow belong to nothing the schema knows: they are dropped too.
        m_current = nullptr;
        m_skipping = true;
        return;
    }
    m_skipping = false;
    if (command.Action == "insert") {
        dataSet->InsertRecord();
    } else if (command.Action == "post") {
        dataSet->Post();
    }
    m_current = dataSet;
}

void TMvlConvertTx2ToDataSet::StoreField(const std::string& line, size_t lineNumber)
{
    const size_t equals = line.find('=');
    const std::string name = equals == std::string::npos ? std::string() : line.substr(0, equals);
    if (!m_fieldNames.contains(platform::FoldCase(name))) {
        if (Owner().IgnoreUnknownElements()) {
            return;
        }
        throw EmvlXSDException(platform::Format("Campo inválido: %s\rLinha %d", name, lineNumber));
    }
    if (m_skipping) {
        return;
    }
    if (!m_current) {
        throw EmvlXSDException("Campo não pode ser gravado sem atribuir um comando antes.");
    }
    ImvlXSDField* field = m_current->FindField(name);
    if (!field) {
        throw EmvlXSDException(
            platform::Format("Campo \"%s\" não encontrado no DataSet \"%s\".", name, m_current->Name()));
    }
    field->SetAsString(std::string_view(line).substr(equals + 1));
}
