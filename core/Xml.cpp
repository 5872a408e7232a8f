// XML document tree of the agent core, parsed with expat.
#include "core/Xml.h"

#include <expat.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>

namespace OrvCore {

namespace {

// Deeper documents are refused: the tree is walked recursively (copy,
// output, destruction), and no document the agent reads comes close.
constexpr size_t kMaxDepth = 1024;

// expat takes an int length per call: large documents go in pieces.
constexpr size_t kParseChunk = 1 << 20;

struct ParseState
{
    XML_Parser parser = nullptr;
    std::unique_ptr<CXmlNode> root;
    std::vector<CXmlNode*> stack;    // open elements, innermost last
    std::vector<std::string> texts;  // their character data so far, as UTF-8
    bool tooDeep = false;
};

void XMLCALL OnStartElement(void* userData, const XML_Char* name, const XML_Char** atts)
{
    ParseState* state = static_cast<ParseState*>(userData);
    if (state->stack.size() >= kMaxDepth) {
        state->tooDeep = true;
        XML_StopParser(state->parser, XML_FALSE);
        return;
    }
    auto node = std::make_unique<CXmlNode>();
    node->name = wxString::FromUTF8(name);
    for (const XML_Char** a = atts; a && a[0]; a += 2) {
        node->attributes.emplace_back(wxString::FromUTF8(a[0]), wxString::FromUTF8(a[1]));
    }
    node->line = static_cast<int>(XML_GetCurrentLineNumber(state->parser));
    node->column = static_cast<int>(XML_GetCurrentColumnNumber(state->parser));

    CXmlNode* raw = node.get();
    if (state->stack.empty()) {
        state->root = std::move(node);
    } else {
        state->stack.back()->children.push_back(std::move(node));
    }
    state->stack.push_back(raw);
    state->texts.emplace_back();
}

void XMLCALL OnEndElement(void* userData, const XML_Char* /*name*/)
{
    ParseState* state = static_cast<ParseState*>(userData);
    if (state->stack.empty()) return;
    state->stack.back()->text = wxString::FromUTF8(state->texts.back());
    state->stack.pop_back();
    state->texts.pop_back();
}

void XMLCALL OnCharacterData(void* userData, const XML_Char* data, int length)
{
    ParseState* state = static_cast<ParseState*>(userData);
    if (state->texts.empty() || length <= 0) return;  // outside the root element
    state->texts.back().append(data, static_cast<size_t>(length));
}

wxString ErrorAt(XML_Parser parser, const char* message)
{
    const unsigned long line = XML_GetCurrentLineNumber(parser);
    const unsigned long column = XML_GetCurrentColumnNumber(parser);
    return wxString::Format(wxT("line %lu, column %lu: "), line, column) + wxString::FromUTF8(message);
}

std::string SystemErrorText(int errorNumber)
{
    char buffer[256];
    // GNU strerror_r: returns the message, possibly not in buffer.
    const char* text = strerror_r(errorNumber, buffer, sizeof(buffer));
    return text ? std::string(text) : std::string("error ") + std::to_string(errorNumber);
}

// An element with children is laid out one child per line; text made only of
// the whitespace of an earlier layout is not repeated then.
bool IsLayoutWhitespace(const wxString& text)
{
    for (auto it = text.begin(); it != text.end(); ++it) {
        const wxUniChar c = *it;
        if (c != wxT(' ') && c != wxT('\t') && c != wxT('\n') && c != wxT('\r')) return false;
    }
    return true;
}

}  // namespace

const wxString* CXmlNode::Attribute(const wxString& attributeName) const
{
    for (const auto& attribute : attributes) {
        if (attribute.first == attributeName) return &attribute.second;
    }
    return nullptr;
}

const CXmlNode* CXmlNode::Child(const wxString& childName) const
{
    for (const auto& child : children) {
        if (child->name == childName) return child.get();
    }
    return nullptr;
}

const CXmlNode* CXmlNode::Find(const wxString& path) const
{
    const CXmlNode* node = this;
    bool matchSelf = path.StartsWith(wxT("/"));
    size_t start = 0;
    const size_t length = path.length();
    while (start <= length) {
        size_t end = path.find(wxT('/'), start);
        if (end == wxString::npos) end = length;
        if (end > start) {
            const wxString component = path.substr(start, end - start);
            if (matchSelf) {
                if (node->name != component) return nullptr;
                matchSelf = false;
            } else {
                node = node->Child(component);
                if (node == nullptr) return nullptr;
            }
        }
        start = end + 1;
    }
    return node;
}

std::unique_ptr<CXmlNode> CXmlNode::Clone() const
{
    auto copy = std::make_unique<CXmlNode>();
    copy->name = name;
    copy->attributes = attributes;
    copy->text = text;
    copy->line = line;
    copy->column = column;
    copy->children.reserve(children.size());
    for (const auto& child : children) copy->children.push_back(child->Clone());
    return copy;
}

void CXmlNode::Serialize(std::string& out, int indent, int level) const
{
    const bool pretty = indent >= 0;
    if (pretty) out.append(static_cast<size_t>(indent) * static_cast<size_t>(level), ' ');
    const std::string tag = name.utf8_string();
    out.push_back('<');
    out.append(tag);
    for (const auto& attribute : attributes) {
        out.push_back(' ');
        out.append(attribute.first.utf8_string());
        out.append("=\"");
        XmlEscapeUtf8(attribute.second.utf8_string(), true, out);
        out.push_back('"');
    }
    const bool writeText = !text.empty() && !(pretty && !children.empty() && IsLayoutWhitespace(text));
    if (!writeText && children.empty()) {
        out.append("/>");
        return;
    }
    out.push_back('>');
    if (writeText) XmlEscapeUtf8(text.utf8_string(), false, out);
    for (const auto& child : children) {
        if (pretty) out.push_back('\n');
        child->Serialize(out, indent, level + 1);
    }
    if (pretty && !children.empty()) {
        out.push_back('\n');
        out.append(static_cast<size_t>(indent) * static_cast<size_t>(level), ' ');
    }
    out.append("</");
    out.append(tag);
    out.push_back('>');
}

wxString CXmlNode::ToString(int indent) const
{
    std::string out;
    Serialize(out, indent, 0);
    return wxString::FromUTF8(out);
}

std::unique_ptr<CXmlNode> ParseXml(const char* data, size_t length, wxString& error)
{
    error.clear();
    if (data == nullptr) {
        data = "";
        length = 0;
    }
    ParseState state;
    state.parser = XML_ParserCreate("UTF-8");
    if (state.parser == nullptr) {
        error = wxT("line 0, column 0: cannot create the XML parser");
        return nullptr;
    }
    XML_SetUserData(state.parser, &state);
    XML_SetElementHandler(state.parser, OnStartElement, OnEndElement);
    XML_SetCharacterDataHandler(state.parser, OnCharacterData);

    bool ok = true;
    size_t offset = 0;
    do {
        const size_t piece = std::min(length - offset, kParseChunk);
        const bool last = offset + piece == length;
        if (XML_Parse(state.parser, data + offset, static_cast<int>(piece), last ? XML_TRUE : XML_FALSE) !=
            XML_STATUS_OK) {
            ok = false;
            break;
        }
        offset += piece;
    } while (offset < length);

    std::unique_ptr<CXmlNode> result;
    if (!ok) {
        if (state.tooDeep)
            error = ErrorAt(state.parser, "elements nested too deeply");
        else
            error = ErrorAt(state.parser, XML_ErrorString(XML_GetErrorCode(state.parser)));
    } else if (!state.root) {
        error = ErrorAt(state.parser, XML_ErrorString(XML_ERROR_NO_ELEMENTS));
    } else {
        result = std::move(state.root);
    }
    XML_ParserFree(state.parser);
    return result;
}

std::unique_ptr<CXmlNode> ParseXml(const wxString& text, wxString& error)
{
    const std::string bytes = text.utf8_string();
    return ParseXml(bytes.data(), bytes.size(), error);
}

std::unique_ptr<CXmlNode> ParseXmlFile(const wxString& path, wxString& error)
{
    error.clear();
    const std::string name = path.utf8_string();
    std::string content;
    int fd = open(name.c_str(), O_RDONLY | O_CLOEXEC);
    int failure = 0;
    if (fd < 0) {
        failure = errno;
    } else {
        char buffer[65536];
        for (;;) {
            ssize_t n = read(fd, buffer, sizeof(buffer));
            if (n > 0) {
                content.append(buffer, static_cast<size_t>(n));
            } else if (n == 0) {
                break;
            } else if (errno != EINTR) {
                failure = errno;
                break;
            }
        }
        close(fd);
    }
    if (failure != 0) {
        error = wxT("cannot read ") + path + wxT(": ") + wxString::FromUTF8(SystemErrorText(failure));
        return nullptr;
    }
    return ParseXml(content.data(), content.size(), error);
}

void XmlEscapeUtf8(const std::string& text, bool forAttribute, std::string& out)
{
    out.reserve(out.size() + text.size());
    for (char c : text) {
        switch (c) {
            case '&':
                out.append("&amp;");
                break;
            case '<':
                out.append("&lt;");
                break;
            case '>':
                out.append("&gt;");
                break;
            case '\r':
                // A parser turns a raw carriage return into a line feed.
                out.append("&#13;");
                break;
            case '"':
                if (forAttribute)
                    out.append("&quot;");
                else
                    out.push_back(c);
                break;
            case '\'':
                if (forAttribute)
                    out.append("&apos;");
                else
                    out.push_back(c);
                break;
            case '\n':
                // In an attribute a raw line feed or tab reads back as a space.
                if (forAttribute)
                    out.append("&#10;");
                else
                    out.push_back(c);
                break;
            case '\t':
                if (forAttribute)
                    out.append("&#9;");
                else
                    out.push_back(c);
                break;
            default:
                out.push_back(c);
                break;
        }
    }
}

wxString XmlEscape(const wxString& text, bool forAttribute)
{
    std::string out;
    XmlEscapeUtf8(text.utf8_string(), forAttribute, out);
    return wxString::FromUTF8(out);
}

}  // namespace OrvCore
