// The objects handed to the host (plugins/im/OutputObjects.h): declarations,
// XML text, Lua tables read back from a real lua_State, the fastHash text,
// range events and list round trips.
#include "plugins/im/OutputObjects.h"

#include <gtest/gtest.h>

#include <functional>
#include <lua.hpp>
#include <memory>
#include <string>
#include <vector>

using namespace OrvPluginIm;
using OrvCore::XMLAttr;
using OrvCore::XMLAttrType;
using OrvCore::XMLObject;
using OrvCore::XMLObjectList;

namespace {

std::string U8(const wxString& text)
{
    return text.utf8_string();
}

wxString W(const char* utf8)
{
    return wxString::FromUTF8(utf8);
}

// "name type [key] [always]" for every declared attribute, in order.
std::vector<std::string> Describe(const XMLObject& object)
{
    std::vector<std::string> out;
    for (size_t i = 0; i < object.GetAttributeCount(); ++i) {
        const XMLObject::AttributeDecl& decl = *object.GetAttributeAt(i).decl;
        std::string text = decl.nameUtf8;
        switch (decl.type) {
            case XMLAttrType::Text:
                text += " text";
                break;
            case XMLAttrType::Int64:
                text += " i64";
                break;
            case XMLAttrType::Int32:
                text += " i32";
                break;
            case XMLAttrType::Bool:
                text += " bool";
                break;
            case XMLAttrType::Blob:
                text += " blob";
                break;
        }
        if (OrvCore::HasFlag(decl.flags, XMLAttr::Key)) text += " key";
        if (OrvCore::HasFlag(decl.flags, XMLAttr::Always)) text += " always";
        out.push_back(text);
    }
    return out;
}

std::string Xml(const XMLObject& object, int indent = 0)
{
    wxString out;
    object.ToXML(out, indent);
    return U8(out);
}

// A 20-byte digest with high and low nibbles of every kind.
std::string Sha1Like()
{
    const unsigned char bytes[20] = {0x00, 0x01, 0x0a, 0xab, 0xcd, 0xef, 0xf0, 0xff, 0x10, 0x9e,
                                     0x7f, 0x80, 0x5a, 0xa5, 0x3c, 0xc3, 0xde, 0xad, 0xbe, 0xef};
    return std::string(reinterpret_cast<const char*>(bytes), sizeof(bytes));
}
const char* const kSha1LikeHex = "00010aabcdeff0ff109e7f805aa53cc3deadbeef";

// An entity version with two attribute values.
std::unique_ptr<CEntity> FileEntity()
{
    std::unique_ptr<CEntity> entity(new CEntity());
    entity->m_id = 12;
    entity->m_type = wxT("File");
    entity->m_integrityRuleId = 3;
    entity->m_key = wxT("/etc/hosts");
    entity->m_fingerprinted = 1700000000123LL;
    entity->SetFastHash(Sha1Like());
    entity->AppendAttribute(wxT("size"), wxT("1234"), wxT("1.21 KB"));
    entity->AppendAttribute(wxT("owner"), wxT("0"), wxT("root"));
    return entity;
}

// A user entity whose version has no attribute rows.
std::unique_ptr<CEntity> BareEntity()
{
    std::unique_ptr<CEntity> entity(new CEntity());
    entity->m_id = 5;
    entity->m_type = wxT("User");
    entity->m_integrityRuleId = 2;
    entity->m_key = wxT("root");
    return entity;
}

std::unique_ptr<CImScanStatus> RunningStatus()
{
    std::unique_ptr<CImScanStatus> status(new CImScanStatus());
    status->SetState(OrvCore::CScanStatus::InProgress);
    status->m_imScanType = CImScanStatus::ImIncremental;
    status->m_percentComplete = 50;
    status->m_pendingScanBitmask = CImScanStatus::PendingIncremental | CImScanStatus::PendingRealtime;
    status->m_highestEntityId = 9000000000LL;  // beyond 32 bits
    status->m_imCapabilityMask = 3;
    status->m_eventMode = 2;
    return status;
}

std::unique_ptr<CIntegrityEvent> CreateEvent()
{
    std::unique_ptr<CIntegrityEvent> event(new CIntegrityEvent());
    event->m_integrityEventId = 41;
    event->m_recorded = 1700000000999LL;
    event->m_status = -1;
    event->m_integrityRuleId = 3;
    event->m_change = CIntegrityEvent::ChangeCreate;
    event->m_severity = 4;
    event->m_isEntity = 12;
    event->SetAttributeNull(&event->m_wasEntity);  // a creation has no old version
    event->m_user = wxT("alice");
    return event;
}

std::unique_ptr<CIntegrityEvent> RangeEvent(long long first, long long last)
{
    std::unique_ptr<CIntegrityEvent> event(new CIntegrityEvent());
    event->m_integrityEventId = 42;
    event->m_recorded = 1700000001000LL;
    event->SetRange(first, last);
    return event;
}

// The row form of an event adds its own columns after the event's, as the
// IntegrityEvents row class does.
class EventRow : public CIntegrityEvent
{
public:
    EventRow()
    {
        AddAttribute(wxT("entityType"), &m_entityType);
        AddAttribute(wxT("key"), &m_key);
        AddAttribute(wxT("description"), &m_description);
    }
    static wxString ElementName() { return wxT("IntegrityEventRow"); }
    wxString GetElementName() const override { return ElementName(); }

