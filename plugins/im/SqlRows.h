// Row classes of si.db (besides the entity set rows of SqlEntitySets.h): one
// class per table or view, named CSql plus the row name, with a list class
// named by the row class plus "s" (CSqlEntity, CSqlEntitys). Each row class
// declares one attribute per column, in column order; the object model turns
// the declarations into INSERT, UPDATE, DELETE and SELECT statements and
// loads result rows back, a NULL column setting the attribute's null flag.
// These declarations, and those of the rule and event objects the
// IntegrityRules and IntegrityEvents rows are built on, are the only place
// where the database's table and column names are written: statements take
// them from ElementName() and GetAttributeName(&row.m_field), and the schema
// (SystemIntegrityDbSchema.h) is generated from them.
//
// Names: a row's element name is the table name without its final "s"
// ("Entity", "ScanIntegrityRuleId"); its list's element name is the table.
// The view rows are built on the row of the view's first table and take the
// names of their further columns from the rows of the joined table.
//
// NULL: a fresh or reset row has every column non-null at its default,
// except the columns that stay NULL until a later step fills them:
// Entitys.attributeHash and Entitys.supercededBy, Scans.endTime and
// Scans.endingHighestExistingEntityId, Subscans.endTime and
// Subscans.checkpointInfo. Assigning a member does not clear its null flag:
// use SetAttributeValue (or the setters below) on a column that may be NULL.
//
// Ownership: a list owns its rows; a CSqlEntity owns its attribute list; a
// CSqlIncludeExcludePattern owns its compiled expression.
// Threads: rows are not synchronised; each thread loads and uses its own.
#pragma once

#include <wx/regex.h>
#include <wx/string.h>

#include <memory>
#include <string>
#include <vector>

#include "core/XMLObject.h"
#include "plugins/im/IntegrityRules.h"
#include "plugins/im/OutputObjects.h"
#include "plugins/im/SqlEntitySets.h"

namespace OrvPluginIm {

// Attributes: one recorded attribute value of one entity version.
class CSqlAttribute : public OrvCore::XMLObject
{
  public:
    CSqlAttribute();
    static wxString ElementName() { return wxT("Attribute"); }
    wxString GetElementName() const override { return ElementName(); }

    long long m_attributeId = 0;  // "attributeId" (key)
    long long m_entityId = 0;     // "entityId": the Entitys row
    wxString m_name;              // "name": the monitor flag's name without "monitor" ("size")
    wxString m_value;             // "value": as compared and hashed
    wxString m_friendlyValue;     // "friendlyValue"
    wxString m_internalValue;     // "internalValue"
};

class CSqlAttributes : public CSqlRowList<CSqlAttribute>
{
};

// ChangeDetails: one condensed change notification of a RealtimeChanges row.
class CSqlChangeDetail : public OrvCore::XMLObject
{
  public:
    CSqlChangeDetail();
    static wxString ElementName() { return wxT("ChangeDetail"); }
    wxString GetElementName() const override { return ElementName(); }

    long long m_realtimeChangeId = 0;  // "realtimeChangeId": the owning RealtimeChanges row
    int m_change = 0;                  // "change": change type code
    long long m_whenChangedFirst = 0;  // "whenChangedFirst": ms since 1970
    long long m_whenChangedLast = 0;   // "whenChangedLast": ms since 1970
    wxString m_keyCanonicalOld;        // "keyCanonicalOld": the former key of a rename
    wxString m_user;                   // "user"
    wxString m_process;                // "process"
};

class CSqlChangeDetails : public CSqlRowList<CSqlChangeDetail>
{
};

// Entitys: one recorded version of one entity. The row also owns a list of
// its Attributes rows (m_attributes), which is not a column: callers fill it
// when they need the values.
class CSqlEntity : public OrvCore::XMLObject
{
  public:
    CSqlEntity();
    static wxString ElementName() { return wxT("Entity"); }
    wxString GetElementName() const override { return ElementName(); }

    // The defaults, with attributeHash and supercededBy NULL (a new version).
    void SetToDefaults() override;

