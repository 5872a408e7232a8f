// Row classes of si.db: column declarations (in column order) and the
// post-processing of loaded include/exclude pattern rows.
#include "plugins/im/SqlRows.h"

#include <wx/tokenzr.h>

namespace OrvPluginIm {

using OrvCore::XMLAttr;

namespace {

// One instance of a row class per process, read-only after construction: the
// view rows take the names of their joined columns from it, so that every
// column name is declared by the row class of its table only.
template <class TRow>
const TRow& Prototype()
{
    static const TRow* row = new TRow();
    return *row;
}

}  // namespace

CSqlAttribute::CSqlAttribute()
{
    AddAttribute(wxT("attributeId"), &m_attributeId, 0, XMLAttr::Key);
    AddAttribute(wxT("entityId"), &m_entityId, 0);
    AddAttribute(wxT("name"), &m_name);
    AddAttribute(wxT("value"), &m_value);
    AddAttribute(wxT("friendlyValue"), &m_friendlyValue);
    AddAttribute(wxT("internalValue"), &m_internalValue);
}

CSqlChangeDetail::CSqlChangeDetail()
{
    AddAttribute(wxT("realtimeChangeId"), &m_realtimeChangeId, 0);
    AddAttribute(wxT("change"), &m_change, 0);
    AddAttribute(wxT("whenChangedFirst"), &m_whenChangedFirst, 0);
    AddAttribute(wxT("whenChangedLast"), &m_whenChangedLast, 0);
    AddAttribute(wxT("keyCanonicalOld"), &m_keyCanonicalOld);
    AddAttribute(wxT("user"), &m_user);
    AddAttribute(wxT("process"), &m_process);
}

// ---------------------------------------------------------------- Entitys

CSqlEntity::CSqlEntity()
{
    AddAttribute(wxT("entityId"), &m_entityId, 0, XMLAttr::Key);
    AddAttribute(wxT("entityType"), &m_entityType);
    AddAttribute(wxT("entitySetId"), &m_entitySetId, 0);
    AddAttribute(wxT("integrityRuleId"), &m_integrityRuleId, 0);
    AddAttribute(wxT("integrityRuleSeverity"), &m_integrityRuleSeverity, 0);
    AddAttribute(wxT("keyCanonical"), &m_keyCanonical);
    AddAttribute(wxT("key"), &m_key);
    AddAttribute(wxT("whenScanned"), &m_whenScanned, 0);
    AddAttribute(wxT("attributeHash"), &m_attributeHash);
    AddAttribute(wxT("supercededBy"), &m_supercededBy, 0);
    AddAttribute(wxT("eventDropped"), &m_eventDropped, 0);
    AddChild(&m_attributes);
    SetAttributeNull(&m_attributeHash);
    SetAttributeNull(&m_supercededBy);
}

void CSqlEntity::SetToDefaults()
{
    OrvCore::XMLObject::SetToDefaults();
    SetAttributeNull(&m_attributeHash);
    SetAttributeNull(&m_supercededBy);
}

CSqlEntityAttribute::CSqlEntityAttribute()
{
    const CSqlAttribute& attribute = Prototype<CSqlAttribute>();
    AddAttribute(attribute.GetAttributeName(&attribute.m_attributeId), &m_attributeId, 0);
    AddAttribute(attribute.GetAttributeName(&attribute.m_name), &m_name);
    AddAttribute(attribute.GetAttributeName(&attribute.m_value), &m_value);
    AddAttribute(attribute.GetAttributeName(&attribute.m_friendlyValue), &m_friendlyValue);
    AddAttribute(attribute.GetAttributeName(&attribute.m_internalValue), &m_internalValue);
}

// ---------------------------------------------------------------- include/exclude entries

CSqlFeature::CSqlFeature()
{
    AddAttribute(wxT("includeExcludeId"), &m_includeExcludeId, 0);
    AddAttribute(wxT("name"), &m_name);
    AddAttribute(wxT("value"), &m_value);
    AddAttribute(wxT("caseSensitive"), &m_caseSensitive, 0);
}

CSqlIncludeExclude::CSqlIncludeExclude()
{
    AddAttribute(wxT("includeExcludeId"), &m_includeExcludeId, 0, XMLAttr::Key);
    AddAttribute(wxT("entityType"), &m_entityType);
    AddAttribute(wxT("entitySetId"), &m_entitySetId, 0);
    AddAttribute(wxT("exclude"), &m_exclude);
}

CSqlIncludeExcludeFeature::CSqlIncludeExcludeFeature()
{
    const CSqlIncludeExclude& entry = Prototype<CSqlIncludeExclude>();
    AddAttribute(entry.GetAttributeName(&entry.m_entityType), &m_entityType);
    AddAttribute(entry.GetAttributeName(&entry.m_entitySetId), &m_entitySetId, 0);
    AddAttribute(entry.GetAttributeName(&entry.m_exclude), &m_exclude);
}

CSqlPattern::CSqlPattern()
{
    AddAttribute(wxT("includeExcludeId"), &m_includeExcludeId, 0);
    AddAttribute(wxT("pattern"), &m_pattern);
    AddAttribute(wxT("regExPattern"), &m_regExPattern);
    AddAttribute(wxT("caseSensitive"), &m_caseSensitive, 0);
}

CSqlIncludeExcludePattern::CSqlIncludeExcludePattern()
{
    const CSqlIncludeExclude& entry = Prototype<CSqlIncludeExclude>();
    AddAttribute(entry.GetAttributeName(&entry.m_entityType), &m_entityType);
    AddAttribute(entry.GetAttributeName(&entry.m_entitySetId), &m_entitySetId, 0);
    AddAttribute(entry.GetAttributeName(&entry.m_exclude), &m_exclude);
}

void CSqlIncludeExcludePattern::SetToDefaults()
{
    CSqlPattern::SetToDefaults();
    m_regEx.reset();
    m_components.clear();
}

bool CSqlIncludeExcludePattern::CopyFrom(const OrvCore::XMLObject& other)
{
    if (!CSqlPattern::CopyFrom(other)) return false;
    Prepare();
    return true;
}

void CSqlIncludeExcludePattern::OnSQLLoaded()
{
    CSqlPattern::OnSQLLoaded();
    Prepare();
}

void CSqlIncludeExcludePattern::ReadElement(const OrvCore::CXmlNode& element)
{
    CSqlPattern::ReadElement(element);
    Prepare();
}

bool CSqlIncludeExcludePattern::IsCaseSensitive(bool keysCaseSensitive) const
{
    switch (m_caseSensitive) {
        case 0:
            return false;
        case 1:
            return true;
        default:
            return keysCaseSensitive;
    }
}

void CSqlIncludeExcludePattern::Prepare()
{
    const bool caseSensitive = IsCaseSensitive(EntityTypeKeysAreCaseSensitive(m_entityType));
    m_regEx = CompileKeyRegEx(m_regExPattern, wxRE_EXTENDED | (caseSensitive ? 0 : wxRE_ICASE),
                              wxString::Format(wxT("pattern '%s' of include/exclude %lld (%s set %lld)"),
                                               m_pattern, m_includeExcludeId, m_entityType, m_entitySetId));
    m_components.clear();
    wxStringTokenizer pieces(m_pattern, wxT("/"), wxTOKEN_STRTOK);
    while (pieces.HasMoreTokens()) m_components.push_back(pieces.GetNextToken());
}

// ---------------------------------------------------------------- events and rules

CSqlIntegrityEvent::CSqlIntegrityEvent()
{
    AddAttribute(wxT("entityType"), &m_entityType);
    AddAttribute(wxT("key"), &m_key);
    AddAttribute(wxT("description"), &m_description);
}

CSqlIntegrityRule::CSqlIntegrityRule()
{
    RemoveAttribute(&m_id);
    AddAttribute(wxT("integrityRuleId"), &m_integrityRuleId, 0, XMLAttr::Key);
}

// ---------------------------------------------------------------- real-time changes

CSqlRealtimeChange::CSqlRealtimeChange()
{
    AddAttribute(wxT("realtimeChangeId"), &m_realtimeChangeId, 0, XMLAttr::Key);
    AddAttribute(wxT("entityType"), &m_entityType);
    AddAttribute(wxT("keyCanonical"), &m_keyCanonical);
    AddAttribute(wxT("entitySetIds"), &m_entitySetIds);
}

CSqlRealtimeChangeDetail::CSqlRealtimeChangeDetail()
{
    const CSqlChangeDetail& detail = Prototype<CSqlChangeDetail>();
    AddAttribute(detail.GetAttributeName(&detail.m_change), &m_change, 0);
    AddAttribute(detail.GetAttributeName(&detail.m_whenChangedFirst), &m_whenChangedFirst, 0);
    AddAttribute(detail.GetAttributeName(&detail.m_whenChangedLast), &m_whenChangedLast, 0);
    AddAttribute(detail.GetAttributeName(&detail.m_keyCanonicalOld), &m_keyCanonicalOld);
    AddAttribute(detail.GetAttributeName(&detail.m_user), &m_user);
    AddAttribute(detail.GetAttributeName(&detail.m_process), &m_process);
}

// ---------------------------------------------------------------- scans

CSqlScan::CSqlScan()
{
    AddAttribute(wxT("scanId"), &m_scanId, 0, XMLAttr::Key);
    AddAttribute(wxT("startTime"), &m_startTime, 0);
    AddAttribute(wxT("endTime"), &m_endTime, 0);
    AddAttribute(wxT("startingHighestExistingEntityId"), &m_startingHighestExistingEntityId, 0);
    AddAttribute(wxT("endingHighestExistingEntityId"), &m_endingHighestExistingEntityId, 0);
    AddAttribute(wxT("incrementalScan"), &m_incrementalScan);
    SetAttributeNull(&m_endTime);
    SetAttributeNull(&m_endingHighestExistingEntityId);
}

void CSqlScan::SetToDefaults()
{
    OrvCore::XMLObject::SetToDefaults();
    SetAttributeNull(&m_endTime);
    SetAttributeNull(&m_endingHighestExistingEntityId);
}

CSqlScanEntitySetId::CSqlScanEntitySetId()
{
    AddAttribute(wxT("scanId"), &m_scanId, 0);
    AddAttribute(wxT("entityType"), &m_entityType);
    AddAttribute(wxT("entitySetId"), &m_entitySetId, 0);
}

CSqlScanIntegrityRuleId::CSqlScanIntegrityRuleId()
{
    AddAttribute(wxT("scanId"), &m_scanId, 0);
    AddAttribute(wxT("integrityRuleId"), &m_integrityRuleId, 0);
}

CSqlSubscan::CSqlSubscan()
{
    AddAttribute(wxT("subscanId"), &m_subscanId, 0, XMLAttr::Key);
    AddAttribute(wxT("scanId"), &m_scanId, 0);
    AddAttribute(wxT("startTime"), &m_startTime, 0);
    AddAttribute(wxT("endTime"), &m_endTime, 0);
    AddAttribute(wxT("entityType"), &m_entityType);
    AddAttribute(wxT("numEntitiesDeleted"), &m_numEntitiesDeleted, 0);
    AddAttribute(wxT("scanStep"), &m_scanStep);
    AddAttribute(wxT("checkpointInfo"), &m_checkpointInfo);
    SetAttributeNull(&m_endTime);
    SetAttributeNull(&m_checkpointInfo);
}

void CSqlSubscan::SetToDefaults()
{
    OrvCore::XMLObject::SetToDefaults();
    SetAttributeNull(&m_endTime);
    SetAttributeNull(&m_checkpointInfo);
}

}  // namespace OrvPluginIm
