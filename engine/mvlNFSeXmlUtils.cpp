#include "engine/mvlNFSeXmlUtils.h"

#include "engine/XmlHandles.h"
#include "engine/mvlExceptions.h"
#include "engine/mvlXPath.h"
#include "platform/Cp1252.h"
#include "platform/Format.h"
#include "platform/FormatSettings.h"
#include "platform/IniFile.h"
#include "platform/ProgramFolder.h"
#include "platform/TextRules.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdarg>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

std::string ReplaceAll(std::string text, std::string_view from, std::string_view to)
{
    if (from.empty()) {
        return text;
    }
    size_t pos = 0;
    while ((pos = text.find(from, pos)) != std::string::npos) {
        text.replace(pos, from.size(), to);
        pos += to.size();
    }
    return text;
}

char AsciiLower(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

size_t FindIgnoringCase(std::string_view text, std::string_view part, size_t from = 0)
{
    if (part.empty() || text.size() < part.size()) {
        return std::string_view::npos;
    }
    for (size_t i = from; i + part.size() <= text.size(); ++i) {
        size_t j = 0;
        while (j < part.size() && AsciiLower(text[i + j]) == AsciiLower(part[j])) {
            ++j;
        }
        if (j == part.size()) {
            return i;
        }
    }
    return std::string_view::npos;
}

std::string RemoveAllIgnoringCase(std::string_view text, std::string_view part)
{
    std::string out;
    size_t start = 0;
    size_t pos;
    while ((pos = FindIgnoringCase(text, part, start)) != std::string_view::npos) {
        out.append(text.substr(start, pos - start));
        start = pos + part.size();
    }
    out.append(text.substr(start));
    return out;
}

// Splits UTF-8 text into characters (a broken sequence counts byte by byte).
std::vector<std::string_view> Characters(std::string_view text)
{
    std::vector<std::string_view> chars;
    size_t i = 0;
    while (i < text.size()) {
        size_t length = platform::Utf8SequenceLength(static_cast<unsigned char>(text[i]));
        if (i + length > text.size()) {
            length = 1;
        }
        chars.push_back(text.substr(i, length));
        i += length;
    }
    return chars;
}

std::string BaseFolderOrProgram(std::string_view baseFolder)
{
    if (baseFolder.empty()) {
        return platform::ProgramFolder();
    }
    return platform::IncludeTrailingSeparator(platform::NativePath(baseFolder));
}

bool ExistingFile(const std::string& path, std::string& found)
{
    found = platform::FindFileIgnoringCase(path);
    return platform::FileExists(found) && !platform::DirectoryExists(found);
}

} // namespace

bool XmlIsWellFormed(std::string_view xml)
{
    return engine::ParseXmlText(xml) != nullptr;
}

std::string CompactXml(std::string_view xml)
{
    std::string joined;
    size_t start = 0;
    while (start <= xml.size()) {
        size_t end = xml.find('\n', start);
        if (end == std::string_view::npos) {
            end = xml.size();
        }
        const std::string_view line = platform::Trim(xml.substr(start, end - start));
        if (!line.empty() && line.front() != '<') {
            joined += ' ';
        }
        joined += line;
        start = end + 1;
    }
    std::string out;
    out.reserve(joined.size());
    for (char c : joined) {
        if (c != '\n' && c != '\r' && c != '\t') {
            out += c;
        }
    }
    return out;
}

std::string FormatXml(std::string_view xml)
{
    std::string text = ReplaceAll(CompactXml(xml), "><", ">\n<");
    text = ReplaceAll(std::move(text), "<br>", "\n");
    engine::XmlDocPtr doc = engine::ParseXmlText(text, nullptr, true);
    if (!doc) {
        return text;
    }
    const bool declaration = platform::TrimLeft(text).starts_with("<?xml");
    return engine::DocumentXml(doc.get(), declaration, true);
}

std::string RemoveCData(std::string_view text)
{
    return RemoveAllIgnoringCase(RemoveAllIgnoringCase(text, "<![CDATA["), "]]>");
}

std::string EscapeXml(std::string_view text)
{
    std::string out = ReplaceAll(std::string(text), "&", "&amp;");
    out = ReplaceAll(std::move(out), "<", "&lt;");
    out = ReplaceAll(std::move(out), ">", "&gt;");
    out = ReplaceAll(std::move(out), "\"", "&quot;");
    return ReplaceAll(std::move(out), "'", "&apos;");
}

