#include "platform/ProgramFolder.h"

#include "platform/TextRules.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <memory>
#include <vector>

namespace platform {
namespace {

struct DirDeleter
{
    void operator()(DIR* dir) const { closedir(dir); }
};
using DirHandle = std::unique_ptr<DIR, DirDeleter>;

std::string MatchEntry(const std::string& folder, std::string_view name)
{
    DirHandle dir(opendir(folder.empty() ? "." : folder.c_str()));
    if (!dir) {
        return {};
    }
    while (const dirent* entry = readdir(dir.get())) {
        if (EqualsIgnoreCase(entry->d_name, name)) {
            return entry->d_name;
        }
    }
    return {};
}

} // namespace

std::string ProgramFolder()
{
    std::string buffer(4096, '\0');
    const ssize_t n = readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
    if (n <= 0) {
        return "./";
    }
    buffer.resize(static_cast<size_t>(n));
    return ExtractFilePath(buffer);
}

std::string NativePath(std::string_view path)
{
    std::string out(path);
    for (char& c : out) {
        if (c == '\\') {
            c = '/';
        }
    }
    return out;
}

std::string IncludeTrailingSeparator(std::string_view folder)
{
    std::string out = NativePath(folder);
    if (out.empty() || out.back() != '/') {
        out += '/';
    }
    return out;
}

std::string JoinPath(std::string_view folder, std::string_view relative)
{
    std::string tail = NativePath(relative);
    size_t start = 0;
    while (start < tail.size() && tail[start] == '/') {
        ++start;
    }
    return IncludeTrailingSeparator(folder) + tail.substr(start);
}

std::string ExtractFileName(std::string_view path)
{
    const std::string native = NativePath(path);
    const size_t slash = native.rfind('/');
    return slash == std::string::npos ? native : native.substr(slash + 1);
}

std::string ExtractFilePath(std::string_view path)
{
    const std::string native = NativePath(path);
    const size_t slash = native.rfind('/');
    return slash == std::string::npos ? std::string() : native.substr(0, slash + 1);
}

bool FileExists(std::string_view path)
{
    struct stat info
    { };
    return stat(std::string(path).c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

bool DirectoryExists(std::string_view path)
{
    struct stat info
    { };
    return stat(std::string(path).c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool ForceDirectories(std::string_view path, unsigned mode)
{
    std::string native = NativePath(path);
    while (native.size() > 1 && native.back() == '/') {
        native.pop_back();
    }
    if (native.empty() || DirectoryExists(native)) {
        return !native.empty();
    }
    const std::string parent = ExtractFilePath(native);
    if (!parent.empty() && parent != native + "/" && !ForceDirectories(parent, mode)) {
        return false;
    }
    return mkdir(native.c_str(), static_cast<mode_t>(mode)) == 0 || errno == EEXIST ? DirectoryExists(native) : false;
}

std::string FindFileIgnoringCase(std::string_view path)
{
    const std::string native = NativePath(path);
    struct stat info
    { };
    if (native.empty() || stat(native.c_str(), &info) == 0) {
        return native;
    }
    std::vector<std::string> parts;
    size_t pos = native[0] == '/' ? 1 : 0;
    while (pos <= native.size()) {
        const size_t slash = native.find('/', pos);
        const size_t end = slash == std::string::npos ? native.size() : slash;
        if (end > pos) {
            parts.push_back(native.substr(pos, end - pos));
        }
        pos = end + 1;
    }
    std::string resolved = native[0] == '/' ? "/" : "";
    for (size_t i = 0; i < parts.size(); ++i) {
        const std::string candidate = resolved + parts[i];
        if (stat(candidate.c_str(), &info) != 0) {
            const std::string match = MatchEntry(resolved, parts[i]);
            if (match.empty()) {
                return native;
            }
            resolved += match;
        } else {
            resolved = candidate;
        }
        if (i + 1 < parts.size()) {
            resolved += '/';
        }
    }
    if (native.back() == '/') {
        resolved += '/';
    }
    return resolved;
}

} // namespace platform
