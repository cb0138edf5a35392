#include "framework/schema/CmScriptsSQL.h"

#include <charconv>

TVersion::TVersion(std::string name, std::string version, std::vector<std::string> script)
    : m_Name(std::move(name))
    , m_Version(std::move(version))
    , m_Script(std::move(script))
{ }

std::string TVersion::DisplayName() const
{
    return m_Name + " - " + m_Version;
}

int VersionNumber(const std::string& version)
{
    std::string digits;
    for (char c : version) {
        if (c != '.') {
            digits += c;
        }
    }
    int number = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), number);
    if (digits.empty() || error != std::errc() || end != digits.data() + digits.size()) {
        return 0;
    }
    return number;
}

TVersion& TCmScriptsSQL::Add(TVersion version)
{
    m_Versions.push_back(std::move(version));
    return m_Versions.back();
}
