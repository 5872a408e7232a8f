// The integrity rules of the security configuration
// ("/SecurityConfiguration/IntegrityRules"): CIntegrityRules is the list, each
// CIntegrityRule holds its entity sets (EntitySets.h) directly, any number of
// each type in any order. Also here: the names the rule model knows in any set
// type, the platform model tests that choose which sets and vocabularies exist,
// and the small name-set helpers the rule writer shares.
//
// Ownership: the list owns its rules, a rule its set lists. A tree is built
// empty, filled by one parse (FromXML, or CDom::ConfigGetXml), read, and
// replaced as a whole when the configuration changes. A parse that fails
// (malformed XML, another root element) returns false and leaves the tree at
// its defaults. Threads: one thread at a time per tree (the controller's);
// the known-name strings are constants after library load.
//
// Nothing is rejected: unknown child elements of a rule, and known entity-set
// elements for which the rule has no list, are kept by name for the rule
// writer to report and are printed back as empty elements.
#pragma once

#include <wx/string.h>

#include <memory>
#include <vector>

#include "core/Text.h"
#include "core/XMLObject.h"
#include "plugins/im/EntitySets.h"
#include "plugins/im/IncludeExclude.h"

namespace OrvCore {
class CDom;
}

namespace OrvPluginIm {

// Every name known in some set type, lower case, each enclosed by tabs.
extern const wxString KnownAttributeNames;
extern const wxString KnownFeatureNames;
extern const wxString KnownEntitySetNames;

// Whether knownNames (one of the three above) holds name, compared lower case.
bool IsKnownName(const wxString& knownNames, const wxString& name);

// Splits list at commas, dropping blanks around pieces and empty pieces, and
// inserts every piece lower-cased into set (entries already there stay).
void AddStringsToSet(const wxString& list, OrvCore::WxStringSet& set);

// The names of set in ascending order (deterministic output and reports).
std::vector<wxString> SortedNames(const OrvCore::WxStringSet& set);

// Platform model tests, evaluated at each call (never cached).
// Windows: the force-platform value is non-zero; else false without a host
// object; else the host's IsProtectingWindows().
// Linux: without a host object, the force-platform value is 0; else the host's
// IsProtectingLinux().
// The overloads without a handle ask OrvCore::CDom::This(), which in this core
// always answers (the process agent when the thread has none); the handle
// overloads state the whole rule, null included.
bool IsWindowsModel(const OrvCore::CDom* dom);
bool IsLinuxModel(const OrvCore::CDom* dom);
bool IsWindowsModel();
bool IsLinuxModel();

// The force-platform value (initially 0), for embedding tools that need the
// Windows model on this host. Set it before building rule objects: which set
// lists a rule has is fixed when the rule is constructed. Exported from im.so
// with C linkage so that a tool can find it with dlsym.
extern "C" __attribute__((visibility("default"))) void SetForcePlatform(int value);
int GetForcePlatform();

class CIntegrityRule : public OrvCore::CIdNameObject
{
public:
    // The registry, service and WQL lists exist only when the Windows model
    // test holds now.
    CIntegrityRule();
    ~CIntegrityRule() override;
    static wxString ElementName() { return wxT("IntegrityRule"); }
    wxString GetElementName() const override { return ElementName(); }

    void SetToDefaults() override;
    bool CopyFrom(const OrvCore::XMLObject& other) override;
    // A known entity-set name goes to the unsupported set names, anything else
    // to the unknown child names; the element is not read.
    bool OnUnhandledChildElement(const wxString& name) override;
    // The sets, then "<name/>" per unknown child name and unsupported set name.
    void PrintChildElements(wxString& out, int indent) const override;

