// Entity sets of an integrity rule: one class per entity type (files,
// directories, groups, installed software, ports, processes, users; registry
// keys and values, services and WQL queries for the Windows model), each with
// its vocabulary: the attributes it monitors by default ("standard"), the
// attributes it may monitor ("allowed") and the feature conditions its
// includes and excludes may carry. Vocabularies are comma-separated camel-case
// names; the platform model tests (IntegrityRules.h) decide the parts that
// differ between the Linux and the Windows model, at each call.
//
// Ownership: a rule owns its set lists, a list its sets, a set its include,
// exclude and operation lists and its attribute selection (IncludeExclude.h).
// Threads: built by one parse, then only read, on one thread at a time.
#pragma once

#include <wx/string.h>

#include "core/Text.h"
#include "core/XMLObject.h"
#include "plugins/im/IncludeExclude.h"

namespace OrvPluginIm {

// Base of every set: Operation, Include, Exclude and Attributes children and
// "onChange" (take part in real-time monitoring, default true). XML attributes
// the set does not declare are kept by name (their values are dropped).
class CEntitySet : public OrvCore::XMLObject
{
public:
    CEntitySet();
    static wxString ElementName() { return wxT("EntitySet"); }
    wxString GetElementName() const override { return ElementName(); }

    void SetToDefaults() override;
    bool CopyFrom(const OrvCore::XMLObject& other) override;
    bool OnUnhandledAttribute(const wxString& name, const wxString& value) override;

    // Vocabularies: names each followed by a comma (AddStringsToSet splits them).
    virtual wxString GetAllowedAttributes() const = 0;
    virtual wxString GetAllowedFeatures() const;
    virtual wxString GetStandardAttributes() const = 0;
    // Declared attributes, then name="unknown" per unhandled attribute.
    void PrintAttributes(wxString& out) const override;

    CEntitySetOperations& GetOperations() { return m_operations; }
    const CEntitySetOperations& GetOperations() const { return m_operations; }
    CIncludes& GetIncludes() { return m_includes; }
    const CIncludes& GetIncludes() const { return m_includes; }
    CExcludes& GetExcludes() { return m_excludes; }
    const CExcludes& GetExcludes() const { return m_excludes; }
    CAttributes& GetAttributes() { return m_attributes; }
    const CAttributes& GetAttributes() const { return m_attributes; }
    // Names (as written) of XML attributes of the set element that no class declares.
    const OrvCore::WxStringSet& GetUnhandledAttributes() const { return m_unhandledAttributes; }

    bool m_onChange = true;

private:
    CEntitySetOperations m_operations;
    CIncludes m_includes;
    CExcludes m_excludes;
    CAttributes m_attributes;
    OrvCore::WxStringSet m_unhandledAttributes;
};

// Sets whose entities have path-like keys: "base" is the search base below
// which their patterns apply.
class CHierarchicalEntitySet : public CEntitySet
{
public:
    CHierarchicalEntitySet();
    static wxString ElementName() { return wxT("HierarchicalEntitySet"); }
    wxString GetElementName() const override { return ElementName(); }
    wxString GetAllowedFeatures() const override;

    wxString m_base;
};

// Files and directories: "followLinks" and "includeRemovable" (both default false).
class CFileOrDirSet : public CHierarchicalEntitySet
{
public:
    CFileOrDirSet();
    static wxString ElementName() { return wxT("FileOrDirSet"); }
    wxString GetElementName() const override { return ElementName(); }

    bool m_followLinks = false;
    bool m_includeRemovable = false;

protected:
    // The parts of the file and directory vocabularies that both share.
    static wxString CommonStandardAttributes();
    static wxString CommonOtherAttributes();
};

class CDirSet : public CFileOrDirSet
{
public:
    static wxString ElementName() { return wxT("DirectorySet"); }
    wxString GetElementName() const override { return ElementName(); }
    wxString GetAllowedAttributes() const override;
    wxString GetStandardAttributes() const override;
};

class CFileSet : public CFileOrDirSet
{
public:
    static constexpr const wxChar* s_OurStandardAttributes = wxT("contents,size,symLinkPath,");
    static constexpr const wxChar* s_OurOtherAttributes =
        wxT("blocksAllocated,growing,md5,sha1,sha256,shrinking,");