    wxString m_entityType;
    wxString m_key;
    wxString m_description;
};

}  // namespace

// ---------------------------------------------------------------- declarations

TEST(OutputObjects, AttributesAreDeclaredInOrderWithTheirTypes)
{
    const std::vector<std::string> eventAttributes = {
        "integrityEventId i64 key always", "recorded i64", "status i32",   "integrityRuleId i32",
        "change i32",                      "severity i32", "wasEntity i64", "isEntity i64",
        "user text",                       "process text"};
    std::vector<std::string> rowAttributes = eventAttributes;
    rowAttributes.insert(rowAttributes.end(), {"entityType text", "key text", "description text"});

    struct Case
    {
        const char* name;
        std::function<XMLObject*()> make;
        const char* element;
        std::vector<std::string> attributes;
        size_t children;
    } cases[] = {
        {"entity",
         [] { return new CEntity(); },
         "Entity",
         {"id i64", "type text", "integrityRuleId i64", "key text", "fingerprinted i64", "fastHash text"},
         1},
        {"entity attribute",
         [] { return new CEntityAttribute(); },
         "Attribute",
         {"name text", "value text always", "friendlyValue text"},
         0},
        {"integrity event", [] { return new CIntegrityEvent(); }, "IntegrityEvent", eventAttributes, 0},
        {"derived event row", [] { return new EventRow(); }, "IntegrityEventRow", rowAttributes, 0},
        {"scan status",
         [] { return new CImScanStatus(); },
         "ImScanStatus",
         {"state i32", "imScanType i32", "percentComplete i32", "pendingScanBitmask i32", "highestEntityId i64",
          "imCapabilityMask i32", "eventMode i32"},
         0},
        {"entity state", [] { return new CEntityState(); }, "EntityState", {"lastEntityID i64", "limit i32"}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::unique_ptr<XMLObject> object(c.make());
        EXPECT_EQ(U8(object->GetElementName()), c.element);
        EXPECT_EQ(Describe(*object), c.attributes);
        EXPECT_EQ(object->GetChildObjects().size(), c.children);
    }
}

TEST(OutputObjects, ListsNameThemselvesAndCreateTheirItems)
{
    struct Case
    {
        const char* name;
        std::function<XMLObjectList*()> make;
        const char* element;
        const char* child;
        std::function<bool(XMLObject*)> isItemClass;
    } cases[] = {
        {"entities", [] { return new CEntitys(); }, "Entitys", "Entity",
         [](XMLObject* o) { return dynamic_cast<CEntity*>(o) != nullptr; }},
        {"entity attributes", [] { return new CEntityAttributes(); }, "Attributes", "Attribute",
         [](XMLObject* o) { return dynamic_cast<CEntityAttribute*>(o) != nullptr; }},
        {"integrity events", [] { return new CIntegrityEvents(); }, "IntegrityEvents", "IntegrityEvent",
         [](XMLObject* o) { return dynamic_cast<CIntegrityEvent*>(o) != nullptr; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::unique_ptr<XMLObjectList> list(c.make());
        EXPECT_EQ(U8(list->GetElementName()), c.element);
        EXPECT_EQ(U8(list->ChildElementName()), c.child);
        std::unique_ptr<XMLObject> item(list->CreateListElement());
        ASSERT_NE(item, nullptr);
        EXPECT_TRUE(c.isItemClass(item.get()));
        EXPECT_EQ(U8(item->GetElementName()), c.child);
    }
    // The static names agree with the virtual ones.
    EXPECT_EQ(U8(CEntity().m_entityAttributes.GetElementName()), U8(CEntityAttributes::ElementName()));
    EXPECT_EQ(U8(CImScanStatus().GetElementName()), U8(CImScanStatus::ElementName()));
}

// ---------------------------------------------------------------- XML

TEST(OutputXml, ObjectsWriteTheirElements)
{
    struct Case
    {
        const char* name;
        std::function<std::unique_ptr<XMLObject>()> make;
        int indent;
        const char* expected;
    } cases[] = {
        {"entity with two attributes", [] { return std::unique_ptr<XMLObject>(FileEntity()); }, 0,
         "<Entity id=\"12\" type=\"File\" integrityRuleId=\"3\" key=\"/etc/hosts\" fingerprinted=\"1700000000123\""
         " fastHash=\"00010aabcdeff0ff109e7f805aa53cc3deadbeef\">\n"
         "  <Attributes>\n"
         "    <Attribute name=\"size\" value=\"1234\" friendlyValue=\"1.21 KB\"/>\n"
         "    <Attribute name=\"owner\" value=\"0\" friendlyValue=\"root\"/>\n"
         "  </Attributes>\n"
         "</Entity>\n"},
        {"entity without attributes keeps an empty Attributes child",
         [] { return std::unique_ptr<XMLObject>(BareEntity()); }, 0,
         "<Entity id=\"5\" type=\"User\" integrityRuleId=\"2\" key=\"root\" fingerprinted=\"0\">\n"
         "  <Attributes/>\n"
         "</Entity>\n"},
        {"entity on one line", [] { return std::unique_ptr<XMLObject>(BareEntity()); }, -1,
         "<Entity id=\"5\" type=\"User\" integrityRuleId=\"2\" key=\"root\" fingerprinted=\"0\"><Attributes/></Entity>"},
        {"values are escaped; an empty value is still written",
         [] {
             std::unique_ptr<CEntity> entity(new CEntity());
             entity->m_id = 1;
             entity->m_type = wxT("File");
             entity->m_key = W("/tmp/a&b <c> \"d\" 'e' grüße");
             entity->AppendAttribute(wxT("symLinkPath"), wxT(""));
             entity->AppendAttribute(wxT("commandLine"), wxT("sh -c 'x\ny'\t&"), wxT("<run>"));
             return std::unique_ptr<XMLObject>(entity.release());
         },
         0,
         "<Entity id=\"1\" type=\"File\" integrityRuleId=\"0\""
         " key=\"/tmp/a&amp;b &lt;c&gt; &quot;d&quot; &apos;e&apos; grüße\" fingerprinted=\"0\">\n"
         "  <Attributes>\n"
         "    <Attribute name=\"symLinkPath\" value=\"\"/>\n"
         "    <Attribute name=\"commandLine\" value=\"sh -c &apos;x&#10;y&apos;&#9;&amp;\""
         " friendlyValue=\"&lt;run&gt;\"/>\n"
         "  </Attributes>\n"
         "</Entity>\n"},
        {"creation event leaves out its null wasEntity", [] { return std::unique_ptr<XMLObject>(CreateEvent()); },
         0,
         "<IntegrityEvent integrityEventId=\"41\" recorded=\"1700000000999\" status=\"-1\" integrityRuleId=\"3\""
         " change=\"1\" severity=\"4\" isEntity=\"12\" user=\"alice\"/>\n"},
        {"a null event id is still written",
         [] {
             std::unique_ptr<CIntegrityEvent> event(new CIntegrityEvent());
             event->SetAttributeNull(&event->m_integrityEventId);
             event->SetAttributeNull(&event->m_recorded);
             return std::unique_ptr<XMLObject>(event.release());
         },
         0,
         "<IntegrityEvent integrityEventId=\"0\" status=\"0\" integrityRuleId=\"0\" change=\"0\" severity=\"0\""
         " wasEntity=\"0\" isEntity=\"0\"/>\n"},
        {"running scan status, base state first", [] { return std::unique_ptr<XMLObject>(RunningStatus()); }, 0,
         "<ImScanStatus state=\"1\" imScanType=\"2\" percentComplete=\"50\" pendingScanBitmask=\"6\""
         " highestEntityId=\"9000000000\" imCapabilityMask=\"3\" eventMode=\"2\"/>\n"},
        {"fresh scan status is idle",
         [] { return std::unique_ptr<XMLObject>(new CImScanStatus()); }, 0,
         "<ImScanStatus state=\"4\" imScanType=\"0\" percentComplete=\"0\" pendingScanBitmask=\"0\""
         " highestEntityId=\"0\" imCapabilityMask=\"0\" eventMode=\"0\"/>\n"},
        {"entity state",
         [] {
             std::unique_ptr<CEntityState> state(new CEntityState());
             state->m_lastEntityID = 42;
             state->m_limit = 500;
             return std::unique_ptr<XMLObject>(state.release());
         },
         0, "<EntityState lastEntityID=\"42\" limit=\"500\"/>\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Xml(*c.make(), c.indent), c.expected);
    }
}

TEST(OutputXml, ListsRoundTripThroughXml)
{
    struct Case
    {
        const char* name;
        std::function<XMLObjectList*()> make;
        std::function<void(XMLObjectList&)> fill;
        size_t items;
        // Checks one read-back item value beyond the text comparison.
        std::function<void(const XMLObjectList&)> check;
    } cases[] = {
        {"integrity events", [] { return new CIntegrityEvents(); },
         [](XMLObjectList& list) {
             CIntegrityEvent* create = new CIntegrityEvent();
             create->m_integrityEventId = 40;
             create->m_recorded = 1700000000999LL;
             create->m_status = -1;
             create->m_integrityRuleId = 3;
             create->m_change = CIntegrityEvent::ChangeCreate;
             create->m_severity = 4;
             create->m_isEntity = 12;
             create->m_user = W("DOMAIN\\bob \"ü\"");
             create->m_process = wxT("/usr/bin/vi <x> & y");
             list.Append(create);
             CIntegrityEvent* update = new CIntegrityEvent();
             update->m_integrityEventId = 41;
             update->m_change = CIntegrityEvent::ChangeUpdate;
             update->m_wasEntity = 12;
             update->m_isEntity = 13;
             list.Append(update);
             list.Append(RangeEvent(7, 9).release());
         },
         3,
         [](const XMLObjectList& list) {
             const CIntegrityEvent* first = dynamic_cast<const CIntegrityEvent*>(list.Children()[0]);
             ASSERT_NE(first, nullptr);
             EXPECT_EQ(U8(first->m_user), "DOMAIN\\bob \"ü\"");
             EXPECT_EQ(first->m_recorded, 1700000000999LL);
             const CIntegrityEvent* range = dynamic_cast<const CIntegrityEvent*>(list.Children()[2]);
             ASSERT_NE(range, nullptr);
             EXPECT_EQ(range->m_change, CIntegrityEvent::ChangeDeprecated);
             EXPECT_EQ(range->m_wasEntity, 7);
             EXPECT_EQ(range->m_isEntity, 9);
         }},
        {"entities", [] { return new CEntitys(); },
         [](XMLObjectList& list) {
             list.Append(FileEntity().release());
             list.Append(BareEntity().release());
         },
         2,
         [](const XMLObjectList& list) {
             const CEntity* file = dynamic_cast<const CEntity*>(list.Children()[0]);
             ASSERT_NE(file, nullptr);
             EXPECT_EQ(U8(file->m_fastHash), kSha1LikeHex);
             ASSERT_EQ(file->m_entityAttributes.GetCount(), 2u);
             const CEntity* bare = dynamic_cast<const CEntity*>(list.Children()[1]);
             ASSERT_NE(bare, nullptr);
             EXPECT_EQ(bare->m_entityAttributes.GetCount(), 0u);
         }},
        {"empty event list", [] { return new CIntegrityEvents(); }, [](XMLObjectList&) {}, 0,
         [](const XMLObjectList&) {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::unique_ptr<XMLObjectList> original(c.make());
        c.fill(*original);
        const std::string text = Xml(*original);

        std::unique_ptr<XMLObjectList> copy(c.make());
        ASSERT_TRUE(copy->FromXML(wxString::FromUTF8(text)));
        ASSERT_EQ(copy->GetCount(), c.items);
        EXPECT_EQ(Xml(*copy), text);
        c.check(*copy);
    }
}

// ---------------------------------------------------------------- Lua

class OutputLua : public ::testing::Test
{
protected:
    void SetUp() override
    {
        L = luaL_newstate();
        luaL_openlibs(L);
    }
    void TearDown() override { lua_close(L); }

    void Publish(const char* name, const XMLObject& object)
    {
        const int top = lua_gettop(L);
        object.toLua(L);
        lua_setglobal(L, name);
        ASSERT_EQ(lua_gettop(L), top);
    }
    // tostring() of the expression's value, or "error: ...".
    std::string Eval(const std::string& expression)
    {
        const std::string code = "return tostring(" + expression + ")";
        if (luaL_dostring(L, code.c_str()) != LUA_OK) {
            std::string error = std::string("error: ") + lua_tostring(L, -1);
            lua_settop(L, 0);
            return error;
        }
        std::string value = lua_tostring(L, -1);
        lua_settop(L, 0);
        return value;
    }

    lua_State* L = nullptr;
};

TEST_F(OutputLua, ObjectsBecomeTables)
{
    Publish("entity", *FileEntity());
    Publish("bare", *BareEntity());
    Publish("status", *RunningStatus());
    Publish("event", *CreateEvent());
    CEntitys entities;
    entities.Append(FileEntity().release());
    entities.Append(BareEntity().release());
    Publish("entities", entities);
    std::unique_ptr<CEntity> named(new CEntity());
    named->m_key = W("/srv/grüße");
    named->AppendAttribute(wxT("hidden"), wxT(""));
    Publish("named", *named);

    struct Case
    {
        const char* expression;
        const char* expected;
    } cases[] = {
        {"entity.id", "12"},
        {"math.type(entity.id)", "integer"},
        {"math.type(entity.integrityRuleId)", "integer"},
        {"entity.fingerprinted", "1700000000123"},
        {"math.type(entity.fingerprinted)", "integer"},
        {"entity.type", "File"},
        {"entity.key", "/etc/hosts"},
        {"entity.fastHash", kSha1LikeHex},
        {"#entity.Attributes", "2"},
        {"entity.Attributes[1].name .. '=' .. entity.Attributes[1].value", "size=1234"},
        {"entity.Attributes[1].friendlyValue", "1.21 KB"},
        {"entity.Attributes[2].name .. '/' .. entity.Attributes[2].friendlyValue", "owner/root"},
        {"entity.Attributes[3]", "nil"},
        {"type(bare.Attributes)", "table"},
        {"#bare.Attributes", "0"},
        {"next(bare.Attributes)", "nil"},
        {"string.format('%q', bare.fastHash)", "\"\""},
        {"named.key", "/srv/grüße"},
        {"#named.key", "12"},  // UTF-8 bytes: ü and ß take two each
        {"string.format('%q', named.Attributes[1].value)", "\"\""},
        {"status.state", "1"},
        {"math.type(status.state)", "integer"},
        {"status.imScanType", "2"},
        {"status.percentComplete", "50"},
        {"status.pendingScanBitmask", "6"},
        {"status.highestEntityId", "9000000000"},
        {"math.type(status.highestEntityId)", "integer"},
        {"status.imCapabilityMask .. ',' .. status.eventMode", "3,2"},
        {"event.integrityEventId", "41"},
        {"math.type(event.recorded)", "integer"},
        {"event.status", "-1"},
        {"event.wasEntity", "nil"},  // null: left out
        {"event.isEntity", "12"},
        {"event.user", "alice"},
        {"#entities", "2"},
        {"entities[1].id .. ',' .. entities[2].id", "12,5"},
        {"#entities[1].Attributes .. ',' .. #entities[2].Attributes", "2,0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expression);
        EXPECT_EQ(Eval(c.expression), c.expected);
    }
}

// ---------------------------------------------------------------- helpers

TEST(OutputEntity, FastHashIsLowerCaseHexOfTheDigest)
{
    const std::string sha256(32, '\xA0');
    std::string sha256Hex;
    for (int i = 0; i < 32; ++i) sha256Hex += "a0";
    struct Case
    {
        const char* name;
        std::string digest;
        size_t length;
        std::string expected;
    } cases[] = {
        {"20-byte digest", Sha1Like(), 40, kSha1LikeHex},
        {"32-byte digest", sha256, 64, sha256Hex},
        {"empty digest", std::string(), 0, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CEntity entity;
        entity.SetAttributeNull(&entity.m_fastHash);
        entity.SetFastHash(c.digest);
        EXPECT_FALSE(entity.IsAttributeNull(&entity.m_fastHash));
        const std::string hex = U8(entity.m_fastHash);
        EXPECT_EQ(hex.size(), c.length);
        EXPECT_EQ(hex, c.expected);
        EXPECT_EQ(hex.find_first_not_of("0123456789abcdef"), std::string::npos);
        const std::string xml = Xml(entity, -1);
        EXPECT_EQ(xml.find("fastHash=\"" + c.expected + "\"") != std::string::npos, !c.expected.empty()) << xml;
    }
}

TEST(OutputEvent, RangeEventCoversTheIdsInclusively)
{
    struct Case
    {
        const char* name;
        long long first;
        long long last;
        const char* xml;
    } cases[] = {
        {"ids 7 to 9", 7, 9,
         "<IntegrityEvent integrityEventId=\"42\" recorded=\"1700000001000\" status=\"-1\" integrityRuleId=\"0\""
         " change=\"5\" severity=\"1\" wasEntity=\"7\" isEntity=\"9\"/>"},
        {"a single id", 9000000001LL, 9000000001LL,
         "<IntegrityEvent integrityEventId=\"42\" recorded=\"1700000001000\" status=\"-1\" integrityRuleId=\"0\""
         " change=\"5\" severity=\"1\" wasEntity=\"9000000001\" isEntity=\"9000000001\"/>"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::unique_ptr<CIntegrityEvent> event = RangeEvent(c.first, c.last);
        EXPECT_EQ(event->m_change, 5);
        EXPECT_EQ(event->m_status, -1);
        EXPECT_EQ(event->m_severity, 1);
        EXPECT_EQ(event->m_wasEntity, c.first);
        EXPECT_EQ(event->m_isEntity, c.last);
        EXPECT_EQ(Xml(*event, -1), c.xml);
    }

    // A row whose ids were null (read from NULL columns) becomes a full range.
    CIntegrityEvent event;
    event.SetAttributeNull(&event.m_wasEntity);
    event.SetAttributeNull(&event.m_isEntity);
    event.SetAttributeNull(&event.m_severity);
    event.SetRange(7, 9);
    EXPECT_FALSE(event.IsAttributeNull(&event.m_wasEntity));
    EXPECT_FALSE(event.IsAttributeNull(&event.m_isEntity));
    EXPECT_FALSE(event.IsAttributeNull(&event.m_severity));
    EXPECT_NE(Xml(event, -1).find(" severity=\"1\" wasEntity=\"7\" isEntity=\"9\""), std::string::npos);
}

TEST(OutputEvent, DerivedRowKeepsTheEventKey)
{
    EventRow row;
    const XMLObject::Attribute* key = row.GetKeyAttribute();
    ASSERT_NE(key, nullptr);
    EXPECT_EQ(key->field, static_cast<void*>(&row.m_integrityEventId));
    row.m_integrityEventId = 77;
    row.SetRange(7, 9);
    row.m_entityType = wxT("File");
    row.m_key = wxT("/a -> /b");
    EXPECT_EQ(row.GetKeyValue(), 77);
    EXPECT_EQ(Xml(row, -1),
              "<IntegrityEventRow integrityEventId=\"77\" recorded=\"0\" status=\"-1\" integrityRuleId=\"0\" change=\"5\""
              " severity=\"1\" wasEntity=\"7\" isEntity=\"9\" entityType=\"File\" key=\"/a -&gt; /b\"/>");
}