std::string UnescapeXml(std::string_view text)
{
    std::string out = ReplaceAll(std::string(text), "&apos;", "'");
    out = ReplaceAll(std::move(out), "&quot;", "\"");
    out = ReplaceAll(std::move(out), "&gt;", ">");
    out = ReplaceAll(std::move(out), "&lt;", "<");
    out = ReplaceAll(std::move(out), "&amp;", "&");
    return ReplaceAll(std::move(out), "&bull;", "\xE2\x80\xA2");
}

namespace {

// Whether the text is escaped markup inside a wrapper: it does not parse as XML, or one of its
// texts holds a document. A parsed document whose "&lt;" is plain content ("x &lt; y") holds
// none, and cutting it from that "&lt;" would destroy it.
bool HoldsEscapedMarkup(std::string_view text)
{
    engine::XmlDocPtr doc = engine::ParseXmlText(text);
    if (!doc) {
        return true;
    }
    bool found = false;
    const std::function<void(xmlNode*)> visit = [&](xmlNode* node) {
        for (; node != nullptr && !found; node = node->next) {
            if (node->type == XML_TEXT_NODE) {
                found = platform::Trim(engine::ToString(node->content)).starts_with('<');
            } else if (node->type == XML_ELEMENT_NODE) {
                visit(node->children);
            }
        }
    };
    visit(xmlDocGetRootElement(doc.get()));
    return found;
}

} // namespace

std::string ExtractEmbeddedXml(std::string_view text)
{
    constexpr std::string_view kCDataOpen = "<![CDATA[";
    if (const size_t open = text.find(kCDataOpen); open != std::string_view::npos) {
        const size_t start = open + kCDataOpen.size();
        const size_t close = text.find("]]>", start);
        return std::string(text.substr(start, close == std::string_view::npos ? text.npos : close - start));
    }
    if (const size_t start = text.find("&lt;"); start != std::string_view::npos && HoldsEscapedMarkup(text)) {
        // No real tag after the escaped XML (an answer that is the escaped text alone): all of it.
        const size_t end = text.find('<', start);
        return UnescapeXml(text.substr(start, end == std::string_view::npos ? text.npos : end - start));
    }
    return std::string(text);
}

std::string ExtractSoapBody(std::string_view text)
{
    try {
        TmvlXPath doc;
        if (!doc.TryLoadXML(text)) {
            return std::string(text);
        }
        const std::string ns = doc.DocumentElement().NamespaceURI();
        if (ns.empty()) {
            return std::string(text);
        }
        doc.SetSelectionNamespaces("xmlns:soap=\"" + ns + "\"");
        if (doc.SelectNode("./soap:Envelope/soap:Body/*")) {
            return doc.CurrentNode().Xml();
        }
    } catch (const EmvlException&) {
    }
    return std::string(text);
}

bool SelectNodeText(std::string_view xml, std::string_view xpath, std::string& value)
{
    TmvlXPath doc;
    if (!doc.TryLoadXML(xml)) {
        return false;
    }
    try {
        if (!doc.SelectNode(xpath)) {
            return false;
        }
    } catch (const EmvlException&) {
        return false;
    }
    value = doc.CurrentNode().Text();
    return true;
}

std::string RootOuterXml(std::string_view xml)
{
    TmvlXPath doc;
    doc.LoadXML(xml);
    return doc.DocumentElement().Xml();
}

std::string StripNamespaces(std::string_view xml)
{
    static constexpr std::string_view kStylesheet =
        R"xsl(<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">
<xsl:output method="xml" omit-xml-declaration="yes" encoding="UTF-8"/>
<xsl:template match="*"><xsl:element name="{local-name()}"><xsl:apply-templates select="@*|node()"/></xsl:element></xsl:template>
<xsl:template match="@*"><xsl:attribute name="{local-name()}"><xsl:value-of select="."/></xsl:attribute></xsl:template>
<xsl:template match="comment()|processing-instruction()|text()"><xsl:copy/></xsl:template>
</xsl:stylesheet>)xsl";
    return engine::XslTransform(xml, kStylesheet);
}

