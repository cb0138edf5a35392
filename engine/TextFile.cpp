#include "engine/TextFile.h"

#include "platform/Cp1252.h"
#include "platform/Format.h"

#include <fstream>
#include <sstream>
#include <stdexcept>

namespace engine {

namespace {

constexpr std::string_view kBom = "\xEF\xBB\xBF";

} // namespace

std::string ReadTextFile(const std::string& fileName)
{
    std::ifstream in(fileName, std::ios::binary);
    if (!in) {
        throw std::runtime_error(platform::Format("Não foi possível abrir o arquivo %s.", fileName));
    }
    std::ostringstream buffer;
    buffer << in.rdbuf();
    if (in.bad()) {
        throw std::runtime_error(platform::Format("Não foi possível ler o arquivo %s.", fileName));
    }
    return DecodeText(buffer.str());
}

std::string DecodeText(std::string_view bytes)
{
    if (bytes.starts_with(kBom)) {
        bytes.remove_prefix(kBom.size());
    }
    if (platform::IsValidUtf8(bytes)) {
        return std::string(bytes);
    }
    return platform::Cp1252ToUtf8(bytes);
}

std::vector<std::string> SplitLines(std::string_view text)
{
    std::vector<std::string> lines;
    size_t pos = 0;
    while (pos < text.size()) {
        const size_t end = text.find('\n', pos);
        std::string_view line = text.substr(pos, end == std::string_view::npos ? std::string_view::npos : end - pos);
        pos = end == std::string_view::npos ? text.size() : end + 1;
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        lines.emplace_back(line);
    }
    return lines;
}

} // namespace engine
