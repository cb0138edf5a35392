#pragma once

#include <string>
#include <string_view>

namespace platform {

// Per-user keys and values kept where the system's Windows peers use the current user's
// registry: an INI file whose sections are the key paths ("Software\Brevant\Servers").
// Every write reaches the file at once, as a registry write would.
class KeyStore
{
public:
    // $XDG_CONFIG_HOME/Brevant/registry.ini (~/.config when the variable is unset).
    static std::string DefaultFileName();

    explicit KeyStore(std::string fileName = DefaultFileName());

    bool KeyExists(std::string_view keyPath) const;
    bool ValueExists(std::string_view keyPath, std::string_view name) const;
    std::string ReadString(std::string_view keyPath, std::string_view name, std::string_view defaultValue = {}) const;
    long long ReadInteger(std::string_view keyPath, std::string_view name, long long defaultValue = 0) const;

    void WriteString(std::string_view keyPath, std::string_view name, std::string_view value);
    void WriteInteger(std::string_view keyPath, std::string_view name, long long value);
    void DeleteValue(std::string_view keyPath, std::string_view name);

    const std::string& FileName() const { return m_fileName; }

private:
    std::string m_fileName;
};

} // namespace platform