std::string ElementXmlInRootNamespace(std::string_view xml, std::string_view name)
{
    TmvlXPath doc;
    doc.LoadXML(xml);
    const std::string ns = doc.DocumentElement().NamespaceURI();
    std::string xpath;
    if (ns.empty()) {
        xpath = "//" + std::string(name);
    } else {
        doc.SetSelectionNamespaces("xmlns:nfse=\"" + ns + "\"");
        xpath = "//nfse:" + std::string(name);
    }
    return doc.SelectNode(xpath) ? doc.CurrentNode().Xml() : std::string();
}

std::string TextBetweenTags(std::string_view text, std::string_view name)
{
    const std::string open = "<" + std::string(name) + ">";
    const std::string close = "</" + std::string(name) + ">";
    const size_t start = text.find(open);
    if (start == std::string_view::npos) {
        return {};
    }
    const size_t end = text.find(close, start + open.size());
    if (end == std::string_view::npos) {
        return {};
    }
    return std::string(text.substr(start + open.size(), end - start - open.size()));
}

std::string ReadExtra(std::string_view extras, std::string_view name, bool required)
{
    std::string value = platform::ParamStringValue(extras, name);
    if (required && value.empty()) {
        throw EmvlNFSeCheckParams(platform::Format("Parâmetro Extra \"%s\" não possui valor", name));
    }
    return value;
}

std::string PadText(std::string_view text, size_t width, std::string_view fill, bool padLeft)
{
    const size_t length = Characters(text).size();
    if (length >= width || fill.empty()) {
        return std::string(text);
    }
    std::string padding;
    for (size_t i = length; i < width; ++i) {
        padding += fill;
    }
    return padLeft ? padding + std::string(text) : std::string(text) + padding;
}

std::string KeepChars(std::string_view text, std::string_view allowed)
{
    const std::vector<std::string_view> set = Characters(allowed);
    std::string out;
    for (std::string_view c : Characters(text)) {
        if (std::find(set.begin(), set.end(), c) != set.end()) {
            out += c;
        }
    }
    return out;
}

int CountOccurrences(std::string_view text, std::string_view part)
{
    if (part.empty()) {
        return 0;
    }
    int count = 0;
    size_t pos = 0;
    while ((pos = text.find(part, pos)) != std::string_view::npos) {
        ++count;
        pos += part.size();
    }
    return count;
}

bool HasUtf8Accents(std::string_view text)
{
    static const std::vector<std::string> kMisread = [] {
        constexpr std::string_view kLetters = "áàâäéèêëíìîïóòôöúùûüãõñçÁÀÂÄÉÈÊËÍÌÎÏÓÒÔÖÚÙÛÜÃÕÑÇºª";
        std::vector<std::string> list;
        for (std::string_view letter : Characters(kLetters)) {
            std::string misread;
            for (char byte : letter) {
                const auto code = static_cast<unsigned char>(byte);
                // Windows shows the five bytes its code page leaves undefined as the C1
                // control of the same number.
                if (code == 0x81 || code == 0x8D || code == 0x8F || code == 0x90 || code == 0x9D) {
                    misread += static_cast<char>(0xC2);
                    misread += byte;
                } else {
                    misread += platform::Cp1252ToUtf8(std::string_view(&byte, 1));
                }
            }
            list.push_back(misread);
        }
        return list;
    }();
    for (const std::string& misread : kMisread) {
        if (text.find(misread) != std::string_view::npos) {
            return true;
        }
    }
    return false;
}

std::string CnpjOrCpfForCity(std::string_view city, std::string_view document)
{
    if (platform::EqualsIgnoreCase(city, "FORTALEZA") && Characters(document).size() == 11) {
        return "CPF" + std::string(document);
    }
    return std::string(document);
}

