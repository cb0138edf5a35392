#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace platform {

// INI files as the system's Windows peers read and write them: sections and keys match
// without case, the first match wins, values are raw text (";", ",", "\", quotes, "=" and
// leading blanks are part of the value; nothing is escaped or split). Reading a missing file
// gives an empty one. Changes stay in memory until UpdateFile, which rewrites the file
// through a temporary file and a rename, keeping every line it did not change.
class IniFile
{
public:
    enum class Encoding
    {
        Auto, // UTF-8 when the file has a BOM or non-ASCII UTF-8 text, Windows-1252 otherwise
        Cp1252,
        Utf8
    };

    explicit IniFile(std::string fileName, Encoding encoding = Encoding::Auto);

    // An in-memory file over UTF-8 text, never written.
    static IniFile FromText(std::string_view text);

    IniFile(IniFile&&) = default;
    IniFile& operator=(IniFile&&) = default;
    IniFile(const IniFile&) = delete;
    IniFile& operator=(const IniFile&) = delete;

    const std::string& FileName() const { return m_fileName; }

    std::string ReadString(std::string_view section, std::string_view key, std::string_view defaultValue) const;
    // Decimal integer, blanks around it allowed; anything else gives the default.
    long long ReadInteger(std::string_view section, std::string_view key, long long defaultValue) const;
    // An integer value other than 0 is true.
    bool ReadBool(std::string_view section, std::string_view key, bool defaultValue) const;

    void WriteString(std::string_view section, std::string_view key, std::string_view value);
    void WriteInteger(std::string_view section, std::string_view key, long long value);
    void WriteBool(std::string_view section, std::string_view key, bool value);

    bool SectionExists(std::string_view section) const;
    bool ValueExists(std::string_view section, std::string_view key) const;
    std::vector<std::string> ReadSections() const;
    std::vector<std::string> ReadSection(std::string_view section) const;
    std::vector<std::pair<std::string, std::string>> ReadSectionValues(std::string_view section) const;

    void EraseSection(std::string_view section);
    void DeleteKey(std::string_view section, std::string_view key);

    // Writes the file when anything changed. Throws std::runtime_error naming the file.
    void UpdateFile();
    bool Modified() const { return m_modified; }

private:
    struct Line
    {
        std::string Text;
        bool IsEntry = false;
        std::string Key;
        size_t ValueStart = 0;
    };
    struct Section
    {
        std::string Name;
        bool HasHeader = false;
        std::vector<Line> Lines; // the header line comes first when there is one
    };

    IniFile() = default;
    static Line RawLine(std::string_view text);
    void Parse(std::string_view text);
    const Section* FindSection(std::string_view name) const;
    Section* FindSection(std::string_view name);
    static const Line* FindEntry(const Section& section, std::string_view key);
    std::string Serialize() const;

    std::string m_fileName;
    Encoding m_encoding = Encoding::Cp1252;
    bool m_bom = false;
    std::string m_lineBreak = "\n";
    std::vector<Section> m_sections;
    bool m_modified = false;
};

// Reads a key from a parameter string ("key=value;key=value"), taken as the body of the
// section "General"; the key matches without case. Missing keys give the default.
std::string ParamStringValue(std::string_view params, std::string_view key, std::string_view defaultValue = {});

} // namespace platform
