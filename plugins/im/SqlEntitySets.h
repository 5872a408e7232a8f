// Entity set rows of si.db: one table per entity type, named by the type and
// "Sets" (FileSets, UserSets, ...), each mirrored by a row class built on
// CSqlEntitySet and a list class (the row class name plus "s"). A row is one
// entity set of one integrity rule: its id, its rule, whether it takes part
// in real-time monitoring, and the flags of the attributes it monitors; the
// hierarchical types (directories, files, registry keys and values) also keep
// the set's directory or key as written, its search base and the regular
// expression for the whole key, compiled once whenever the row is read or the
// expression is set.
//
// Names: a row's element name is its entity type followed by "Set" and its
// list's element name (the table) that plus "s", so statements that append
// "s" to a row's element name name the table too. Column names are the
// declared attribute names; callers take them from GetAttributeName.
//
// Ownership: a list owns its rows; a row owns its compiled expression.
// Threads: rows are not synchronised; a row is used by one thread at a time
// (each scanner and the on-change thread load their own).
#pragma once

#include <wx/regex.h>
#include <wx/string.h>

#include <memory>
#include <vector>

#include "core/XMLObject.h"

namespace OrvPluginIm {

// Whether keys of an entity type compare case-sensitively, as far as the
// row classes need to know (the key matcher of the type has the last word
// when it matches): files and directories follow the native path format
// (case-sensitive on Linux); groups, processes and users follow the
// platform's file-name rule (case-sensitive on Linux); installed software and
// ports are always case-sensitive; registry keys and values, services and
// WQL queries never are. An unknown type follows the platform's rule.
bool EntityTypeKeysAreCaseSensitive(const wxString& entityType);

// Flags for compiling a key expression of an entity type: extended syntax,
// case-insensitive when the type's keys are not case-sensitive.
int EntityTypeRegExFlags(const wxString& entityType);

// Compiles pattern with flags into a new expression; null (with a warning in
// the log naming what) when pattern is empty or does not compile.
std::unique_ptr<wxRegEx> CompileKeyRegEx(const wxString& pattern, int flags, const wxString& what);

// Base of every entity set row: the columns every set table starts with.
// GetEntityType, GetSearchBase, GetSearchRegEx and HasHierarchicalNames are
// its virtual operations, in this order. The base answers no type, an empty
// search base, no expression and false.
class CSqlEntitySet : public OrvCore::XMLObject
{
  public:
    CSqlEntitySet();
    static wxString EntityType() { return wxString(); }
    static wxString ElementName() { return wxT("EntitySet"); }
    // The entity type followed by "Set" ("FileSet"); ElementName() for the base.
    wxString GetElementName() const override;

    // The entity type name ("File", "User", ...).
    virtual wxString GetEntityType() const;
    // The fixed leading part of the set's keys from which enumeration starts.
    virtual wxString GetSearchBase() const;
    // The compiled expression for the whole key, or null when the row has
    // none (no expression, or one that did not compile).
    virtual const wxRegEx* GetSearchRegEx() const;
    virtual bool HasHierarchicalNames() const;
    // The text of the expression that GetSearchRegEx compiles (empty for the base).
    virtual wxString GetSearchRegExText() const;

    // The set table of this row ("FileSets").
    wxString GetTableName() const { return GetElementName() + wxT("s"); }

    long long m_entitySetId = 0;      // "entitySetId" (key)
    long long m_integrityRuleId = 0;  // "integrityRuleId"
    bool m_onChange = true;           // "onChange": takes part in real-time monitoring
};

// Base of the rows that hold a compiled key expression: recompiles it after
// the row was read (from SQL or XML), copied or reset.
class CSqlCompiledEntitySet : public CSqlEntitySet
{
  public:
    const wxRegEx* GetSearchRegEx() const override { return m_compiledRegEx.get(); }
    void SetToDefaults() override;
    bool CopyFrom(const OrvCore::XMLObject& other) override;
    void OnSQLLoaded() override;

