#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace app {

// The version the program carries its transmission library at; an older copy beside the
// executable is replaced, an equal or newer one is left alone.
inline constexpr std::string_view kLibraryVersion = NOTAVIA_LIBRARY_VERSION;
inline constexpr std::string_view kLibraryFileName = "NotaviaNFSe.so";

// The version text in the library's ELF note, read from the file without loading it;
// nothing when the file is not an ELF file or has no such note.
std::optional<std::string> ReadLibraryVersion(const std::string& fileName);
std::optional<std::string> ReadLibraryVersion(std::span<const unsigned char> image);

// "1.0.0.3" as "0001.0000.0000.0003": four parts, a missing or non-numeric part is 0.
std::string VersionKey(std::string_view version);

enum class DeployResult
{
    Written,  // there was no library
    Replaced, // the library was older or had no version
    Kept
};

// Puts the embedded library at targetPath unless a copy of the same or a newer version is
// there. The new file is written beside the target and renamed over it, so a failed write
// never leaves a truncated library behind. Throws std::runtime_error on failure.
DeployResult DeployLibrary(const std::string& targetPath, std::span<const unsigned char> embedded,
                           std::string_view version = kLibraryVersion);

// The library embedded in the executable (empty in programs that carry none).
std::span<const unsigned char> EmbeddedLibrary();

} // namespace app
