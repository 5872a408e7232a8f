// Entity set rows: their column declarations (the only place where the set
// tables' column names are written), key-expression compilation, and the
// factory by entity type.
#include "plugins/im/SqlEntitySets.h"

#include <wx/filename.h>
#include <wx/log.h>

#include <functional>
#include <utility>

#include "core/Log.h"

namespace OrvPluginIm {

using OrvCore::XMLAttr;

namespace {

const char* const kComponent = "orp.im.db";

}  // namespace

bool EntityTypeKeysAreCaseSensitive(const wxString& entityType)
{
    if (entityType == CSqlInstalledSoftwareEntitySet::EntityType() ||
        entityType == CSqlPortEntitySet::EntityType())
        return true;
    if (entityType == CSqlRegistryKeyEntitySet::EntityType() ||
        entityType == CSqlRegistryValueEntitySet::EntityType() ||
        entityType == CSqlServiceEntitySet::EntityType() || entityType == CSqlWqlEntitySet::EntityType())
        return false;
    // Files and directories: the native path format; groups, processes,
    // users and anything else: the platform's file-name rule. Both are the
    // same question on this platform.
    return wxFileName::IsCaseSensitive(wxPATH_NATIVE);
}

int EntityTypeRegExFlags(const wxString& entityType)
{
    return wxRE_EXTENDED | (EntityTypeKeysAreCaseSensitive(entityType) ? 0 : wxRE_ICASE);
}

std::unique_ptr<wxRegEx> CompileKeyRegEx(const wxString& pattern, int flags, const wxString& what)
{
    if (pattern.empty()) return nullptr;
    std::unique_ptr<wxRegEx> regEx(new wxRegEx());
    bool compiled = false;
    {
        // The library logs its own error text; ours names the row instead.
        wxLogNull quiet;
        compiled = regEx->Compile(pattern, flags);
    }
    if (!compiled) {
        OrvCore::LogWarning(
            kComponent,
            wxString::Format(wxT("Cannot compile the regular expression '%s' of %s"), pattern, what));
        return nullptr;
    }
    return regEx;
}

// ---------------------------------------------------------------- base

CSqlEntitySet::CSqlEntitySet()
{
    AddAttribute(wxT("entitySetId"), &m_entitySetId, 0, XMLAttr::Key);
    AddAttribute(wxT("integrityRuleId"), &m_integrityRuleId, 0);
    AddAttribute(wxT("onChange"), &m_onChange);
}

wxString CSqlEntitySet::GetElementName() const
{
    const wxString type = GetEntityType();
    return type.empty() ? ElementName() : type + wxT("Set");
}

wxString CSqlEntitySet::GetEntityType() const
{
    return EntityType();
}

wxString CSqlEntitySet::GetSearchBase() const
{
    return wxString();
}

const wxRegEx* CSqlEntitySet::GetSearchRegEx() const
{
    return nullptr;
}

bool CSqlEntitySet::HasHierarchicalNames() const
{
    return false;
}

wxString CSqlEntitySet::GetSearchRegExText() const
{
    return wxString();
}

// ---------------------------------------------------------------- compiled expression

void CSqlCompiledEntitySet::SetToDefaults()
{
    CSqlEntitySet::SetToDefaults();
    m_compiledRegEx.reset();
}

bool CSqlCompiledEntitySet::CopyFrom(const OrvCore::XMLObject& other)
{
    if (!CSqlEntitySet::CopyFrom(other)) return false;
    CompileSearchRegEx();
    return true;
}

void CSqlCompiledEntitySet::OnSQLLoaded()
{
    CSqlEntitySet::OnSQLLoaded();
    CompileSearchRegEx();
}

void CSqlCompiledEntitySet::ReadElement(const OrvCore::CXmlNode& element)
{
    CSqlEntitySet::ReadElement(element);
    CompileSearchRegEx();
}

void CSqlCompiledEntitySet::CompileSearchRegEx()
{
    m_compiledRegEx = CompileKeyRegEx(
        GetSearchRegExText(), EntityTypeRegExFlags(GetEntityType()),
        wxString::Format(wxT("%s set %lld of rule %lld"), GetEntityType(), m_entitySetId, m_integrityRuleId));
}

// ---------------------------------------------------------------- directories and files

CSqlDirectoryEntitySet::CSqlDirectoryEntitySet()
{
    AddAttribute(wxT("directory"), &m_directory);
    AddAttribute(wxT("directorySearchBase"), &m_directorySearchBase);
    AddAttribute(wxT("directoryRegEx"), &m_directoryRegEx);
    AddAttribute(wxT("followLinks"), &m_followLinks);
    AddAttribute(wxT("includeRemovable"), &m_includeRemovable);
    AddAttribute(wxT("monitorPermissions"), &m_monitorPermissions);
    AddAttribute(wxT("monitorCreated"), &m_monitorCreated);
    AddAttribute(wxT("monitorLastModified"), &m_monitorLastModified);
    AddAttribute(wxT("monitorLastAccessed"), &m_monitorLastAccessed);
    AddAttribute(wxT("monitorOwner"), &m_monitorOwner);
    AddAttribute(wxT("monitorGroup"), &m_monitorGroup);
    AddAttribute(wxT("monitorFlags"), &m_monitorFlags);
    AddAttribute(wxT("monitorFlagsAll"), &m_monitorFlagsAll);
    AddAttribute(wxT("monitorSymLinkPath"), &m_monitorSymLinkPath);
    AddAttribute(wxT("monitorInodeNumber"), &m_monitorInodeNumber);
    AddAttribute(wxT("monitorInodeGenerationNumber"), &m_monitorInodeGenerationNumber);
    AddAttribute(wxT("monitorDeviceNumber"), &m_monitorDeviceNumber);
    AddAttribute(wxT("operations"), &m_operations);
}

void CSqlDirectoryEntitySet::SetDirectory(const wxString& directory)
{
    SetAttributeValue(&m_directory, directory);
}

void CSqlDirectoryEntitySet::SetDirectorySearchBase(const wxString& searchBase)
{
    SetAttributeValue(&m_directorySearchBase, searchBase);
}

void CSqlDirectoryEntitySet::SetDirectoryRegEx(const wxString& regEx)
{
    SetAttributeValue(&m_directoryRegEx, regEx);
    CompileSearchRegEx();
}

CSqlFileEntitySet::CSqlFileEntitySet()
{
    AddAttribute(wxT("monitorSize"), &m_monitorSize);
    AddAttribute(wxT("monitorSha1"), &m_monitorSha1);
    AddAttribute(wxT("monitorSha256"), &m_monitorSha256);
    AddAttribute(wxT("monitorMd5"), &m_monitorMd5);
    AddAttribute(wxT("monitorBlocksAllocated"), &m_monitorBlocksAllocated);
    AddAttribute(wxT("monitorGrowing"), &m_monitorGrowing);
    AddAttribute(wxT("monitorShrinking"), &m_monitorShrinking);
}

// ---------------------------------------------------------------- host metadata types

CSqlGroupEntitySet::CSqlGroupEntitySet()
{
    AddAttribute(wxT("monitorDescription"), &m_monitorDescription);
    AddAttribute(wxT("monitorGroup"), &m_monitorGroup);
    AddAttribute(wxT("monitorMembers"), &m_monitorMembers);
    AddAttribute(wxT("monitorSubGroups"), &m_monitorSubGroups);
}

CSqlInstalledSoftwareEntitySet::CSqlInstalledSoftwareEntitySet()
{
    AddAttribute(wxT("monitorInstalledDate"), &m_monitorInstalledDate);
    AddAttribute(wxT("monitorInstallLocation"), &m_monitorInstallLocation);
    AddAttribute(wxT("monitorManufacturer"), &m_monitorManufacturer);
    AddAttribute(wxT("monitorName"), &m_monitorName);
    AddAttribute(wxT("monitorParent"), &m_monitorParent);
    AddAttribute(wxT("monitorSize"), &m_monitorSize);
    AddAttribute(wxT("monitorVersion"), &m_monitorVersion);
}

CSqlPortEntitySet::CSqlPortEntitySet()
{
    AddAttribute(wxT("monitorCreated"), &m_monitorCreated);
    AddAttribute(wxT("monitorGroup"), &m_monitorGroup);
    AddAttribute(wxT("monitorListeners"), &m_monitorListeners);
    AddAttribute(wxT("monitorPath"), &m_monitorPath);
    AddAttribute(wxT("monitorProcess"), &m_monitorProcess);
    AddAttribute(wxT("monitorProcessId"), &m_monitorProcessId);
    AddAttribute(wxT("monitorUser"), &m_monitorUser);
}

CSqlProcessEntitySet::CSqlProcessEntitySet()
{
    AddAttribute(wxT("monitorCommandLine"), &m_monitorCommandLine);
    AddAttribute(wxT("monitorGroup"), &m_monitorGroup);
    AddAttribute(wxT("monitorParent"), &m_monitorParent);
    AddAttribute(wxT("monitorPath"), &m_monitorPath);
    AddAttribute(wxT("monitorProcess"), &m_monitorProcess);
    AddAttribute(wxT("monitorThreads"), &m_monitorThreads);
    AddAttribute(wxT("monitorUser"), &m_monitorUser);
}

// ---------------------------------------------------------------- registry

CSqlRegistryEntitySet::CSqlRegistryEntitySet()
{
    AddAttribute(wxT("registryKey"), &m_registryKey);
    AddAttribute(wxT("registryKeySearchBase"), &m_registryKeySearchBase);
    AddAttribute(wxT("registryKeyRegEx"), &m_registryKeyRegEx);
}

void CSqlRegistryEntitySet::SetRegistryKey(const wxString& registryKey)
{
    SetAttributeValue(&m_registryKey, registryKey);
}

void CSqlRegistryEntitySet::SetRegistryKeySearchBase(const wxString& searchBase)
{
    SetAttributeValue(&m_registryKeySearchBase, searchBase);
}

void CSqlRegistryEntitySet::SetRegistryKeyRegEx(const wxString& regEx)
{
    SetAttributeValue(&m_registryKeyRegEx, regEx);
    CompileSearchRegEx();
}

CSqlRegistryKeyEntitySet::CSqlRegistryKeyEntitySet()
{
    AddAttribute(wxT("monitorOwner"), &m_monitorOwner);
    AddAttribute(wxT("monitorGroup"), &m_monitorGroup);
    AddAttribute(wxT("monitorPermissions"), &m_monitorPermissions);
    AddAttribute(wxT("monitorLastModified"), &m_monitorLastModified);
    AddAttribute(wxT("monitorClass"), &m_monitorClass);
    AddAttribute(wxT("monitorSecurityDescriptorSize"), &m_monitorSecurityDescriptorSize);
}

CSqlRegistryValueEntitySet::CSqlRegistryValueEntitySet()
{
    AddAttribute(wxT("monitorSize"), &m_monitorSize);
    AddAttribute(wxT("monitorSha1"), &m_monitorSha1);
    AddAttribute(wxT("monitorSha256"), &m_monitorSha256);
    AddAttribute(wxT("monitorMd5"), &m_monitorMd5);
    AddAttribute(wxT("monitorType"), &m_monitorType);
}

// ---------------------------------------------------------------- services, users, WQL

CSqlServiceEntitySet::CSqlServiceEntitySet()
{
    AddAttribute(wxT("monitorOwner"), &m_monitorOwner);
    AddAttribute(wxT("monitorGroup"), &m_monitorGroup);
    AddAttribute(wxT("monitorPermissions"), &m_monitorPermissions);
    AddAttribute(wxT("monitorBinaryPathName"), &m_monitorBinaryPathName);
    AddAttribute(wxT("monitorDescription"), &m_monitorDescription);
    AddAttribute(wxT("monitorDisplayName"), &m_monitorDisplayName);
    AddAttribute(wxT("monitorState"), &m_monitorState);
    AddAttribute(wxT("monitorStartType"), &m_monitorStartType);
    AddAttribute(wxT("monitorLogOnAs"), &m_monitorLogOnAs);
    AddAttribute(wxT("monitorFirstFailure"), &m_monitorFirstFailure);
    AddAttribute(wxT("monitorSecondFailure"), &m_monitorSecondFailure);
    AddAttribute(wxT("monitorSubsequentFailures"), &m_monitorSubsequentFailures);
    AddAttribute(wxT("monitorResetFailCountAfter"), &m_monitorResetFailCountAfter);
    AddAttribute(wxT("monitorRunProgram"), &m_monitorRunProgram);
    AddAttribute(wxT("monitorDependsOn"), &m_monitorDependsOn);
    AddAttribute(wxT("monitorLoadOrderGroup"), &m_monitorLoadOrderGroup);
    AddAttribute(wxT("monitorRebootMessage"), &m_monitorRebootMessage);
    AddAttribute(wxT("monitorProcessId"), &m_monitorProcessId);
}

CSqlUserEntitySet::CSqlUserEntitySet()
{
    AddAttribute(wxT("monitorCannotChangePassword"), &m_monitorCannotChangePassword);
    AddAttribute(wxT("monitorDescription"), &m_monitorDescription);
    AddAttribute(wxT("monitorDisabled"), &m_monitorDisabled);
    AddAttribute(wxT("monitorFullName"), &m_monitorFullName);
    AddAttribute(wxT("monitorGroup"), &m_monitorGroup);
    AddAttribute(wxT("monitorGroups"), &m_monitorGroups);
    AddAttribute(wxT("monitorHomeDriveLetter"), &m_monitorHomeDriveLetter);
    AddAttribute(wxT("monitorHomeFolder"), &m_monitorHomeFolder);
    AddAttribute(wxT("monitorLockedOut"), &m_monitorLockedOut);
    AddAttribute(wxT("monitorLogonScript"), &m_monitorLogonScript);
    AddAttribute(wxT("monitorLogonShell"), &m_monitorLogonShell);
    AddAttribute(wxT("monitorPasswordExpiredDaysBeforeDisabled"),
                 &m_monitorPasswordExpiredDaysBeforeDisabled);
    AddAttribute(wxT("monitorPasswordExpiry"), &m_monitorPasswordExpiry);
    AddAttribute(wxT("monitorPasswordExpiryInDays"), &m_monitorPasswordExpiryInDays);
    AddAttribute(wxT("monitorPasswordHasExpired"), &m_monitorPasswordHasExpired);
    AddAttribute(wxT("monitorPasswordLastChanged"), &m_monitorPasswordLastChanged);
    AddAttribute(wxT("monitorPasswordMinDaysBetweenChanges"), &m_monitorPasswordMinDaysBetweenChanges);
    AddAttribute(wxT("monitorPasswordNeverExpires"), &m_monitorPasswordNeverExpires);
    AddAttribute(wxT("monitorPasswordWarningDays"), &m_monitorPasswordWarningDays);
    AddAttribute(wxT("monitorProfilePath"), &m_monitorProfilePath);
    AddAttribute(wxT("monitorUser"), &m_monitorUser);
}

CSqlWqlEntitySet::CSqlWqlEntitySet()
{
    AddAttribute(wxT("namespace"), &m_namespace);
    AddAttribute(wxT("wql"), &m_wql);
    AddAttribute(wxT("provider"), &m_provider);
    AddAttribute(wxT("timeout"), &m_timeout, 5000);
}

// ---------------------------------------------------------------- factory

namespace {

struct SetFactory
{
    wxString entityType;
    std::function<CSqlEntitySet*()> row;
    std::function<OrvCore::XMLObjectList*()> list;
};

template <class TRow, class TList>
SetFactory MakeFactory()
{
    return SetFactory{TRow::EntityType(), [] { return new TRow(); }, [] { return new TList(); }};
}

const std::vector<SetFactory>& Factories()
{
    static const std::vector<SetFactory>* factories = new std::vector<SetFactory>{
        MakeFactory<CSqlFileEntitySet, CSqlFileEntitySets>(),
        MakeFactory<CSqlDirectoryEntitySet, CSqlDirectoryEntitySets>(),
        MakeFactory<CSqlGroupEntitySet, CSqlGroupEntitySets>(),
        MakeFactory<CSqlInstalledSoftwareEntitySet, CSqlInstalledSoftwareEntitySets>(),
        MakeFactory<CSqlPortEntitySet, CSqlPortEntitySets>(),
        MakeFactory<CSqlProcessEntitySet, CSqlProcessEntitySets>(),
        MakeFactory<CSqlUserEntitySet, CSqlUserEntitySets>(),
        MakeFactory<CSqlRegistryKeyEntitySet, CSqlRegistryKeyEntitySets>(),
        MakeFactory<CSqlRegistryValueEntitySet, CSqlRegistryValueEntitySets>(),
        MakeFactory<CSqlServiceEntitySet, CSqlServiceEntitySets>(),
        MakeFactory<CSqlWqlEntitySet, CSqlWqlEntitySets>(),
    };
    return *factories;
}

const SetFactory* FindFactory(const wxString& entityType)
{
    for (const SetFactory& factory : Factories()) {
        if (factory.entityType == entityType) return &factory;
    }
    return nullptr;
}

}  // namespace

const std::vector<wxString>& SqlEntitySetTypes()
{
    static const std::vector<wxString>* types = [] {
        auto* list = new std::vector<wxString>;
        for (const SetFactory& factory : Factories()) list->push_back(factory.entityType);
        return list;
    }();
    return *types;
}

std::unique_ptr<CSqlEntitySet> CreateSqlEntitySet(const wxString& entityType)
{
    const SetFactory* factory = FindFactory(entityType);
    return std::unique_ptr<CSqlEntitySet>(factory ? factory->row() : nullptr);
}

std::unique_ptr<OrvCore::XMLObjectList> CreateSqlEntitySetList(const wxString& entityType)
{
    const SetFactory* factory = FindFactory(entityType);
    return std::unique_ptr<OrvCore::XMLObjectList>(factory ? factory->list() : nullptr);
}

}  // namespace OrvPluginIm
