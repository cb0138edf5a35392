#include "engine/GovX16Utility.h"

#include "engine/mvlExceptions.h"
#include "engine/mvlNFSeXmlUtils.h"
#include "engine/mvlSchemaValidator.h"
#include "engine/mvlXPath.h"
#include "platform/Cp1252.h"
#include "platform/Format.h"
#include "platform/ProgramFolder.h"
#include "platform/TextRules.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace engine {
namespace {

constexpr std::string_view kPinMarker = "b64:";
constexpr std::string_view kBase64 = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

std::string Base64Encode(std::string_view bytes)
{
    std::string out;
    size_t i = 0;
    while (i + 2 < bytes.size()) {
        const unsigned n = (static_cast<unsigned char>(bytes[i]) << 16) |
            (static_cast<unsigned char>(bytes[i + 1]) << 8) | static_cast<unsigned char>(bytes[i + 2]);
        out += kBase64[(n >> 18) & 63];
        out += kBase64[(n >> 12) & 63];
        out += kBase64[(n >> 6) & 63];
        out += kBase64[n & 63];
        i += 3;
    }
    if (i < bytes.size()) {
        unsigned n = static_cast<unsigned char>(bytes[i]) << 16;
        if (i + 1 < bytes.size()) {
            n |= static_cast<unsigned char>(bytes[i + 1]) << 8;
        }
        out += kBase64[(n >> 18) & 63];
        out += kBase64[(n >> 12) & 63];
        out += i + 1 < bytes.size() ? kBase64[(n >> 6) & 63] : '=';
        out += '=';
    }
    return out;
}

bool Base64Decode(std::string_view text, std::string& out)
{
    unsigned buffer = 0;
    int bits = 0;
    for (char c : text) {
        if (c == '=') {
            break;
        }
        const size_t value = kBase64.find(c);
        if (value == std::string_view::npos) {
            return false;
        }
        buffer = (buffer << 6) | static_cast<unsigned>(value);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            out += static_cast<char>((buffer >> bits) & 0xFF);
        }
    }
    return true;
}

} // namespace

GovX16Utility::GovX16Utility(std::string_view baseFolder)
{
    SetBaseFolder(baseFolder);
}

void GovX16Utility::SetBaseFolder(std::string_view folder)
{
    m_baseFolder =
        folder.empty() ? platform::ProgramFolder() : platform::IncludeTrailingSeparator(platform::NativePath(folder));
}

std::string GovX16Utility::ExpandPath(std::string_view path) const
{
    return ResolvePath(path, m_baseFolder);
}

std::string GovX16Utility::ReadTextFile(std::string_view fileName) const
{
    const std::string path = platform::FindFileIgnoringCase(platform::NativePath(fileName));
    std::ifstream in(path, std::ios::binary);
    if (!in || platform::DirectoryExists(path)) {
        throw EmvlNFSeFileNotFoundException(platform::Format("Arquivo não encontrado: \"%s\"", fileName));
    }
    std::ostringstream buffer;
    buffer << in.rdbuf();
    std::string bytes = buffer.str();
    if (bytes.starts_with("\xEF\xBB\xBF")) {
        bytes.erase(0, 3);
    }
    if (platform::IsValidUtf8(bytes)) {
        return bytes;
    }
    return platform::Cp1252ToUtf8Lossy(bytes);
}

void GovX16Utility::WriteTextFile(std::string_view fileName, std::string_view text, bool privateFile) const
{
    const std::string path = platform::NativePath(fileName);
    const mode_t mode = privateFile ? 0600 : 0644;
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, mode);
    if (fd < 0) {
        throw EmvlException(platform::Format("Não foi possível gravar o arquivo %s: %s", path, std::strerror(errno)));
    }
    // A file that already existed keeps its old mode through open(); a log must not.
    bool ok = !privateFile || ::fchmod(fd, 0600) == 0;
    size_t written = 0;
    while (ok && written < text.size()) {
        const ssize_t n = ::write(fd, text.data() + written, text.size() - written);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        ok = n > 0;
        written += ok ? static_cast<size_t>(n) : 0;
    }
    const int error = errno;
    ok = (::close(fd) == 0) && ok;
    if (!ok) {
        throw EmvlException(platform::Format("Não foi possível gravar o arquivo %s: %s", path, std::strerror(error)));
    }
}

std::string GovX16Utility::EncodePin(std::string_view pin) const
{
    if (pin.empty()) {
        return {};
    }
    return std::string(kPinMarker) + Base64Encode(pin);
}

std::string GovX16Utility::DecodePin(std::string_view stored) const
{
    if (!stored.starts_with(kPinMarker)) {
        return std::string(stored);
    }
    std::string pin;
    if (!Base64Decode(stored.substr(kPinMarker.size()), pin)) {
        return std::string(stored);
    }
    return pin;
}

std::string GovX16Utility::FindSchemaFor(std::string_view xml, std::string_view schemaFolder)
{
    m_lastError.clear();
    TmvlXPath doc;
    std::string reason;
    if (!doc.TryLoadXML(xml, &reason)) {
        m_lastError = "XML de envio não é um XML válido: " + reason;
        return {};
    }
    const std::string rootName = doc.DocumentElement().LocalName();
    const std::string rootNamespace = doc.DocumentElement().NamespaceURI();
    const std::string folder = ExpandPath(schemaFolder);
    std::vector<std::string> files;
    std::error_code ignored;
    for (const auto& entry : std::filesystem::directory_iterator(folder, ignored)) {
        if (entry.is_regular_file(ignored) && platform::EqualsIgnoreCase(entry.path().extension().string(), ".xsd")) {
            files.push_back(entry.path().string());
        }
    }
    std::sort(files.begin(), files.end());
    for (const std::string& file : files) {
        TmvlXPath schema;
        try {
            schema.LoadFromFile(file);
        } catch (const EmvlException&) {
            continue;
        }
        const std::string targetNamespace = schema.Evaluate("string(/*[local-name()='schema']/@targetNamespace)");
        const bool declares = schema.SelectNode(
            "/*[local-name()='schema']/*[local-name()='element'][@name=" + XPathLiteral(rootName) + "]");
        if (declares && targetNamespace == rootNamespace) {
            return file;
        }
    }
    m_lastError = platform::Format("Nenhum esquema da pasta %s declara o elemento %s", folder, rootName);
    return {};
}

bool GovX16Utility::ValidateXml(std::string_view xml, std::string_view schemaFolder)
{
    m_messages.clear();
    const std::string file = FindSchemaFor(xml, schemaFolder);
    if (file.empty()) {
        return false;
    }
    return ValidateXmlWithSchema(xml, file);
}

bool GovX16Utility::ValidateXmlWithSchema(std::string_view xml, std::string_view schemaFile)
{
    m_messages.clear();
    m_lastError.clear();
    try {
        TmvlSchemaValidator validator;
        std::string reason;
        if (!validator.TryLoadXML(xml, &reason)) {
            m_lastError = "XML de envio não é um XML válido: " + reason;
            return false;
        }
        const std::string file = ExpandPath(schemaFile);
        validator.SetSchemaFolder(platform::ExtractFilePath(file));
        validator.AddSchema(validator.DocumentElement().NamespaceURI(), file);
        if (validator.Validate()) {
            return true;
        }
        m_messages = validator.ErrorsAsList();
        m_lastError = "O arquivo contém 1 ou mais erros na validação de esquema:\r\n" + m_messages.front();
    } catch (const EmvlException& error) {
        m_lastError = error.what();
    }
    return false;
}

} // namespace engine