    // supercededBy: a value, or NULL (the current version).
    void SetSupercededBy(long long entityId) { SetAttributeValue(&m_supercededBy, entityId); }
    void SetSupercededByNull() { SetAttributeNull(&m_supercededBy); }
    bool IsSupercededByNull() const { return IsAttributeNull(&m_supercededBy); }
    // attributeHash: the raw digest bytes, or NULL (not computed yet).
    void SetAttributeHash(const std::string& digest) { SetAttributeValue(&m_attributeHash, digest); }
    bool IsAttributeHashNull() const { return IsAttributeNull(&m_attributeHash); }

    long long m_entityId = 0;         // "entityId" (key); ids only grow
    wxString m_entityType;            // "entityType"
    long long m_entitySetId = 0;      // "entitySetId"
    long long m_integrityRuleId = 0;  // "integrityRuleId"
    int m_integrityRuleSeverity = 0;  // "integrityRuleSeverity"
    wxString m_keyCanonical;          // "keyCanonical"
    wxString m_key;                   // "key": as reported to the user
    long long m_whenScanned = 0;      // "whenScanned": ms since 1970
    std::string m_attributeHash;      // "attributeHash": BLOB, NULL until computed
    long long m_supercededBy = 0;     // "supercededBy": the version chain, NULL when current
    long long m_eventDropped = 0;     // "eventDropped"
    CSqlAttributes m_attributes;      // the version's Attributes rows (not a column)
};

class CSqlEntitys : public CSqlRowList<CSqlEntity>
{
};

// EntityAttributes (view): Entitys joined with Attributes on entityId; every
// Entitys column, then the attribute's columns.
class CSqlEntityAttribute : public CSqlEntity
{
  public:
    CSqlEntityAttribute();
    static wxString ElementName() { return wxT("EntityAttribute"); }
    wxString GetElementName() const override { return ElementName(); }

    long long m_attributeId = 0;  // "attributeId"
    wxString m_name;              // "name"
    wxString m_value;             // "value"
    wxString m_friendlyValue;     // "friendlyValue"
    wxString m_internalValue;     // "internalValue"
};

class CSqlEntityAttributes : public CSqlRowList<CSqlEntityAttribute>
{
};

// Features: a feature condition of an include or exclude entry.
class CSqlFeature : public OrvCore::XMLObject
{
  public:
    CSqlFeature();
    static wxString ElementName() { return wxT("Feature"); }
    wxString GetElementName() const override { return ElementName(); }

    long long m_includeExcludeId = 0;  // "includeExcludeId": the IncludeExcludes row
    wxString m_name;                   // "name"
    wxString m_value;                  // "value"
    int m_caseSensitive = 0;           // "caseSensitive": 0 no (stored lower-cased), 1 yes, 2 by entity type
};

class CSqlFeatures : public CSqlRowList<CSqlFeature>
{
};

// IncludeExcludes: one include or exclude element of an entity set.
class CSqlIncludeExclude : public OrvCore::XMLObject
{
  public:
    CSqlIncludeExclude();
    static wxString ElementName() { return wxT("IncludeExclude"); }
    wxString GetElementName() const override { return ElementName(); }

    long long m_includeExcludeId = 0;  // "includeExcludeId" (key)
    wxString m_entityType;             // "entityType"
    long long m_entitySetId = 0;       // "entitySetId"
    bool m_exclude = false;            // "exclude": false for an include
};

class CSqlIncludeExcludes : public CSqlRowList<CSqlIncludeExclude>
{
};

// IncludeExcludeFeatures (view): Features joined with IncludeExcludes on
// includeExcludeId.
class CSqlIncludeExcludeFeature : public CSqlFeature
{
  public:
    CSqlIncludeExcludeFeature();
    static wxString ElementName() { return wxT("IncludeExcludeFeature"); }
    wxString GetElementName() const override { return ElementName(); }

    wxString m_entityType;        // "entityType"
    long long m_entitySetId = 0;  // "entitySetId"
    bool m_exclude = false;       // "exclude"
};

class CSqlIncludeExcludeFeatures : public CSqlRowList<CSqlIncludeExcludeFeature>
{
};

// Patterns: one key pattern of an include or exclude entry.
class CSqlPattern : public OrvCore::XMLObject
{
  public:
    CSqlPattern();
    static wxString ElementName() { return wxT("Pattern"); }
    wxString GetElementName() const override { return ElementName(); }