  protected:
    CSqlCompiledEntitySet() = default;
    void ReadElement(const OrvCore::CXmlNode& element) override;
    // Compiles GetSearchRegExText() with the flags of the row's entity type.
    void CompileSearchRegEx();

  private:
    std::unique_ptr<wxRegEx> m_compiledRegEx;
};

// DirectorySets. The fourteen BOOL flags after the three texts are the
// "directory flags" (FileSets repeats them).
class CSqlDirectoryEntitySet : public CSqlCompiledEntitySet
{
  public:
    CSqlDirectoryEntitySet();
    static wxString EntityType() { return wxT("Directory"); }
    static wxString ElementName() { return EntityType() + wxT("Set"); }
    wxString GetEntityType() const override { return EntityType(); }
    wxString GetSearchBase() const override { return m_directorySearchBase; }
    bool HasHierarchicalNames() const override { return true; }
    wxString GetSearchRegExText() const override { return m_directoryRegEx; }

    // Assign the column and clear its null flag; SetDirectoryRegEx also
    // compiles the new expression.
    void SetDirectory(const wxString& directory);
    void SetDirectorySearchBase(const wxString& searchBase);
    void SetDirectoryRegEx(const wxString& regEx);

    wxString m_directory;            // "directory": the set's base as written in the rule
    wxString m_directorySearchBase;  // "directorySearchBase"
    wxString m_directoryRegEx;       // "directoryRegEx"
    bool m_followLinks = false;
    bool m_includeRemovable = false;
    bool m_monitorPermissions = false;
    bool m_monitorCreated = false;
    bool m_monitorLastModified = false;
    bool m_monitorLastAccessed = false;
    bool m_monitorOwner = false;
    bool m_monitorGroup = false;
    bool m_monitorFlags = false;
    bool m_monitorFlagsAll = false;
    bool m_monitorSymLinkPath = false;
    bool m_monitorInodeNumber = false;
    bool m_monitorInodeGenerationNumber = false;
    bool m_monitorDeviceNumber = false;
    wxString m_operations;  // "operations": change kinds reported, joined by ","
};

// FileSets: every DirectorySets column, then the seven file flags.
class CSqlFileEntitySet : public CSqlDirectoryEntitySet
{
  public:
    CSqlFileEntitySet();
    static wxString EntityType() { return wxT("File"); }
    static wxString ElementName() { return EntityType() + wxT("Set"); }
    wxString GetEntityType() const override { return EntityType(); }

    bool m_monitorSize = false;
    bool m_monitorSha1 = false;
    bool m_monitorSha256 = false;
    bool m_monitorMd5 = false;
    bool m_monitorBlocksAllocated = false;
    bool m_monitorGrowing = false;
    bool m_monitorShrinking = false;
};

class CSqlGroupEntitySet : public CSqlEntitySet
{
  public:
    CSqlGroupEntitySet();
    static wxString EntityType() { return wxT("Group"); }
    static wxString ElementName() { return EntityType() + wxT("Set"); }
    wxString GetEntityType() const override { return EntityType(); }

    bool m_monitorDescription = false;
    bool m_monitorGroup = false;
    bool m_monitorMembers = false;
    bool m_monitorSubGroups = false;
};

class CSqlInstalledSoftwareEntitySet : public CSqlEntitySet
{
  public:
    CSqlInstalledSoftwareEntitySet();
    static wxString EntityType() { return wxT("InstalledSoftware"); }
    static wxString ElementName() { return EntityType() + wxT("Set"); }
    wxString GetEntityType() const override { return EntityType(); }

    bool m_monitorInstalledDate = false;
    bool m_monitorInstallLocation = false;
    bool m_monitorManufacturer = false;
    bool m_monitorName = false;
    bool m_monitorParent = false;
    bool m_monitorSize = false;
    bool m_monitorVersion = false;
};

class CSqlPortEntitySet : public CSqlEntitySet
{
  public:
    CSqlPortEntitySet();
    static wxString EntityType() { return wxT("Port"); }
    static wxString ElementName() { return EntityType() + wxT("Set"); }
    wxString GetEntityType() const override { return EntityType(); }

