// Entity sets: declarations, bookkeeping of unhandled attributes, and the
// attribute and feature vocabularies of every set type per platform model.
#include "plugins/im/EntitySets.h"

#include "plugins/im/IntegrityRules.h"

namespace OrvPluginIm {

namespace {

// The part that only the Windows model has, or the part that only the Linux
// model has (the Windows model wins when both tests hold).
wxString WindowsOrLinux(const wxChar* windowsPart, const wxChar* linuxPart)
{
    if (IsWindowsModel()) return windowsPart;
    if (IsLinuxModel()) return linuxPart;
    return wxString();
}

wxString WindowsOnly(const wxChar* windowsPart)
{
    return IsWindowsModel() ? wxString(windowsPart) : wxString();
}

}  // namespace

// ---------------------------------------------------------------- CEntitySet

CEntitySet::CEntitySet()
    : OrvCore::XMLObject(false, true),
      m_operations(this),
      m_includes(this),
      m_excludes(this),
      m_attributes(this)
{
    AddChild(&m_operations);
    AddChild(&m_includes);
    AddChild(&m_excludes);
    AddChild(&m_attributes);
    AddAttribute(wxT("onChange"), &m_onChange);
}

void CEntitySet::SetToDefaults()
{
    OrvCore::XMLObject::SetToDefaults();
    m_unhandledAttributes.clear();
}

bool CEntitySet::CopyFrom(const OrvCore::XMLObject& other)
{
    if (!OrvCore::XMLObject::CopyFrom(other)) return false;
    if (const auto* source = dynamic_cast<const CEntitySet*>(&other)) {
        if (source != this) m_unhandledAttributes = source->m_unhandledAttributes;
    }
    return true;
}

bool CEntitySet::OnUnhandledAttribute(const wxString& name, const wxString& /*value*/)
{
    m_unhandledAttributes.insert(name);
    return true;
}

wxString CEntitySet::GetAllowedFeatures() const
{
    return wxString();
}

void CEntitySet::PrintAttributes(wxString& out) const
{
    OrvCore::XMLObject::PrintAttributes(out);
    for (const wxString& name : SortedNames(m_unhandledAttributes))
        out << wxT(' ') << name << wxT("=\"unknown\"");
}

// ---------------------------------------------------------------- hierarchical sets

CHierarchicalEntitySet::CHierarchicalEntitySet()
{
    AddAttribute(wxT("base"), &m_base);
}

wxString CHierarchicalEntitySet::GetAllowedFeatures() const
{
    return wxT("whereBaseInOtherSet,");
}

CFileOrDirSet::CFileOrDirSet()
{
    AddAttribute(wxT("followLinks"), &m_followLinks);
    AddAttribute(wxT("includeRemovable"), &m_includeRemovable);
}

wxString CFileOrDirSet::CommonStandardAttributes()
{
    return wxString(wxT("created,group,lastModified,owner,permissions,")) + WindowsOnly(wxT("flags,"));
}

wxString CFileOrDirSet::CommonOtherAttributes()
{
    return wxString(wxT("lastAccessed,")) +
           WindowsOrLinux(wxT("flagsAll,"), wxT("deviceNumber,inodeGenerationNumber,inodeNumber,"));
}

wxString CDirSet::GetStandardAttributes() const
{
    return CommonStandardAttributes() + wxT("symLinkPath,");
}

wxString CDirSet::GetAllowedAttributes() const
{
    return GetStandardAttributes() + CommonOtherAttributes();
}

wxString CFileSet::GetStandardAttributes() const
{
    return CommonStandardAttributes() + s_OurStandardAttributes;
}

wxString CFileSet::GetAllowedAttributes() const
{
    return CommonStandardAttributes() + CommonOtherAttributes() + s_OurStandardAttributes +
           s_OurOtherAttributes;
}

wxString CFileSet::GetAllowedFeatures() const
{
    return CFileOrDirSet::GetAllowedFeatures() + wxT("executable,");
}

wxString CRegistryKeySet::GetStandardAttributes() const
{
    return wxT("group,lastModified,owner,permissions,");
}

wxString CRegistryKeySet::GetAllowedAttributes() const
{
    return wxT("class,group,lastModified,owner,permissions,securityDescriptorSize,");
}

wxString CRegistryValueSet::GetStandardAttributes() const
{
    return wxT("contents,size,type,");
}

wxString CRegistryValueSet::GetAllowedAttributes() const
{
    return wxT("contents,md5,sha1,sha256,size,type,");
}

// ---------------------------------------------------------------- host object sets

wxString CGroupSet::GetStandardAttributes() const
{
    return wxString(wxT("group,members,")) + WindowsOnly(wxT("subGroups,"));
}

wxString CGroupSet::GetAllowedAttributes() const
{
    return wxString(wxT("group,members,")) + WindowsOnly(wxT("description,subGroups,"));
}

wxString CInstalledSoftwareSet::GetStandardAttributes() const
{
    return wxT("installedDate,version,");
}

wxString CInstalledSoftwareSet::GetAllowedAttributes() const
{
    return wxString(wxT("manufacturer,version,installedDate,size,")) +
           WindowsOnly(wxT("installLocation,name,parent"));
}

wxString CInstalledSoftwareSet::GetAllowedFeatures() const
{
    return wxString(wxT("manufacturer,")) + WindowsOnly(wxT("name,"));
}

wxString CPortSet::GetStandardAttributes() const
{
    return GetAllowedAttributes();
}

wxString CPortSet::GetAllowedAttributes() const
{
    return wxString(wxT("group,listeners,path,process,processId,user,")) + WindowsOnly(wxT("created,"));
}

wxString CPortSet::GetAllowedFeatures() const
{
    return wxT("group,path,process,user,");
}

wxString CProcessSet::GetStandardAttributes() const
{
    return wxT("commandLine,group,parent,path,process,user,");
}

wxString CProcessSet::GetAllowedAttributes() const
{
    return wxT("commandLine,group,parent,path,process,threads,user,");
}

wxString CProcessSet::GetAllowedFeatures() const
{
    return wxT("commandLine,group,path,user,");
}

wxString CUserSet::GetStandardAttributes() const
{
    return wxString(wxT("cannotChangePassword,disabled,groups,homeFolder,passwordHasExpired,"
                        "passwordLastChanged,passwordNeverExpires,user,")) +
           WindowsOrLinux(wxT("logonScript,profilePath,"),
                          wxT("group,logonShell,passwordExpiryInDays,passwordMinDaysBetweenChanges,"));
}

wxString CUserSet::GetAllowedAttributes() const
{
    return wxString(
               wxT("cannotChangePassword,disabled,fullName,groups,homeFolder,lockedOut,passwordHasExpired,"
                   "passwordLastChanged,passwordNeverExpires,user,")) +
           WindowsOrLinux(wxT("description,homeDriveLetter,logonScript,profilePath,"),
                          wxT("group,logonShell,passwordExpiredDaysBeforeDisabled,passwordExpiry,"
                              "passwordExpiryInDays,passwordMinDaysBetweenChanges,passwordWarningDays,"));
}

wxString CUserSet::GetAllowedFeatures() const
{
    return wxT("disabled,group,lockedOut,passwordHasExpired,passwordNeverExpires,");
}

wxString CServiceSet::GetStandardAttributes() const
{
    return wxT(
        "binaryPathName,dependsOn,description,firstFailure,group,loadOrderGroup,logOnAs,owner,"
        "permissions,processId,resetFailCountAfter,runProgram,secondFailure,startType,state,"
        "subsequentFailures,");
}

wxString CServiceSet::GetAllowedAttributes() const
{
    return wxT(
        "binaryPathName,dependsOn,description,displayName,firstFailure,group,loadOrderGroup,logOnAs,"
        "owner,permissions,processId,rebootMessage,resetFailCountAfter,runProgram,secondFailure,"
        "startType,state,subsequentFailures,");
}

wxString CServiceSet::GetAllowedFeatures() const
{
    return wxT("state,");
}

CWqlSet::CWqlSet()
{
    AddAttribute(wxT("namespace"), &m_namespace);
    AddAttribute(wxT("wql"), &m_wql);
    AddAttribute(wxT("provider"), &m_provider);
    AddAttribute(wxT("timeout"), &m_timeout, 0);
}

wxString CWqlSet::GetStandardAttributes() const
{
    return wxString();
}

wxString CWqlSet::GetAllowedAttributes() const
{
    return wxString();
}

}  // namespace OrvPluginIm
