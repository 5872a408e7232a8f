// Output objects: what the controller hands to the host when it asks for
// entities (CEntitys of CEntity, each with its CEntityAttributes), integrity
// events (CIntegrityEvents of CIntegrityEvent) and status (CImScanStatus);
// CEntityState is the (lastEntityID, limit) pair the host keeps between
// entity requests. All are OrvCore::XMLObjects: they declare their attributes
// once, in output order, and the object model writes them as XML elements
// and as Lua tables. CIntegrityEvent is also the base of the IntegrityEvents
// row class, so its attribute names are that table's column names.
//
// Ownership: a list owns its items; a CEntity owns its attribute list. An
// object returned to the host belongs to the caller, which deletes it after
// converting it.
// Threads: objects are not synchronised. Each is built on the thread that
// answers a request (the controller or a host thread) and is then used by
// one thread at a time.
#pragma once

#include <wx/string.h>

#include <string>

#include "core/XMLObject.h"

namespace OrvPluginIm {

// One recorded attribute value of an entity version. For "lastModified",
// "created" and "lastAccessed" the value is milliseconds since 1970.
class CEntityAttribute : public OrvCore::XMLObject
{
public:
    CEntityAttribute();
    static wxString ElementName() { return wxT("Attribute"); }
    wxString GetElementName() const override { return ElementName(); }

    wxString m_name;           // "name"
    wxString m_value;          // "value", written even when empty
    wxString m_friendlyValue;  // "friendlyValue"
};

// The attribute values of one entity version, in the order appended.
class CEntityAttributes : public OrvCore::XMLObjectList
{
public:
    CEntityAttributes() = default;
    static wxString ElementName() { return wxT("Attributes"); }
    wxString GetElementName() const override { return ElementName(); }
    wxString ChildElementName() const override { return CEntityAttribute::ElementName(); }
    OrvCore::XMLObject* CreateListElement() override { return new CEntityAttribute(); }
};

// One entity version as delivered to the host. The "Attributes" child is
// always written, empty when the version has no attribute rows.
class CEntity : public OrvCore::XMLObject
{
public:
    CEntity();
    static wxString ElementName() { return wxT("Entity"); }
    wxString GetElementName() const override { return ElementName(); }

    // "fastHash" = the attribute digest as lower-case hexadecimal text.
    void SetFastHash(const std::string& digest);
    // Appends an attribute value to m_entityAttributes and returns it (owned
    // by the list).
    CEntityAttribute* AppendAttribute(const wxString& name, const wxString& value,
                                      const wxString& friendlyValue = wxString());

    long long m_id = 0;               // "id": entityId of the version
    wxString m_type;                  // "type": entityType ("File", "User", ...)
    long long m_integrityRuleId = 0;  // "integrityRuleId"
    wxString m_key;                   // "key": the key as shown to the user
    long long m_fingerprinted = 0;    // "fingerprinted": whenScanned, ms since 1970
    wxString m_fastHash;              // "fastHash": attributeHash in hex
    CEntityAttributes m_entityAttributes;
};

// A batch of entity versions, in id order.
class CEntitys : public OrvCore::XMLObjectList
{
public:
    CEntitys() = default;
    static wxString ElementName() { return wxT("Entitys"); }
    wxString GetElementName() const override { return ElementName(); }
    wxString ChildElementName() const override { return CEntity::ElementName(); }
    OrvCore::XMLObject* CreateListElement() override { return new CEntity(); }
};

// One normalized integrity event. "integrityEventId" is the key (the row id
// of IntegrityEvents) and is always written. A derived row class declares
// its further columns in its own constructor, after these.
class CIntegrityEvent : public OrvCore::XMLObject
{
public:
    // The "change" codes.
    enum ChangeType
    {
        ChangeCreate = 1,
        ChangeUpdate = 2,
        ChangeDelete = 3,
        ChangeRename = 4,
        // The versions with ids from wasEntity to isEntity (inclusive) were
        // made obsolete together.
        ChangeDeprecated = 5
    };

    CIntegrityEvent();
    static wxString ElementName() { return wxT("IntegrityEvent"); }
    wxString GetElementName() const override { return ElementName(); }

    // Makes this a range event over the entity versions firstEntityId ..
    // lastEntityId: change 5, status -1, severity 1, wasEntity first,
    // isEntity last (their null flags cleared). Nothing else is touched.
    void SetRange(long long firstEntityId, long long lastEntityId);

    long long m_integrityEventId = 0;  // "integrityEventId" (key)
    long long m_recorded = 0;          // "recorded": ms since 1970
    int m_status = 0;                  // "status"
    int m_integrityRuleId = 0;         // "integrityRuleId"
    int m_change = 0;                  // "change": a ChangeType
    int m_severity = 0;                // "severity"
    long long m_wasEntity = 0;         // "wasEntity": old version, or first of a range
    long long m_isEntity = 0;          // "isEntity": new version, or last of a range
    wxString m_user;                   // "user"
    wxString m_process;                // "process"
};

// A batch of integrity events, in id order.
class CIntegrityEvents : public OrvCore::XMLObjectList
{
public:
    CIntegrityEvents() = default;
    static wxString ElementName() { return wxT("IntegrityEvents"); }
    wxString GetElementName() const override { return ElementName(); }
    wxString ChildElementName() const override { return CIntegrityEvent::ElementName(); }
    OrvCore::XMLObject* CreateListElement() override { return new CIntegrityEvent(); }
};

// What integrity monitoring is doing: the base's "state" (Idle, or
// InProgress while a scan runs), then the attributes below.
class CImScanStatus : public OrvCore::CScanStatus
{
public:
    // "imScanType": the scan type code of the running scan plus one.
    enum ImScanType
    {
        ImIdle = 0,
        ImBaseline = 1,
        ImIncremental = 2,
        ImRealtime = 3,
        ImPseudoRealtime = 4
    };
    // Bits of "pendingScanBitmask".
    enum PendingScan
    {
        PendingBaseline = 1,  // a baseline rebuild or rule processing
        PendingIncremental = 2,
        PendingRealtime = 4,  // real-time changes wait
        PendingPseudoRealtime = 8
    };

    CImScanStatus();
    static wxString ElementName() { return wxT("ImScanStatus"); }
    wxString GetElementName() const override { return ElementName(); }

    int m_imScanType = ImIdle;        // "imScanType"
    int m_percentComplete = 0;        // "percentComplete": finished subscans, percent
    int m_pendingScanBitmask = 0;     // "pendingScanBitmask": PendingScan bits
    long long m_highestEntityId = 0;  // "highestEntityId": highest id the host may fetch
    int m_imCapabilityMask = 0;       // "imCapabilityMask"
    int m_eventMode = 0;              // "eventMode": 1 or 2
};

// The position of the host in the entity stream: the last entity id it
// received and how many it asks for at a time. The plugin creates none.
class CEntityState : public OrvCore::XMLObject
{
public:
    CEntityState();
    static wxString ElementName() { return wxT("EntityState"); }
    wxString GetElementName() const override { return ElementName(); }

    long long m_lastEntityID = 0;  // "lastEntityID"
    int m_limit = 0;               // "limit"
};

}  // namespace OrvPluginIm
