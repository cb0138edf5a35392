#include "engine/mvlXPath.h"

#include "engine/XmlHandles.h"
#include "engine/mvlExceptions.h"
#include "platform/Format.h"
#include "platform/TextRules.h"

#include <algorithm>

namespace {

std::vector<std::pair<std::string, std::string>> ParseDeclarations(std::string_view text)
{
    std::vector<std::pair<std::string, std::string>> result;
    size_t pos = 0;
    while ((pos = text.find("xmlns", pos)) != std::string_view::npos) {
        size_t cursor = pos + 5;
        std::string prefix;
        if (cursor < text.size() && text[cursor] == ':') {
            const size_t eq = text.find('=', cursor);
            if (eq == std::string_view::npos) {
                break;
            }
            prefix = std::string(platform::Trim(text.substr(cursor + 1, eq - cursor - 1)));
            cursor = eq;
        } else {
            cursor = text.find('=', cursor);
            if (cursor == std::string_view::npos) {
                break;
            }
        }
        const size_t open = text.find_first_of("\"'", cursor);
        if (open == std::string_view::npos) {
            break;
        }
        const size_t close = text.find(text[open], open + 1);
        if (close == std::string_view::npos) {
            break;
        }
        if (!prefix.empty()) {
            result.emplace_back(prefix, std::string(text.substr(open + 1, close - open - 1)));
        }
        pos = close + 1;
    }
    return result;
}

} // namespace

TmvlXPath::TmvlXPath() = default;
TmvlXPath::~TmvlXPath() = default;

void TmvlXPath::LoadXML(std::string_view text)
{
    TmvlCustomXML::LoadXML(text);
    m_currentNode = {};
    m_currentNodeList.clear();
}

void TmvlXPath::SetSelectionNamespaces(std::string_view declarations)
{
    m_selectionNamespaces = std::string(declarations);
    m_namespaces = ParseDeclarations(declarations);
}

namespace {

engine::XPathObjectPtr Run(xmlDoc* doc, const std::vector<std::pair<std::string, std::string>>& namespaces,
                           std::string_view xpath, engine::XmlNode context)
{
    if (doc == nullptr) {
        throw EmvlException("Nenhum documento XML carregado para a consulta XPath.");
    }
    engine::XPathContextPtr ctxt(xmlXPathNewContext(doc));
    if (!ctxt) {
        throw std::bad_alloc();
    }
    for (const auto& [prefix, uri] : namespaces) {
        xmlXPathRegisterNs(ctxt.get(), engine::ToXmlChar(prefix), engine::ToXmlChar(uri));
    }
    ctxt->node = context ? context.Handle() : reinterpret_cast<xmlNode*>(doc);
    // Errors are read from the result; nothing is printed.
    ctxt->error = [](void*, xmlErrorPtr) {};
    const std::string expression(xpath);
    engine::XPathObjectPtr result(xmlXPathEvalExpression(engine::ToXmlChar(expression), ctxt.get()));
    if (!result) {
        throw EmvlException(platform::Format("Expressão XPath inválida: %s", xpath));
    }
    return result;
}

} // namespace

std::vector<engine::XmlNode> TmvlXPath::Select(std::string_view xpath, engine::XmlNode context)
{
    engine::XPathObjectPtr result = Run(Document(), m_namespaces, xpath, context);
    std::vector<engine::XmlNode> nodes;
    if (result->type == XPATH_NODESET && result->nodesetval != nullptr) {
        for (int i = 0; i < result->nodesetval->nodeNr; ++i) {
            nodes.emplace_back(result->nodesetval->nodeTab[i]);
        }
    }
    return nodes;
}

bool TmvlXPath::SelectNode(std::string_view xpath, engine::XmlNode context)
{
    const std::vector<engine::XmlNode> nodes = Select(xpath, context);
    m_currentNode = nodes.empty() ? engine::XmlNode() : nodes.front();
    return !nodes.empty();
}

bool TmvlXPath::SelectNodes(std::string_view xpath, engine::XmlNode context)
{
    m_currentNodeList = Select(xpath, context);
    return !m_currentNodeList.empty();
}

std::string TmvlXPath::SelectText(std::string_view xpath, engine::XmlNode context)
{
    const std::vector<engine::XmlNode> nodes = Select(xpath, context);
    return nodes.empty() ? std::string() : nodes.front().Text();
}

std::string TmvlXPath::Evaluate(std::string_view xpath, engine::XmlNode context)
{
    engine::XPathObjectPtr result = Run(Document(), m_namespaces, xpath, context);
    engine::XmlCharPtr text(xmlXPathCastToString(result.get()));
    return engine::ToString(text.get());
}

engine::XmlNode TmvlXPath::LastTopLevelNode() const
{
    xmlDoc* doc = Document();
    if (doc == nullptr) {
        return {};
    }
    return engine::XmlNode(doc->last);
}

namespace engine {

std::string XPathLiteral(std::string_view value)
{
    if (value.find('\'') == std::string_view::npos) {
        return "'" + std::string(value) + "'";
    }
    if (value.find('"') == std::string_view::npos) {
        return "\"" + std::string(value) + "\"";
    }
    std::string result = "concat(";
    size_t start = 0;
    bool first = true;
    while (start < value.size()) {
        const size_t quote = value.find('\'', start);
        const std::string_view piece =
            value.substr(start, quote == std::string_view::npos ? value.npos : quote - start);
        if (!piece.empty()) {
            result += (first ? "" : ", ") + ("'" + std::string(piece) + "'");
            first = false;
        }
        if (quote == std::string_view::npos) {
            break;
        }
        result += first ? "\"'\"" : ", \"'\"";
        first = false;
        start = quote + 1;
    }
    return result + ")";
}

std::string LocalNameXPath(std::string_view path)
{
    std::string result;
    size_t pos = 0;
    while (pos < path.size()) {
        if (path[pos] == '/') {
            result += '/';
            ++pos;
            continue;
        }
        size_t end = path.find('/', pos);
        // A predicate may hold slashes of its own.
        const size_t bracket = path.find('[', pos);
        if (bracket != std::string_view::npos && (end == std::string_view::npos || bracket < end)) {
            int depth = 0;
            end = bracket;
            for (; end < path.size(); ++end) {
                if (path[end] == '[') {
                    ++depth;
                } else if (path[end] == ']') {
                    --depth;
                } else if (path[end] == '/' && depth == 0) {
                    break;
                }
            }
        }
        if (end == std::string_view::npos) {
            end = path.size();
        }
        const std::string_view step = path.substr(pos, end - pos);
        const size_t predicate = std::min(step.find('['), step.size());
        const std::string_view name = step.substr(0, predicate);
        const bool keep =
            name.empty() || name == "." || name == ".." || name == "*" || name.find_first_of("(:@") != name.npos;
        if (keep) {
            result += step;
        } else {
            result += "*[local-name()=" + XPathLiteral(name) + "]";
            result += step.substr(predicate);
        }
        pos = end;
    }
    return result;
}

} // namespace engine
