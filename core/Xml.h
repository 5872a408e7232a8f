// A small XML document tree parsed with expat. Used for the agent's security
// configuration and by the object model. Nodes are plain values: build one,
// parse into one, read it from any thread once built.
#pragma once

#include <wx/string.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "core/CoreApi.h"

namespace OrvCore {

class ORV_CORE_API CXmlNode
{
public:
    wxString name;
    std::vector<std::pair<wxString, wxString>> attributes;  // document order
    std::vector<std::unique_ptr<CXmlNode>> children;        // element children, document order
    wxString text;                                          // character data directly inside
    int line = 0;                                           // where the element starts
    int column = 0;

    // The attribute's value, or null when absent.
    const wxString* Attribute(const wxString& attributeName) const;
    // The first child element of that name, or null.
    const CXmlNode* Child(const wxString& childName) const;
    // Follows a "/"-separated path of element names. A leading "/" means the
    // path starts with this node's own name ("/SecurityConfiguration/AgentConfiguration"
    // on the root); without it the first name is a child of this node.
    const CXmlNode* Find(const wxString& path) const;

    std::unique_ptr<CXmlNode> Clone() const;

    // Serialises the subtree as UTF-8. indent < 0 writes it on one line,
    // otherwise children are indented by that many spaces per level.
    void Serialize(std::string& out, int indent = -1, int level = 0) const;
    wxString ToString(int indent = -1) const;
};

// Parses a whole document. On failure returns null and sets error to
// "line L, column C: <parser message>".
ORV_CORE_API std::unique_ptr<CXmlNode> ParseXml(const char* data, size_t length, wxString& error);
ORV_CORE_API std::unique_ptr<CXmlNode> ParseXml(const wxString& text, wxString& error);
ORV_CORE_API std::unique_ptr<CXmlNode> ParseXmlFile(const wxString& path, wxString& error);

// Escapes &, <, > (and " and ' when forAttribute) for XML output.
ORV_CORE_API wxString XmlEscape(const wxString& text, bool forAttribute);
ORV_CORE_API void XmlEscapeUtf8(const std::string& text, bool forAttribute, std::string& out);

}  // namespace OrvCore
