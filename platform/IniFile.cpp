#include "platform/IniFile.h"

#include "platform/AtomicFile.h"
#include "platform/Cp1252.h"
#include "platform/Format.h"
#include "platform/TextRules.h"

#include <charconv>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace platform {
namespace {

constexpr std::string_view kBom = "\xEF\xBB\xBF";

bool IsAscii(std::string_view text)
{
    for (char c : text) {
        if (static_cast<unsigned char>(c) >= 0x80) {
            return false;
        }
    }
    return true;
}

void RequireSingleLine(std::string_view what, std::string_view text, std::string_view forbidden)
{
    if (text.find_first_of(forbidden) != std::string_view::npos) {
        throw std::invalid_argument(Format("%s inválido para arquivo INI: \"%s\".", what, text));
    }
}

std::string ReadWholeFile(const std::string& fileName, bool& exists)
{
    std::ifstream in(fileName, std::ios::binary);
    exists = static_cast<bool>(in);
    if (!exists) {
        return {};
    }
    std::ostringstream buffer;
    buffer << in.rdbuf();
    if (in.bad()) {
        throw std::runtime_error(Format("Não foi possível ler o arquivo %s.", fileName));
    }
    return buffer.str();
}

} // namespace

IniFile::Line IniFile::RawLine(std::string_view text)
{
    Line line;
    line.Text = std::string(text);
    return line;
}

IniFile::IniFile(std::string fileName, Encoding encoding)
    : m_fileName(std::move(fileName))
    , m_encoding(encoding == Encoding::Auto ? Encoding::Cp1252 : encoding)
{
    bool exists = false;
    std::string raw = ReadWholeFile(m_fileName, exists);
    if (raw.starts_with(kBom)) {
        m_bom = true;
        m_encoding = Encoding::Utf8;
        raw.erase(0, kBom.size());
    } else if (encoding == Encoding::Auto && !IsAscii(raw) && IsValidUtf8(raw)) {
        m_encoding = Encoding::Utf8;
    }
    if (m_encoding == Encoding::Utf8) {
        if (!IsValidUtf8(raw)) {
            throw EncodingError(Format("O arquivo %s não está em UTF-8 válido.", m_fileName));
        }
        Parse(raw);
        return;
    }
    try {
        Parse(Cp1252ToUtf8(raw));
    } catch (const EncodingError& e) {
        throw EncodingError(Format("Arquivo %s: %s", m_fileName, e.what()));
    }
}

IniFile IniFile::FromText(std::string_view text)
{
    IniFile ini;
    ini.m_encoding = Encoding::Utf8;
    ini.Parse(text);
    return ini;
}

void IniFile::Parse(std::string_view text)
{
    m_sections.clear();
    m_sections.emplace_back(); // lines before the first header
    const size_t firstBreak = text.find('\n');
    if (firstBreak != std::string_view::npos && firstBreak > 0 && text[firstBreak - 1] == '\r') {
        m_lineBreak = "\r\n";
    }
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        std::string_view line = text.substr(pos, end == std::string_view::npos ? std::string_view::npos : end - pos);
        pos = end == std::string_view::npos ? text.size() : end + 1;
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        const std::string_view trimmed = TrimLeft(line);
        if (trimmed.starts_with('[') && trimmed.find(']') != std::string_view::npos) {
            Section section;
            section.Name = std::string(Trim(trimmed.substr(1, trimmed.find(']') - 1)));
            section.HasHeader = true;
            section.Lines.push_back(RawLine(line));
            m_sections.push_back(std::move(section));
            continue;
        }
        Line entry = RawLine(line);
        const size_t equals = line.find('=');
        if (!trimmed.starts_with(';') && equals != std::string_view::npos) {
            entry.IsEntry = true;
            entry.Key = std::string(Trim(line.substr(0, equals)));
            entry.ValueStart = equals + 1;
        }
        m_sections.back().Lines.push_back(std::move(entry));
    }
}

const IniFile::Section* IniFile::FindSection(std::string_view name) const
{
    const std::string_view wanted = Trim(name);
    for (size_t i = 1; i < m_sections.size(); ++i) {
        if (EqualsIgnoreCase(m_sections[i].Name, wanted)) {
            return &m_sections[i];
        }
    }
    return nullptr;
}

IniFile::Section* IniFile::FindSection(std::string_view name)
{
    return const_cast<Section*>(std::as_const(*this).FindSection(name));
}

const IniFile::Line* IniFile::FindEntry(const Section& section, std::string_view key)
{
    const std::string_view wanted = Trim(key);
    for (const Line& line : section.Lines) {
        if (line.IsEntry && EqualsIgnoreCase(line.Key, wanted)) {
            return &line;
        }
    }
    return nullptr;
}

std::string IniFile::ReadString(std::string_view section, std::string_view key, std::string_view defaultValue) const
{
    const Section* found = FindSection(section);
    const Line* entry = found ? FindEntry(*found, key) : nullptr;
    if (!entry) {
        return std::string(defaultValue);
    }
    return entry->Text.substr(entry->ValueStart);
}

long long IniFile::ReadInteger(std::string_view section, std::string_view key, long long defaultValue) const
{
    const std::string text = ReadString(section, key, "");
    const std::string_view trimmed = Trim(text);
    long long value = 0;
    const char* first = trimmed.data();
    const char* last = trimmed.data() + trimmed.size();
    if (first != last && *first == '+') {
        ++first;
    }
    auto result = std::from_chars(first, last, value);
    if (trimmed.empty() || result.ec != std::errc() || result.ptr != last) {
        return defaultValue;
    }
    return value;
}

