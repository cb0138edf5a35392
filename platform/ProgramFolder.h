#pragma once

#include <string>
#include <string_view>

namespace platform {

// Folder of the running executable, with a trailing "/". The working directory is never
// used (nor changed) to find the program's files.
std::string ProgramFolder();

// The system's paths are written with backslashes ("NFSe\Engine\PadraoTx2\"); on disk
// they use "/", with names and case kept.
std::string NativePath(std::string_view path);

// folder + relative path, one "/" between them; a leading separator in the relative path
// means "inside the folder", not the root.
std::string JoinPath(std::string_view folder, std::string_view relative);

std::string IncludeTrailingSeparator(std::string_view folder);
std::string ExtractFileName(std::string_view path);
std::string ExtractFilePath(std::string_view path); // with trailing "/", empty without a folder

// The path itself when it exists; otherwise the same path with each missing component
// matched without case against the folder's entries; the path unchanged when no match.
std::string FindFileIgnoringCase(std::string_view path);

bool FileExists(std::string_view path);
bool DirectoryExists(std::string_view path);
// Creates the folder and its parents; true when it exists afterwards.
bool ForceDirectories(std::string_view path, unsigned mode = 0755);

} // namespace platform
