#include "app/LibraryDeployment.h"

#include "platform/AtomicFile.h"
#include "platform/Format.h"

#include <elf.h>
#include <sys/stat.h>

#include <array>
#include <charconv>
#include <cstring>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <vector>

namespace app {
namespace {

constexpr std::string_view kNoteName = "Notavia";
constexpr uint32_t kNoteType = 1;

template <typename T>
bool ReadAt(std::span<const unsigned char> image, uint64_t offset, T& out)
{
    if (offset > image.size() || image.size() - offset < sizeof(T)) {
        return false;
    }
    std::memcpy(&out, image.data() + offset, sizeof(T));
    return true;
}

uint64_t Align4(uint64_t value)
{
    return (value + 3) & ~uint64_t {3};
}

std::optional<std::string> FindNote(std::span<const unsigned char> image, uint64_t offset, uint64_t size)
{
    if (offset > image.size() || image.size() - offset < size) {
        return std::nullopt;
    }
    uint64_t pos = offset;
    const uint64_t end = offset + size;
    while (pos + sizeof(Elf64_Nhdr) <= end) {
        Elf64_Nhdr header {};
        ReadAt(image, pos, header);
        const uint64_t nameAt = pos + sizeof header;
        const uint64_t descAt = nameAt + Align4(header.n_namesz);
        const uint64_t next = descAt + Align4(header.n_descsz);
        if (next > end) {
            return std::nullopt;
        }
        const std::string_view name(reinterpret_cast<const char*>(image.data() + nameAt),
                                    header.n_namesz > 0 ? header.n_namesz - 1 : 0);
        if (header.n_type == kNoteType && name == kNoteName && header.n_descsz > 0) {
            const char* desc = reinterpret_cast<const char*>(image.data() + descAt);
            return std::string(desc, strnlen(desc, header.n_descsz));
        }
        pos = next;
    }
    return std::nullopt;
}

int VersionPart(std::string_view part)
{
    int value = 0;
    auto result = std::from_chars(part.data(), part.data() + part.size(), value);
    return result.ec == std::errc() && result.ptr == part.data() + part.size() ? value : 0;
}

} // namespace

std::optional<std::string> ReadLibraryVersion(std::span<const unsigned char> image)
{
    Elf64_Ehdr header {};
    if (!ReadAt(image, 0, header) || std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0 ||
        header.e_ident[EI_CLASS] != ELFCLASS64 || header.e_shentsize != sizeof(Elf64_Shdr)) {
        return std::nullopt;
    }
    for (uint16_t i = 0; i < header.e_shnum; ++i) {
        Elf64_Shdr section {};
        if (!ReadAt(image, header.e_shoff + uint64_t {i} * sizeof section, section)) {
            return std::nullopt;
        }
        if (section.sh_type == SHT_NOTE) {
            if (auto version = FindNote(image, section.sh_offset, section.sh_size)) {
                return version;
            }
        }
    }
    return std::nullopt;
}

std::optional<std::string> ReadLibraryVersion(const std::string& fileName)
{
    std::ifstream in(fileName, std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    const std::vector<unsigned char> image((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return ReadLibraryVersion(std::span<const unsigned char>(image));
}

std::string VersionKey(std::string_view version)
{
    std::array<int, 4> parts {};
    size_t start = 0;
    for (size_t i = 0; i < parts.size() && start <= version.size(); ++i) {
        const size_t dot = version.find('.', start);
        parts[i] =
            VersionPart(version.substr(start, dot == std::string_view::npos ? std::string_view::npos : dot - start));
        if (dot == std::string_view::npos) {
            break;
        }
        start = dot + 1;
    }
    return platform::Format("%4.4d.%4.4d.%4.4d.%4.4d", parts[0], parts[1], parts[2], parts[3]);
}

DeployResult DeployLibrary(const std::string& targetPath, std::span<const unsigned char> embedded,
                           std::string_view version)
{
    struct stat info
    { };
    const bool exists = stat(targetPath.c_str(), &info) == 0;
    if (exists) {
        // A file without version information cannot prove it is current, so it is replaced.
        const std::optional<std::string> current = ReadLibraryVersion(targetPath);
        if (current && VersionKey(*current) >= VersionKey(version)) {
            return DeployResult::Kept;
        }
    }
    if (embedded.empty()) {
        throw std::runtime_error("Este programa não contém a biblioteca de transmissão.");
    }
    platform::WriteFileAtomically(
        targetPath, std::string_view(reinterpret_cast<const char*>(embedded.data()), embedded.size()), 0755);
    return exists ? DeployResult::Replaced : DeployResult::Written;
}

} // namespace app
