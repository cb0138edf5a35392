#pragma once

#include "engine/Certificate.h"

#include <string>
#include <string_view>

namespace engine {

// SHA-1 of the text's bytes, the 20-byte digest in Base64 (passwords of some providers).
std::string Sha1Base64(std::string_view text);
// MD5 of the text's bytes as 32 lower-case hexadecimal digits.
std::string Md5Hex(std::string_view text);
// PKCS#1 v1.5 RSA-SHA1 signature of the text's bytes with the certificate's key, in Base64.
std::string SignRsaSha1Base64(std::string_view text, const Certificate& certificate);

std::string Base64(std::string_view bytes);

} // namespace engine
