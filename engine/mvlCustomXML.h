#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

// libxml2's own types, named without its headers; engine/XmlHandles.h has the rest.
struct _xmlDoc;
struct _xmlNode;

namespace engine {

// A node inside a document owned elsewhere (a TmvlCustomXML); valid while that document is.
class XmlNode
{
public:
    XmlNode() = default;
    explicit XmlNode(_xmlNode* node)
        : m_node(node)
    { }

    explicit operator bool() const { return m_node != nullptr; }
    bool operator==(const XmlNode&) const = default;
    _xmlNode* Handle() const { return m_node; }

    std::string Name() const; // as written, with its prefix
    std::string LocalName() const;
    std::string NamespaceURI() const;
    // The XPath string value: the text of the node and all its descendants.
    std::string Text() const;
    void SetText(std::string_view text);
    // By local name, whatever the prefix; empty when absent.
    std::string Attribute(std::string_view localName) const;
    bool HasAttribute(std::string_view localName) const;
    // The node written out on its own, with every namespace declaration it inherits.
    std::string Xml() const;

    XmlNode Parent() const;
    std::vector<XmlNode> Children() const; // element children, in order

private:
    _xmlNode* m_node = nullptr;
};

struct XmlDocumentState;

} // namespace engine

// One XML document loaded safely: no network, no DTD loading, no entity substitution
// (city answers are untrusted).
class TmvlCustomXML
{
public:
    TmvlCustomXML();
    virtual ~TmvlCustomXML();
    TmvlCustomXML(const TmvlCustomXML&) = delete;
    TmvlCustomXML& operator=(const TmvlCustomXML&) = delete;

    // UTF-8 text (an encoding named in its declaration is not applied: text inside the
    // program is UTF-8). Fails with "could not load xml <reason> [<text>]".
    virtual void LoadXML(std::string_view text);
    [[nodiscard]] bool TryLoadXML(std::string_view text, std::string* reason = nullptr);
    // The file's bytes with their own encoding declaration.
    void LoadFromFile(const std::string& fileName);

    bool Loaded() const;
    // The document as text; the XML declaration only when the loaded text had one.
    std::string XML() const;
    engine::XmlNode DocumentElement() const;

    // For the code that works on libxml2 directly (signing); the document stays ours.
    _xmlDoc* Document() const;

protected:
    std::unique_ptr<engine::XmlDocumentState> m_state;
};
