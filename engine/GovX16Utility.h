#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace engine {

// The file and validation services the engine gets from its government component: the
// base folder every relative name is taken in, text files, the stored PIN, schema checks.
class GovX16Utility
{
public:
    // Empty: the program folder.
    explicit GovX16Utility(std::string_view baseFolder = {});

    const std::string& BaseFolder() const { return m_baseFolder; }
    void SetBaseFolder(std::string_view folder);

    // A configured name as a path under the base folder (see ResolvePath).
    std::string ExpandPath(std::string_view path) const;

    // UTF-8 text; a file that is not UTF-8 is read as Windows-1252. Fails with
    // EmvlNFSeFileNotFoundException naming the file.
    std::string ReadTextFile(std::string_view fileName) const;
    // Writes the text as it is. A private file (request and answer logs can hold
    // credentials) is readable by its owner only. Fails with EmvlException.
    void WriteTextFile(std::string_view fileName, std::string_view text, bool privateFile = false) const;

    // The PIN as stored in nfseConfig.ini. This only keeps it from being read at a glance;
    // it is no protection against anyone who can read the file. A stored value without
    // the marker is taken as the PIN itself.
    std::string EncodePin(std::string_view pin) const;
    std::string DecodePin(std::string_view stored) const;

    // The schema file of the folder that declares the document's root element in its
    // namespace; empty when none does (LastError says why).
    std::string FindSchemaFor(std::string_view xml, std::string_view schemaFolder);
    // Against the schema of that folder that declares the document's root element.
    [[nodiscard]] bool ValidateXml(std::string_view xml, std::string_view schemaFolder);
    [[nodiscard]] bool ValidateXmlWithSchema(std::string_view xml, std::string_view schemaFile);
    // The reasons of the last validation, one per error.
    const std::vector<std::string>& ValidationMessages() const { return m_messages; }
    const std::string& LastError() const { return m_lastError; }

private:
    std::string m_baseFolder;
    std::vector<std::string> m_messages;
    std::string m_lastError;
};

} // namespace engine
