// Rule persistence of the controller: one rule object flattened into the rule
// tables of si.db. Everything the scanners and the key matcher need later
// (search bases, expressions, monitor flags, operation filters, case codes)
// is computed here once and stored with the rows.
//
// The monitor flags are not listed here: each row class declares its
// "monitor..." columns, and an attribute name N selects the column
// "monitor" + N (compared without regard to case).
#include <vector>

#include "core/Log.h"
#include "core/Text.h"
#include "plugins/im/EntitySets.h"
#include "plugins/im/IncludeExclude.h"
#include "plugins/im/IntegrityRules.h"
#include "plugins/im/SqlEntitySets.h"
#include "plugins/im/SqlRows.h"
#include "plugins/im/SystemIntegrityThread.h"
#include "plugins/im/im-plugin.h"

namespace OrvPluginIm {

namespace {

const char* const kSource = "plugins/im/SystemIntegrityThread";
const wxString kMonitorPrefix = wxT("monitor");

// Rule problems reported to the HUB (their field layouts are fixed by the
// HUB's templates).
enum RuleEvent
{
    kUnknownChildElements = 8005,
    kUnsupportedSetElements = 8006,
    kUnknownEntryAttributes = 8007,
    kUnsupportedEntryFeatures = 8008,
    kUnknownAttributeNames = 8009,
    kUnsupportedAttributeNames = 8010,
    kUnknownSetAttributes = 8011,
};

// The controller's connection; the rule writer is only called with si.db open.
wxSQLite3Database& RuleDb(OrvCore::CSqliteDatabase* db)
{
    if (db == nullptr || !db->IsOpen())
        throw wxSQLite3Exception(WXSQLITE_ERROR, wxT("the integrity database is not open"));
    return db->Db();
}

// The names, sorted so that a report is the same from run to run, joined by ",".
wxString JoinNames(const OrvCore::WxStringSet& names)
{
    wxString joined;
    for (const wxString& name : SortedNames(names)) {
        if (!joined.empty()) joined += wxT(',');
        joined += name;
    }
    return OrvCore::ReplaceBars(joined);
}

// Events 8005 and 8006: rule id, rule name, list.
void ReportRuleNames(CSystemIntegrityThread& controller, const CIntegrityRule& rule, int code,
                     const OrvCore::WxStringSet& names)
{
    if (names.empty()) return;
    controller.SetRuleWarning(true);
    controller.GetDom().DoAgentEventWrite(code, "%d|%s|%s", static_cast<int>(rule.m_id),
                                          OrvCore::ReplaceBars(rule.m_name), JoinNames(names));
}

// Events 8007 to 8011: rule id, rule name, set table, list.
void ReportSetNames(CSystemIntegrityThread& controller, const CIntegrityRule& rule, int code,
                    const CSqlEntitySet& setRow, const OrvCore::WxStringSet& names)
{
    if (names.empty()) return;
    controller.SetRuleWarning(true);
    controller.GetDom().DoAgentEventWrite(code, "%d|%s|%s|%s", static_cast<int>(rule.m_id),
                                          OrvCore::ReplaceBars(rule.m_name), setRow.GetTableName(),
                                          JoinNames(names));
}

// The case-sensitivity code of an entry's "caseSensitive" text: 0 "false",
// 1 "true" (either in any case), 2 anything else (the entity type decides).
int CaseSensitivityCode(const wxString& text)
{
    if (text.IsSameAs(wxT("false"), false)) return 0;
    if (text.IsSameAs(wxT("true"), false)) return 1;
    return 2;
}

// The "monitor..." column names that row declares and base (when given) does not.
std::vector<wxString> MonitorColumns(const OrvCore::XMLObject& row, const OrvCore::XMLObject* base)
{
    std::vector<wxString> columns;
    for (size_t i = 0; i < row.GetAttributeCount(); ++i) {
        const OrvCore::XMLObject::Attribute& attribute = row.GetAttributeAt(i);
        const wxString& name = attribute.decl->name;
        if (attribute.decl->type != OrvCore::XMLAttrType::Bool || !name.StartsWith(kMonitorPrefix) ||
            name.length() == kMonitorPrefix.length())
            continue;
        bool inBase = false;
        if (base != nullptr) {
            for (size_t j = 0; j < base->GetAttributeCount() && !inBase; ++j)
                inBase = base->GetAttributeAt(j).decl->name == name;
        }
        if (!inBase) columns.push_back(name);
    }
    return columns;
}

// The monitor columns of one part of a row, taken once from the row classes.
const std::vector<wxString>& DirectoryPartColumns()
{
    static const std::vector<wxString> columns = MonitorColumns(CSqlDirectoryEntitySet(), nullptr);
    return columns;
}

const std::vector<wxString>& FilePartColumns()
{
    static const std::vector<wxString> columns = [] {
        const CSqlDirectoryEntitySet directory;
        return MonitorColumns(CSqlFileEntitySet(), &directory);
    }();
    return columns;
}

template <class Row>
const std::vector<wxString>& RowColumns()
{
    static const std::vector<wxString> columns = MonitorColumns(Row(), nullptr);
    return columns;
}

// The boolean member of row behind the column name, or null.
bool* BoolColumn(OrvCore::XMLObject& row, const wxString& name)
{
    for (size_t i = 0; i < row.GetAttributeCount(); ++i) {
        const OrvCore::XMLObject::Attribute& attribute = row.GetAttributeAt(i);
        if (attribute.decl->type == OrvCore::XMLAttrType::Bool && attribute.decl->name == name)
            return static_cast<bool*>(attribute.field);
    }
    return nullptr;
}

// Clears the given monitor columns of row, then sets the ones that the
// attributes to monitor name, counting each set flag in the statistics.
// Names that select no column are ignored: they were reported as unknown or
// unsupported when the rule was read.
void SetMonitorFlags(CSqlEntitySet& row, const std::vector<wxString>& columns,
                     const OrvCore::WxStringSet& attributes)
{
    const wxString entityType = row.GetEntityType();
    for (const wxString& column : columns) {
        bool* flag = BoolColumn(row, column);
        if (flag == nullptr) continue;
        row.SetAttributeValue(flag, false);
        const wxString attributeName = column.Mid(kMonitorPrefix.length());
        for (const wxString& name : attributes) {
            if (!name.IsSameAs(attributeName, false)) continue;
            *flag = true;
            IncEntityAttributeMetric(entityType, name);
            break;
        }
    }
}

// The attributes to monitor of a set, with "contents" replaced by the hash
// names it stands for.
OrvCore::WxStringSet AttributesWithContents(const CEntitySet& set, const wxString& contentShortHandMapping)
{
    OrvCore::WxStringSet attributes;
    set.GetAttributes().GetAttributesToMonitor(attributes);
    if (attributes.erase(wxT("contents")) > 0) AddStringsToSet(contentShortHandMapping, attributes);
    return attributes;
}

OrvCore::WxStringSet AttributesToMonitor(const CEntitySet& set)
{
    OrvCore::WxStringSet attributes;
    set.GetAttributes().GetAttributesToMonitor(attributes);
    return attributes;
}

// Stores every set of a list with a new row of its table; a set whose
// population fails is skipped.
template <class Row, class SetList>
void StoreSets(CSystemIntegrityThread& controller, const CIntegrityRule& rule, const SetList& sets)
{
    for (size_t i = 0; i < sets.GetCount(); ++i) {
        Row row;
        controller.PopulateEntitySet(rule, *sets.GetItem(i), row);
    }
}

}  // namespace

void CSystemIntegrityThread::AddRuleToDb(const CIntegrityRule& rule)
{
    const int ruleId = static_cast<int>(rule.m_id);
    ORV_TRACE(s_Trace, kSource, "AddRuleToDb(ruleId=%d)", ruleId);
    wxSQLite3Database& db = RuleDb(GetDb());

    CSqlIntegrityRule ruleRow;
    ruleRow.SetAttributeValue(&ruleRow.m_integrityRuleId, ruleId);
    ruleRow.SetAttributeValue(&ruleRow.m_name, rule.m_name);
    ruleRow.SetAttributeValue(&ruleRow.m_allowOnChange, rule.m_allowOnChange);
    ruleRow.SetAttributeValue(&ruleRow.m_confidential, rule.m_confidential);
    ruleRow.SetAttributeValue(&ruleRow.m_hash, rule.m_hash);
    ruleRow.SetAttributeValue(&ruleRow.m_identifier, rule.m_identifier);
    ruleRow.SetAttributeValue(&ruleRow.m_severity, rule.m_severity);
    ruleRow.SetAttributeValue(&ruleRow.m_type, rule.m_type);
    ruleRow.SQLInsert(db, CSqlIntegrityRules::ElementName());
    untrackDeletedRuleStat(rule.m_name, ruleId);

    ReportRuleNames(*this, rule, kUnknownChildElements, rule.GetUnknownChildNames());
    ReportRuleNames(*this, rule, kUnsupportedSetElements, rule.GetUnsupportedSetNames());

    StoreSets<CSqlFileEntitySet>(*this, rule, rule.GetFileSets());
    // A VMsafe guest scans files only (through the sibling module).
    if (IsVmsafeGuest()) return;

    StoreSets<CSqlDirectoryEntitySet>(*this, rule, rule.GetDirSets());
    StoreSets<CSqlGroupEntitySet>(*this, rule, rule.GetGroupSets());
    StoreSets<CSqlInstalledSoftwareEntitySet>(*this, rule, rule.GetInstalledSoftwareSets());
    StoreSets<CSqlPortEntitySet>(*this, rule, rule.GetPortSets());
    StoreSets<CSqlProcessEntitySet>(*this, rule, rule.GetProcessSets());
    StoreSets<CSqlUserEntitySet>(*this, rule, rule.GetUserSets());
    // Registry, service and WQL sets are never stored: nothing here scans them.
}

bool CSystemIntegrityThread::PopulateEntitySet(const CIntegrityRule& rule, const CEntitySet& set,
                                               CSqlEntitySet& row)
{
    wxSQLite3Database& db = RuleDb(GetDb());
    row.SetAttributeValue(&row.m_integrityRuleId, static_cast<long long>(rule.m_id));
    row.SetAttributeValue(&row.m_onChange, set.m_onChange && rule.m_allowOnChange);
    row.SQLInsert(db, row.GetTableName());
    ORV_TRACE(s_Trace, kSource, "stored %s row %lld of rule %d", row.GetTableName(), row.m_entitySetId,
              static_cast<int>(rule.m_id));

    PopulateIncludeExcludes(rule, row, set.GetIncludes(), false);
    PopulateIncludeExcludes(rule, row, set.GetExcludes(), true);

    ReportSetNames(*this, rule, kUnknownAttributeNames, row, set.GetAttributes().GetUnknownAttributes());
    ReportSetNames(*this, rule, kUnsupportedAttributeNames, row,
                   set.GetAttributes().GetUnsupportedAttributes());
    ReportSetNames(*this, rule, kUnknownSetAttributes, row, set.GetUnhandledAttributes());
    return true;
}

bool CSystemIntegrityThread::PopulateEntitySet(const CIntegrityRule& rule, const CFileOrDirSet& set,
                                               CSqlDirectoryEntitySet& row)
{
    if (!PopulateSearchBaseInfo(rule, set.m_base, true, true, row, &CSqlDirectoryEntitySet::SetDirectory,
                                &CSqlDirectoryEntitySet::SetDirectorySearchBase,
                                &CSqlDirectoryEntitySet::SetDirectoryRegEx))
        return false;
    row.SetAttributeValue(&row.m_followLinks, set.m_followLinks);
    row.SetAttributeValue(&row.m_includeRemovable, set.m_includeRemovable);
    // For a file set the attributes still hold "contents", which selects no
    // directory column.
    SetMonitorFlags(row, DirectoryPartColumns(), AttributesToMonitor(set));
    row.SetAttributeValue(&row.m_operations, set.GetOperations().GetTypes());
    return PopulateEntitySet(rule, static_cast<const CEntitySet&>(set), static_cast<CSqlEntitySet&>(row));
}

bool CSystemIntegrityThread::PopulateEntitySet(const CIntegrityRule& rule, const CFileSet& set,
                                               CSqlFileEntitySet& row)
{
    SetMonitorFlags(row, FilePartColumns(), AttributesWithContents(set, GetContentShortHandMapping()));
    return PopulateEntitySet(rule, static_cast<const CFileOrDirSet&>(set),
                             static_cast<CSqlDirectoryEntitySet&>(row));
}

bool CSystemIntegrityThread::PopulateEntitySet(const CIntegrityRule& rule, const CGroupSet& set,
                                               CSqlGroupEntitySet& row)
{
    SetMonitorFlags(row, RowColumns<CSqlGroupEntitySet>(), AttributesToMonitor(set));
    return PopulateEntitySet(rule, static_cast<const CEntitySet&>(set), static_cast<CSqlEntitySet&>(row));
}

bool CSystemIntegrityThread::PopulateEntitySet(const CIntegrityRule& rule, const CInstalledSoftwareSet& set,
                                               CSqlInstalledSoftwareEntitySet& row)
{
    SetMonitorFlags(row, RowColumns<CSqlInstalledSoftwareEntitySet>(), AttributesToMonitor(set));
    return PopulateEntitySet(rule, static_cast<const CEntitySet&>(set), static_cast<CSqlEntitySet&>(row));
}

bool CSystemIntegrityThread::PopulateEntitySet(const CIntegrityRule& rule, const CPortSet& set,
                                               CSqlPortEntitySet& row)
{
    SetMonitorFlags(row, RowColumns<CSqlPortEntitySet>(), AttributesToMonitor(set));
    return PopulateEntitySet(rule, static_cast<const CEntitySet&>(set), static_cast<CSqlEntitySet&>(row));
}

bool CSystemIntegrityThread::PopulateEntitySet(const CIntegrityRule& rule, const CProcessSet& set,
                                               CSqlProcessEntitySet& row)
{
    SetMonitorFlags(row, RowColumns<CSqlProcessEntitySet>(), AttributesToMonitor(set));
    return PopulateEntitySet(rule, static_cast<const CEntitySet&>(set), static_cast<CSqlEntitySet&>(row));
}

bool CSystemIntegrityThread::PopulateEntitySet(const CIntegrityRule& rule, const CUserSet& set,
                                               CSqlUserEntitySet& row)
{
    SetMonitorFlags(row, RowColumns<CSqlUserEntitySet>(), AttributesToMonitor(set));
    return PopulateEntitySet(rule, static_cast<const CEntitySet&>(set), static_cast<CSqlEntitySet&>(row));
}

void CSystemIntegrityThread::PopulateIncludeExcludes(const CIntegrityRule& rule, const CSqlEntitySet& setRow,
                                                     const OrvCore::XMLObjectList& entries, bool exclude)
{
    wxSQLite3Database& db = RuleDb(GetDb());
    const bool hierarchical = setRow.HasHierarchicalNames();
    for (const OrvCore::XMLObject* item : entries.Children()) {
        const CIncludeOrExclude* entry = dynamic_cast<const CIncludeOrExclude*>(item);
        if (entry == nullptr) continue;
        ReportSetNames(*this, rule, kUnknownEntryAttributes, setRow, entry->GetUnknownFeatures());
        ReportSetNames(*this, rule, kUnsupportedEntryFeatures, setRow, entry->GetUnsupportedFeatures());

        CSqlIncludeExclude row;
        row.SetAttributeValue(&row.m_entityType, setRow.GetEntityType());
        row.SetAttributeValue(&row.m_entitySetId, setRow.m_entitySetId);
        row.SetAttributeValue(&row.m_exclude, exclude);
        const long long id = row.SQLInsert(db, CSqlIncludeExcludes::ElementName());

        if (!entry->m_key.empty()) PopulatePattern(id, entry->m_key, entry->m_caseSensitive, hierarchical);
        const CKeys& keys = entry->GetKeys();
        for (size_t i = 0; i < keys.GetCount(); ++i)
            PopulatePattern(id, keys.GetItem(i)->m_pattern, entry->m_caseSensitive, hierarchical);
        for (const auto& feature : entry->GetFeatures())
            PopulateFeature(id, feature.first, feature.second, entry->m_caseSensitive);
    }
}

void CSystemIntegrityThread::PopulatePattern(long long includeExcludeId, const wxString& pattern,
                                             const wxString& caseSensitiveText, bool hierarchical)
{
    wxSQLite3Database& db = RuleDb(GetDb());
    const int code = CaseSensitivityCode(caseSensitiveText);
    CSqlPattern row;
    row.SetAttributeValue(&row.m_includeExcludeId, includeExcludeId);
    row.SetAttributeValue(&row.m_pattern, code == 0 ? pattern.Lower() : pattern);
    // The expression comes from the pattern as written; the matcher applies the case code.
    row.SetAttributeValue(&row.m_regExPattern, PatternToRegEx(pattern, wxPATH_UNIX, false, hierarchical));
    row.SetAttributeValue(&row.m_caseSensitive, code);
    row.SQLInsert(db, CSqlPatterns::ElementName());
}

void CSystemIntegrityThread::PopulateFeature(long long includeExcludeId, const wxString& name,
                                             const wxString& value, const wxString& caseSensitiveText)
{
    wxSQLite3Database& db = RuleDb(GetDb());
    const int code = CaseSensitivityCode(caseSensitiveText);
    CSqlFeature row;
    row.SetAttributeValue(&row.m_includeExcludeId, includeExcludeId);
    row.SetAttributeValue(&row.m_name, name);
    row.SetAttributeValue(&row.m_value, code == 0 ? value.Lower() : value);
    row.SetAttributeValue(&row.m_caseSensitive, code);
    row.SQLInsert(db, CSqlFeatures::ElementName());
}

}  // namespace OrvPluginIm
