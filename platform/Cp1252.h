#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

namespace platform {

// Raised by the strict codec. The text says which byte or character failed and where.
class EncodingError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// Windows-1252 <-> UTF-8. Inside the program every text is UTF-8; these run at the edges
// (files, the database, the library's string arguments). The strict forms refuse the five
// bytes the code page leaves undefined (81 8D 8F 90 9D) and characters it cannot hold.
std::string Cp1252ToUtf8(std::string_view cp1252);
std::string Utf8ToCp1252(std::string_view utf8);

// Lossy forms, for callers that must never fail and say so by their choice of name:
// an undefined byte becomes U+FFFD, an unencodable character (or a broken UTF-8 sequence) becomes "?".
std::string Cp1252ToUtf8Lossy(std::string_view cp1252);
std::string Utf8ToCp1252Lossy(std::string_view utf8);

bool IsValidUtf8(std::string_view text);

} // namespace platform