namespace {

class Scanner
{
public:
    explicit Scanner(std::string_view text)
        : m_text(text)
    { }
    bool Done() const { return m_pos >= m_text.size(); }
    bool Peek(char c) const { return m_pos < m_text.size() && m_text[m_pos] == c; }
    bool Take(char c)
    {
        if (Peek(c)) {
            ++m_pos;
            return true;
        }
        return false;
    }
    // Exactly `digits` digits, or at least `digits` when `orMore`.
    bool Number(int digits, int& value, bool orMore = false)
    {
        size_t start = m_pos;
        while (m_pos < m_text.size() && m_text[m_pos] >= '0' && m_text[m_pos] <= '9' &&
               (orMore || m_pos - start < static_cast<size_t>(digits))) {
            ++m_pos;
        }
        const size_t count = m_pos - start;
        if (count < static_cast<size_t>(digits) || count > 9) {
            return false;
        }
        value = 0;
        for (size_t i = start; i < m_pos; ++i) {
            value = value * 10 + (m_text[i] - '0');
        }
        return true;
    }
    std::string_view Rest() const { return m_text.substr(std::min(m_pos, m_text.size())); }
    std::string_view Digits()
    {
        const size_t start = m_pos;
        while (m_pos < m_text.size() && m_text[m_pos] >= '0' && m_text[m_pos] <= '9') {
            ++m_pos;
        }
        return m_text.substr(start, m_pos - start);
    }
    void Skip(size_t count) { m_pos += count; }

private:
    std::string_view m_text;
    size_t m_pos = 0;
};

bool ReadMeridiem(Scanner& in, int& hour)
{
    const std::string_view rest = platform::Trim(in.Rest());
    if (rest.empty()) {
        return true;
    }
    const bool am = platform::EqualsIgnoreCase(rest, "AM");
    const bool pm = platform::EqualsIgnoreCase(rest, "PM");
    if ((!am && !pm) || hour < 1 || hour > 12) {
        return false;
    }
    if (am && hour == 12) {
        hour = 0;
    } else if (pm && hour != 12) {
        hour += 12;
    }
    in.Skip(in.Rest().size());
    return true;
}

bool ReadTime(Scanner& in, platform::DateTime& value)
{
    if (!in.Number(2, value.Hour) || !in.Take(':') || !in.Number(2, value.Minute) || !in.Take(':') ||
        !in.Number(2, value.Second)) {
        return false;
    }
    if (in.Take('.')) {
        const std::string_view digits = in.Digits();
        if (digits.empty()) {
            return false;
        }
        int ms = 0;
        for (size_t i = 0; i < 3; ++i) {
            ms = ms * 10 + (i < digits.size() ? digits[i] - '0' : 0);
        }
        value.Millisecond = ms;
    }
    return true;
}

} // namespace

platform::DateTime ParseXsdDateTime(std::string_view text)
{
    const std::string_view trimmed = platform::Trim(text);
    platform::DateTime value;
    value.Millisecond = 0;
    bool ok = false;
    if (trimmed.size() >= 10 && trimmed[2] == '/') {
        Scanner in(trimmed);
        ok = in.Number(2, value.Day) && in.Take('/') && in.Number(2, value.Month) && in.Take('/') &&
            in.Number(4, value.Year) && in.Take(' ') && ReadTime(in, value) && ReadMeridiem(in, value.Hour) &&
            in.Done();
    } else {
        Scanner in(trimmed);
        const bool negative = in.Take('-');
        ok = !negative && in.Number(4, value.Year, true) && in.Take('-') && in.Number(2, value.Month) && in.Take('-') &&
            in.Number(2, value.Day) && in.Take('T') && ReadTime(in, value);
        if (ok && !in.Done()) {
            if (in.Take('Z')) {
                ok = in.Done();
            } else if (in.Peek('+') || in.Peek('-')) {
                in.Skip(1);
                int zoneHour = 0;
                int zoneMinute = 0;
                ok = in.Number(2, zoneHour) && in.Take(':') && in.Number(2, zoneMinute) && in.Done();
            } else {
                ok = ReadMeridiem(in, value.Hour) && in.Done();
            }
        }
    }
    if (!ok || !platform::IsValidDateTime(value)) {
        throw EmvlException("xsdDateTime não está no formato \"[-]YYYY-MM-DDThh:mm:ss.zzzzzzz[Z|(+|-)hh:mm]\".");
    }
    return value;
}

double DotDecimalToFloat(std::string_view text)
{
    const std::string_view trimmed = platform::Trim(text);
    double value = 0;
    const char* first = trimmed.data();
    const char* last = trimmed.data() + trimmed.size();
    if (first != last && *first == '+') {
        ++first;
    }
    const auto [end, error] = std::from_chars(first, last, value, std::chars_format::fixed);
    if (trimmed.empty() || error != std::errc() || end != last) {
        throw EmvlException(platform::Format("\"%s\" não é um valor numérico válido", text));
    }
    return value;
}

std::string FloatToDotDecimal(double value)
{
    return platform::MoneyText(value);
}