bool IniFile::ReadBool(std::string_view section, std::string_view key, bool defaultValue) const
{
    return ReadInteger(section, key, defaultValue ? 1 : 0) != 0;
}

void IniFile::WriteString(std::string_view section, std::string_view key, std::string_view value)
{
    // A line break in any part would plant keys or sections of its own in the file.
    RequireSingleLine("Nome de seção", section, "\r\n]");
    RequireSingleLine("Nome de chave", key, "\r\n=");
    RequireSingleLine("Valor", value, "\r\n");
    Section* found = FindSection(section);
    if (!found) {
        Section& last = m_sections.back();
        if (!(m_sections.size() == 1 && last.Lines.empty()) && !last.Lines.empty() &&
            !Trim(last.Lines.back().Text).empty()) {
            last.Lines.push_back(RawLine(""));
        }
        Section added;
        added.Name = std::string(Trim(section));
        added.HasHeader = true;
        added.Lines.push_back(RawLine("[" + added.Name + "]"));
        m_sections.push_back(std::move(added));
        found = &m_sections.back();
    }
    for (Line& line : found->Lines) {
        if (line.IsEntry && EqualsIgnoreCase(line.Key, Trim(key))) {
            line.Text = line.Text.substr(0, line.ValueStart) + std::string(value);
            m_modified = true;
            return;
        }
    }
    // New keys go after the last non-blank line of the section, before its trailing blanks.
    size_t at = found->Lines.size();
    while (at > 1 && Trim(found->Lines[at - 1].Text).empty()) {
        --at;
    }
    Line line;
    line.Key = std::string(Trim(key));
    line.Text = line.Key + "=" + std::string(value);
    line.IsEntry = true;
    line.ValueStart = line.Key.size() + 1;
    found->Lines.insert(found->Lines.begin() + static_cast<std::ptrdiff_t>(at), std::move(line));
    m_modified = true;
}

void IniFile::WriteInteger(std::string_view section, std::string_view key, long long value)
{
    WriteString(section, key, std::to_string(value));
}

void IniFile::WriteBool(std::string_view section, std::string_view key, bool value)
{
    WriteString(section, key, value ? "1" : "0");
}

bool IniFile::SectionExists(std::string_view section) const
{
    return FindSection(section) != nullptr;
}

bool IniFile::ValueExists(std::string_view section, std::string_view key) const
{
    const Section* found = FindSection(section);
    return found && FindEntry(*found, key);
}

std::vector<std::string> IniFile::ReadSections() const
{
    std::vector<std::string> names;
    for (size_t i = 1; i < m_sections.size(); ++i) {
        bool seen = false;
        for (const std::string& name : names) {
            seen = seen || EqualsIgnoreCase(name, m_sections[i].Name);
        }
        if (!seen) {
            names.push_back(m_sections[i].Name);
        }
    }
    return names;
}

std::vector<std::string> IniFile::ReadSection(std::string_view section) const
{
    std::vector<std::string> keys;
    for (const auto& [key, value] : ReadSectionValues(section)) {
        keys.push_back(key);
    }
    return keys;
}

std::vector<std::pair<std::string, std::string>> IniFile::ReadSectionValues(std::string_view section) const
{
    std::vector<std::pair<std::string, std::string>> values;
    const Section* found = FindSection(section);
    if (!found) {
        return values;
    }
    for (const Line& line : found->Lines) {
        if (line.IsEntry && FindEntry(*found, line.Key) == &line) { // the first of duplicates only
            values.emplace_back(line.Key, line.Text.substr(line.ValueStart));
        }
    }
    return values;
}

void IniFile::EraseSection(std::string_view section)
{
    const std::string_view wanted = Trim(section);
    for (size_t i = m_sections.size(); i-- > 1;) {
        if (EqualsIgnoreCase(m_sections[i].Name, wanted)) {
            m_sections.erase(m_sections.begin() + static_cast<std::ptrdiff_t>(i));
            m_modified = true;
        }
    }
}

void IniFile::DeleteKey(std::string_view section, std::string_view key)
{
    Section* found = FindSection(section);
    if (!found) {
        return;
    }
    const Line* entry = FindEntry(*found, key);
    if (entry) {
        found->Lines.erase(found->Lines.begin() + (entry - found->Lines.data()));
        m_modified = true;
    }
}

std::string IniFile::Serialize() const
{
    std::string text;
    for (const Section& section : m_sections) {
        for (const Line& line : section.Lines) {
            text += line.Text;
            text += m_lineBreak;
        }
    }
    return text;
}

void IniFile::UpdateFile()
{
    if (!m_modified) {
        return;
    }
    if (m_fileName.empty()) {
        throw std::runtime_error("Arquivo INI sem nome não pode ser gravado.");
    }
    std::string bytes = Serialize();
    if (m_encoding == Encoding::Cp1252) {
        try {
            bytes = Utf8ToCp1252(bytes);
        } catch (const EncodingError& e) {
            throw EncodingError(Format("Arquivo %s: %s", m_fileName, e.what()));
        }
    } else if (m_bom) {
        bytes.insert(0, kBom);
    }
    WriteFileAtomically(m_fileName, bytes);
    m_modified = false;
}

std::string ParamStringValue(std::string_view params, std::string_view key, std::string_view defaultValue)
{
    std::string body = "[General]\n";
    body.reserve(params.size() + body.size());
    for (char c : params) {
        body += c == ';' ? '\n' : c;
    }
    return IniFile::FromText(body).ReadString("General", key, defaultValue);
}

} // namespace platform
