#include "engine/PointerFiles.h"

#include "engine/TextFile.h"
#include "engine/mvlNFSeXmlUtils.h"
#include "engine/mvlXPath.h"
#include "platform/AtomicFile.h"
#include "platform/ProgramFolder.h"
#include "platform/TextRules.h"

#include <stdexcept>

namespace engine {
namespace {

// Letters, digits and "-" only: a series such as "A/1" must not open a folder.
std::string SafePart(std::string_view text)
{
    std::string safe;
    for (const char c : platform::Trim(text)) {
        const bool plain = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '-';
        safe += plain ? c : '-';
    }
    return safe;
}

std::string WithSeparator(const std::string& folder)
{
    if (folder.empty() || folder.back() == '/') {
        return folder;
    }
    return folder + "/";
}

} // namespace

std::string PointerFileName(std::string_view cpfCnpj, std::string_view numero, std::string_view serie,
                            std::string_view tipo)
{
    // "CPF12345678901" (how some cities take a CPF in the Cnpj element) and "12345678901" are
    // one issuer.
    std::string issuer = platform::DigitsOnly(cpfCnpj);
    if (issuer.empty()) {
        issuer = SafePart(cpfCnpj);
    }
    return issuer + "_" + SafePart(numero) + "_" + SafePart(serie) + "_" + SafePart(tipo) + ".txt";
}

void WritePointerFile(const std::string& folder, const std::string& fileName, std::string_view logFile)
{
    const std::string dir = WithSeparator(platform::NativePath(folder));
    if (!platform::ForceDirectories(dir)) {
        throw std::runtime_error("Não foi possível criar a pasta dos arquivos-ponteiros: " + dir);
    }
    platform::WriteFileAtomically(dir + fileName, logFile);
}

std::string ReadPointerFile(const std::string& folder, const std::string& fileName)
{
    const std::string path = WithSeparator(platform::NativePath(folder)) + fileName;
    if (!platform::FileExists(path)) {
        return {};
    }
    return std::string(platform::Trim(ReadTextFile(path)));
}

XmlNode FirstDescendant(XmlNode node, std::string_view localName)
{
    if (!node) {
        return {};
    }
    for (const XmlNode& child : node.Children()) {
        if (child.LocalName() == localName) {
            return child;
        }
        if (XmlNode found = FirstDescendant(child, localName)) {
            return found;
        }
    }
    return {};
}

std::string IssuerDocument(XmlNode node, std::string_view issuerElement)
{
    const XmlNode issuer = FirstDescendant(node, issuerElement);
    if (XmlNode cnpj = FirstDescendant(issuer, "Cnpj")) {
        return std::string(platform::Trim(cnpj.Text()));
    }
    if (XmlNode cpf = FirstDescendant(issuer, "Cpf")) {
        return std::string(platform::Trim(cpf.Text()));
    }
    return {};
}

std::string FindRpsInLog(std::string_view logXml, std::string_view cpfCnpj, std::string_view numero,
                         std::string_view serie, std::string_view tipo)
{
    const std::string wanted = PointerFileName(cpfCnpj, numero, serie, tipo);
    TmvlXPath doc;
    std::string text = ExtractSoapBody(logXml);
    if (!doc.TryLoadXML(text)) {
        return {};
    }
    // A lot sent escaped inside its envelope is read as the city read it.
    if (!doc.SelectNode(R"(//*[local-name()="Rps"])")) {
        text = ExtractEmbeddedXml(text);
        if (!doc.TryLoadXML(text) || !doc.SelectNode(R"(//*[local-name()="Rps"])")) {
            return {};
        }
    }
    doc.SelectNodes(R"(//*[local-name()="Rps"])");
    for (const XmlNode& rps : doc.CurrentNodeList()) {
        const XmlNode identification = FirstDescendant(rps, "IdentificacaoRps");
        const std::string issuer = IssuerDocument(rps, "Prestador");
        if (!identification || issuer.empty()) {
            continue;
        }
        const auto part = [&](std::string_view name) {
            const XmlNode node = FirstDescendant(identification, name);
            return node ? node.Text() : std::string();
        };
        if (PointerFileName(issuer, part("Numero"), part("Serie"), part("Tipo")) == wanted) {
            return rps.Xml();
        }
    }
    return {};
}

} // namespace engine