    long long m_includeExcludeId = 0;  // "includeExcludeId"
    wxString m_pattern;                // "pattern": as written (lower-cased for code 0)
    wxString m_regExPattern;           // "regExPattern": the translated expression
    int m_caseSensitive = 0;           // "caseSensitive": 0 no, 1 yes, 2 by entity type
};

class CSqlPatterns : public CSqlRowList<CSqlPattern>
{
};

// IncludeExcludePatterns (view): Patterns joined with IncludeExcludes on
// includeExcludeId. When read (from SQL or XML), copied or reset, the row
// compiles regExPattern and splits pattern into its components.
//
// The expression is compiled case-insensitively for code 0, and for code 2
// when the row's entity type has keys that are not case-sensitive
// (EntityTypeKeysAreCaseSensitive), so that "caseSensitive" keeps its meaning
// for path patterns: file and directory keys are case-sensitive on Linux, so
// their code-2 patterns compile case-sensitively. Code 1 is case-sensitive.
class CSqlIncludeExcludePattern : public CSqlPattern
{
  public:
    CSqlIncludeExcludePattern();
    static wxString ElementName() { return wxT("IncludeExcludePattern"); }
    wxString GetElementName() const override { return ElementName(); }

    void SetToDefaults() override;
    bool CopyFrom(const OrvCore::XMLObject& other) override;
    void OnSQLLoaded() override;

    // The compiled regExPattern; null when it is empty or did not compile
    // (such a pattern does not restrict its entry).
    const wxRegEx* GetRegEx() const { return m_regEx.get(); }
    // The pattern read as a path in Unix form: its pieces between "/",
    // empty pieces dropped ("**/x.conf" gives "**", "x.conf"). None for an
    // empty pattern.
    const std::vector<wxString>& GetPatternComponents() const { return m_components; }
    // Whether the pattern compares case-sensitively: code 1 yes, 0 no, any
    // other code as keysCaseSensitive says (the entity type's rule).
    bool IsCaseSensitive(bool keysCaseSensitive) const;

    wxString m_entityType;        // "entityType"
    long long m_entitySetId = 0;  // "entitySetId"
    bool m_exclude = false;       // "exclude"

  protected:
    void ReadElement(const OrvCore::CXmlNode& element) override;

  private:
    void Prepare();

    std::unique_ptr<wxRegEx> m_regEx;
    std::vector<wxString> m_components;
};

class CSqlIncludeExcludePatterns : public CSqlRowList<CSqlIncludeExcludePattern>
{
};

// IntegrityEvents: one normalized integrity event: the output event's
// columns, then "entityType", "key" and "description".
class CSqlIntegrityEvent : public CIntegrityEvent
{
  public:
    CSqlIntegrityEvent();
    static wxString ElementName() { return CIntegrityEvent::ElementName(); }
    wxString GetElementName() const override { return ElementName(); }

    wxString m_entityType;   // "entityType"
    wxString m_key;          // "key": for a rename "old -> new"
    wxString m_description;  // "description": the changed attributes of an update
};

class CSqlIntegrityEvents : public CSqlRowList<CSqlIntegrityEvent>
{
};

// IntegrityRules: one rule as received: the rule object's attributes, its
// "id" replaced by "integrityRuleId" (key). The rule's set lists are children,
// not columns; they live in the set tables.
class CSqlIntegrityRule : public CIntegrityRule
{
  public:
    CSqlIntegrityRule();
    static wxString ElementName() { return CIntegrityRule::ElementName(); }
    wxString GetElementName() const override { return ElementName(); }

    int m_integrityRuleId = 0;  // "integrityRuleId" (key): the rule id of the configuration
};

class CSqlIntegrityRules : public CSqlRowList<CSqlIntegrityRule>
{
};

// RealtimeChanges: one entity the real-time monitor reported as changed.
class CSqlRealtimeChange : public OrvCore::XMLObject
{
  public:
    CSqlRealtimeChange();
    static wxString ElementName() { return wxT("RealtimeChange"); }
    wxString GetElementName() const override { return ElementName(); }

