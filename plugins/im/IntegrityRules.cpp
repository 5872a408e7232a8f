// Integrity rules: the rule and rule list, the known-name strings, the
// platform model tests and the name-set helpers.
#include "plugins/im/IntegrityRules.h"

#include <algorithm>
#include <atomic>

#include "core/Dom.h"

namespace OrvPluginIm {

namespace {

wxString TabEnclosed(std::initializer_list<const wxChar*> names)
{
    wxString text(wxT('\t'));
    for (const wxChar* name : names) text << name << wxT('\t');
    return text;
}

// Plain value without locking: set before rules are built; atomic only so
// that a late change is not a data race.
std::atomic<int> g_forcePlatform{0};

void AppendEmptyElement(wxString& out, int indent, const wxString& name)
{
    OrvCore::XMLObject::Indent(out, indent);
    out << wxT('<') << name << wxT("/>");
    if (indent >= 0) out << wxT('\n');
}

}  // namespace

// ---------------------------------------------------------------- known names

const wxString KnownAttributeNames = TabEnclosed({
    wxT("blocksallocated"),
    wxT("cannotchangepassword"),
    wxT("class"),
    wxT("commandline"),
    wxT("contents"),
    wxT("created"),
    wxT("description"),
    wxT("devicenumber"),
    wxT("disabled"),
    wxT("displayname"),
    wxT("flags"),
    wxT("flagsall"),
    wxT("fullname"),
    wxT("groups"),
    wxT("group"),
    wxT("growing"),
    wxT("homedriveletter"),
    wxT("homefolder"),
    wxT("inodegenerationnumber"),
    wxT("inodenumber"),
    wxT("installeddate"),
    wxT("installlocation"),
    wxT("lastaccessed"),
    wxT("lastmodified"),
    wxT("listeners"),
    wxT("lockedout"),
    wxT("logonscript"),
    wxT("logonshell"),
    wxT("manufacturer"),
    wxT("md5"),
    wxT("members"),
    wxT("name"),
    wxT("owner"),
    wxT("parent"),
    wxT("passwordexpireddaysbeforedisabled"),
    wxT("passwordexpiryindays"),
    wxT("passwordexpiry"),
    wxT("passwordhasexpired"),
    wxT("passwordlastchanged"),
    wxT("passwordmindaysbetweenchanges"),
    wxT("passwordneverexpires"),
    wxT("passwordwarningdays"),
    wxT("path"),
    wxT("permissions"),
    wxT("processid"),
    wxT("process"),
    wxT("profilepath"),
    wxT("securitydescriptorsize"),
    wxT("sha1"),
    wxT("sha256"),
    wxT("shrinking"),
    wxT("size"),
    wxT("subgroups"),
    wxT("symlinkpath"),
    wxT("threads"),
    wxT("user"),
    wxT("version"),
});

const wxString KnownFeatureNames = TabEnclosed({
    wxT("commandline"),
    wxT("executable"),
    wxT("group"),
    wxT("manufacturer"),
    wxT("name"),
    wxT("path"),
    wxT("state"),
    wxT("user"),
    wxT("wherebaseinotherset"),
});

const wxString KnownEntitySetNames = TabEnclosed({
    wxT("directoryset"),
    wxT("fileset"),
    wxT("groupset"),
    wxT("installedsoftwareset"),
    wxT("portset"),
    wxT("processset"),
    wxT("registrykeyset"),
    wxT("registryvalueset"),
    wxT("serviceset"),
    wxT("shareddirectoryset"),
    wxT("systeminformationset"),
    wxT("userset"),
    wxT("wqlset"),
});

bool IsKnownName(const wxString& knownNames, const wxString& name)
{
    const wxString probe = wxT('\t') + name.Lower() + wxT('\t');
    return knownNames.find(probe) != wxString::npos;
}

// ---------------------------------------------------------------- helpers

void AddStringsToSet(const wxString& list, OrvCore::WxStringSet& set)
{
    size_t start = 0;
    while (start <= list.length()) {
        size_t end = list.find(wxT(','), start);
        if (end == wxString::npos) end = list.length();
        wxString piece = list.substr(start, end - start);
        piece.Trim(true).Trim(false);
        if (!piece.empty()) set.insert(piece.Lower());
        start = end + 1;
    }
}

std::vector<wxString> SortedNames(const OrvCore::WxStringSet& set)
{
    std::vector<wxString> names(set.begin(), set.end());
    std::sort(names.begin(), names.end());
    return names;
}

// ---------------------------------------------------------------- platform model

extern "C" void SetForcePlatform(int value)
{
    g_forcePlatform.store(value, std::memory_order_relaxed);
}

int GetForcePlatform()
{
    return g_forcePlatform.load(std::memory_order_relaxed);
}

bool IsWindowsModel(const OrvCore::CDom* dom)
{
    if (GetForcePlatform() != 0) return true;
    if (dom == nullptr) return false;
    return dom->IsProtectingWindows();
}

bool IsLinuxModel(const OrvCore::CDom* dom)
{
    if (dom == nullptr) return GetForcePlatform() == 0;
    return dom->IsProtectingLinux();
}

bool IsWindowsModel()
{
    return IsWindowsModel(OrvCore::CDom::This());
}

bool IsLinuxModel()
{
    return IsLinuxModel(OrvCore::CDom::This());
}

// ---------------------------------------------------------------- CIntegrityRule

CIntegrityRule::CIntegrityRule() : OrvCore::CIdNameObject(false, true)
{
    AddAttribute(wxT("allowOnChange"), &m_allowOnChange);
    AddAttribute(wxT("confidential"), &m_confidential);
    AddAttribute(wxT("hash"), &m_hash);
    AddAttribute(wxT("identifier"), &m_identifier);
    AddAttribute(wxT("severity"), &m_severity, 0);
    AddAttribute(wxT("type"), &m_type, 0);

    AddChild(&m_dirSets);
    AddChild(&m_fileSets);
    AddChild(&m_groupSets);
    AddChild(&m_installedSoftwareSets);
    AddChild(&m_portSets);
    AddChild(&m_processSets);
    AddChild(&m_userSets);
    if (IsWindowsModel()) {
        m_registryKeySets.reset(new CRegistryKeySets);
        m_registryValueSets.reset(new CRegistryValueSets);
        m_serviceSets.reset(new CServiceSets);
        m_wqlSets.reset(new CWqlSets);
        AddChild(m_registryKeySets.get());
        AddChild(m_registryValueSets.get());
        AddChild(m_serviceSets.get());
        AddChild(m_wqlSets.get());
    }
}

CIntegrityRule::~CIntegrityRule() = default;

void CIntegrityRule::SetToDefaults()
{
    OrvCore::CIdNameObject::SetToDefaults();
    m_unknownChildNames.clear();
    m_unsupportedSetNames.clear();
}

bool CIntegrityRule::CopyFrom(const OrvCore::XMLObject& other)
{
    if (!OrvCore::CIdNameObject::CopyFrom(other)) return false;
    if (const auto* source = dynamic_cast<const CIntegrityRule*>(&other)) {
        if (source != this) {
            m_unknownChildNames = source->m_unknownChildNames;
            m_unsupportedSetNames = source->m_unsupportedSetNames;
        }
    }
    return true;
}

bool CIntegrityRule::OnUnhandledChildElement(const wxString& name)
{
    if (IsKnownName(KnownEntitySetNames, name))
        m_unsupportedSetNames.insert(name);
    else
        m_unknownChildNames.insert(name);
    return OrvCore::CIdNameObject::OnUnhandledChildElement(name);
}

void CIntegrityRule::PrintChildElements(wxString& out, int indent) const
{
    OrvCore::CIdNameObject::PrintChildElements(out, indent);
    for (const wxString& name : SortedNames(m_unknownChildNames)) AppendEmptyElement(out, indent, name);
    for (const wxString& name : SortedNames(m_unsupportedSetNames)) AppendEmptyElement(out, indent, name);
}

// ---------------------------------------------------------------- lists

CIntegrityRules::CIntegrityRules() : CItemList<CIntegrityRule>(false, true) {}

CIntegrityRuleAssignment::CIntegrityRuleAssignment() : OrvCore::XMLObject(false, true)
{
    AddAttribute(wxT("integrityRuleId"), &m_integrityRuleId, 0);
}

CIntegrityRuleAssignments::CIntegrityRuleAssignments() : CItemList<CIntegrityRuleAssignment>(false, true) {}

}  // namespace OrvPluginIm
