// XMLObject: the object model of the agent and its plugins. A subclass
// declares its attributes (typed members: text, 64-bit and 32-bit integers,
// booleans, byte strings) and its child objects and lists once, in its
// constructor; the base then reads and writes the object as an XML element,
// pushes it to Lua as a table, and stores it as a row of an SQLite table
// whose columns are the attribute names.
//
// Ownership: attributes and child objects handed to AddAttribute/AddChild are
// members of the subclass; the base only keeps pointers to them and never
// deletes them. An XMLObjectList owns its items (made by CreateListElement or
// handed to Append) and deletes them when it is cleared, reset or destroyed.
// Objects are not copyable; CopyFrom copies one object of a class into another.
//
// Threads: an object is not synchronised; one thread at a time may use it.
// Different objects may be used on different threads at once (the shared
// declaration pool and statement text cache are locked). toLua runs on the
// thread that owns the lua_State.
//
// Element and attribute names are matched exactly (case-sensitively) when
// XML is read, unless the object was constructed with caseInsensitive: then
// that object matches its own attribute names and the element names of its
// children and list items without regard to ASCII letter case. Names are
// always written as declared. SQL column names match without regard to case,
// as SQLite's do.
#pragma once

#include <wx/stream.h>
#include <wx/string.h>
#include <wx/wxsqlite3.h>

#include <string>
#include <utility>
#include <vector>

#include "core/CoreApi.h"
#include "core/Xml.h"

struct lua_State;

namespace OrvCore {

class XMLObjectList;

// Flags of a declared attribute. Combine with "|".
enum class XMLAttr : unsigned
{
    None = 0,
    // The row's id column: an integer primary key. An insert binds NULL for it
    // while it is 0 or null, so that SQLite assigns the id, and otherwise its
    // value; either way the attribute then receives the row id. Updates,
    // deletes and loads by key select the row with it (WHERE [key]=?).
    // An object has at most one key; only the first one declared counts.
    Key = 0x1,
    // The "attribute flag": the attribute is always present in the XML and
    // Lua forms, even when it is empty or null (a null one is written with
    // its current value, normally the default). Output objects set it on
    // values a reader must always find ("value", "integrityEventId").
    Always = 0x2,
};
inline XMLAttr operator|(XMLAttr a, XMLAttr b)
{
    return static_cast<XMLAttr>(static_cast<unsigned>(a) | static_cast<unsigned>(b));
}
inline bool HasFlag(XMLAttr flags, XMLAttr flag)
{
    return (static_cast<unsigned>(flags) & static_cast<unsigned>(flag)) != 0;
}

enum class XMLAttrType
{
    Text,
    Int64,
    Int32,
    Bool,
    Blob
};

class ORV_CORE_API XMLObject
{
public:
    // What a declaration says, shared by every object that declares the same
    // (interned for the life of the process, so objects stay small).
    struct AttributeDecl
    {
        wxString name;
        std::string nameUtf8;  // for Lua and output
        XMLAttrType type = XMLAttrType::Text;
        XMLAttr flags = XMLAttr::None;
        long long defaultInt = 0;  // Int64, Int32, Bool
        wxString defaultText;      // Text
        std::string defaultBytes;  // Blob
    };
    // One declared attribute of this object (read-only view through GetAttributeAt).
    struct Attribute
    {
        const AttributeDecl* decl = nullptr;
        void* field = nullptr;
        bool isNull = false;
        bool parsed = false;
    };

    typedef bool (*EnumChildCallback)(XMLObject* parent, XMLObject* child, void* context);

    // inlineList: only meaningful for an XMLObjectList that is the child of
    // another object: its items are written and read as direct children of
    // the owner's element, and the list's own element never appears. A plain
    // object ignores it.
    // caseInsensitive: this object matches the attribute names and the child
    // and item element names of the XML it reads without regard to case.
    explicit XMLObject(bool inlineList = false, bool caseInsensitive = false);
    virtual ~XMLObject();
    XMLObject(const XMLObject&) = delete;
    XMLObject& operator=(const XMLObject&) = delete;

    // The element name (XML) and, for lists, the table name (SQL). Subclasses
    // define a static ElementName() and override GetElementName() with it.
    static wxString ElementName() { return wxString(); }
    virtual wxString GetElementName() const { return ElementName(); }

