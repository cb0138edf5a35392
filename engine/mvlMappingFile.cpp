#include "engine/mvlMappingFile.h"

#include "engine/MemoryTable.h"
#include "engine/TextFile.h"
#include "platform/TextRules.h"

void TmvlMappingFile::LoadFromFile(const std::string& fileName)
{
    LoadFromText(engine::ReadTextFile(fileName));
}

void TmvlMappingFile::LoadFromText(std::string_view text)
{
    m_rows.clear();
    std::string section;
    for (const std::string& line : engine::SplitLines(text)) {
        const std::string_view trimmed = platform::Trim(line);
        if (trimmed.empty() || trimmed.starts_with(';')) {
            continue;
        }
        if (trimmed.starts_with('[') && trimmed.find(']') != std::string_view::npos) {
            section = std::string(platform::Trim(trimmed.substr(1, trimmed.find(']') - 1)));
            continue;
        }
        const size_t equals = line.find('=');
        if (equals == std::string::npos) {
            continue;
        }
        m_rows.push_back(
            Row {engine::CutToCharacters(section, kSectionSize),
                 engine::CutToCharacters(platform::Trim(std::string_view(line).substr(0, equals)), kNameSize),
                 engine::CutToCharacters(std::string_view(line).substr(equals + 1), kValueSize)});
    }
}

bool TmvlMappingFile::SectionExists(std::string_view section) const
{
    // A section with no key=value line holds no row, and so does not exist for the engine.
    for (const Row& row : m_rows) {
        if (platform::EqualsIgnoreCase(row.Section, section)) {
            return true;
        }
    }
    return false;
}

std::string TmvlMappingFile::ReadString(std::string_view section, std::string_view name) const
{
    for (const Row& row : m_rows) {
        if (platform::EqualsIgnoreCase(row.Section, section) && platform::EqualsIgnoreCase(row.Name, name)) {
            return row.Value;
        }
    }
    return {};
}

std::string TmvlMappingFile::NameOfValue(std::string_view section, std::string_view value) const
{
    for (const Row& row : m_rows) {
        if (platform::EqualsIgnoreCase(row.Section, section) && platform::EqualsIgnoreCase(row.Value, value)) {
            return row.Name;
        }
    }
    return {};
}

bool TmvlMappingFile::Obrigatorio(std::string_view name) const
{
    return platform::EqualsIgnoreCase(ReadString("OBRIGATORIEDADE", name), "true");
}

std::vector<std::string> TmvlMappingFile::SectionLines(std::string_view section) const
{
    std::vector<std::string> lines;
    for (const Row& row : m_rows) {
        if (platform::EqualsIgnoreCase(row.Section, section)) {
            lines.push_back(row.Name + "=" + row.Value);
        }
    }
    return lines;
}
