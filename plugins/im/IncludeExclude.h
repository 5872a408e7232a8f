// The children of an entity set in an integrity rule: Include and Exclude
// entries (key patterns and feature conditions), the Attributes selection (what
// the set monitors) and Operation filters (which kinds of change it reports).
//
// Ownership: an entity set (EntitySets.h) owns its include, exclude and
// operation lists and its attribute selection; every object here keeps a plain
// back pointer to that set, which outlives it. Lists own their items.
// Threads: the rule tree is built by one parse and then only read, on one
// thread at a time (the controller's); nothing here is locked.
//
// Names the set does not know are never rejected: they are kept by name (as
// written) so that the rule writer can report them and printing shows them.
#pragma once

#include <wx/string.h>

#include <map>
#include <vector>

#include "core/Text.h"
#include "core/XMLObject.h"

namespace OrvPluginIm {

class CEntitySet;

// Feature name (as written) -> value (as written), in name order.
typedef std::map<wxString, wxString> FeatureMap;

// A list whose items are all objects of the class Item: the list creates them
// itself, and callers that Append must hand it Items only.
template <class Item>
class CItemList : public OrvCore::XMLObjectList
{
public:
    CItemList(bool inlineList, bool caseInsensitive) : OrvCore::XMLObjectList(inlineList, caseInsensitive) {}
    wxString ChildElementName() const override { return Item::ElementName(); }
    Item* GetItem(size_t index) const { return static_cast<Item*>(Children().at(index)); }
};

// <Key pattern="..."/>: one more key pattern of an include or exclude.
class CKey : public OrvCore::XMLObject
{
public:
    CKey();
    static wxString ElementName() { return wxT("Key"); }
    wxString GetElementName() const override { return ElementName(); }

    wxString m_pattern;
};

class CKeys : public CItemList<CKey>
{
public:
    CKeys();
    static wxString ElementName() { return wxT("Keys"); }
    wxString GetElementName() const override { return ElementName(); }
    OrvCore::XMLObject* CreateListElement() override { return new CKey; }
};

// Base of Include and Exclude. Declared: the Key children, "key" (one
// pattern) and "caseSensitive" ("true"/"false" in any case; anything else
// leaves it unspecified). Every other XML attribute is a feature condition,
// classified against the owner's allowed features (see OnUnhandledAttribute).
class CIncludeOrExclude : public OrvCore::XMLObject
{
public:
    explicit CIncludeOrExclude(CEntitySet* owner);
    static wxString ElementName() { return wxT("IncludeOrExclude"); }
    wxString GetElementName() const override { return ElementName(); }

    void SetToDefaults() override;
    bool CopyFrom(const OrvCore::XMLObject& other) override;
    bool HasChildElements() const override;
    // Allowed feature: kept in the features (the first value of a name wins).
    // Known feature not allowed for the owner's type: unsupported. Otherwise:
    // unknown, and the default handling.
    bool OnUnhandledAttribute(const wxString& name, const wxString& value) override;
    // Declared attributes, then name="value" per feature, name="unsupported"
    // and name="unknown" per unsupported and unknown feature.
    void PrintAttributes(wxString& out) const override;

    // "key" when it is not empty, then every Key's pattern (empty ones too),
    // in document order.
    std::vector<wxString> GetPatterns() const;
    CKeys& GetKeys() { return m_keys; }
    const CKeys& GetKeys() const { return m_keys; }
    const FeatureMap& GetFeatures() const { return m_features; }
    const OrvCore::WxStringSet& GetUnknownFeatures() const { return m_unknownFeatures; }
    const OrvCore::WxStringSet& GetUnsupportedFeatures() const { return m_unsupportedFeatures; }
    CEntitySet* GetOwner() const { return m_owner; }