std::string CustomVariant(std::string_view fileName)
{
    const std::string native = platform::NativePath(fileName);
    const size_t slash = native.rfind('/');
    const size_t dot = native.rfind('.');
    std::string candidate;
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) {
        candidate = native + "Custom";
    } else {
        candidate = native.substr(0, dot) + "Custom" + native.substr(dot);
    }
    std::string found;
    if (ExistingFile(candidate, found)) {
        return found;
    }
    return std::string(fileName);
}

std::string FindEngineFile(std::string_view templatesDir, std::string_view schemasDir, std::string_view city,
                           TEngineFileKind kind, std::string_view fileName, std::string_view collectionName,
                           std::string_view baseFolder)
{
    const std::string name = platform::NativePath(platform::Trim(fileName));
    if (name.empty()) {
        return {};
    }
    std::string base;
    switch (kind) {
    case TEngineFileKind::efkSchema:
        base = platform::IncludeTrailingSeparator(platform::NativePath(schemasDir));
        break;
    case TEngineFileKind::efkTemplate:
        base = platform::IncludeTrailingSeparator(platform::NativePath(templatesDir));
        break;
    case TEngineFileKind::efkPrintTemplate:
        base = platform::JoinPath(platform::NativePath(templatesDir), "Impressao/");
        break;
    }
    const std::string self = name.starts_with('/') ? name : platform::JoinPath(BaseFolderOrProgram(baseFolder), name);
    std::vector<std::string> candidates {self};
    if (!platform::Trim(city).empty()) {
        candidates.push_back(platform::JoinPath(base, std::string(city) + "/" + name));
    }
    if (!platform::Trim(collectionName).empty()) {
        candidates.push_back(platform::JoinPath(base, std::string(collectionName) + "/" + name));
    }
    candidates.push_back(platform::JoinPath(base, name));
    for (const std::string& candidate : candidates) {
        std::string found;
        const std::string custom = CustomVariant(candidate);
        if (custom != candidate && ExistingFile(custom, found)) {
            return found;
        }
        if (ExistingFile(candidate, found)) {
            return found;
        }
    }
    if (kind == TEngineFileKind::efkTemplate) {
        throw EmvlNFSeFileNotFoundException(platform::Format("Arquivo de template não encontrado: \"%s\"", fileName));
    }
    throw EmvlNFSeFileNotFoundException(platform::Format("Arquivo não encontrado: \"%s\"", fileName));
}

std::string ResolvePath(std::string_view path, std::string_view baseFolder)
{
    const std::string base = BaseFolderOrProgram(baseFolder);
    if (!platform::DirectoryExists(base)) {
        throw EmvlNFSeFileNotFoundException("Não foi possível encontrar o Diretório Atual: " + base);
    }
    // "\Log" in the configuration means the program's own Log folder, not the root's.
    const bool insideBase = !path.starts_with('/');
    const std::string native = platform::NativePath(path);
    const std::string candidate = insideBase ? platform::JoinPath(base, native) : native;
    std::string found = platform::FindFileIgnoringCase(candidate);
    if (platform::DirectoryExists(found)) {
        found = platform::IncludeTrailingSeparator(found);
    }
    return found;
}

void CheckClassicCity(std::string_view city)
{
    static constexpr std::array<std::string_view, 12> kCities {
        "CURITIBA", "RIODEJANEIRO", "APARECIDADEGOIANIA", "BELOHORIZONTE", "SALVADOR", "BENTOGONCALVES",
        "ITU",      "CANOAS",       "CRICIUMA",           "NITEROI",       "ARACAJU",  "CONTAGEM"};
    for (std::string_view known : kCities) {
        if (platform::EqualsIgnoreCase(city, known)) {
            return;
        }
    }
    throw EmvlNFSeException("O método utilizado não é compatível com " + std::string(city) +
                            ". Favor utilizar o componente ProxyNFSe ou Comandos.");
}

