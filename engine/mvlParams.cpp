#include "engine/mvlParams.h"

#include "engine/mvlExceptions.h"
#include "platform/Format.h"
#include "platform/TextRules.h"

std::string TmvlParams::NameOf(std::string_view line)
{
    return std::string(line.substr(0, line.find('=')));
}

int TmvlParams::Find(std::string_view name) const
{
    const std::string_view wanted = platform::Trim(name);
    for (size_t i = 0; i < m_lines.size(); ++i) {
        if (platform::EqualsIgnoreCase(NameOf(m_lines[i]), wanted)) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

void TmvlParams::Add(std::string_view name, std::string_view defaultValue)
{
    if (Exists(name)) {
        throw EmvlNFSeCollectionException(platform::Format("Parâmetro \"%s\" já foi registrado.", name));
    }
    m_lines.push_back(std::string(platform::Trim(name)) + "=" + std::string(platform::Trim(defaultValue)));
}

std::string TmvlParams::Value(std::string_view name, bool required, std::string_view defaultValue) const
{
    if (platform::Trim(name).empty()) {
        throw EmvlNFSeCheckParams("Nome do parâmetro está vazio");
    }
    const int index = Find(name);
    if (index < 0) {
        throw EmvlNFSeCheckParams(platform::Format("Parâmetro \"%s\" não foi encontrado ou não possui valor", name));
    }
    const std::string& line = m_lines[static_cast<size_t>(index)];
    std::string value = line.substr(line.find('=') + 1);
    if (required && value.empty()) {
        if (defaultValue.empty()) {
            throw EmvlNFSeCheckParams(platform::Format("Parâmetro \"%s\" não possui valor", name));
        }
        value = std::string(defaultValue);
    }
    return value;
}

void TmvlParams::SetValue(std::string_view name, std::string_view value)
{
    const int index = Find(name);
    if (index < 0) {
        throw EmvlNFSeCollectionException(
            platform::Format("Não foi encontrado nenhum parâmetro com o nome \"%s\"", name));
    }
    std::string& line = m_lines[static_cast<size_t>(index)];
    line = NameOf(line) + "=" + std::string(value);
}

std::string TmvlParams::Line(int index) const
{
    if (index < 0 || index >= Count()) {
        throw EmvlNFSeCheckParams(platform::Format("Índice de parâmetro fora dos limites: %d", index));
    }
    return m_lines[static_cast<size_t>(index)];
}

void TmvlParams::SetLine(int index, std::string_view line)
{
    if (index < 0 || index >= Count()) {
        throw EmvlNFSeCheckParams(platform::Format("Índice de parâmetro fora dos limites: %d", index));
    }
    m_lines[static_cast<size_t>(index)] = std::string(line);
}

std::string TmvlParams::DelimitedText() const
{
    std::string text;
    for (size_t i = 0; i < m_lines.size(); ++i) {
        if (i > 0) {
            text += kDelimiter;
        }
        text += m_lines[i];
    }
    return text;
}