    // ---- declaring (in the subclass's constructor, in output order).
    // Text, booleans and byte strings take the member's value at the time of
    // the call as their default, so initialise the member first
    // ("bool m_onChange = true;"). Integers take the given default, and the
    // member is set to it. A byte string is a BLOB column, lower-case hex
    // text in XML and a raw byte string in Lua.
    void AddAttribute(const wxString& name, wxString* field, XMLAttr flags = XMLAttr::None);
    void AddAttribute(const wxString& name, long long* field, long long defaultValue = 0,
                      XMLAttr flags = XMLAttr::None);
    void AddAttribute(const wxString& name, int* field, int defaultValue = 0, XMLAttr flags = XMLAttr::None);
    void AddAttribute(const wxString& name, bool* field, XMLAttr flags = XMLAttr::None);
    void AddAttribute(const wxString& name, std::string* bytes, XMLAttr flags = XMLAttr::None);
    // A child object or list, in output order. Not owned.
    void AddChild(XMLObject* child);
    // Forgets a declared attribute (a subclass that replaces a base's column);
    // false when field is not declared.
    bool RemoveAttribute(const void* field);

    // ---- state
    // Every attribute back to its default, null and parsed flags cleared, the
    // element no longer present; children reset, lists emptied.
    virtual void SetToDefaults();
    // field is the address of a declared member (&m_entityId). Unknown
    // fields are ignored (queries answer false / an empty name).
    // A null attribute is written to SQL as NULL and left out of the XML and
    // Lua forms. Assigning the member does not clear the flag: use
    // SetAttributeValue, or SetAttributeNull(field, false).
    void SetAttributeNull(const void* field, bool null = true);
    bool IsAttributeNull(const void* field) const;
    // The value came from the input: an XML attribute whose value was taken
    // (an empty or malformed number is not), or a column of a loaded row.
    bool AttributeWasParsed(const void* field) const;
    const wxString& GetAttributeName(const void* field) const;
    template <typename T, typename V>
    void SetAttributeValue(T* field, V&& value)
    {
        *field = std::forward<V>(value);
        SetAttributeNull(field, false);
    }
    // Whether this object's element was present in the XML last read (for an
    // inline list: whether any of its items was).
    bool IsElementPresent() const { return m_elementPresent; }
    void SetElementPresent(bool present) { m_elementPresent = present; }
    // Copies values, null, parsed and present flags, children and list items
    // (deep, new items from CreateListElement) from an object of the same
    // layout. False, leaving this object unchanged, when the declared
    // attributes (names, types) or children differ.
    virtual bool CopyFrom(const XMLObject& other);
    // Whether the XML element has content: a child object or non-inline list
    // (always written), or an inline list with items.
    virtual bool HasChildElements() const;
    bool IsInlineList() const { return m_inlineList; }
    bool IsCaseInsensitive() const { return m_caseInsensitive; }

    // Introspection of the declarations, in declaration order.
    size_t GetAttributeCount() const { return m_attributes.size(); }
    const Attribute& GetAttributeAt(size_t index) const { return m_attributes[index]; }
    const std::vector<XMLObject*>& GetChildObjects() const { return m_children; }
    // The declared key, or null.
    const Attribute* GetKeyAttribute() const;
    // The value of the key as a 64-bit integer (0 when there is none).
    long long GetKeyValue() const;

    // Calls callback(this, child, context) for every declared child (for a
    // list: every item), in order; stops and returns false when a call does.
    virtual bool EnumChildObjects(EnumChildCallback callback, void* context);

    // ---- XML
    // Resets the object, then reads the element. The element's name must be
    // GetElementName() (an inline list, or an object without a name, takes
    // any element). False, with the object at its defaults and the reason in
    // the log (the parser's line and column for malformed XML), when the
    // document does not parse or the element has another name.
    // Attribute values: text as written; integers decimal with an optional
    // sign and surrounding blanks, within the member's range; booleans
    // "true"/"false"/"1"/"0" in any letter case. An empty value keeps the
    // default; a malformed one keeps the default and is logged as a warning.
    // A child element that names a declared child object is read into it
    // (again, when repeated); one that names an item of a list is appended to
    // the list. Everything else goes to the hooks below.
    bool FromXML(const wxString& xml);
    bool FromXML(wxInputStream& in);
    bool FromXML(const CXmlNode& element);