    bool m_monitorCreated = false;
    bool m_monitorGroup = false;
    bool m_monitorListeners = false;
    bool m_monitorPath = false;
    bool m_monitorProcess = false;
    bool m_monitorProcessId = false;
    bool m_monitorUser = false;
};

class CSqlProcessEntitySet : public CSqlEntitySet
{
  public:
    CSqlProcessEntitySet();
    static wxString EntityType() { return wxT("Process"); }
    static wxString ElementName() { return EntityType() + wxT("Set"); }
    wxString GetEntityType() const override { return EntityType(); }

    bool m_monitorCommandLine = false;
    bool m_monitorGroup = false;
    bool m_monitorParent = false;
    bool m_monitorPath = false;
    bool m_monitorProcess = false;
    bool m_monitorThreads = false;
    bool m_monitorUser = false;
};

// Base of the registry key and value rows (hosts with a registry; the tables
// stay empty on Linux).
class CSqlRegistryEntitySet : public CSqlCompiledEntitySet
{
  public:
    wxString GetSearchBase() const override { return m_registryKeySearchBase; }
    bool HasHierarchicalNames() const override { return true; }
    wxString GetSearchRegExText() const override { return m_registryKeyRegEx; }

    // Assign the column and clear its null flag; SetRegistryKeyRegEx also
    // compiles the new expression.
    void SetRegistryKey(const wxString& registryKey);
    void SetRegistryKeySearchBase(const wxString& searchBase);
    void SetRegistryKeyRegEx(const wxString& regEx);

    wxString m_registryKey;            // "registryKey"
    wxString m_registryKeySearchBase;  // "registryKeySearchBase"
    wxString m_registryKeyRegEx;       // "registryKeyRegEx"

  protected:
    CSqlRegistryEntitySet();
};

class CSqlRegistryKeyEntitySet : public CSqlRegistryEntitySet
{
  public:
    CSqlRegistryKeyEntitySet();
    static wxString EntityType() { return wxT("RegistryKey"); }
    static wxString ElementName() { return EntityType() + wxT("Set"); }
    wxString GetEntityType() const override { return EntityType(); }

    bool m_monitorOwner = false;
    bool m_monitorGroup = false;
    bool m_monitorPermissions = false;
    bool m_monitorLastModified = false;
    bool m_monitorClass = false;
    bool m_monitorSecurityDescriptorSize = false;
};

class CSqlRegistryValueEntitySet : public CSqlRegistryEntitySet
{
  public:
    CSqlRegistryValueEntitySet();
    static wxString EntityType() { return wxT("RegistryValue"); }
    static wxString ElementName() { return EntityType() + wxT("Set"); }
    wxString GetEntityType() const override { return EntityType(); }

    bool m_monitorSize = false;
    bool m_monitorSha1 = false;
    bool m_monitorSha256 = false;
    bool m_monitorMd5 = false;
    bool m_monitorType = false;
};

class CSqlServiceEntitySet : public CSqlEntitySet
{
  public:
    CSqlServiceEntitySet();
    static wxString EntityType() { return wxT("Service"); }
    static wxString ElementName() { return EntityType() + wxT("Set"); }
    wxString GetEntityType() const override { return EntityType(); }

    bool m_monitorOwner = false;
    bool m_monitorGroup = false;
    bool m_monitorPermissions = false;
    bool m_monitorBinaryPathName = false;
    bool m_monitorDescription = false;
    bool m_monitorDisplayName = false;
    bool m_monitorState = false;
    bool m_monitorStartType = false;
    bool m_monitorLogOnAs = false;
    bool m_monitorFirstFailure = false;
    bool m_monitorSecondFailure = false;
    bool m_monitorSubsequentFailures = false;
    bool m_monitorResetFailCountAfter = false;
    bool m_monitorRunProgram = false;
    bool m_monitorDependsOn = false;
    bool m_monitorLoadOrderGroup = false;
    bool m_monitorRebootMessage = false;
    bool m_monitorProcessId = false;
};

class CSqlUserEntitySet : public CSqlEntitySet
{
  public:
    CSqlUserEntitySet();
    static wxString EntityType() { return wxT("User"); }
    static wxString ElementName() { return EntityType() + wxT("Set"); }
    wxString GetEntityType() const override { return EntityType(); }

