#include "platform/KeyStore.h"

#include "platform/IniFile.h"
#include "platform/ProgramFolder.h"

#include <cstdlib>
#include <stdexcept>

namespace platform {
namespace {

// "\Software\Brevant\Servers\" and "software\brevant\servers" are the same key.
std::string NormalKey(std::string_view keyPath)
{
    size_t start = 0;
    size_t end = keyPath.size();
    while (start < end && (keyPath[start] == '\\' || keyPath[start] == '/')) {
        ++start;
    }
    while (end > start && (keyPath[end - 1] == '\\' || keyPath[end - 1] == '/')) {
        --end;
    }
    std::string key(keyPath.substr(start, end - start));
    for (char& c : key) {
        if (c == '/') {
            c = '\\';
        }
    }
    return key;
}

} // namespace

std::string KeyStore::DefaultFileName()
{
    const char* config = std::getenv("XDG_CONFIG_HOME");
    std::string folder;
    if (config && *config) {
        folder = config;
    } else {
        const char* home = std::getenv("HOME");
        folder = JoinPath(home && *home ? home : "/tmp", ".config");
    }
    return JoinPath(JoinPath(folder, "Brevant"), "registry.ini");
}

KeyStore::KeyStore(std::string fileName)
    : m_fileName(std::move(fileName))
{ }

bool KeyStore::KeyExists(std::string_view keyPath) const
{
    return IniFile(m_fileName, IniFile::Encoding::Utf8).SectionExists(NormalKey(keyPath));
}

bool KeyStore::ValueExists(std::string_view keyPath, std::string_view name) const
{
    return IniFile(m_fileName, IniFile::Encoding::Utf8).ValueExists(NormalKey(keyPath), name);
}

std::string KeyStore::ReadString(std::string_view keyPath, std::string_view name, std::string_view defaultValue) const
{
    return IniFile(m_fileName, IniFile::Encoding::Utf8).ReadString(NormalKey(keyPath), name, defaultValue);
}

long long KeyStore::ReadInteger(std::string_view keyPath, std::string_view name, long long defaultValue) const
{
    return IniFile(m_fileName, IniFile::Encoding::Utf8).ReadInteger(NormalKey(keyPath), name, defaultValue);
}

void KeyStore::WriteString(std::string_view keyPath, std::string_view name, std::string_view value)
{
    // The store may hold remembered user names: only its owner reads the folder.
    if (!ForceDirectories(ExtractFilePath(m_fileName), 0700)) {
        throw std::runtime_error("Não foi possível criar a pasta de " + m_fileName + ".");
    }
    IniFile ini(m_fileName, IniFile::Encoding::Utf8);
    ini.WriteString(NormalKey(keyPath), name, value);
    ini.UpdateFile();
}

void KeyStore::WriteInteger(std::string_view keyPath, std::string_view name, long long value)
{
    WriteString(keyPath, name, std::to_string(value));
}

void KeyStore::DeleteValue(std::string_view keyPath, std::string_view name)
{
    IniFile ini(m_fileName, IniFile::Encoding::Utf8);
    ini.DeleteKey(NormalKey(keyPath), name);
    ini.UpdateFile();
}

} // namespace platform
