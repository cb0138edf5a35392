#pragma once

#include "engine/mvlCustomXML.h"

#include <string>
#include <string_view>
#include <utility>
#include <vector>

// Validates one document against the schemas added to it and reports every error, not
// only the first.
class TmvlSchemaValidator : public TmvlCustomXML
{
public:
    struct Error
    {
        int Line = 0;
        std::string Reason;
    };

    TmvlSchemaValidator();
    ~TmvlSchemaValidator() override;

    // The folder must exist: "Invalid Schema Folder %s. Directory doesn´t exist.". Schema file
    // names that are not absolute are taken inside it; the process's working directory is
    // never changed.
    void SetSchemaFolder(std::string_view folder);
    const std::string& SchemaFolder() const { return m_schemaFolder; }

    void AddSchema(std::string_view namespaceUri, std::string_view fileName);
    int SchemaCount() const { return static_cast<int>(m_schemas.size()); }

    // True when the document is valid. Without schemas only well-formedness counts. A schema
    // that cannot be read fails with EmvlSchemaValidationException.
    [[nodiscard]] bool Validate();

    const std::vector<Error>& Errors() const { return m_errors; }
    std::string ErrorsAsText() const;
    std::vector<std::string> ErrorsAsList() const;

private:
    std::string m_schemaFolder;
    std::vector<std::pair<std::string, std::string>> m_schemas; // namespace, absolute file
    std::vector<Error> m_errors;
};
