#pragma once

#include <string>
#include <string_view>
#include <vector>

// The parameters of one provider operation: an ordered list of "name=value" lines, names
// compared without case. An operation registers its names once; callers then set values.
class TmvlParams
{
public:
    // The delimiter of the list as one text ("XML=<a/>|Extras=").
    static constexpr char kDelimiter = '|';

    // Registers a name with its default value; a name already there fails
    // ("Parâmetro \"%s\" já foi registrado.").
    void Add(std::string_view name, std::string_view defaultValue = {});
    // The value of a registered name. Required and empty: the default, and when that is empty
    // too, "Parâmetro \"%s\" não possui valor".
    std::string Value(std::string_view name, bool required = false, std::string_view defaultValue = {}) const;
    // An empty value keeps the name registered.
    void SetValue(std::string_view name, std::string_view value);
    int Count() const { return static_cast<int>(m_lines.size()); }
    // "name=value".
    std::string Line(int index) const;
    void SetLine(int index, std::string_view line);
    bool Exists(std::string_view name) const { return Find(name) >= 0; }
    std::string DelimitedText() const;

private:
    int Find(std::string_view name) const;
    static std::string NameOf(std::string_view line);

    std::vector<std::string> m_lines;
};