    // Appends the element. indent is the nesting level: the element starts
    // with 2*indent spaces and every element ends with a line feed; indent < 0
    // writes everything on one line. An element without content is written
    // "<Name .../>". An inline list writes only its items.
    virtual void ToXML(wxString& out, int indent = 0) const;
    // The same, as UTF-8 bytes. False when the stream fails.
    bool WriteXML(wxOutputStream& out, int indent = 0) const;
    // ' name="value"' for every attribute to be written: not null, and for
    // text not empty, unless flagged Always. Values are escaped.
    virtual void PrintAttributes(wxString& out) const;
    // The elements of the children (ToXML of each, at indent).
    virtual void PrintChildElements(wxString& out, int indent) const;
    // "name=value" for the attributes listed in names (comma-separated,
    // blanks ignored, unknown names skipped; empty means all, in declaration
    // order), joined by separator. Values unescaped; a null one prints NULL.
    wxString Print(const wxString& names = wxString(), const wxString& separator = wxT(", ")) const;
    // The element on one line.
    wxString toString() const;
    static void Indent(wxString& out, int indent);

    // Sets an attribute by name from its text form, as the XML reader does.
    // False when no attribute has that name.
    virtual bool SetAttribute(const wxString& name, const wxString& value);
    // Hooks for names the object does not declare. The default handling
    // writes a trace line (component "orv.xmlobject") and returns false;
    // true means the subclass consumed the name. The element's content is
    // not read into the object. OnUnhandledChildNode gets the element itself
    // and by default hands its name to OnUnhandledChildElement.
    virtual bool OnUnhandledAttribute(const wxString& name, const wxString& value);
    virtual bool OnUnhandledChildElement(const wxString& name);
    virtual bool OnUnhandledChildNode(const CXmlNode& element);

    // ---- Lua
    // Pushes one table: attributes by name (integers as Lua integers,
    // booleans, text as UTF-8 strings, byte strings as raw strings; null ones
    // left out unless flagged Always), each child object as a nested table
    // under its element name, each child list as an array (1-based) of item
    // tables under the list's element name (its item name when it has none).
    // A list itself pushes the array of its items.
    virtual void toLua(lua_State* L) const;

    // ---- SQL, on a table the caller names. Names are bracketed, values are
    // always bound. Only attributes are columns; children are not stored.
    // Errors are the wxSQLite3Exception of the database layer; so is the use
    // of a statement by key on an object without a key.
    //
    // INSERT INTO [t] ([a],[b],...) VALUES (?1,?2,...): every attribute in
    // declaration order, the key included (see XMLAttr::Key).
    wxString GetSQLInsertStatement(const wxString& table) const;
    // UPDATE [t] SET [a]=?1,... WHERE [key]=?N: the non-key attributes in
    // declaration order, then the key.
    wxString GetSQLUpdateStatement(const wxString& table) const;
    // DELETE FROM [t] WHERE [key]=?1
    wxString GetSQLDeleteStatement(const wxString& table) const;
    // SELECT * FROM [t] WHERE [key]=?1
    wxString GetSQLSelectStatement(const wxString& table) const;

    // Inserts the object; the key (when declared) receives the row id, which
    // is also returned. The statement form takes one prepared from
    // GetSQLInsertStatement (for any table) and resets it afterwards.
    long long SQLInsert(wxSQLite3Database& db, const wxString& table);
    long long SQLInsert(wxSQLite3Database& db, wxSQLite3Statement& statement);
    // Update and delete by key; they return the number of rows changed.
    int SQLUpdate(wxSQLite3Database& db, const wxString& table);
    int SQLUpdate(wxSQLite3Statement& statement);
    int SQLDelete(wxSQLite3Database& db, const wxString& table);
    int SQLDelete(wxSQLite3Statement& statement);
    // Loads the current row of a result set (after NextRow): resets the
    // object, then fills the attributes whose names are columns; a NULL
    // column sets the null flag, other columns are ignored. Returns whether
    // any column matched. A list loads every remaining row instead.
    virtual bool SQLLoad(wxSQLite3ResultSet& row);
    // Loads the row whose key equals the key attribute; false, leaving the
    // object unchanged, when there is none. A list loads all rows of table.
    virtual bool SQLLoad(wxSQLite3Database& db, const wxString& table);
    // Binds the values for a statement from GetSQLInsertStatement /
    // GetSQLUpdateStatement / GetSQLDeleteStatement (callers that run their
    // own statements).
    void BindInsert(wxSQLite3Statement& statement) const;
    void BindUpdate(wxSQLite3Statement& statement) const;
    void BindDelete(wxSQLite3Statement& statement) const;

    // Called after SQLLoad filled the object (compile a pattern, ...).
    virtual void OnSQLLoaded() {}

protected:
    // Reads one element into this (already reset) object: attributes, then
    // children. Overrides call the base and then post-process.
    virtual void ReadElement(const CXmlNode& element);
    // This object as a list, or null.
    virtual XMLObjectList* AsList() { return nullptr; }
    const XMLObjectList* AsList() const { return const_cast<XMLObject*>(this)->AsList(); }

