// XMLObject: declarations, state, copying and the XML form. The SQL form is
// in XMLObject.Sql.cpp, the Lua form in XMLObject.Lua.cpp.
#include "core/XMLObject.h"

#include <wx/sstream.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <unordered_map>

#include "core/Log.h"
#include "core/Text.h"

namespace OrvCore {

namespace {

const char* const kComponent = "orv.xmlobject";
const char* const kSource = "core/XMLObject";

const wxString& EmptyName()
{
    static const wxString* empty = new wxString();
    return *empty;
}

bool NamesMatch(const wxString& a, const wxString& b, bool caseInsensitive)
{
    return caseInsensitive ? a.IsSameAs(b, false) : a == b;
}

wxString AsciiLower(const wxString& text)
{
    wxString lower(text);
    for (auto it = lower.begin(); it != lower.end(); ++it) {
        const wxUniChar c = *it;
        if (c >= wxT('A') && c <= wxT('Z')) *it = wxUniChar(c.GetValue() + (U'a' - U'A'));
    }
    return lower;
}

bool ParseInteger(const wxString& text, long long minimum, long long maximum, long long& value)
{
    const std::string bytes = wxString(text).Strip(wxString::both).utf8_string();
    if (bytes.empty()) return false;
    const char* begin = bytes.c_str();
    const char* digits = begin + ((*begin == '-' || *begin == '+') ? 1 : 0);
    if (*digits < '0' || *digits > '9') return false;
    char* end = nullptr;
    errno = 0;
    const long long parsed = strtoll(begin, &end, 10);
    if (errno != 0 || end == nullptr || *end != '\0') return false;
    if (parsed < minimum || parsed > maximum) return false;
    value = parsed;
    return true;
}

bool ParseBool(const wxString& text, bool& value)
{
    const wxString word = AsciiLower(wxString(text).Strip(wxString::both));
    if (word == wxT("true") || word == wxT("1")) {
        value = true;
        return true;
    }
    if (word == wxT("false") || word == wxT("0")) {
        value = false;
        return true;
    }
    return false;
}

const char* TypeName(XMLAttrType type)
{
    switch (type) {
        case XMLAttrType::Text:
            return "text";
        case XMLAttrType::Int64:
            return "64-bit integer";
        case XMLAttrType::Int32:
            return "32-bit integer";
        case XMLAttrType::Bool:
            return "boolean";
        case XMLAttrType::Blob:
            return "hexadecimal byte string";
    }
    return "value";
}

// Declarations are interned: objects of one class share them, and a
// declaration's address identifies it for layout comparisons and caches.
typedef XMLObject::AttributeDecl AttributeDecl;

const AttributeDecl* InternDecl(const wxString& name, XMLAttrType type, XMLAttr flags, long long defaultInt,
                                const wxString& defaultText, const std::string& defaultBytes)
{
    static std::mutex* mutex = new std::mutex;
    static auto* pool = new std::unordered_map<std::string, std::unique_ptr<AttributeDecl>>;

    std::string key = name.utf8_string();
    key.push_back('\0');
    key.push_back(static_cast<char>('0' + static_cast<int>(type)));
    key.append(std::to_string(static_cast<unsigned>(flags)));
    key.push_back('\0');
    key.append(std::to_string(defaultInt));
    key.push_back('\0');
    key.append(defaultText.utf8_string());
    key.push_back('\0');
    key.append(defaultBytes);

    std::lock_guard<std::mutex> lock(*mutex);
    std::unique_ptr<AttributeDecl>& slot = (*pool)[key];
    if (!slot) {
        slot.reset(new AttributeDecl);
        slot->name = name;
        slot->nameUtf8 = name.utf8_string();
        slot->type = type;
        slot->flags = flags;
        slot->defaultInt = defaultInt;
        slot->defaultText = defaultText;
        slot->defaultBytes = defaultBytes;
    }
    return slot.get();
}

}  // namespace

// ---------------------------------------------------------------- declaring

XMLObject::XMLObject(bool inlineList, bool caseInsensitive)
    : m_inlineList(inlineList), m_caseInsensitive(caseInsensitive)
{
}

XMLObject::~XMLObject() = default;

// Row objects are built per entity, and every object of a class declares the
// same attributes from the same lines of its constructor. The declaration
// made at a call site is therefore remembered per thread and reused when the
// call declares the same thing again, which saves the interning (text
// conversions and the pool's lock) on every construction after the first.
void XMLObject::Declare(const void* callSite, const wxString& name, XMLAttrType type, void* field, XMLAttr flags,
                        long long defaultInt, const wxString& defaultText, const std::string& defaultBytes)
{
    thread_local std::unordered_map<const void*, const AttributeDecl*> recent;
    const AttributeDecl*& cached = recent[callSite];
    if (!cached || cached->type != type || cached->flags != flags || cached->defaultInt != defaultInt ||
        cached->name != name || cached->defaultText != defaultText || cached->defaultBytes != defaultBytes)
        cached = InternDecl(name, type, flags, defaultInt, defaultText, defaultBytes);
    Attribute attribute;
    attribute.decl = cached;
    attribute.field = field;
    m_attributes.push_back(attribute);
}

__attribute__((noinline)) void XMLObject::AddAttribute(const wxString& name, wxString* field, XMLAttr flags)
{
    Declare(__builtin_return_address(0), name, XMLAttrType::Text, field, flags, 0, *field, std::string());
}

__attribute__((noinline)) void XMLObject::AddAttribute(const wxString& name, long long* field, long long defaultValue, XMLAttr flags)
{
    *field = defaultValue;
    Declare(__builtin_return_address(0), name, XMLAttrType::Int64, field, flags, defaultValue, wxString(), std::string());
}

__attribute__((noinline)) void XMLObject::AddAttribute(const wxString& name, int* field, int defaultValue, XMLAttr flags)
{
    *field = defaultValue;
    Declare(__builtin_return_address(0), name, XMLAttrType::Int32, field, flags, defaultValue, wxString(), std::string());
}

__attribute__((noinline)) void XMLObject::AddAttribute(const wxString& name, bool* field, XMLAttr flags)
{
    Declare(__builtin_return_address(0), name, XMLAttrType::Bool, field, flags, *field ? 1 : 0, wxString(), std::string());
}

__attribute__((noinline)) void XMLObject::AddAttribute(const wxString& name, std::string* bytes, XMLAttr flags)
{
    Declare(__builtin_return_address(0), name, XMLAttrType::Blob, bytes, flags, 0, wxString(), *bytes);
}

void XMLObject::AddChild(XMLObject* child)
{
    if (child != nullptr && child != this) m_children.push_back(child);
}

bool XMLObject::RemoveAttribute(const void* field)
{
    for (auto it = m_attributes.begin(); it != m_attributes.end(); ++it) {
        if (it->field == field) {
            m_attributes.erase(it);
            return true;
        }
    }
    return false;
}

// ---------------------------------------------------------------- state

XMLObject::Attribute* XMLObject::FindAttribute(const void* field)
{
    for (Attribute& attribute : m_attributes) {
        if (attribute.field == field) return &attribute;
    }
    return nullptr;
}

const XMLObject::Attribute* XMLObject::FindAttribute(const void* field) const
{
    return const_cast<XMLObject*>(this)->FindAttribute(field);
}

XMLObject::Attribute* XMLObject::FindAttributeByName(const wxString& name, bool caseInsensitive)
{
    for (Attribute& attribute : m_attributes) {
        if (NamesMatch(attribute.decl->name, name, caseInsensitive)) return &attribute;
    }
    return nullptr;
}

void XMLObject::ResetAttribute(Attribute& attribute)
{
    const AttributeDecl& decl = *attribute.decl;
    switch (decl.type) {
        case XMLAttrType::Text:
            *static_cast<wxString*>(attribute.field) = decl.defaultText;
            break;
        case XMLAttrType::Int64:
            *static_cast<long long*>(attribute.field) = decl.defaultInt;
            break;
        case XMLAttrType::Int32:
            *static_cast<int*>(attribute.field) = static_cast<int>(decl.defaultInt);
            break;
        case XMLAttrType::Bool:
            *static_cast<bool*>(attribute.field) = decl.defaultInt != 0;
            break;
        case XMLAttrType::Blob:
            *static_cast<std::string*>(attribute.field) = decl.defaultBytes;
            break;
    }
    attribute.isNull = false;
    attribute.parsed = false;
}

void XMLObject::SetToDefaults()
{
    for (Attribute& attribute : m_attributes) ResetAttribute(attribute);
    m_elementPresent = false;
    for (XMLObject* child : m_children) child->SetToDefaults();
}

void XMLObject::SetAttributeNull(const void* field, bool null)
{
    Attribute* attribute = FindAttribute(field);
    if (attribute != nullptr) attribute->isNull = null;
}

bool XMLObject::IsAttributeNull(const void* field) const
{
    const Attribute* attribute = FindAttribute(field);
    return attribute != nullptr && attribute->isNull;
}

bool XMLObject::AttributeWasParsed(const void* field) const
{
    const Attribute* attribute = FindAttribute(field);
    return attribute != nullptr && attribute->parsed;
}

const wxString& XMLObject::GetAttributeName(const void* field) const
{
    const Attribute* attribute = FindAttribute(field);
    return attribute != nullptr ? attribute->decl->name : EmptyName();
}

const XMLObject::Attribute* XMLObject::GetKeyAttribute() const
{
    for (const Attribute& attribute : m_attributes) {
        if (HasFlag(attribute.decl->flags, XMLAttr::Key)) return &attribute;
    }
    return nullptr;
}

long long XMLObject::GetKeyValue() const
{
    const Attribute* key = GetKeyAttribute();
    if (key == nullptr) return 0;
    switch (key->decl->type) {
        case XMLAttrType::Int64:
            return *static_cast<const long long*>(key->field);
        case XMLAttrType::Int32:
            return *static_cast<const int*>(key->field);
        case XMLAttrType::Bool:
            return *static_cast<const bool*>(key->field) ? 1 : 0;
        case XMLAttrType::Text: {
            long long value = 0;
            return ParseInteger(*static_cast<const wxString*>(key->field), LLONG_MIN, LLONG_MAX, value)
                       ? value
                       : 0;
        }
        case XMLAttrType::Blob:
            return 0;
    }
    return 0;
}

bool XMLObject::SameLayout(const XMLObject& other) const
{
    if (m_attributes.size() != other.m_attributes.size()) return false;
    for (size_t i = 0; i < m_attributes.size(); ++i) {
        const AttributeDecl* mine = m_attributes[i].decl;
        const AttributeDecl* theirs = other.m_attributes[i].decl;
        if (mine != theirs && (mine->type != theirs->type || mine->name != theirs->name)) return false;
    }
    if (m_children.size() != other.m_children.size()) return false;
    for (size_t i = 0; i < m_children.size(); ++i) {
        const XMLObject* mine = m_children[i];
        const XMLObject* theirs = other.m_children[i];
        if ((mine->AsList() == nullptr) != (theirs->AsList() == nullptr)) return false;
        if (!mine->SameLayout(*theirs)) return false;
    }
    return true;
}

void XMLObject::CopyValuesFrom(const XMLObject& other)
{
    for (size_t i = 0; i < m_attributes.size(); ++i) {
        Attribute& mine = m_attributes[i];
        const Attribute& theirs = other.m_attributes[i];
        switch (mine.decl->type) {
            case XMLAttrType::Text:
                *static_cast<wxString*>(mine.field) = *static_cast<const wxString*>(theirs.field);
                break;
            case XMLAttrType::Int64:
                *static_cast<long long*>(mine.field) = *static_cast<const long long*>(theirs.field);
                break;
            case XMLAttrType::Int32:
                *static_cast<int*>(mine.field) = *static_cast<const int*>(theirs.field);
                break;
            case XMLAttrType::Bool:
                *static_cast<bool*>(mine.field) = *static_cast<const bool*>(theirs.field);
                break;
            case XMLAttrType::Blob:
                *static_cast<std::string*>(mine.field) = *static_cast<const std::string*>(theirs.field);
                break;
        }
        mine.isNull = theirs.isNull;
        mine.parsed = theirs.parsed;
    }
    m_elementPresent = other.m_elementPresent;
}

bool XMLObject::CopyFrom(const XMLObject& other)
{
    if (&other == this) return true;
    if (!SameLayout(other)) return false;
    CopyValuesFrom(other);
    for (size_t i = 0; i < m_children.size(); ++i) m_children[i]->CopyFrom(*other.m_children[i]);
    return true;
}

bool XMLObject::HasChildElements() const
{
    for (const XMLObject* child : m_children) {
        const XMLObjectList* list = child->AsList();
        if (list == nullptr || !list->IsInlineList() || !list->Children().empty()) return true;
    }
    return false;
}

bool XMLObject::EnumChildObjects(EnumChildCallback callback, void* context)
{
    for (XMLObject* child : m_children) {
        if (!callback(this, child, context)) return false;
    }
    return true;
}

// ---------------------------------------------------------------- XML input

bool XMLObject::SetAttribute(const wxString& name, const wxString& value)
{
    Attribute* attribute = FindAttributeByName(name, m_caseInsensitive);
    if (attribute == nullptr) return false;
    const AttributeDecl& decl = *attribute->decl;
    bool taken = true;
    bool malformed = false;
    switch (decl.type) {
        case XMLAttrType::Text:
            *static_cast<wxString*>(attribute->field) = value;
            break;
        case XMLAttrType::Int64:
        case XMLAttrType::Int32: {
            const bool wide = decl.type == XMLAttrType::Int64;
            long long number = 0;
            if (wxString(value).Strip(wxString::both).empty()) {
                taken = false;
            } else if (!ParseInteger(value, wide ? LLONG_MIN : INT_MIN, wide ? LLONG_MAX : INT_MAX, number)) {
                taken = false;
                malformed = true;
            } else if (wide) {
                *static_cast<long long*>(attribute->field) = number;
            } else {
                *static_cast<int*>(attribute->field) = static_cast<int>(number);
            }
            break;
        }
        case XMLAttrType::Bool: {
            bool flag = false;
            if (wxString(value).Strip(wxString::both).empty()) {
                taken = false;
            } else if (!ParseBool(value, flag)) {
                taken = false;
                malformed = true;
            } else {
                *static_cast<bool*>(attribute->field) = flag;
            }
            break;
        }
        case XMLAttrType::Blob: {
            std::string bytes;
            if (value.empty()) {
                static_cast<std::string*>(attribute->field)->clear();
            } else if (!fromHexString(value, bytes)) {
                taken = false;
                malformed = true;
            } else {
                *static_cast<std::string*>(attribute->field) = bytes;
            }
            break;
        }
    }
    if (taken) {
        attribute->isNull = false;
        attribute->parsed = true;
    } else if (malformed) {
        LogWarning(kComponent,
                   wxString::Format(wxT("<%s>: attribute %s=\"%s\" is not a %s; it keeps its value"),
                                    GetElementName(), decl.name, value, TypeName(decl.type)));
    }
    return true;
}

bool XMLObject::OnUnhandledAttribute(const wxString& name, const wxString& value)
{
    ORV_TRACE(kComponent, kSource, "<%s>: unhandled attribute %s=\"%s\"", GetElementName(), name, value);
    return false;
}

bool XMLObject::OnUnhandledChildElement(const wxString& name)
{
    ORV_TRACE(kComponent, kSource, "<%s>: unhandled child element <%s>", GetElementName(), name);
    return false;
}

bool XMLObject::OnUnhandledChildNode(const CXmlNode& element)
{
    return OnUnhandledChildElement(element.name);
}

bool XMLObject::ReadChildNode(const CXmlNode& child)
{
    XMLObjectList* self = AsList();
    if (self != nullptr && NamesMatch(child.name, self->ChildElementName(), m_caseInsensitive)) {
        XMLObject* item = self->Append(self->CreateListElement());
        if (item != nullptr) item->ReadElement(child);
        return true;
    }
    for (XMLObject* declared : m_children) {
        XMLObjectList* list = declared->AsList();
        if (list != nullptr && list->IsInlineList()) {
            if (NamesMatch(child.name, list->ChildElementName(),
                           m_caseInsensitive || list->IsCaseInsensitive())) {
                list->m_elementPresent = true;
                XMLObject* item = list->Append(list->CreateListElement());
                if (item != nullptr) item->ReadElement(child);
                return true;
            }
        } else if (NamesMatch(child.name, declared->GetElementName(), m_caseInsensitive)) {
            declared->ReadElement(child);
            return true;
        }
    }
    return false;
}

void XMLObject::ReadElement(const CXmlNode& element)
{
    m_elementPresent = true;
    for (const auto& attribute : element.attributes) {
        if (!SetAttribute(attribute.first, attribute.second))
            OnUnhandledAttribute(attribute.first, attribute.second);
    }
    for (const auto& child : element.children) {
        if (!ReadChildNode(*child)) OnUnhandledChildNode(*child);
    }
}

bool XMLObject::FromXML(const CXmlNode& element)
{
    SetToDefaults();
    const wxString name = GetElementName();
    const bool anyName = name.empty() || (AsList() != nullptr && m_inlineList);
    if (!anyName && !NamesMatch(element.name, name, m_caseInsensitive)) {
        LogError(kComponent,
                 wxString::Format(wxT("expected the element <%s> but found <%s> (line %d, column %d)"), name,
                                  element.name, element.line, element.column));
        return false;
    }
    ReadElement(element);
    return true;
}

bool XMLObject::FromXML(const wxString& xml)
{
    const std::string bytes = xml.utf8_string();
    wxString error;
    std::unique_ptr<CXmlNode> root = ParseXml(bytes.data(), bytes.size(), error);
    if (!root) {
        SetToDefaults();
        LogError(kComponent, wxString::Format(wxT("cannot read <%s> from XML: %s"), GetElementName(), error));
        return false;
    }
    return FromXML(*root);
}

bool XMLObject::FromXML(wxInputStream& in)
{
    std::string bytes;
    char buffer[65536];
    while (in.IsOk() && !in.Eof()) {
        in.Read(buffer, sizeof(buffer));
        const size_t got = in.LastRead();
        if (got == 0) break;
        bytes.append(buffer, got);
    }
    if (in.GetLastError() != wxSTREAM_NO_ERROR && in.GetLastError() != wxSTREAM_EOF) {
        SetToDefaults();
        LogError(kComponent,
                 wxString::Format(wxT("cannot read <%s>: the input stream failed"), GetElementName()));
        return false;
    }
    wxString error;
    std::unique_ptr<CXmlNode> root = ParseXml(bytes.data(), bytes.size(), error);
    if (!root) {
        SetToDefaults();
        LogError(kComponent, wxString::Format(wxT("cannot read <%s> from XML: %s"), GetElementName(), error));
        return false;
    }
    return FromXML(*root);
}

// ---------------------------------------------------------------- XML output

wxString XMLObject::FormatValue(const Attribute& attribute)
{
    switch (attribute.decl->type) {
        case XMLAttrType::Text:
            return *static_cast<const wxString*>(attribute.field);
        case XMLAttrType::Int64:
            return OrvCore::toString(*static_cast<const long long*>(attribute.field));
        case XMLAttrType::Int32:
            return OrvCore::toString(*static_cast<const int*>(attribute.field));
        case XMLAttrType::Bool:
            return OrvCore::toString(*static_cast<const bool*>(attribute.field));
        case XMLAttrType::Blob:
            return toHexString(*static_cast<const std::string*>(attribute.field), true);
    }
    return wxString();
}

void XMLObject::Indent(wxString& out, int indent)
{
    if (indent > 0) out.append(static_cast<size_t>(indent) * 2, wxT(' '));
}

void XMLObject::PrintAttributes(wxString& out) const
{
    for (const Attribute& attribute : m_attributes) {
        const AttributeDecl& decl = *attribute.decl;
        if (!HasFlag(decl.flags, XMLAttr::Always)) {
            if (attribute.isNull) continue;
            if (decl.type == XMLAttrType::Text && static_cast<const wxString*>(attribute.field)->empty())
                continue;
            if (decl.type == XMLAttrType::Blob && static_cast<const std::string*>(attribute.field)->empty())
                continue;
        }
        out << wxT(' ') << decl.name << wxT("=\"") << XmlEscape(FormatValue(attribute), true) << wxT('"');
    }
}

void XMLObject::PrintChildElements(wxString& out, int indent) const
{
    for (const XMLObject* child : m_children) child->ToXML(out, indent);
}

void XMLObject::ToXML(wxString& out, int indent) const
{
    wxString name = GetElementName();
    if (name.empty()) name = wxT("XMLObject");
    Indent(out, indent);
    out << wxT('<') << name;
    PrintAttributes(out);
    wxString inner;
    PrintChildElements(inner, indent < 0 ? -1 : indent + 1);
    if (inner.empty()) {
        out << wxT("/>");
    } else {
        out << wxT('>');
        if (indent >= 0) out << wxT('\n');
        out << inner;
        Indent(out, indent);
        out << wxT("</") << name << wxT('>');
    }
    if (indent >= 0) out << wxT('\n');
}

bool XMLObject::WriteXML(wxOutputStream& out, int indent) const
{
    wxString text;
    ToXML(text, indent);
    const std::string bytes = text.utf8_string();
    out.Write(bytes.data(), bytes.size());
    return out.IsOk() && out.LastWrite() == bytes.size();
}

wxString XMLObject::toString() const
{
    wxString out;
    ToXML(out, -1);
    return out;
}

wxString XMLObject::Print(const wxString& names, const wxString& separator) const
{
    std::vector<const Attribute*> chosen;
    if (names.find_first_not_of(wxT(", \t")) == wxString::npos) {
        for (const Attribute& attribute : m_attributes) chosen.push_back(&attribute);
    } else {
        size_t start = 0;
        while (start <= names.length()) {
            size_t end = names.find(wxT(','), start);
            if (end == wxString::npos) end = names.length();
            const wxString name = names.substr(start, end - start).Strip(wxString::both);
            if (!name.empty()) {
                const Attribute* attribute =
                    const_cast<XMLObject*>(this)->FindAttributeByName(name, m_caseInsensitive);
                if (attribute != nullptr) chosen.push_back(attribute);
            }
            start = end + 1;
        }
    }
    wxString out;
    for (size_t i = 0; i < chosen.size(); ++i) {
        if (i > 0) out << separator;
        out << chosen[i]->decl->name << wxT('=')
            << (chosen[i]->isNull ? wxString(wxT("NULL")) : FormatValue(*chosen[i]));
    }
    return out;
}

// ---------------------------------------------------------------- lists

XMLObjectList::XMLObjectList(bool inlineList, bool caseInsensitive) : XMLObject(inlineList, caseInsensitive)
{
}

XMLObjectList::~XMLObjectList()
{
    Clear();
}

XMLObject* XMLObjectList::Append(XMLObject* item)
{
    if (item != nullptr) m_items.push_back(item);
    return item;
}

void XMLObjectList::Clear()
{
    std::vector<XMLObject*> items;
    items.swap(m_items);
    for (XMLObject* item : items) delete item;
}

void XMLObjectList::SetToDefaults()
{
    Clear();
    XMLObject::SetToDefaults();
}

bool XMLObjectList::CopyFrom(const XMLObject& other)
{
    if (&other == this) return true;
    const XMLObjectList* source = other.AsList();
    if (source == nullptr || !SameLayout(other)) return false;
    std::vector<std::unique_ptr<XMLObject>> copies;
    for (const XMLObject* item : source->m_items) {
        std::unique_ptr<XMLObject> copy(CreateListElement());
        if (!copy || !copy->CopyFrom(*item)) return false;
        copies.push_back(std::move(copy));
    }
    CopyValuesFrom(other);
    for (size_t i = 0; i < m_children.size(); ++i) m_children[i]->CopyFrom(*other.m_children[i]);
    Clear();
    for (auto& copy : copies) m_items.push_back(copy.release());
    return true;
}

bool XMLObjectList::HasChildElements() const
{
    return !m_items.empty() || XMLObject::HasChildElements();
}

bool XMLObjectList::EnumChildObjects(EnumChildCallback callback, void* context)
{
    for (XMLObject* item : m_items) {
        if (!callback(this, item, context)) return false;
    }
    return true;
}

void XMLObjectList::PrintChildElements(wxString& out, int indent) const
{
    XMLObject::PrintChildElements(out, indent);
    for (const XMLObject* item : m_items) item->ToXML(out, indent);
}

void XMLObjectList::ToXML(wxString& out, int indent) const
{
    if (IsInlineList()) {
        PrintChildElements(out, indent);
        return;
    }
    XMLObject::ToXML(out, indent);
}

// ---------------------------------------------------------------- bases

CIdObject::CIdObject(bool inlineList, bool caseInsensitive) : XMLObject(inlineList, caseInsensitive)
{
    AddAttribute(wxT("id"), &m_id, 0, XMLAttr::Key);
}

CIdNameObject::CIdNameObject(bool inlineList, bool caseInsensitive) : CIdObject(inlineList, caseInsensitive)
{
    AddAttribute(wxT("name"), &m_name);
}

CScanStatus::CScanStatus(bool inlineList, bool caseInsensitive) : XMLObject(inlineList, caseInsensitive)
{
    AddAttribute(wxT("state"), &m_state, Idle);
}

}  // namespace OrvCore
