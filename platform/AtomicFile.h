#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace platform {

// Replaces a file as a whole: the bytes go to a temporary file beside it, which is synced and
// renamed over the target, so readers see the old file or the new one, never a part of it.
// `mode` defaults to the old file's permissions (0644 for a new file). Throws
// std::runtime_error naming the file; on failure the old file is untouched.
void WriteFileAtomically(const std::string& fileName, std::string_view bytes,
                         std::optional<unsigned> mode = std::nullopt);

} // namespace platform