namespace engine {

namespace {

void CollectXsltError(void* data, const char* message, ...) noexcept
{
    try {
        auto* text = static_cast<std::string*>(data);
        char buffer[512];
        va_list args;
        va_start(args, message);
        std::vsnprintf(buffer, sizeof buffer, message, args);
        va_end(args);
        if (text->size() < 2048) {
            *text += buffer;
        }
    } catch (...) {
    }
}

} // namespace

std::string XslTransform(std::string_view xml, std::string_view xsl)
{
    std::string reason;
    XmlDocPtr doc = ParseXmlText(xml, &reason);
    if (!doc) {
        throw EmvlException(platform::Format("could not load xml %s [%s]", reason, xml));
    }
    XmlDocPtr sheetDoc = ParseXmlText(xsl, &reason);
    if (!sheetDoc) {
        throw EmvlException(platform::Format("Folha de estilo XSL inválida: %s", reason));
    }
    XsltStylesheetPtr sheet(xsltParseStylesheetDoc(sheetDoc.get()));
    if (!sheet) {
        throw EmvlException("Folha de estilo XSL inválida.");
    }
    sheetDoc.release(); // the stylesheet owns its document from here on
    XsltSecurityPrefsPtr prefs(xsltNewSecurityPrefs());
    xsltSetSecurityPrefs(prefs.get(), XSLT_SECPREF_WRITE_FILE, xsltSecurityForbid);
    xsltSetSecurityPrefs(prefs.get(), XSLT_SECPREF_CREATE_DIRECTORY, xsltSecurityForbid);
    xsltSetSecurityPrefs(prefs.get(), XSLT_SECPREF_READ_NETWORK, xsltSecurityForbid);
    xsltSetSecurityPrefs(prefs.get(), XSLT_SECPREF_WRITE_NETWORK, xsltSecurityForbid);
    XsltTransformContextPtr ctxt(xsltNewTransformContext(sheet.get(), doc.get()));
    if (!ctxt) {
        throw std::bad_alloc();
    }
    std::string errors;
    xsltSetCtxtSecurityPrefs(prefs.get(), ctxt.get());
    xsltSetTransformErrorFunc(ctxt.get(), &errors, CollectXsltError);
    XmlDocPtr result(xsltApplyStylesheetUser(sheet.get(), doc.get(), nullptr, nullptr, nullptr, ctxt.get()));
    if (!result || ctxt->state != XSLT_STATE_OK) {
        throw EmvlException(platform::Format("Falha na transformação XSL: %s", platform::Trim(errors)));
    }
    xmlChar* output = nullptr;
    int length = 0;
    if (xsltSaveResultToString(&output, &length, result.get(), sheet.get()) != 0) {
        throw EmvlException("Falha na transformação XSL: o resultado não pôde ser escrito.");
    }
    XmlCharPtr owned(output);
    std::string text =
        owned ? std::string(reinterpret_cast<const char*>(owned.get()), static_cast<size_t>(length)) : std::string();
    while (!text.empty() && text.back() == '\n') {
        text.pop_back();
    }
    return text;
}

} // namespace engine

std::string EscapeBareAmpersands(std::string_view text)
{
    const auto isAlpha = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); };
    const auto isDigit = [](char c) { return c >= '0' && c <= '9'; };
    const auto isHex = [&](char c) { return isDigit(c) || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f'); };
    // The length of the entity reference starting at `at` ("&name;", "&#123;", "&#x1F;"), 0 when
    // the "&" begins none.
    const auto entityLength = [&](size_t at) -> size_t {
        size_t i = at + 1;
        if (i < text.size() && text[i] == '#') {
            ++i;
            const bool hex = i < text.size() && (text[i] == 'x' || text[i] == 'X');
            i += hex ? 1 : 0;
            const size_t digits = i;
            while (i < text.size() && (hex ? isHex(text[i]) : isDigit(text[i]))) {
                ++i;
            }
            return i > digits && i < text.size() && text[i] == ';' ? i + 1 - at : 0;
        }
        if (i >= text.size() || !(isAlpha(text[i]) || text[i] == '_')) {
            return 0;
        }
        while (i < text.size() &&
               (isAlpha(text[i]) || isDigit(text[i]) || text[i] == '_' || text[i] == '-' || text[i] == '.')) {
            ++i;
        }
        return i < text.size() && text[i] == ';' ? i + 1 - at : 0;
    };
    std::string result;
    result.reserve(text.size());
    for (size_t at = 0; at < text.size(); ++at) {
        if (text[at] != '&') {
            result += text[at];
        } else if (const size_t length = entityLength(at); length > 0) {
            result.append(text.substr(at, length));
            at += length - 1;
        } else {
            result += "&amp;";
        }
    }
    return result;
}