    wxString m_key;
    wxString m_caseSensitive;

private:
    CKeys m_keys;
    OrvCore::WxStringSet m_allowedFeatures;  // lower case, filled on first use, kept
    FeatureMap m_features;
    OrvCore::WxStringSet m_unknownFeatures;
    OrvCore::WxStringSet m_unsupportedFeatures;
    CEntitySet* m_owner;
};

class CInclude : public CIncludeOrExclude
{
public:
    explicit CInclude(CEntitySet* owner) : CIncludeOrExclude(owner) {}
    static wxString ElementName() { return wxT("Include"); }
    wxString GetElementName() const override { return ElementName(); }
};

class CExclude : public CIncludeOrExclude
{
public:
    explicit CExclude(CEntitySet* owner) : CIncludeOrExclude(owner) {}
    static wxString ElementName() { return wxT("Exclude"); }
    wxString GetElementName() const override { return ElementName(); }
};

class CIncludes : public CItemList<CInclude>
{
public:
    explicit CIncludes(CEntitySet* owner);
    static wxString ElementName() { return wxT("Includes"); }
    wxString GetElementName() const override { return ElementName(); }
    OrvCore::XMLObject* CreateListElement() override { return new CInclude(m_owner); }

private:
    CEntitySet* m_owner;
};

class CExcludes : public CItemList<CExclude>
{
public:
    explicit CExcludes(CEntitySet* owner);
    static wxString ElementName() { return wxT("Excludes"); }
    wxString GetElementName() const override { return ElementName(); }
    OrvCore::XMLObject* CreateListElement() override { return new CExclude(m_owner); }

private:
    CEntitySet* m_owner;
};

// Stands for one selected attribute name when the selection is walked as
// child objects (EnumChildObjects): its element name is the attribute name.
// Transient: valid only during the callback that receives it.
class AttributeDummyObject : public OrvCore::XMLObject
{
public:
    explicit AttributeDummyObject(const wxString& name) : m_name(name) {}
    wxString GetElementName() const override { return m_name; }

private:
    wxString m_name;
};

// <Attributes>: empty child elements name the attributes to monitor, or
// "standard" (the owner's standard attributes) or "all" (every allowed one),
// in any letter case, accumulated in document order. All names are kept
// lower case; unknown and unsupported names as written.
class CAttributes : public OrvCore::XMLObject
{
public:
    explicit CAttributes(CEntitySet* owner);
    static wxString ElementName() { return wxT("Attributes"); }
    wxString GetElementName() const override { return ElementName(); }

    void SetToDefaults() override;
    bool CopyFrom(const OrvCore::XMLObject& other) override;
    bool HasChildElements() const override;
    bool OnUnhandledChildElement(const wxString& name) override;
    // One AttributeDummyObject per selected attribute.
    bool EnumChildObjects(EnumChildCallback callback, void* context) override;
    // Nothing when nothing is selected and the element was not in the input.
    void ToXML(wxString& out, int indent = 0) const override;
    // "<name />" per selected, unknown and unsupported name.
    void PrintChildElements(wxString& out, int indent) const override;

    // The attributes the set monitors (lower case): the owner's standard
    // attributes when the rule had no Attributes element, else the selection
    // (an empty element selects nothing). out is emptied first.
    void GetAttributesToMonitor(OrvCore::WxStringSet& out) const;

    const OrvCore::WxStringSet& GetSelectedAttributes() const { return m_selected; }
    const OrvCore::WxStringSet& GetUnknownAttributes() const { return m_unknown; }
    const OrvCore::WxStringSet& GetUnsupportedAttributes() const { return m_unsupported; }
    CEntitySet* GetOwner() const { return m_owner; }

private:
    OrvCore::WxStringSet m_allowed;  // lower case, filled on first use, kept
    OrvCore::WxStringSet m_selected;
    OrvCore::WxStringSet m_unknown;
    OrvCore::WxStringSet m_unsupported;
    CEntitySet* m_owner;
};

// <Operation types="create,update,delete,rename"/>: the kinds of change the
// set reports.
class CEntitySetOperation : public OrvCore::XMLObject
{
public:
    explicit CEntitySetOperation(CEntitySet* owner);
    static wxString ElementName() { return wxT("Operation"); }
    wxString GetElementName() const override { return ElementName(); }
    CEntitySet* GetOwner() const { return m_owner; }

    wxString m_types;

private:
    CEntitySet* m_owner;
};

class CEntitySetOperations : public CItemList<CEntitySetOperation>
{
public:
    explicit CEntitySetOperations(CEntitySet* owner);
    static wxString ElementName() { return wxT("Operations"); }
    wxString GetElementName() const override { return ElementName(); }
    OrvCore::XMLObject* CreateListElement() override { return new CEntitySetOperation(m_owner); }

    // The non-empty "types" of the items in document order, joined by ",";
    // empty when there are none.
    wxString GetTypes() const;

private:
    CEntitySet* m_owner;
};

}  // namespace OrvPluginIm
