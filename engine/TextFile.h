#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace engine {

// The engine's text files (mappings, TX2 batches) come in Windows-1252 or, for a few cities,
// in UTF-8 with or without a byte-order mark. Returns UTF-8 text. Throws std::runtime_error
// when the file cannot be read, and platform::EncodingError (one too) for bytes that are text
// in neither encoding: a batch is never converted with characters silently replaced.
std::string ReadTextFile(const std::string& fileName);
// Windows-1252 or UTF-8 bytes to UTF-8 text, by the same rule.
std::string DecodeText(std::string_view bytes);

// Lines split at LF, a CR before it dropped; a last line without a break counts, a break at
// the very end opens no empty line.
std::vector<std::string> SplitLines(std::string_view text);

} // namespace engine
