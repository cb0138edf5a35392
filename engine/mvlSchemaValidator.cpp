#include "engine/mvlSchemaValidator.h"

#include "engine/XmlHandles.h"
#include "engine/mvlExceptions.h"
#include "platform/Format.h"
#include "platform/ProgramFolder.h"
#include "platform/TextRules.h"

namespace {

void CollectValidationError(void* data, xmlErrorPtr error) noexcept
{
    try {
        auto* errors = static_cast<std::vector<TmvlSchemaValidator::Error>*>(data);
        if (error == nullptr || error->level == XML_ERR_WARNING) {
            return;
        }
        std::string reason = error->message ? std::string(platform::Trim(error->message)) : std::string();
        errors->push_back({error->line, std::move(reason)});
    } catch (...) {
    }
}

void CollectSchemaError(void* data, xmlErrorPtr error) noexcept
{
    try {
        auto* text = static_cast<std::string*>(data);
        if (error == nullptr || error->level == XML_ERR_WARNING || !text->empty()) {
            return;
        }
        std::string reason = error->message ? std::string(platform::Trim(error->message)) : std::string();
        *text = error->file ? platform::Format("%s (%s, linha %d)", reason, error->file, error->line) : reason;
    } catch (...) {
    }
}

void IgnoreGenericError(void*, const char*, ...) noexcept { }

std::string FileUrl(const std::string& path)
{
    engine::XmlCharPtr uri(xmlPathToURI(engine::ToXmlChar(path)));
    return engine::ToString(uri.get());
}

engine::SchemaPtr ParseSchema(const std::vector<std::pair<std::string, std::string>>& schemas)
{
    for (const auto& entry : schemas) {
        if (!platform::FileExists(entry.second)) {
            throw EmvlSchemaValidationException(
                platform::Format("Arquivo de esquema não encontrado: %s", entry.second));
        }
    }
    engine::SchemaParserCtxtPtr parser;
    std::string wrapper;
    if (schemas.size() == 1) {
        parser.reset(xmlSchemaNewParserCtxt(schemas.front().second.c_str()));
    } else {
        // Several namespaces: one schema that imports each of them.
        wrapper = "<xs:schema xmlns:xs=\"http://www.w3.org/2001/XMLSchema\">";
        for (const auto& [ns, file] : schemas) {
            wrapper += platform::Format("<xs:import namespace=\"%s\" schemaLocation=\"%s\"/>", ns, FileUrl(file));
        }
        wrapper += "</xs:schema>";
        parser.reset(xmlSchemaNewMemParserCtxt(wrapper.data(), static_cast<int>(wrapper.size())));
    }
    if (!parser) {
        throw std::bad_alloc();
    }
    std::string firstError;
    xmlSchemaSetParserStructuredErrors(parser.get(), CollectSchemaError, &firstError);
    // Includes that fail to load would otherwise be reported on stderr as well.
    xmlSetGenericErrorFunc(nullptr, IgnoreGenericError);
    engine::SchemaPtr schema(xmlSchemaParse(parser.get()));
    xmlSetGenericErrorFunc(nullptr, nullptr);
    if (!schema) {
        std::string names;
        for (const auto& entry : schemas) {
            names += (names.empty() ? "" : ", ") + entry.second;
        }
        throw EmvlSchemaValidationException(
            platform::Format("Não foi possível carregar o esquema %s: %s", names, firstError));
    }
    return schema;
}

} // namespace

TmvlSchemaValidator::TmvlSchemaValidator() = default;
TmvlSchemaValidator::~TmvlSchemaValidator() = default;

void TmvlSchemaValidator::SetSchemaFolder(std::string_view folder)
{
    const std::string native = platform::NativePath(folder);
    if (native.empty() || !platform::DirectoryExists(native)) {
        throw EmvlSchemaValidationException(
            platform::Format("Invalid Schema Folder %s. Directory doesn´t exist.", folder));
    }
    m_schemaFolder = platform::IncludeTrailingSeparator(native);
}

void TmvlSchemaValidator::AddSchema(std::string_view namespaceUri, std::string_view fileName)
{
    std::string path = platform::NativePath(fileName);
    if (!path.starts_with('/') && !m_schemaFolder.empty()) {
        path = platform::JoinPath(m_schemaFolder, path);
    }
    m_schemas.emplace_back(std::string(namespaceUri), platform::FindFileIgnoringCase(path));
}

bool TmvlSchemaValidator::Validate()
{
    m_errors.clear();
    if (!Loaded()) {
        m_errors.push_back({0, "Nenhum documento XML carregado para validar."});
        return false;
    }
    if (m_schemas.empty()) {
        return true;
    }
    engine::SchemaPtr schema = ParseSchema(m_schemas);
    engine::SchemaValidCtxtPtr validator(xmlSchemaNewValidCtxt(schema.get()));
    if (!validator) {
        throw std::bad_alloc();
    }
    xmlSchemaSetValidStructuredErrors(validator.get(), CollectValidationError, &m_errors);
    const int result = xmlSchemaValidateDoc(validator.get(), Document());
    if (result != 0 && m_errors.empty()) {
        m_errors.push_back({0, platform::Format("Falha interna na validação de esquema (%d).", result)});
    }
    return m_errors.empty();
}

std::string TmvlSchemaValidator::ErrorsAsText() const
{
    std::string text;
    for (const Error& error : m_errors) {
        text += error.Reason + "\r\n";
    }
    return text;
}

std::vector<std::string> TmvlSchemaValidator::ErrorsAsList() const
{
    std::vector<std::string> list;
    for (const Error& error : m_errors) {
        list.push_back(error.Reason);
    }
    return list;
}