    bool m_monitorCannotChangePassword = false;
    bool m_monitorDescription = false;
    bool m_monitorDisabled = false;
    bool m_monitorFullName = false;
    bool m_monitorGroup = false;
    bool m_monitorGroups = false;
    bool m_monitorHomeDriveLetter = false;
    bool m_monitorHomeFolder = false;
    bool m_monitorLockedOut = false;
    bool m_monitorLogonScript = false;
    bool m_monitorLogonShell = false;
    bool m_monitorPasswordExpiredDaysBeforeDisabled = false;
    bool m_monitorPasswordExpiry = false;
    bool m_monitorPasswordExpiryInDays = false;
    bool m_monitorPasswordHasExpired = false;
    bool m_monitorPasswordLastChanged = false;
    bool m_monitorPasswordMinDaysBetweenChanges = false;
    bool m_monitorPasswordNeverExpires = false;
    bool m_monitorPasswordWarningDays = false;
    bool m_monitorProfilePath = false;
    bool m_monitorUser = false;
};

class CSqlWqlEntitySet : public CSqlEntitySet
{
  public:
    CSqlWqlEntitySet();
    static wxString EntityType() { return wxT("Wql"); }
    static wxString ElementName() { return EntityType() + wxT("Set"); }
    wxString GetEntityType() const override { return EntityType(); }

    wxString m_namespace;  // "namespace"
    wxString m_wql;        // "wql"
    wxString m_provider;   // "provider"
    int m_timeout = 5000;  // "timeout", default 5000
};

// A list of rows of one table: the table (element) name is the row's element
// name followed by "s"; every loaded row is a new TRow.
template <class TRow>
class CSqlRowList : public OrvCore::XMLObjectList
{
  public:
    CSqlRowList() = default;
    static wxString ElementName() { return TRow::ElementName() + wxT("s"); }
    wxString GetElementName() const override { return ElementName(); }
    wxString ChildElementName() const override { return TRow::ElementName(); }
    OrvCore::XMLObject* CreateListElement() override { return new TRow(); }

    TRow* Item(size_t index) const { return static_cast<TRow*>(Children()[index]); }
};

class CSqlDirectoryEntitySets : public CSqlRowList<CSqlDirectoryEntitySet>
{
};
class CSqlFileEntitySets : public CSqlRowList<CSqlFileEntitySet>
{
};
class CSqlGroupEntitySets : public CSqlRowList<CSqlGroupEntitySet>
{
};
class CSqlInstalledSoftwareEntitySets : public CSqlRowList<CSqlInstalledSoftwareEntitySet>
{
};
class CSqlPortEntitySets : public CSqlRowList<CSqlPortEntitySet>
{
};
class CSqlProcessEntitySets : public CSqlRowList<CSqlProcessEntitySet>
{
};
class CSqlRegistryKeyEntitySets : public CSqlRowList<CSqlRegistryKeyEntitySet>
{
};
class CSqlRegistryValueEntitySets : public CSqlRowList<CSqlRegistryValueEntitySet>
{
};
class CSqlServiceEntitySets : public CSqlRowList<CSqlServiceEntitySet>
{
};
class CSqlUserEntitySets : public CSqlRowList<CSqlUserEntitySet>
{
};
class CSqlWqlEntitySets : public CSqlRowList<CSqlWqlEntitySet>
{
};

// The entity types that have a set table, in a fixed order: "File",
// "Directory", "Group", "InstalledSoftware", "Port", "Process", "User",
// "RegistryKey", "RegistryValue", "Service", "Wql".
const std::vector<wxString>& SqlEntitySetTypes();
// A new default row, or a new empty list, of the set table of entityType
// (compared exactly); null for a type without one.
std::unique_ptr<CSqlEntitySet> CreateSqlEntitySet(const wxString& entityType);
std::unique_ptr<OrvCore::XMLObjectList> CreateSqlEntitySetList(const wxString& entityType);

}  // namespace OrvPluginIm