    Attribute* FindAttribute(const void* field);
    const Attribute* FindAttribute(const void* field) const;
    Attribute* FindAttributeByName(const wxString& name, bool caseInsensitive);
    // The text form of an attribute's value, as written to XML and Print.
    static wxString FormatValue(const Attribute& attribute);

private:
    friend class XMLObjectList;

    void Declare(const void* callSite, const wxString& name, XMLAttrType type, void* field, XMLAttr flags,
                 long long defaultInt, const wxString& defaultText, const std::string& defaultBytes);
    static void ResetAttribute(Attribute& attribute);
    bool ReadChildNode(const CXmlNode& child);
    bool SameLayout(const XMLObject& other) const;
    void CopyValuesFrom(const XMLObject& other);
    void BindValue(wxSQLite3Statement& statement, int index, const Attribute& attribute) const;
    void LoadColumns(wxSQLite3ResultSet& row, const std::vector<int>& map);
    std::vector<int> MapColumns(wxSQLite3ResultSet& row) const;
    const Attribute& RequireKey(const char* operation) const;
    wxString CachedStatement(int kind, const wxString& table) const;
    void PushAttributes(lua_State* L) const;

    std::vector<Attribute> m_attributes;
    std::vector<XMLObject*> m_children;
    bool m_inlineList;
    bool m_caseInsensitive;
    bool m_elementPresent = false;
};

// A list of child objects of one item class. The list owns its items.
class ORV_CORE_API XMLObjectList : public XMLObject
{
public:
    explicit XMLObjectList(bool inlineList = false, bool caseInsensitive = false);
    ~XMLObjectList() override;

    // The items, in document or row order. Pointers pushed here are owned by
    // the list.
    std::vector<XMLObject*>& Children() { return m_items; }
    const std::vector<XMLObject*>& Children() const { return m_items; }
    size_t GetCount() const { return m_items.size(); }
    // Takes ownership of item and appends it; returns it.
    XMLObject* Append(XMLObject* item);
    // Deletes all items.
    void Clear();

    // A new default item (the caller, normally the list, takes ownership).
    virtual XMLObject* CreateListElement() = 0;
    // The element name of the items.
    virtual wxString ChildElementName() const = 0;

    void SetToDefaults() override;
    bool CopyFrom(const XMLObject& other) override;
    bool HasChildElements() const override;
    bool EnumChildObjects(EnumChildCallback callback, void* context) override;
    void ToXML(wxString& out, int indent = 0) const override;
    void PrintChildElements(wxString& out, int indent) const override;
    void toLua(lua_State* L) const override;

    // Loads every row of the table named by GetElementName(), one item per
    // row, replacing the items. Returns whether any row was loaded.
    bool SQLLoad(wxSQLite3Database& db);
    // Loads every row of table.
    bool SQLLoad(wxSQLite3Database& db, const wxString& table) override;
    // Loads every remaining row of the result set.
    bool SQLLoad(wxSQLite3ResultSet& rows) override;

protected:
    XMLObjectList* AsList() override { return this; }

private:
    std::vector<XMLObject*> m_items;
};

// Base of objects identified by a 64-bit "id" (the key).
class ORV_CORE_API CIdObject : public XMLObject
{
public:
    explicit CIdObject(bool inlineList = false, bool caseInsensitive = false);
    static wxString ElementName() { return wxT("IdObject"); }
    wxString GetElementName() const override { return ElementName(); }

    long long m_id = 0;
};

// Base of objects with an "id" (the key) and a "name".
class ORV_CORE_API CIdNameObject : public CIdObject
{
public:
    explicit CIdNameObject(bool inlineList = false, bool caseInsensitive = false);
    static wxString ElementName() { return wxT("IdNameObject"); }
    wxString GetElementName() const override { return ElementName(); }

    wxString m_name;
};

// Base of scan status objects: "state" holds a _ScanStatus value (default Idle).
class ORV_CORE_API CScanStatus : public XMLObject
{
public:
    enum _ScanStatus
    {
        Queued = 0,
        InProgress = 1,
        Paused = 2,
        Cancelling = 3,
        Idle = 4,
        NotSupported = 5
    };

    explicit CScanStatus(bool inlineList = false, bool caseInsensitive = false);
    static wxString ElementName() { return wxT("ScanStatus"); }
    wxString GetElementName() const override { return ElementName(); }

    _ScanStatus GetState() const { return static_cast<_ScanStatus>(m_state); }
    void SetState(_ScanStatus state) { SetAttributeValue(&m_state, static_cast<int>(state)); }

    int m_state = Idle;
};

}  // namespace OrvCore
