#pragma once

#include <string>
#include <vector>

// One versioned script of a script set: Name is the set ("COMMON.SQL"), Version a text of
// the form digits, point, two digits ("1.08"), Script its lines (UTF-8 here).
class TVersion
{
public:
    TVersion() = default;
    TVersion(std::string name, std::string version, std::vector<std::string> script);

    const std::string& Name() const { return m_Name; }
    void SetName(std::string name) { m_Name = std::move(name); }
    const std::string& Version() const { return m_Version; }
    void SetVersion(std::string version) { m_Version = std::move(version); }
    const std::vector<std::string>& Script() const { return m_Script; }
    void SetScript(std::vector<std::string> script) { m_Script = std::move(script); }

    // "COMMON.SQL - 1.08"
    std::string DisplayName() const;

private:
    std::string m_Name;
    std::string m_Version;
    std::vector<std::string> m_Script;
};

// The version's number: the text without its points read as a decimal integer, 0 when that is
// no number ("1.08" gives 108, "1.1" gives 11). All versions of a set keep the same number of
// decimals, so the numbers order them.
int VersionNumber(const std::string& version);

// An ordered collection of script versions.
class TCmScriptsSQL
{
public:
    std::vector<TVersion>& Versions() { return m_Versions; }
    const std::vector<TVersion>& Versions() const { return m_Versions; }
    TVersion& Add(TVersion version);

private:
    std::vector<TVersion> m_Versions;
};
