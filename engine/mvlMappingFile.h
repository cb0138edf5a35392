#pragma once

#include <string>
#include <string_view>
#include <vector>

// The mapping file of one provider template, held whole in memory: one row per key=value line
// of every section, the three columns cut to the sizes the files were designed for.
class TmvlMappingFile
{
public:
    static constexpr size_t kSectionSize = 100;
    static constexpr size_t kNameSize = 512;
    static constexpr size_t kValueSize = 512;

    struct Row
    {
        std::string Section;
        std::string Name;
        std::string Value;
    };

    TmvlMappingFile() = default;
    TmvlMappingFile(const TmvlMappingFile&) = delete;
    TmvlMappingFile& operator=(const TmvlMappingFile&) = delete;

    // Reads an INI-format file (Windows-1252 or UTF-8). Throws std::runtime_error when the
    // file cannot be read; the caller words the failure.
    void LoadFromFile(const std::string& fileName);
    void LoadFromText(std::string_view text);
    void Clear() { m_rows.clear(); }

    const std::vector<Row>& Rows() const { return m_rows; }
    bool SectionExists(std::string_view section) const;
    // The value of a key, empty when absent; sections and keys compare without case and the
    // first row wins.
    std::string ReadString(std::string_view section, std::string_view name) const;
    // The name of the first row of the section holding that value (compared without case);
    // empty when none does.
    std::string NameOfValue(std::string_view section, std::string_view value) const;
    // Whether the row (OBRIGATORIEDADE, name) reads "true", without case.
    bool Obrigatorio(std::string_view name) const;
    // Every row of a section as "name=value".
    std::vector<std::string> SectionLines(std::string_view section) const;

private:
    std::vector<Row> m_rows;
};