    long long m_realtimeChangeId = 0;  // "realtimeChangeId" (key)
    wxString m_entityType;             // "entityType"
    wxString m_keyCanonical;           // "keyCanonical"
    wxString m_entitySetIds;           // "entitySetIds": "(3,7,12)"; NULL in the journal's not-included cache
};

class CSqlRealtimeChanges : public CSqlRowList<CSqlRealtimeChange>
{
};

// RealtimeChangeDetails (view): RealtimeChanges joined with ChangeDetails on
// realtimeChangeId.
class CSqlRealtimeChangeDetail : public CSqlRealtimeChange
{
  public:
    CSqlRealtimeChangeDetail();
    static wxString ElementName() { return wxT("RealtimeChangeDetail"); }
    wxString GetElementName() const override { return ElementName(); }

    int m_change = 0;                  // "change"
    long long m_whenChangedFirst = 0;  // "whenChangedFirst"
    long long m_whenChangedLast = 0;   // "whenChangedLast"
    wxString m_keyCanonicalOld;        // "keyCanonicalOld"
    wxString m_user;                   // "user"
    wxString m_process;                // "process"
};

class CSqlRealtimeChangeDetails : public CSqlRowList<CSqlRealtimeChangeDetail>
{
};

// Scans: one scan started by the controller.
class CSqlScan : public OrvCore::XMLObject
{
  public:
    CSqlScan();
    static wxString ElementName() { return wxT("Scan"); }
    wxString GetElementName() const override { return ElementName(); }

    // The defaults, with endTime and endingHighestExistingEntityId NULL (a running scan).
    void SetToDefaults() override;

    long long m_scanId = 0;                           // "scanId" (key)
    long long m_startTime = 0;                        // "startTime": ms since 1970
    long long m_endTime = 0;                          // "endTime": NULL while the scan runs
    long long m_startingHighestExistingEntityId = 0;  // "startingHighestExistingEntityId"
    long long m_endingHighestExistingEntityId = 0;    // "endingHighestExistingEntityId": NULL while running
    int m_incrementalScan = 0;                        // "incrementalScan": 0 baseline, 1 incremental,
                                                      // 2 realtime, 3 pseudo-realtime
};

class CSqlScans : public CSqlRowList<CSqlScan>
{
};

// ScanEntitySetIds: an entity set an incremental scan covers (scanId NULL:
// waiting for the next incremental scan).
class CSqlScanEntitySetId : public OrvCore::XMLObject
{
  public:
    CSqlScanEntitySetId();
    static wxString ElementName() { return wxT("ScanEntitySetId"); }
    wxString GetElementName() const override { return ElementName(); }

    long long m_scanId = 0;       // "scanId"
    wxString m_entityType;        // "entityType"
    long long m_entitySetId = 0;  // "entitySetId"
};

class CSqlScanEntitySetIds : public CSqlRowList<CSqlScanEntitySetId>
{
};

// ScanIntegrityRuleIds: a rule a scan covers.
class CSqlScanIntegrityRuleId : public OrvCore::XMLObject
{
  public:
    CSqlScanIntegrityRuleId();
    static wxString ElementName() { return wxT("ScanIntegrityRuleId"); }
    wxString GetElementName() const override { return ElementName(); }

    long long m_scanId = 0;           // "scanId"
    long long m_integrityRuleId = 0;  // "integrityRuleId"
};

class CSqlScanIntegrityRuleIds : public CSqlRowList<CSqlScanIntegrityRuleId>
{
};

// Subscans: the part of a scan one scanner performs for one entity type.
class CSqlSubscan : public OrvCore::XMLObject
{
  public:
    CSqlSubscan();
    static wxString ElementName() { return wxT("Subscan"); }
    wxString GetElementName() const override { return ElementName(); }

    // The defaults, with endTime and checkpointInfo NULL (not started).
    void SetToDefaults() override;

    long long m_subscanId = 0;           // "subscanId" (key)
    long long m_scanId = 0;              // "scanId"
    long long m_startTime = 0;           // "startTime": ms since 1970
    long long m_endTime = 0;             // "endTime": NULL until the subscan finishes
    wxString m_entityType;               // "entityType"
    long long m_numEntitiesDeleted = 0;  // "numEntitiesDeleted"
    int m_scanStep = 0;                  // "scanStep"
    wxString m_checkpointInfo;           // "checkpointInfo": NULL when there is none
};

class CSqlSubscans : public CSqlRowList<CSqlSubscan>
{
};

}  // namespace OrvPluginIm
