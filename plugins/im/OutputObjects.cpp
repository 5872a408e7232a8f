// Output objects: attribute declarations (their order is the output order)
// and the few helpers the controller uses to fill them.
#include "plugins/im/OutputObjects.h"

#include "core/Text.h"

namespace OrvPluginIm {

using OrvCore::XMLAttr;

CEntityAttribute::CEntityAttribute()
{
    AddAttribute(wxT("name"), &m_name);
    // A reader always finds "value", even an empty one.
    AddAttribute(wxT("value"), &m_value, XMLAttr::Always);
    AddAttribute(wxT("friendlyValue"), &m_friendlyValue);
}

CEntity::CEntity()
{
    AddAttribute(wxT("id"), &m_id, 0);
    AddAttribute(wxT("type"), &m_type);
    AddAttribute(wxT("integrityRuleId"), &m_integrityRuleId, 0);
    AddAttribute(wxT("key"), &m_key);
    AddAttribute(wxT("fingerprinted"), &m_fingerprinted, 0);
    AddAttribute(wxT("fastHash"), &m_fastHash);
    AddChild(&m_entityAttributes);
}

void CEntity::SetFastHash(const std::string& digest)
{
    SetAttributeValue(&m_fastHash, OrvCore::toHexString(digest, true));
}

CEntityAttribute* CEntity::AppendAttribute(const wxString& name, const wxString& value,
                                           const wxString& friendlyValue)
{
    CEntityAttribute* attribute = new CEntityAttribute();
    attribute->m_name = name;
    attribute->m_value = value;
    attribute->m_friendlyValue = friendlyValue;
    m_entityAttributes.Append(attribute);
    return attribute;
}

CIntegrityEvent::CIntegrityEvent()
{
    AddAttribute(wxT("integrityEventId"), &m_integrityEventId, 0, XMLAttr::Key | XMLAttr::Always);
    AddAttribute(wxT("recorded"), &m_recorded, 0);
    AddAttribute(wxT("status"), &m_status, 0);
    AddAttribute(wxT("integrityRuleId"), &m_integrityRuleId, 0);
    AddAttribute(wxT("change"), &m_change, 0);
    AddAttribute(wxT("severity"), &m_severity, 0);
    AddAttribute(wxT("wasEntity"), &m_wasEntity, 0);
    AddAttribute(wxT("isEntity"), &m_isEntity, 0);
    AddAttribute(wxT("user"), &m_user);
    AddAttribute(wxT("process"), &m_process);
}

void CIntegrityEvent::SetRange(long long firstEntityId, long long lastEntityId)
{
    SetAttributeValue(&m_change, static_cast<int>(ChangeDeprecated));
    SetAttributeValue(&m_status, -1);
    SetAttributeValue(&m_severity, 1);
    SetAttributeValue(&m_wasEntity, firstEntityId);
    SetAttributeValue(&m_isEntity, lastEntityId);
}

CImScanStatus::CImScanStatus()
{
    AddAttribute(wxT("imScanType"), &m_imScanType, ImIdle);
    AddAttribute(wxT("percentComplete"), &m_percentComplete, 0);
    AddAttribute(wxT("pendingScanBitmask"), &m_pendingScanBitmask, 0);
    AddAttribute(wxT("highestEntityId"), &m_highestEntityId, 0);
    AddAttribute(wxT("imCapabilityMask"), &m_imCapabilityMask, 0);
    AddAttribute(wxT("eventMode"), &m_eventMode, 0);
}

CEntityState::CEntityState()
{
    AddAttribute(wxT("lastEntityID"), &m_lastEntityID, 0);
    AddAttribute(wxT("limit"), &m_limit, 0);
}

}  // namespace OrvPluginIm