    CDirSets& GetDirSets() { return m_dirSets; }
    const CDirSets& GetDirSets() const { return m_dirSets; }
    CFileSets& GetFileSets() { return m_fileSets; }
    const CFileSets& GetFileSets() const { return m_fileSets; }
    CGroupSets& GetGroupSets() { return m_groupSets; }
    const CGroupSets& GetGroupSets() const { return m_groupSets; }
    CInstalledSoftwareSets& GetInstalledSoftwareSets() { return m_installedSoftwareSets; }
    const CInstalledSoftwareSets& GetInstalledSoftwareSets() const { return m_installedSoftwareSets; }
    CPortSets& GetPortSets() { return m_portSets; }
    const CPortSets& GetPortSets() const { return m_portSets; }
    CProcessSets& GetProcessSets() { return m_processSets; }
    const CProcessSets& GetProcessSets() const { return m_processSets; }
    CUserSets& GetUserSets() { return m_userSets; }
    const CUserSets& GetUserSets() const { return m_userSets; }
    // Null for a rule built under the Linux model.
    CRegistryKeySets* GetRegistryKeySets() { return m_registryKeySets.get(); }
    const CRegistryKeySets* GetRegistryKeySets() const { return m_registryKeySets.get(); }
    CRegistryValueSets* GetRegistryValueSets() { return m_registryValueSets.get(); }
    const CRegistryValueSets* GetRegistryValueSets() const { return m_registryValueSets.get(); }
    CServiceSets* GetServiceSets() { return m_serviceSets.get(); }
    const CServiceSets* GetServiceSets() const { return m_serviceSets.get(); }
    CWqlSets* GetWqlSets() { return m_wqlSets.get(); }
    const CWqlSets* GetWqlSets() const { return m_wqlSets.get(); }

    // Names as written, both empty after construction and SetToDefaults.
    const OrvCore::WxStringSet& GetUnknownChildNames() const { return m_unknownChildNames; }
    const OrvCore::WxStringSet& GetUnsupportedSetNames() const { return m_unsupportedSetNames; }

    bool m_allowOnChange = false;
    bool m_confidential = false;
    wxString m_hash;        // the HUB's digest of the rule
    wxString m_identifier;  // a number in text form
    int m_severity = 0;
    int m_type = 0;

private:
    CDirSets m_dirSets;
    CFileSets m_fileSets;
    CGroupSets m_groupSets;
    CInstalledSoftwareSets m_installedSoftwareSets;
    CPortSets m_portSets;
    CProcessSets m_processSets;
    CUserSets m_userSets;
    std::unique_ptr<CRegistryKeySets> m_registryKeySets;
    std::unique_ptr<CRegistryValueSets> m_registryValueSets;
    std::unique_ptr<CServiceSets> m_serviceSets;
    std::unique_ptr<CWqlSets> m_wqlSets;
    OrvCore::WxStringSet m_unknownChildNames;
    OrvCore::WxStringSet m_unsupportedSetNames;
};

// <IntegrityRules>: the rule list.
class CIntegrityRules : public CItemList<CIntegrityRule>
{
public:
    CIntegrityRules();
    static wxString ElementName() { return wxT("IntegrityRules"); }
    wxString GetElementName() const override { return ElementName(); }
    OrvCore::XMLObject* CreateListElement() override { return new CIntegrityRule; }
};

// Rule assignments belong to the configuration vocabulary; the plugin neither
// builds nor reads them.
class CIntegrityRuleAssignment : public OrvCore::XMLObject
{
public:
    CIntegrityRuleAssignment();
    static wxString ElementName() { return wxT("IntegrityRuleAssignment"); }
    wxString GetElementName() const override { return ElementName(); }

    long long m_integrityRuleId = 0;
};

class CIntegrityRuleAssignments : public CItemList<CIntegrityRuleAssignment>
{
public:
    CIntegrityRuleAssignments();
    static wxString ElementName() { return wxT("IntegrityRuleAssignments"); }
    wxString GetElementName() const override { return ElementName(); }
    OrvCore::XMLObject* CreateListElement() override { return new CIntegrityRuleAssignment; }
};

}  // namespace OrvPluginIm
