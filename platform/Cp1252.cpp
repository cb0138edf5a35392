#include "platform/Cp1252.h"

#include "platform/Format.h"
#include "platform/TextRules.h"

#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <memory>

namespace platform {
namespace {

struct IconvDeleter
{
    void operator()(void* cd) const { iconv_close(static_cast<iconv_t>(cd)); }
};
using IconvHandle = std::unique_ptr<void, IconvDeleter>;

IconvHandle OpenConverter(const char* to, const char* from)
{
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        throw EncodingError(Format("Conversão de %s para %s indisponível neste sistema.", from, to));
    }
    return IconvHandle(cd);
}

enum class OnError
{
    Throw,
    Replace
};

std::string Convert(std::string_view input, bool fromCp1252, OnError onError)
{
    // Plain ASCII reads the same in both encodings; a long result list is mostly that, and
    // opening a converter per value dominated fetching it.
    if (std::all_of(input.begin(), input.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; })) {
        return std::string(input);
    }
    IconvHandle cd = fromCp1252 ? OpenConverter("UTF-8", "CP1252") : OpenConverter("CP1252", "UTF-8");
    std::string out;
    out.reserve(fromCp1252 ? input.size() + input.size() / 4 : input.size());
    char buffer[4096];
    char* in = const_cast<char*>(input.data());
    size_t inLeft = input.size();
    while (inLeft > 0) {
        char* outPtr = buffer;
        size_t outLeft = sizeof buffer;
        size_t rc = iconv(static_cast<iconv_t>(cd.get()), &in, &inLeft, &outPtr, &outLeft);
        out.append(buffer, static_cast<size_t>(outPtr - buffer));
        if (rc != static_cast<size_t>(-1) || errno == E2BIG) {
            continue;
        }
        const size_t position = input.size() - inLeft;
        if (onError == OnError::Throw) {
            if (fromCp1252) {
                throw EncodingError(Format("Byte 0x%02X na posição %d não existe no código Windows-1252.",
                                           static_cast<unsigned char>(*in), static_cast<long long>(position)));
            }
            throw EncodingError(Format("Caractere na posição %d não pode ser gravado em Windows-1252.",
                                       static_cast<long long>(position)));
        }
        size_t skip = fromCp1252 ? 1 : Utf8SequenceLength(static_cast<unsigned char>(*in));
        if (skip > inLeft || errno == EINVAL) {
            skip = inLeft;
        }
        out += fromCp1252 ? "\xEF\xBF\xBD" : "?";
        in += skip;
        inLeft -= skip;
    }
    return out;
}

} // namespace

std::string Cp1252ToUtf8(std::string_view cp1252)
{
    return Convert(cp1252, true, OnError::Throw);
}

std::string Utf8ToCp1252(std::string_view utf8)
{
    return Convert(utf8, false, OnError::Throw);
}

std::string Cp1252ToUtf8Lossy(std::string_view cp1252)
{
    return Convert(cp1252, true, OnError::Replace);
}

std::string Utf8ToCp1252Lossy(std::string_view utf8)
{
    return Convert(utf8, false, OnError::Replace);
}

bool IsValidUtf8(std::string_view text)
{
    size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        if (lead < 0x80) {
            ++i;
            continue;
        }
        const size_t length = Utf8SequenceLength(lead);
        if (length == 1 || i + length > text.size()) {
            return false;
        }
        const auto second = static_cast<unsigned char>(text[i + 1]);
        // Overlong forms, surrogates and code points past U+10FFFF.
        if ((lead == 0xE0 && second < 0xA0) || (lead == 0xED && second > 0x9F) || (lead == 0xF0 && second < 0x90) ||
            (lead == 0xF4 && second > 0x8F)) {
            return false;
        }
        for (size_t k = 1; k < length; ++k) {
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) {
                return false;
            }
        }
        i += length;
    }
    return true;
}

} // namespace platform
