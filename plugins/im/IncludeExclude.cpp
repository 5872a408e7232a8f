// Include/exclude entries, keys, the attribute selection and operations of an
// entity set: feature classification, attribute selection and printing back.
#include "plugins/im/IncludeExclude.h"

#include "core/Xml.h"
#include "plugins/im/EntitySets.h"
#include "plugins/im/IntegrityRules.h"

namespace OrvPluginIm {

namespace {

void AppendEmptyElement(wxString& out, int indent, const wxString& name)
{
    OrvCore::XMLObject::Indent(out, indent);
    out << wxT('<') << name << wxT(" />");
    if (indent >= 0) out << wxT('\n');
}

}  // namespace

// ---------------------------------------------------------------- keys

CKey::CKey() : OrvCore::XMLObject(false, true)
{
    AddAttribute(wxT("pattern"), &m_pattern);
}

CKeys::CKeys() : CItemList<CKey>(true, true) {}

// ---------------------------------------------------------------- include / exclude

CIncludeOrExclude::CIncludeOrExclude(CEntitySet* owner) : OrvCore::XMLObject(false, true), m_owner(owner)
{
    AddChild(&m_keys);
    AddAttribute(wxT("key"), &m_key);
    AddAttribute(wxT("caseSensitive"), &m_caseSensitive);
}

void CIncludeOrExclude::SetToDefaults()
{
    OrvCore::XMLObject::SetToDefaults();
    m_features.clear();
    m_unknownFeatures.clear();
    m_unsupportedFeatures.clear();
}

bool CIncludeOrExclude::CopyFrom(const OrvCore::XMLObject& other)
{
    if (!OrvCore::XMLObject::CopyFrom(other)) return false;
    if (const auto* source = dynamic_cast<const CIncludeOrExclude*>(&other)) {
        if (source != this) {
            m_features = source->m_features;
            m_unknownFeatures = source->m_unknownFeatures;
            m_unsupportedFeatures = source->m_unsupportedFeatures;
        }
    }
    return true;
}

bool CIncludeOrExclude::HasChildElements() const
{
    return m_keys.GetCount() > 0;
}

bool CIncludeOrExclude::OnUnhandledAttribute(const wxString& name, const wxString& value)
{
    if (m_allowedFeatures.empty() && m_owner != nullptr)
        AddStringsToSet(m_owner->GetAllowedFeatures(), m_allowedFeatures);
    const wxString lower = name.Lower();
    if (m_allowedFeatures.count(lower) != 0) {
        m_features.emplace(name, value);  // an existing name keeps its first value
        return true;
    }
    if (IsKnownName(KnownFeatureNames, lower)) {
        m_unsupportedFeatures.insert(name);
        return true;
    }
    m_unknownFeatures.insert(name);
    return OrvCore::XMLObject::OnUnhandledAttribute(name, value);
}

void CIncludeOrExclude::PrintAttributes(wxString& out) const
{
    OrvCore::XMLObject::PrintAttributes(out);
    for (const auto& feature : m_features)
        out << wxT(' ') << feature.first << wxT("=\"") << OrvCore::XmlEscape(feature.second, true)
            << wxT('"');
    for (const wxString& name : SortedNames(m_unsupportedFeatures))
        out << wxT(' ') << name << wxT("=\"unsupported\"");
    for (const wxString& name : SortedNames(m_unknownFeatures))
        out << wxT(' ') << name << wxT("=\"unknown\"");
}

std::vector<wxString> CIncludeOrExclude::GetPatterns() const
{
    std::vector<wxString> patterns;
    if (!m_key.empty()) patterns.push_back(m_key);
    for (size_t i = 0; i < m_keys.GetCount(); ++i) patterns.push_back(m_keys.GetItem(i)->m_pattern);
    return patterns;
}

CIncludes::CIncludes(CEntitySet* owner) : CItemList<CInclude>(true, true), m_owner(owner) {}

CExcludes::CExcludes(CEntitySet* owner) : CItemList<CExclude>(true, true), m_owner(owner) {}

// ---------------------------------------------------------------- attribute selection

CAttributes::CAttributes(CEntitySet* owner) : OrvCore::XMLObject(false, true), m_owner(owner) {}

void CAttributes::SetToDefaults()
{
    OrvCore::XMLObject::SetToDefaults();
    m_selected.clear();
    m_unknown.clear();
    m_unsupported.clear();
}

bool CAttributes::CopyFrom(const OrvCore::XMLObject& other)
{
    if (!OrvCore::XMLObject::CopyFrom(other)) return false;
    if (const auto* source = dynamic_cast<const CAttributes*>(&other)) {
        if (source != this) {
            m_selected = source->m_selected;
            m_unknown = source->m_unknown;
            m_unsupported = source->m_unsupported;
        }
    }
    return true;
}

bool CAttributes::HasChildElements() const
{
    return !m_selected.empty() || !m_unknown.empty() || !m_unsupported.empty();
}

bool CAttributes::OnUnhandledChildElement(const wxString& name)
{
    if (m_allowed.empty() && m_owner != nullptr) AddStringsToSet(m_owner->GetAllowedAttributes(), m_allowed);
    const wxString lower = name.Lower();
    // A set type without attributes selects nothing, not even "standard" or "all".
    if (!m_allowed.empty()) {
        if (m_allowed.count(lower) != 0) {
            m_selected.insert(lower);
            return true;
        }
        // Tested after the allowed names: neither word is an attribute name.
        if (lower == wxT("standard")) {
            if (m_owner != nullptr) AddStringsToSet(m_owner->GetStandardAttributes(), m_selected);
            return true;
        }
        if (lower == wxT("all")) {
            m_selected = m_allowed;
            return true;
        }
    }
    if (IsKnownName(KnownAttributeNames, lower)) {
        m_unsupported.insert(name);
        return true;
    }
    m_unknown.insert(name);
    return OrvCore::XMLObject::OnUnhandledChildElement(name);
}

bool CAttributes::EnumChildObjects(EnumChildCallback callback, void* context)
{
    for (const wxString& name : m_selected) {
        AttributeDummyObject dummy(name);
        if (!callback(this, &dummy, context)) return false;
    }
    return true;
}

void CAttributes::ToXML(wxString& out, int indent) const
{
    if (m_selected.empty() && !IsElementPresent()) return;
    OrvCore::XMLObject::ToXML(out, indent);
}

void CAttributes::PrintChildElements(wxString& out, int indent) const
{
    for (const wxString& name : SortedNames(m_selected)) AppendEmptyElement(out, indent, name);
    for (const wxString& name : SortedNames(m_unknown)) AppendEmptyElement(out, indent, name);
    for (const wxString& name : SortedNames(m_unsupported)) AppendEmptyElement(out, indent, name);
}

void CAttributes::GetAttributesToMonitor(OrvCore::WxStringSet& out) const
{
    out.clear();
    if (!IsElementPresent()) {
        if (m_owner != nullptr) AddStringsToSet(m_owner->GetStandardAttributes(), out);
        return;
    }
    out = m_selected;
}

// ---------------------------------------------------------------- operations

CEntitySetOperation::CEntitySetOperation(CEntitySet* owner) : OrvCore::XMLObject(false, true), m_owner(owner)
{
    AddAttribute(wxT("types"), &m_types);
}

CEntitySetOperations::CEntitySetOperations(CEntitySet* owner)
    : CItemList<CEntitySetOperation>(true, true), m_owner(owner)
{
}

wxString CEntitySetOperations::GetTypes() const
{
    wxString types;
    for (size_t i = 0; i < GetCount(); ++i) {
        const wxString& item = GetItem(i)->m_types;
        if (item.empty()) continue;
        if (!types.empty()) types << wxT(',');
        types << item;
    }
    return types;
}

}  // namespace OrvPluginIm