    static wxString ElementName() { return wxT("FileSet"); }
    wxString GetElementName() const override { return ElementName(); }
    wxString GetAllowedAttributes() const override;
    wxString GetAllowedFeatures() const override;
    wxString GetStandardAttributes() const override;
};

class CGroupSet : public CEntitySet
{
public:
    static wxString ElementName() { return wxT("GroupSet"); }
    wxString GetElementName() const override { return ElementName(); }
    wxString GetAllowedAttributes() const override;
    wxString GetStandardAttributes() const override;
};

class CInstalledSoftwareSet : public CEntitySet
{
public:
    static wxString ElementName() { return wxT("InstalledSoftwareSet"); }
    wxString GetElementName() const override { return ElementName(); }
    wxString GetAllowedAttributes() const override;
    wxString GetAllowedFeatures() const override;
    wxString GetStandardAttributes() const override;
};

class CPortSet : public CEntitySet
{
public:
    static wxString ElementName() { return wxT("PortSet"); }
    wxString GetElementName() const override { return ElementName(); }
    wxString GetAllowedAttributes() const override;
    wxString GetAllowedFeatures() const override;
    wxString GetStandardAttributes() const override;
};

class CProcessSet : public CEntitySet
{
public:
    static wxString ElementName() { return wxT("ProcessSet"); }
    wxString GetElementName() const override { return ElementName(); }
    wxString GetAllowedAttributes() const override;
    wxString GetAllowedFeatures() const override;
    wxString GetStandardAttributes() const override;
};

class CUserSet : public CEntitySet
{
public:
    static wxString ElementName() { return wxT("UserSet"); }
    wxString GetElementName() const override { return ElementName(); }
    wxString GetAllowedAttributes() const override;
    wxString GetAllowedFeatures() const override;
    wxString GetStandardAttributes() const override;
};

class CRegistryKeySet : public CHierarchicalEntitySet
{
public:
    static wxString ElementName() { return wxT("RegistryKeySet"); }
    wxString GetElementName() const override { return ElementName(); }
    wxString GetAllowedAttributes() const override;
    wxString GetStandardAttributes() const override;
};

class CRegistryValueSet : public CHierarchicalEntitySet
{
public:
    static wxString ElementName() { return wxT("RegistryValueSet"); }
    wxString GetElementName() const override { return ElementName(); }
    wxString GetAllowedAttributes() const override;
    wxString GetStandardAttributes() const override;
};

class CServiceSet : public CEntitySet
{
public:
    static wxString ElementName() { return wxT("ServiceSet"); }
    wxString GetElementName() const override { return ElementName(); }
    wxString GetAllowedAttributes() const override;
    wxString GetAllowedFeatures() const override;
    wxString GetStandardAttributes() const override;
};

// A WQL query: "namespace", "wql", "provider" and "timeout". Monitors nothing
// by name (its vocabularies are empty).
class CWqlSet : public CEntitySet
{
public:
    CWqlSet();
    static wxString ElementName() { return wxT("WQLSet"); }
    wxString GetElementName() const override { return ElementName(); }
    wxString GetAllowedAttributes() const override;
    wxString GetStandardAttributes() const override;

    wxString m_namespace;
    wxString m_wql;
    wxString m_provider;
    int m_timeout = 0;
};

// The per-type set lists of a rule: inline (the sets are direct children of
// the rule element), matched without regard to letter case.
template <class Set>
class CEntitySetList : public CItemList<Set>
{
public:
    CEntitySetList() : CItemList<Set>(true, true) {}
    OrvCore::XMLObject* CreateListElement() override { return new Set; }
};

#define ORV_IM_ENTITY_SET_LIST(ListClass, SetClass, listName)              \
    class ListClass : public CEntitySetList<SetClass>                      \
    {                                                                      \
    public:                                                                \
        static wxString ElementName() { return wxT(listName); }            \
        wxString GetElementName() const override { return ElementName(); } \
    }

ORV_IM_ENTITY_SET_LIST(CDirSets, CDirSet, "DirSets");
ORV_IM_ENTITY_SET_LIST(CFileSets, CFileSet, "FileSets");
ORV_IM_ENTITY_SET_LIST(CGroupSets, CGroupSet, "GroupSets");
ORV_IM_ENTITY_SET_LIST(CInstalledSoftwareSets, CInstalledSoftwareSet, "InstalledSoftwareSets");
ORV_IM_ENTITY_SET_LIST(CPortSets, CPortSet, "PortSets");
ORV_IM_ENTITY_SET_LIST(CProcessSets, CProcessSet, "ProcessSets");
ORV_IM_ENTITY_SET_LIST(CUserSets, CUserSet, "UserSets");
ORV_IM_ENTITY_SET_LIST(CRegistryKeySets, CRegistryKeySet, "RegistryKeySets");
ORV_IM_ENTITY_SET_LIST(CRegistryValueSets, CRegistryValueSet, "RegistryValueSets");
ORV_IM_ENTITY_SET_LIST(CServiceSets, CServiceSet, "ServiceSets");
ORV_IM_ENTITY_SET_LIST(CWqlSets, CWqlSet, "WqlSets");

#undef ORV_IM_ENTITY_SET_LIST

}  // namespace OrvPluginIm
