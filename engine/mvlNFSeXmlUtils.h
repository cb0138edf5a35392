#pragma once

#include "platform/DateTime.h"

#include <string>
#include <string_view>

// Text-level helpers for the XML the engine writes and the answers it reads. Every text is
// UTF-8. The helpers that test well-formedness first never fail on bad XML.

bool XmlIsWellFormed(std::string_view xml);
// Trims every line, puts one blank before a non-empty line that does not start with "<",
// joins the lines and drops every LF, CR and TAB.
std::string CompactXml(std::string_view xml);
// CompactXml, one tag per line ("<br>" becomes a line break too); a well-formed result is
// indented by the parser.
std::string FormatXml(std::string_view xml);
std::string RemoveCData(std::string_view text);
std::string EscapeXml(std::string_view text);
std::string UnescapeXml(std::string_view text);
// The business XML inside a CDATA section or escaped inside a wrapper element; any other
// text unchanged.
std::string ExtractEmbeddedXml(std::string_view text);
// The first child of the SOAP Body, with its inherited namespaces; the text unchanged when
// it is no envelope or no XML.
std::string ExtractSoapBody(std::string_view text);
// The string value of the first node the XPath selects; false on bad XML or no match.
[[nodiscard]] bool SelectNodeText(std::string_view xml, std::string_view xpath, std::string& value);
// The root element alone: no declaration, nothing outside the root. Fails on bad XML.
std::string RootOuterXml(std::string_view xml);
// Every element and attribute renamed to its local name; prefixes and declarations go.
std::string StripNamespaces(std::string_view xml);
// The first element of that name in the root's namespace (any namespace when the root has
// none); empty when absent.
std::string ElementXmlInRootNamespace(std::string_view xml, std::string_view name);
// Without parsing: the text between the first "<name>" and the next "</name>".
std::string TextBetweenTags(std::string_view text, std::string_view name);
// A value of an "Extras" list ("name=value;name=value", names without case, blanks kept).
// Required and empty: EmvlNFSeCheckParams "Parâmetro Extra "<name>" não possui valor".
std::string ReadExtra(std::string_view extras, std::string_view name, bool required = false);

// Widths count characters, not bytes.
std::string PadText(std::string_view text, size_t width, std::string_view fill, bool padLeft);
std::string KeepChars(std::string_view text, std::string_view allowed);
int CountOccurrences(std::string_view text, std::string_view part);
// UTF-8 text that was once read as Windows-1252: an accented letter (vowels with acute,
// grave, circumflex or diaeresis, ã õ ñ ç, either case, º and ª) shows as two characters
// such as "Ã©".
bool HasUtf8Accents(std::string_view text);
// Fortaleza takes a CPF as "CPF" + the eleven digits.
std::string CnpjOrCpfForCity(std::string_view city, std::string_view document);
// xsd:dateTime ("[-]yyyy-mm-ddThh:mm:ss[.fff…][Z|±hh:mm]"), also "dd/mm/yyyy hh:mm:ss" and
// either form with AM/PM. The zone is read and not applied: the time stays as written.
platform::DateTime ParseXsdDateTime(std::string_view text);
double DotDecimalToFloat(std::string_view text);
std::string FloatToDotDecimal(double value);

// The file with "Custom" before its extension when that file exists, else the name.
std::string CustomVariant(std::string_view fileName);

enum class TEngineFileKind
{
    efkSchema = 0,
    efkTemplate = 1,
    efkPrintTemplate = 2
};

// The first existing of: the name itself, base/<city>/name, base/<collection>/name,
// base/name (each preferring its Custom variant); base is the schemas folder, the templates
// folder or its "Impressao" subfolder by kind. A relative name is taken in baseFolder (empty:
// the program folder). Empty name: empty result. None: EmvlNFSeFileNotFoundException.
std::string FindEngineFile(std::string_view templatesDir, std::string_view schemasDir, std::string_view city,
                           TEngineFileKind kind, std::string_view fileName, std::string_view collectionName,
                           std::string_view baseFolder = {});

// A configured file or folder name as a path: a relative name, or one starting with "\"
// as the defaults do, lies in baseFolder (empty: the program folder); an absolute one is
// kept. Existing folders get a trailing separator; names are matched without case.
std::string ResolvePath(std::string_view path, std::string_view baseFolder = {});

// The classic engine methods serve a fixed list of cities only.
void CheckClassicCity(std::string_view city);

namespace engine {

// XSL transformation through libxslt; the stylesheet may not write files or reach the
// network. Fails with EmvlException.
std::string XslTransform(std::string_view xml, std::string_view xsl);

} // namespace engine

// Every "&" that does not begin an entity ("&amp;", "&lt;", "&#231;", "&#xE7;") becomes
// "&amp;"; the entities stay as they are. The one repair for answers that carry a bare "&".
std::string EscapeBareAmpersands(std::string_view text);
