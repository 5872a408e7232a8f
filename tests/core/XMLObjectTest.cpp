// Tests of the object model (core/XMLObject.h): XML, SQL and Lua forms of
// small row and rule classes, and CDom::ConfigGetXml.
#include "core/XMLObject.h"

#include <gtest/gtest.h>
#include <wx/mstream.h>
#include <wx/sstream.h>

#include <algorithm>
#include <functional>
#include <iterator>
#include <lua.hpp>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "core/Dom.h"
#include "core/Log.h"
#include "tests/core/TestUtil.h"

using namespace OrvCore;
using OrvTest::TempDir;

namespace {

std::string U8(const wxString& text)
{
    return text.utf8_string();
}

wxString W(const char* utf8)
{
    return wxString::FromUTF8(utf8);
}

// ---------------------------------------------------------------- test classes

// One recorded attribute value (a row of "Attributes").
class TestAttribute : public XMLObject
{
public:
    TestAttribute()
    {
        AddAttribute(wxT("attributeId"), &m_attributeId, 0, XMLAttr::Key);
        AddAttribute(wxT("entityId"), &m_entityId, 0);
        AddAttribute(wxT("name"), &m_name);
        AddAttribute(wxT("value"), &m_value, XMLAttr::Always);
    }
    static wxString ElementName() { return wxT("Attribute"); }
    wxString GetElementName() const override { return ElementName(); }

    long long m_attributeId = 0;
    long long m_entityId = 0;
    wxString m_name;
    wxString m_value;
};

class TestAttributes : public XMLObjectList
{
public:
    static wxString ElementName() { return wxT("Attributes"); }
    wxString GetElementName() const override { return ElementName(); }
    wxString ChildElementName() const override { return TestAttribute::ElementName(); }
    XMLObject* CreateListElement() override { return new TestAttribute; }
};

// One recorded entity version with its attribute values (a row of "Entitys";
// the child list is not a column).
class TestEntity : public XMLObject
{
public:
    TestEntity()
    {
        AddAttribute(wxT("entityId"), &m_entityId, 0, XMLAttr::Key);
        AddAttribute(wxT("entityType"), &m_entityType);
        AddAttribute(wxT("key"), &m_key);
        AddAttribute(wxT("whenScanned"), &m_whenScanned, 0);
        AddAttribute(wxT("severity"), &m_severity, 3);
        AddAttribute(wxT("onChange"), &m_onChange);
        AddAttribute(wxT("attributeHash"), &m_attributeHash);
        AddAttribute(wxT("supercededBy"), &m_supercededBy, 0);
        AddChild(&m_attributes);
    }
    static wxString ElementName() { return wxT("Entity"); }
    wxString GetElementName() const override { return ElementName(); }
    void OnSQLLoaded() override { ++m_loads; }

    long long m_entityId = 0;
    wxString m_entityType;
    wxString m_key;
    long long m_whenScanned = 0;
    int m_severity = 0;
    bool m_onChange = true;
    std::string m_attributeHash;
    long long m_supercededBy = 0;
    TestAttributes m_attributes;
    int m_loads = 0;
};

class TestEntitys : public XMLObjectList
{
public:
    static wxString ElementName() { return wxT("Entitys"); }
    wxString GetElementName() const override { return ElementName(); }
    wxString ChildElementName() const override { return TestEntity::ElementName(); }
    XMLObject* CreateListElement() override { return new TestEntity; }
};

// Rule-like classes: inline lists, a nested child object, the hooks.
class TestKey : public XMLObject
{
public:
    TestKey() { AddAttribute(wxT("pattern"), &m_pattern); }
    static wxString ElementName() { return wxT("Key"); }
    wxString GetElementName() const override { return ElementName(); }
    wxString m_pattern;
};

class TestKeys : public XMLObjectList
{
public:
    TestKeys() : XMLObjectList(true) {}
    static wxString ElementName() { return wxT("Keys"); }
    wxString GetElementName() const override { return ElementName(); }
    wxString ChildElementName() const override { return TestKey::ElementName(); }
    XMLObject* CreateListElement() override { return new TestKey; }
};

class TestOptions : public XMLObject
{
public:
    TestOptions()
    {
        AddAttribute(wxT("timeout"), &m_timeout, 5000);
        AddAttribute(wxT("followLinks"), &m_followLinks);
    }
    static wxString ElementName() { return wxT("Options"); }
    wxString GetElementName() const override { return ElementName(); }
    int m_timeout = 0;
    bool m_followLinks = false;
};

class TestSet : public XMLObject
{
public:
    explicit TestSet(bool caseInsensitive = false) : XMLObject(false, caseInsensitive)
    {
        AddChild(&m_keys);
        AddAttribute(wxT("base"), &m_base);
        AddAttribute(wxT("onChange"), &m_onChange);
        AddChild(&m_options);
    }
    static wxString ElementName() { return wxT("FileSet"); }
    wxString GetElementName() const override { return ElementName(); }
    bool OnUnhandledAttribute(const wxString& name, const wxString& value) override
    {
        m_unhandledAttributes.push_back(U8(name) + "=" + U8(value));
        return true;
    }
    void SetToDefaults() override
    {
        XMLObject::SetToDefaults();
        m_unhandledAttributes.clear();
    }
    void PrintAttributes(wxString& out) const override
    {
        XMLObject::PrintAttributes(out);
        for (const std::string& unhandled : m_unhandledAttributes) {
            out << wxT(' ') << W(unhandled.substr(0, unhandled.find('=')).c_str()) << wxT("=\"unknown\"");
        }
    }

    TestKeys m_keys;
    wxString m_base;
    bool m_onChange = true;
    TestOptions m_options;
    std::vector<std::string> m_unhandledAttributes;
};

class TestSets : public XMLObjectList
{
public:
    explicit TestSets(bool caseInsensitive = false)
        : XMLObjectList(true, caseInsensitive), m_noCase(caseInsensitive)
    {
    }
    static wxString ElementName() { return wxT("FileSets"); }
    wxString GetElementName() const override { return ElementName(); }
    wxString ChildElementName() const override { return TestSet::ElementName(); }
    XMLObject* CreateListElement() override { return new TestSet(m_noCase); }
    bool m_noCase;
};

class TestRule : public CIdNameObject
{
public:
    explicit TestRule(bool caseInsensitive = false)
        : CIdNameObject(false, caseInsensitive), m_sets(caseInsensitive)
    {
        AddAttribute(wxT("severity"), &m_severity, 0);
        AddAttribute(wxT("hash"), &m_hash);
        AddChild(&m_sets);
    }
    static wxString ElementName() { return wxT("IntegrityRule"); }
    wxString GetElementName() const override { return ElementName(); }
    bool OnUnhandledChildElement(const wxString& name) override
    {
        m_unknownChildren.push_back(U8(name));
        return XMLObject::OnUnhandledChildElement(name);
    }
    void SetToDefaults() override
    {
        CIdNameObject::SetToDefaults();
        m_unknownChildren.clear();
    }
    void PrintChildElements(wxString& out, int indent) const override
    {
        CIdNameObject::PrintChildElements(out, indent);
        for (const std::string& name : m_unknownChildren) {
            Indent(out, indent);
            out << wxT('<') << W(name.c_str()) << wxT("/>");
            if (indent >= 0) out << wxT('\n');
        }
    }

    int m_severity = 0;
    wxString m_hash;
    TestSets m_sets;
    std::vector<std::string> m_unknownChildren;
};

class TestRules : public XMLObjectList
{
public:
    static wxString ElementName() { return wxT("IntegrityRules"); }
    wxString GetElementName() const override { return ElementName(); }
    wxString ChildElementName() const override { return TestRule::ElementName(); }
    XMLObject* CreateListElement() override { return new TestRule; }
};

// Every log line written while it exists.
class LogCapture
{
public:
    LogCapture()
    {
        SetLogObserver([this](LogLevel level, const wxString& component, const wxString& message) {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_lines.push_back(Line{level, U8(component), U8(message)});
        });
    }
    ~LogCapture() { SetLogObserver(nullptr); }
    struct Line
    {
        LogLevel level;
        std::string component;
        std::string message;
    };
    std::vector<Line> Lines()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_lines;
    }
    bool Contains(LogLevel level, const std::string& text)
    {
        for (const Line& line : Lines()) {
            if (line.level == level && line.message.find(text) != std::string::npos) return true;
        }
        return false;
    }

private:
    std::mutex m_mutex;
    std::vector<Line> m_lines;
};

const char* const kRuleXml =
    "<IntegrityRule id=\"7\" name=\"etc &amp; bin\" severity=\"2\" hash=\"ab12\">"
    "<FileSet base=\"/etc\" onChange=\"false\">"
    "<Key pattern=\"/etc/*.conf\"/><Key pattern=\"/etc/passwd\"/>"
    "<Options timeout=\"250\" followLinks=\"true\"/>"
    "</FileSet>"
    "<FileSet base=\"/bin\"/>"
    "</IntegrityRule>";

// ---------------------------------------------------------------- XML

TEST(XMLObjectXml, ReadsDeclaredAttributesChildrenAndInlineLists)
{
    TestRule rule;
    ASSERT_TRUE(rule.FromXML(W(kRuleXml)));
    EXPECT_EQ(rule.m_id, 7);
    EXPECT_EQ(U8(rule.m_name), "etc & bin");
    EXPECT_EQ(rule.m_severity, 2);
    EXPECT_EQ(U8(rule.m_hash), "ab12");
    ASSERT_EQ(rule.m_sets.GetCount(), 2u);

    struct Case
    {
        size_t index;
        const char* base;
        bool onChange;
        std::vector<std::string> keys;
        int timeout;
        bool followLinks;
        bool optionsPresent;
    };
    const Case cases[] = {
        {0, "/etc", false, {"/etc/*.conf", "/etc/passwd"}, 250, true, true},
        {1, "/bin", true, {}, 5000, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("set " + std::to_string(c.index));
        const TestSet& set = *static_cast<const TestSet*>(rule.m_sets.Children()[c.index]);
        EXPECT_EQ(U8(set.m_base), c.base);
        EXPECT_EQ(set.m_onChange, c.onChange);
        std::vector<std::string> keys;
        for (const XMLObject* key : set.m_keys.Children())
            keys.push_back(U8(static_cast<const TestKey*>(key)->m_pattern));
        EXPECT_EQ(keys, c.keys);
        EXPECT_EQ(set.m_keys.IsElementPresent(), !c.keys.empty());
        EXPECT_EQ(set.m_options.m_timeout, c.timeout);
        EXPECT_EQ(set.m_options.m_followLinks, c.followLinks);
        EXPECT_EQ(set.m_options.IsElementPresent(), c.optionsPresent);
        EXPECT_EQ(set.m_options.AttributeWasParsed(&set.m_options.m_timeout), c.optionsPresent);
        EXPECT_TRUE(set.IsElementPresent());
    }
    EXPECT_TRUE(rule.m_sets.IsElementPresent());
    EXPECT_TRUE(rule.m_unknownChildren.empty());
}

TEST(XMLObjectXml, RoundTripsThroughText)
{
    struct Case
    {
        const char* name;
        const char* input;
        const char* output;  // toString() after reading input
    };
    const Case cases[] = {
        {"full rule", kRuleXml,
         "<IntegrityRule id=\"7\" name=\"etc &amp; bin\" severity=\"2\" hash=\"ab12\">"
         "<FileSet base=\"/etc\" onChange=\"false\"><Key pattern=\"/etc/*.conf\"/><Key "
         "pattern=\"/etc/passwd\"/>"
         "<Options timeout=\"250\" followLinks=\"true\"/></FileSet>"
         "<FileSet base=\"/bin\" onChange=\"true\"><Options timeout=\"5000\" "
         "followLinks=\"false\"/></FileSet>"
         "</IntegrityRule>"},
        {"defaults only", "<IntegrityRule/>", "<IntegrityRule id=\"0\" severity=\"0\"/>"},
        {"escaping and non-ASCII",
         "<IntegrityRule name=\"a&lt;b&gt;&quot;c&quot; &apos;d&apos;&#10;&#9;\xc3\xa9\xe2\x82\xac\"/>",
         "<IntegrityRule id=\"0\" name=\"a&lt;b&gt;&quot;c&quot; "
         "&apos;d&apos;&#10;&#9;\xc3\xa9\xe2\x82\xac\" severity=\"0\"/>"},
        {"attribute order follows the declarations",
         "<IntegrityRule hash=\"h\" severity=\"9\" name=\"n\" id=\"1\"/>",
         "<IntegrityRule id=\"1\" name=\"n\" severity=\"9\" hash=\"h\"/>"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TestRule rule;
        ASSERT_TRUE(rule.FromXML(W(c.input)));
        EXPECT_EQ(U8(rule.toString()), c.output);
        // The output reads back into the same object.
        TestRule again;
        ASSERT_TRUE(again.FromXML(rule.toString()));
        EXPECT_EQ(U8(again.toString()), c.output);
    }
}

TEST(XMLObjectXml, IndentedOutput)
{
    TestRule rule;
    ASSERT_TRUE(rule.FromXML(W(kRuleXml)));
    wxString out;
    rule.ToXML(out, 1);
    EXPECT_EQ(U8(out),
              "  <IntegrityRule id=\"7\" name=\"etc &amp; bin\" severity=\"2\" hash=\"ab12\">\n"
              "    <FileSet base=\"/etc\" onChange=\"false\">\n"
              "      <Key pattern=\"/etc/*.conf\"/>\n"
              "      <Key pattern=\"/etc/passwd\"/>\n"
              "      <Options timeout=\"250\" followLinks=\"true\"/>\n"
              "    </FileSet>\n"
              "    <FileSet base=\"/bin\" onChange=\"true\">\n"
              "      <Options timeout=\"5000\" followLinks=\"false\"/>\n"
              "    </FileSet>\n"
              "  </IntegrityRule>\n");
}

TEST(XMLObjectXml, ListsNullsAndTheAlwaysFlag)
{
    struct Case
    {
        const char* name;
        std::function<void(TestEntity&)> change;
        const char* output;
    };
    const Case cases[] = {
        {"empty non-inline list still written", [](TestEntity&) {},
         "<Entity entityId=\"0\" whenScanned=\"0\" severity=\"3\" onChange=\"true\" "
         "supercededBy=\"0\"><Attributes/></Entity>"},
        {"null attributes left out",
         [](TestEntity& e) {
             e.SetAttributeValue(&e.m_key, W("/etc/hosts"));
             e.SetAttributeNull(&e.m_key);
             e.SetAttributeNull(&e.m_supercededBy);
             e.SetAttributeNull(&e.m_onChange);
         },
         "<Entity entityId=\"0\" whenScanned=\"0\" severity=\"3\"><Attributes/></Entity>"},
        {"blob as lower-case hex", [](TestEntity& e) { e.m_attributeHash = std::string("\x01\xab\xff", 3); },
         "<Entity entityId=\"0\" whenScanned=\"0\" severity=\"3\" onChange=\"true\" attributeHash=\"01abff\" "
         "supercededBy=\"0\"><Attributes/></Entity>"},
        {"items with empty and null values under the Always flag",
         [](TestEntity& e) {
             auto* a = static_cast<TestAttribute*>(e.m_attributes.Append(new TestAttribute));
             a->m_name = W("size");
             auto* b = static_cast<TestAttribute*>(e.m_attributes.Append(new TestAttribute));
             b->m_name = W("owner");
             b->m_value = W("root");
             b->SetAttributeNull(&b->m_value);
         },
         "<Entity entityId=\"0\" whenScanned=\"0\" severity=\"3\" onChange=\"true\" "
         "supercededBy=\"0\"><Attributes>"
         "<Attribute attributeId=\"0\" entityId=\"0\" name=\"size\" value=\"\"/>"
         "<Attribute attributeId=\"0\" entityId=\"0\" name=\"owner\" value=\"root\"/>"
         "</Attributes></Entity>"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TestEntity entity;
        c.change(entity);
        EXPECT_EQ(U8(entity.toString()), c.output);
        EXPECT_TRUE(entity.HasChildElements());
    }
}

TEST(XMLObjectXml, AttributeValueParsing)
{
    struct Case
    {
        const char* name;
        const char* attribute;
        const char* value;
        bool parsed;
        bool warned;
        long long whenScanned;
        int severity;
        bool onChange;
    };
    const Case cases[] = {
        {"64-bit decimal", "whenScanned", "1700000000123", true, false, 1700000000123LL, 3, true},
        {"64-bit maximum", "whenScanned", "9223372036854775807", true, false, 9223372036854775807LL, 3, true},
        {"64-bit negative with blanks", "whenScanned", "  -42 ", true, false, -42, 3, true},
        {"64-bit overflow", "whenScanned", "9223372036854775808", false, true, 0, 3, true},
        {"64-bit trailing junk", "whenScanned", "12abc", false, true, 0, 3, true},
        {"64-bit hex is not decimal", "whenScanned", "0x10", false, true, 0, 3, true},
        {"64-bit empty keeps default", "whenScanned", "", false, false, 0, 3, true},
        {"32-bit with plus sign", "severity", "+17", true, false, 0, 17, true},
        {"32-bit leading zeros are decimal", "severity", "010", true, false, 0, 10, true},
        {"32-bit overflow", "severity", "2147483648", false, true, 0, 3, true},
        {"32-bit minimum", "severity", "-2147483648", true, false, 0, -2147483647 - 1, true},
        {"32-bit sign only", "severity", "-", false, true, 0, 3, true},
        {"bool false", "onChange", "false", true, false, 0, 3, false},
        {"bool upper case", "onChange", "FALSE", true, false, 0, 3, false},
        {"bool zero", "onChange", "0", true, false, 0, 3, false},
        {"bool one", "onChange", " 1 ", true, false, 0, 3, true},
        {"bool mixed case true", "onChange", "True", true, false, 0, 3, true},
        {"bool yes is not a boolean", "onChange", "no", false, true, 0, 3, true},
        {"bool empty keeps default", "onChange", "", false, false, 0, 3, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        LogCapture log;
        TestEntity entity;
        const std::string xml = std::string("<Entity ") + c.attribute + "=\"" + c.value + "\"/>";
        ASSERT_TRUE(entity.FromXML(W(xml.c_str())));
        EXPECT_EQ(entity.m_whenScanned, c.whenScanned);
        EXPECT_EQ(entity.m_severity, c.severity);
        EXPECT_EQ(entity.m_onChange, c.onChange);
        const void* field =
            std::string(c.attribute) == "whenScanned" ? static_cast<const void*>(&entity.m_whenScanned)
            : std::string(c.attribute) == "severity"  ? static_cast<const void*>(&entity.m_severity)
                                                      : static_cast<const void*>(&entity.m_onChange);
        EXPECT_EQ(entity.AttributeWasParsed(field), c.parsed);
        EXPECT_EQ(log.Contains(LogLevel::Warning, std::string(c.attribute) + "=\"" + c.value + "\""),
                  c.warned);
    }
}

TEST(XMLObjectXml, UnhandledNamesGoToTheHooks)
{
    SetTraceComponents(wxT("orv.xmlobject"));
    LogCapture log;
    TestRule rule;
    ASSERT_TRUE(
        rule.FromXML(W("<IntegrityRule id=\"3\" colour=\"blue\">"
                       "<RegistryKeySet base=\"HKLM\"><Key pattern=\"x\"/></RegistryKeySet>"
                       "<FileSet base=\"/usr\" size=\"10\" executable=\"true\"><Shape/></FileSet>"
                       "<ServiceSet/>"
                       "</IntegrityRule>")));
    SetTraceComponents(wxString());

    EXPECT_EQ(rule.m_id, 3);
    EXPECT_EQ(rule.m_unknownChildren, (std::vector<std::string>{"RegistryKeySet", "ServiceSet"}));
    ASSERT_EQ(rule.m_sets.GetCount(), 1u);
    const TestSet& set = *static_cast<const TestSet*>(rule.m_sets.Children()[0]);
    EXPECT_EQ(set.m_unhandledAttributes, (std::vector<std::string>{"size=10", "executable=true"}));
    EXPECT_EQ(U8(set.m_base), "/usr");
    // The unknown element's content was not read into anything.
    EXPECT_EQ(set.m_keys.GetCount(), 0u);

    struct Case
    {
        const char* name;
        const char* trace;
        bool expected;
    };
    const Case cases[] = {
        {"rule attribute", "<IntegrityRule>: unhandled attribute colour=\"blue\"", true},
        {"rule child", "<IntegrityRule>: unhandled child element <RegistryKeySet>", true},
        {"second rule child", "<IntegrityRule>: unhandled child element <ServiceSet>", true},
        {"set child", "<FileSet>: unhandled child element <Shape>", true},
        // The set consumed its attributes itself.
        {"consumed attribute", "unhandled attribute size", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(log.Contains(LogLevel::Trace, c.trace), c.expected);
    }

    // Printing back adds what the hooks recorded.
    EXPECT_EQ(
        U8(rule.toString()),
        "<IntegrityRule id=\"3\" severity=\"0\"><FileSet base=\"/usr\" onChange=\"true\" size=\"unknown\" "
        "executable=\"unknown\"><Options timeout=\"5000\" followLinks=\"false\"/></FileSet>"
        "<RegistryKeySet/><ServiceSet/></IntegrityRule>");
}

TEST(XMLObjectXml, CaseHandlingOfNames)
{
    const char* xml =
        "<integrityrule ID=\"4\" Name=\"r\"><fileset BASE=\"/opt\"><KEY "
        "pattern=\"/opt/*\"/></fileset></integrityrule>";
    struct Case
    {
        const char* name;
        bool caseInsensitive;
        bool read;
        long long id;
        size_t sets;
        const char* base;
        size_t keys;
    };
    const Case cases[] = {
        {"case-sensitive object refuses another case", false, false, 0, 0, "", 0},
        {"case-insensitive object matches any case", true, true, 4, 1, "/opt", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TestRule rule(c.caseInsensitive);
        EXPECT_EQ(rule.FromXML(W(xml)), c.read);
        EXPECT_EQ(rule.m_id, c.id);
        ASSERT_EQ(rule.m_sets.GetCount(), c.sets);
        if (c.sets > 0) {
            const TestSet& set = *static_cast<const TestSet*>(rule.m_sets.Children()[0]);
            EXPECT_EQ(U8(set.m_base), c.base);
            EXPECT_EQ(set.m_keys.GetCount(), c.keys);
        }
        // Names are written as declared.
        if (c.read) {
            EXPECT_EQ(U8(rule.toString()).rfind("<IntegrityRule id=\"4\" name=\"r\"", 0), 0u);
        }
    }

    // A case-sensitive rule reads matching names but treats other spellings as unknown.
    TestRule strict;
    ASSERT_TRUE(strict.FromXML(W("<IntegrityRule ID=\"4\"><fileset/><FileSet/></IntegrityRule>")));
    EXPECT_EQ(strict.m_id, 0);
    EXPECT_EQ(strict.m_sets.GetCount(), 1u);
    EXPECT_EQ(strict.m_unknownChildren, (std::vector<std::string>{"fileset"}));
}

TEST(XMLObjectXml, MalformedOrForeignDocumentsLeaveDefaults)
{
    struct Case
    {
        const char* name;
        const char* xml;
        const char* logged;  // part of the error line
    };
    const Case cases[] = {
        {"mismatched tag", "<IntegrityRule id=\"9\">\n  <FileSet base=\"/x\">\n</IntegrityRule>",
         "line 3, column 2: mismatched tag"},
        {"unclosed attribute", "<IntegrityRule id=\"9\" name=\"oops/>", "line 1, column "},
        {"truncated", "<IntegrityRule id=\"9\"><FileSet base=\"/x\"/>",
         "line 1, column 42: no element found"},
        {"empty document", "", "line 1, column 0: no element found"},
        {"two roots", "<IntegrityRule/><IntegrityRule/>", "junk after document element"},
        {"another element", "<IntegrityRules><IntegrityRule id=\"9\"/></IntegrityRules>",
         "expected the element <IntegrityRule> but found <IntegrityRules> (line 1, column 0)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TestRule rule;
        ASSERT_TRUE(rule.FromXML(W(kRuleXml)));  // filled before the failed read
        LogCapture log;
        EXPECT_FALSE(rule.FromXML(W(c.xml)));
        EXPECT_TRUE(log.Contains(LogLevel::Error, c.logged));
        TestRule fresh;
        EXPECT_EQ(U8(rule.toString()), U8(fresh.toString()));
        EXPECT_EQ(rule.m_sets.GetCount(), 0u);
        EXPECT_FALSE(rule.IsElementPresent());
        EXPECT_FALSE(rule.AttributeWasParsed(&rule.m_id));
    }
}

TEST(XMLObjectXml, StreamForms)
{
    struct Case
    {
        const char* name;
        std::string bytes;
        bool read;
        const char* hash;
    };
    const Case cases[] = {
        {"UTF-8 document",
         "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<IntegrityRule hash=\"\xc3\xa9t\xc3\xa9\"/>", true,
         "\xc3\xa9t\xc3\xa9"},
        {"large document", "<IntegrityRule hash=\"" + std::string(200000, 'a') + "\"/>", true, nullptr},
        {"broken document", "<IntegrityRule hash=\"x\">", false, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        wxMemoryInputStream in(c.bytes.data(), c.bytes.size());
        TestRule rule;
        EXPECT_EQ(rule.FromXML(in), c.read);
        if (c.hash != nullptr)
            EXPECT_EQ(U8(rule.m_hash), c.hash);
        else
            EXPECT_EQ(rule.m_hash.length(), 200000u);
        if (!c.read) continue;

        wxMemoryOutputStream out;
        ASSERT_TRUE(rule.WriteXML(out, -1));
        std::string written(out.GetLength(), '\0');
        out.CopyTo(&written[0], written.size());
        EXPECT_EQ(written, U8(rule.toString()));
    }
}

TEST(XMLObjectXml, PrintNamesAndSeparator)
{
    TestEntity entity;
    entity.m_entityId = 12;
    entity.m_key = W("/etc/h\xc3\xb6sts");
    entity.SetAttributeNull(&entity.m_supercededBy);
    struct Case
    {
        const char* names;
        const char* separator;
        const char* expected;
    };
    const Case cases[] = {
        {"entityId,key", ", ", "entityId=12, key=/etc/h\xc3\xb6sts"},
        {" key , supercededBy ", "|", "key=/etc/h\xc3\xb6sts|supercededBy=NULL"},
        {"nosuch,severity", " ", "severity=3"},
        {"", ";",
         "entityId=12;entityType=;key=/etc/"
         "h\xc3\xb6sts;whenScanned=0;severity=3;onChange=true;attributeHash=;"
         "supercededBy=NULL"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string("names \"") + c.names + "\"");
        EXPECT_EQ(U8(entity.Print(W(c.names), W(c.separator))), c.expected);
    }
}

// ---------------------------------------------------------------- state

TEST(XMLObjectState, DefaultsNullFlagsAndNames)
{
    TestEntity entity;
    struct Case
    {
        const char* name;
        const void* field;
        const char* expected;
    };
    const Case cases[] = {
        {"key", &entity.m_entityId, "entityId"},
        {"text", &entity.m_key, "key"},
        {"int", &entity.m_severity, "severity"},
        {"bool", &entity.m_onChange, "onChange"},
        {"blob", &entity.m_attributeHash, "attributeHash"},
        {"not declared", &entity.m_loads, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(U8(entity.GetAttributeName(c.field)), c.expected);
        EXPECT_FALSE(entity.IsAttributeNull(c.field));
        entity.SetAttributeNull(c.field);
        EXPECT_EQ(entity.IsAttributeNull(c.field), *c.expected != '\0');
    }

    ASSERT_TRUE(
        entity.FromXML(W("<Entity key=\"k\" severity=\"8\" onChange=\"false\"><Attributes>"
                         "<Attribute name=\"a\"/></Attributes></Entity>")));
    EXPECT_FALSE(entity.IsAttributeNull(&entity.m_key));  // reading reset the flags
    EXPECT_EQ(entity.m_attributes.GetCount(), 1u);
    entity.SetAttributeNull(&entity.m_severity);
    entity.SetToDefaults();
    EXPECT_EQ(entity.m_severity, 3);
    EXPECT_TRUE(entity.m_onChange);
    EXPECT_TRUE(entity.m_key.empty());
    EXPECT_FALSE(entity.IsAttributeNull(&entity.m_severity));
    EXPECT_FALSE(entity.AttributeWasParsed(&entity.m_key));
    EXPECT_FALSE(entity.IsElementPresent());
    EXPECT_EQ(entity.m_attributes.GetCount(), 0u);
    EXPECT_FALSE(entity.m_attributes.IsElementPresent());

    CScanStatus status;
    EXPECT_EQ(status.GetState(), CScanStatus::Idle);
    EXPECT_EQ(U8(status.GetAttributeName(&status.m_state)), "state");
    status.SetState(CScanStatus::InProgress);
    EXPECT_EQ(U8(status.toString()), "<ScanStatus state=\"1\"/>");
    EXPECT_EQ(static_cast<int>(CScanStatus::NotSupported), 5);
}

TEST(XMLObjectState, CopyFromIsDeep)
{
    TestRule source;
    ASSERT_TRUE(source.FromXML(W(kRuleXml)));
    source.SetAttributeNull(&source.m_hash);

    TestRule copy;
    ASSERT_TRUE(copy.CopyFrom(source));
    EXPECT_EQ(U8(copy.toString()), U8(source.toString()));
    EXPECT_TRUE(copy.IsAttributeNull(&copy.m_hash));
    EXPECT_TRUE(copy.AttributeWasParsed(&copy.m_severity));
    ASSERT_EQ(copy.m_sets.GetCount(), 2u);
    EXPECT_NE(copy.m_sets.Children()[0], source.m_sets.Children()[0]);

    // Changing the copy leaves the source alone.
    auto* copiedSet = static_cast<TestSet*>(copy.m_sets.Children()[0]);
    copiedSet->m_base = W("/changed");
    static_cast<TestKey*>(copiedSet->m_keys.Children()[0])->m_pattern = W("/changed/*");
    const auto* sourceSet = static_cast<const TestSet*>(source.m_sets.Children()[0]);
    EXPECT_EQ(U8(sourceSet->m_base), "/etc");
    EXPECT_EQ(U8(static_cast<const TestKey*>(sourceSet->m_keys.Children()[0])->m_pattern), "/etc/*.conf");

    struct Case
    {
        const char* name;
        std::function<bool(TestRule&)> copyInto;
        bool copied;
    };
    const Case cases[] = {
        {"same class", [&](TestRule& target) { return target.CopyFrom(source); }, true},
        {"itself", [](TestRule& target) { return target.CopyFrom(target); }, true},
        {"other class",
         [](TestRule& target) {
             TestEntity other;
             return target.CopyFrom(other);
         },
         false},
        {"list into object",
         [](TestRule& target) {
             TestRules other;
             return target.CopyFrom(other);
         },
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TestRule target;
        target.m_severity = 99;
        EXPECT_EQ(c.copyInto(target), c.copied);
        if (!c.copied) {
            EXPECT_EQ(target.m_severity, 99);
        }
    }

    TestRules rules;
    rules.Append(new TestRule)->CopyFrom(source);
    TestRules rulesCopy;
    ASSERT_TRUE(rulesCopy.CopyFrom(rules));
    ASSERT_EQ(rulesCopy.GetCount(), 1u);
    EXPECT_EQ(U8(rulesCopy.toString()), U8(rules.toString()));
}

TEST(XMLObjectState, EnumChildObjectsAndHasChildElements)
{
    TestRule rule;
    ASSERT_TRUE(rule.FromXML(W(kRuleXml)));
    struct Visit
    {
        std::vector<std::string> names;
        size_t stopAfter;
    };
    auto callback = [](XMLObject*, XMLObject* child, void* context) {
        auto* visit = static_cast<Visit*>(context);
        visit->names.push_back(U8(child->GetElementName()));
        return visit->names.size() < visit->stopAfter;
    };
    struct Case
    {
        const char* name;
        XMLObject* object;
        size_t stopAfter;
        bool result;
        std::vector<std::string> names;
    };
    const Case cases[] = {
        {"declared children of a rule", &rule, 10, true, {"FileSets"}},
        {"items of a list", &rule.m_sets, 10, true, {"FileSet", "FileSet"}},
        {"stopped by the callback", &rule.m_sets, 1, false, {"FileSet"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Visit visit{{}, c.stopAfter};
        EXPECT_EQ(c.object->EnumChildObjects(callback, &visit), c.result);
        EXPECT_EQ(visit.names, c.names);
    }

    TestKey key;
    EXPECT_FALSE(key.HasChildElements());
    EXPECT_TRUE(rule.HasChildElements());
    TestRule empty;
    EXPECT_FALSE(empty.HasChildElements());  // only an empty inline list
}

// ---------------------------------------------------------------- SQL

class SqlFixture
{
public:
    SqlFixture()
    {
        m_db.Open(wxString::FromUTF8((m_dir / "test.db").c_str()));
        m_db.ExecuteUpdate(
            "CREATE TABLE Entitys (entityId INTEGER PRIMARY KEY, entityType TEXT, key TEXT, whenScanned "
            "INTEGER,"
            " severity INTEGER, onChange INTEGER, attributeHash BLOB, supercededBy INTEGER, extra TEXT "
            "DEFAULT 'x');");
        m_db.ExecuteUpdate(
            "CREATE TABLE Attributes (attributeId INTEGER PRIMARY KEY, entityId INTEGER, name TEXT, value "
            "TEXT);");
    }
    ~SqlFixture() { m_db.Close(); }
    wxSQLite3Database& db() { return m_db; }
    std::string Scalar(const std::string& sql)
    {
        wxSQLite3ResultSet rows = m_db.ExecuteQuery(wxString::FromUTF8(sql.c_str()));
        if (!rows.NextRow()) return "<no row>";
        return rows.IsNull(0) ? "<null>" : U8(rows.GetAsString(0));
    }

private:
    TempDir m_dir;
    wxSQLite3Database m_db;
};

TEST(XMLObjectSql, StatementTexts)
{
    TestEntity entity;
    TestAttribute attribute;
    struct Case
    {
        const char* name;
        wxString text;
        const char* expected;
    };
    const Case cases[] = {
        {"insert", entity.GetSQLInsertStatement(wxT("Entitys")),
         "INSERT INTO [Entitys] "
         "([entityId],[entityType],[key],[whenScanned],[severity],[onChange],[attributeHash],"
         "[supercededBy]) VALUES (?1,?2,?3,?4,?5,?6,?7,?8);"},
        {"update", entity.GetSQLUpdateStatement(wxT("Entitys")),
         "UPDATE [Entitys] SET [entityType]=?1,[key]=?2,[whenScanned]=?3,[severity]=?4,[onChange]=?5,"
         "[attributeHash]=?6,[supercededBy]=?7 WHERE [entityId]=?8;"},
        {"delete", entity.GetSQLDeleteStatement(wxT("Entitys")),
         "DELETE FROM [Entitys] WHERE [entityId]=?1;"},
        {"select", entity.GetSQLSelectStatement(wxT("Entitys")),
         "SELECT * FROM [Entitys] WHERE [entityId]=?1;"},
        {"another table, same class", entity.GetSQLDeleteStatement(wxT("Old Entitys")),
         "DELETE FROM [Old Entitys] WHERE [entityId]=?1;"},
        {"attached schema", attribute.GetSQLInsertStatement(wxT("journal.Attributes")),
         "INSERT INTO [journal].[Attributes] ([attributeId],[entityId],[name],[value]) VALUES "
         "(?1,?2,?3,?4);"},
        {"key only", CIdObject().GetSQLUpdateStatement(wxT("Ids")),
         "UPDATE [Ids] SET [id]=?1 WHERE [id]=?1;"},
        {"no attributes", TestAttributes().GetSQLInsertStatement(wxT("Empty")),
         "INSERT INTO [Empty] DEFAULT VALUES;"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(U8(c.text), c.expected);
    }

    // The texts follow the declarations, also after a column is removed.
    TestAttribute trimmed;
    ASSERT_TRUE(trimmed.RemoveAttribute(&trimmed.m_entityId));
    EXPECT_FALSE(trimmed.RemoveAttribute(&trimmed.m_entityId));
    EXPECT_EQ(U8(trimmed.GetSQLInsertStatement(wxT("Attributes"))),
              "INSERT INTO [Attributes] ([attributeId],[name],[value]) VALUES (?1,?2,?3);");
    EXPECT_EQ(U8(attribute.GetSQLInsertStatement(wxT("Attributes"))),
              "INSERT INTO [Attributes] ([attributeId],[entityId],[name],[value]) VALUES (?1,?2,?3,?4);");

    struct Failure
    {
        const char* name;
        std::function<void()> call;
    };
    TestKey keyless;
    const Failure failures[] = {
        {"update without key", [&] { keyless.GetSQLUpdateStatement(wxT("Keys")); }},
        {"delete without key", [&] { keyless.GetSQLDeleteStatement(wxT("Keys")); }},
        {"select without key", [&] { keyless.GetSQLSelectStatement(wxT("Keys")); }},
        {"no table", [&] { entity.GetSQLInsertStatement(wxString()); }},
    };
    for (const Failure& f : failures) {
        SCOPED_TRACE(f.name);
        EXPECT_THROW(f.call(), wxSQLite3Exception);
    }
}

TEST(XMLObjectSql, XmlToRowToObjectWithNulls)
{
    const char* xml =
        "<Entity entityType=\"File\" key=\"/etc/caf\xc3\xa9 &amp; \xe2\x82\xac.conf\" "
        "whenScanned=\"1700000000123\""
        " severity=\"-2\" onChange=\"false\" attributeHash=\"00ff10\" supercededBy=\"9223372036854775807\"/>";
    struct Case
    {
        const char* name;
        std::vector<std::string> nullFields;
        std::vector<std::string> nullColumns;  // typeof() = null in the row
    };
    const Case cases[] = {
        {"no nulls", {}, {}},
        {"text and 64-bit null", {"key", "supercededBy"}, {"key", "supercededBy"}},
        {"int, bool and blob null",
         {"severity", "onChange", "attributeHash"},
         {"severity", "onChange", "attributeHash"}},
        {"a null key lets SQLite assign the id", {"entityId"}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SqlFixture sql;
        TestEntity entity;
        ASSERT_TRUE(entity.FromXML(W(xml)));
        const std::vector<std::pair<std::string, const void*>> fields = {
            {"entityId", &entity.m_entityId},
            {"entityType", &entity.m_entityType},
            {"key", &entity.m_key},
            {"whenScanned", &entity.m_whenScanned},
            {"severity", &entity.m_severity},
            {"onChange", &entity.m_onChange},
            {"attributeHash", &entity.m_attributeHash},
            {"supercededBy", &entity.m_supercededBy},
        };
        for (const auto& field : fields) {
            for (const std::string& name : c.nullFields) {
                if (name == field.first) entity.SetAttributeNull(field.second);
            }
        }

        const long long id = entity.SQLInsert(sql.db(), TestEntitys::ElementName());
        EXPECT_GT(id, 0);
        EXPECT_EQ(entity.m_entityId, id);
        EXPECT_FALSE(entity.IsAttributeNull(&entity.m_entityId));

        for (const auto& field : fields) {
            SCOPED_TRACE(field.first);
            const bool expectNull =
                std::find(c.nullColumns.begin(), c.nullColumns.end(), field.first) != c.nullColumns.end();
            const std::string type = sql.Scalar("SELECT typeof([" + field.first +
                                                "]) FROM Entitys WHERE entityId=" + std::to_string(id));
            EXPECT_EQ(type == "null", expectNull) << type;
        }
        EXPECT_EQ(
            sql.Scalar("SELECT hex(attributeHash) FROM Entitys WHERE attributeHash NOT NULL"),
            std::find(c.nullColumns.begin(), c.nullColumns.end(), "attributeHash") == c.nullColumns.end()
                ? "00FF10"
                : "<no row>");
        // Text is stored as UTF-8 bytes.
        EXPECT_EQ(sql.Scalar("SELECT hex(CAST(key AS BLOB)) FROM Entitys WHERE key NOT NULL"),
                  std::find(c.nullColumns.begin(), c.nullColumns.end(), "key") == c.nullColumns.end()
                      ? "2F6574632F636166C3A9202620E282AC2E636F6E66"
                      : "<no row>");
        EXPECT_EQ(sql.Scalar("SELECT key FROM Entitys WHERE key NOT NULL"),
                  std::find(c.nullColumns.begin(), c.nullColumns.end(), "key") == c.nullColumns.end()
                      ? "/etc/caf\xc3\xa9 & \xe2\x82\xac.conf"
                      : "<no row>");

        TestEntity loaded;
        loaded.m_entityId = id;
        ASSERT_TRUE(loaded.SQLLoad(sql.db(), TestEntitys::ElementName()));
        EXPECT_EQ(loaded.m_loads, 1);
        EXPECT_EQ(U8(loaded.toString()), U8(entity.toString()));
        const std::vector<const void*> loadedFields = {
            &loaded.m_entityId, &loaded.m_entityType, &loaded.m_key,           &loaded.m_whenScanned,
            &loaded.m_severity, &loaded.m_onChange,   &loaded.m_attributeHash, &loaded.m_supercededBy,
        };
        for (size_t i = 0; i < fields.size(); ++i) {
            SCOPED_TRACE(fields[i].first);
            EXPECT_EQ(loaded.IsAttributeNull(loadedFields[i]), entity.IsAttributeNull(fields[i].second));
            EXPECT_TRUE(loaded.AttributeWasParsed(loadedFields[i]));
        }
        if (!loaded.IsAttributeNull(&loaded.m_supercededBy)) {
            EXPECT_EQ(loaded.m_supercededBy, 9223372036854775807LL);
        }
        // A NULL column leaves the default value behind its null flag.
        EXPECT_EQ(loaded.m_severity, loaded.IsAttributeNull(&loaded.m_severity) ? 3 : -2);

        // A null attribute written back stays NULL.
        EXPECT_EQ(loaded.SQLUpdate(sql.db(), TestEntitys::ElementName()), 1);
        EXPECT_EQ(
            sql.Scalar("SELECT count(*) FROM Entitys WHERE key IS NULL"),
            std::find(c.nullColumns.begin(), c.nullColumns.end(), "key") == c.nullColumns.end() ? "0" : "1");
    }
}

TEST(XMLObjectSql, UpdateDeleteAndLoadByKey)
{
    SqlFixture sql;
    TestEntity first;
    first.m_entityType = W("File");
    first.m_key = W("/a");
    const long long firstId = first.SQLInsert(sql.db(), wxT("Entitys"));
    TestEntity second;
    second.m_key = W("/b");
    const long long secondId = second.SQLInsert(sql.db(), wxT("Entitys"));
    EXPECT_EQ(secondId, firstId + 1);

    first.m_key = W("/a2");
    first.SetAttributeValue(&first.m_supercededBy, secondId);
    EXPECT_EQ(first.SQLUpdate(sql.db(), wxT("Entitys")), 1);

    struct Case
    {
        const char* name;
        long long id;
        bool found;
        const char* key;
        long long supercededBy;
    };
    const Case cases[] = {
        {"updated row", firstId, true, "/a2", secondId},
        {"other row untouched", secondId, true, "/b", 0},
        {"no such row", secondId + 10, false, "unchanged", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TestEntity loaded;
        loaded.m_entityId = c.id;
        loaded.m_key = W("unchanged");
        EXPECT_EQ(loaded.SQLLoad(sql.db(), wxT("Entitys")), c.found);
        EXPECT_EQ(U8(loaded.m_key), c.key);
        EXPECT_EQ(loaded.m_supercededBy, c.supercededBy);
        EXPECT_EQ(loaded.m_entityId, c.id);
    }

    // A list loads the table named by its element name, one item per row.
    TestEntitys all;
    EXPECT_TRUE(all.SQLLoad(sql.db()));
    std::vector<std::string> keys;
    for (const XMLObject* item : all.Children()) {
        const auto& entity = *static_cast<const TestEntity*>(item);
        keys.push_back(U8(entity.m_key));
        EXPECT_EQ(entity.m_loads, 1);
    }
    EXPECT_EQ(keys, (std::vector<std::string>{"/a2", "/b"}));

    EXPECT_EQ(first.SQLDelete(sql.db(), wxT("Entitys")), 1);
    EXPECT_EQ(first.SQLDelete(sql.db(), wxT("Entitys")), 0);
    EXPECT_EQ(sql.Scalar("SELECT group_concat(key) FROM Entitys"), "/b");

    // An explicit key is inserted as given.
    TestEntity explicitId;
    explicitId.m_entityId = 1000;
    EXPECT_EQ(explicitId.SQLInsert(sql.db(), wxT("Entitys")), 1000);
    EXPECT_EQ(sql.Scalar("SELECT count(*) FROM Entitys WHERE entityId=1000"), "1");
    // A duplicate one is the database's error.
    TestEntity duplicate;
    duplicate.m_entityId = 1000;
    EXPECT_THROW(duplicate.SQLInsert(sql.db(), wxT("Entitys")), wxSQLite3Exception);
    EXPECT_THROW(TestKey().SQLDelete(sql.db(), wxT("Entitys")), wxSQLite3Exception);
}

TEST(XMLObjectSql, PreparedStatementsAndListLoads)
{
    SqlFixture sql;
    TestAttribute prototype;
    wxSQLite3Statement insert = sql.db().PrepareStatement(prototype.GetSQLInsertStatement(wxT("Attributes")));
    struct Case
    {
        const char* name;
        const char* value;
        bool nullValue;
    };
    const Case cases[] = {
        {"size", "4096", false},
        {"owner", "r\xc3\xb6\xc3\xb6t", false},
        {"empty", "", false},
        {"missing", "", true},
    };
    std::vector<long long> ids;
    sql.db().Begin();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TestAttribute row;
        row.m_entityId = 77;
        row.m_name = W(c.name);
        row.m_value = W(c.value);
        row.SetAttributeNull(&row.m_value, c.nullValue);
        const long long id = row.SQLInsert(sql.db(), insert);
        EXPECT_EQ(row.m_attributeId, id);
        if (!ids.empty()) {
            EXPECT_GT(id, ids.back());
        }
        ids.push_back(id);
    }
    sql.db().Commit();

    TestAttributes list;
    ASSERT_TRUE(list.SQLLoad(sql.db()));
    ASSERT_EQ(list.GetCount(), std::size(cases));
    for (size_t i = 0; i < std::size(cases); ++i) {
        const Case& c = cases[i];
        SCOPED_TRACE(c.name);
        const auto& row = *static_cast<const TestAttribute*>(list.Children()[i]);
        EXPECT_EQ(row.m_attributeId, ids[i]);
        EXPECT_EQ(row.m_entityId, 77);
        EXPECT_EQ(U8(row.m_name), c.name);
        EXPECT_EQ(U8(row.m_value), c.value);
        EXPECT_EQ(row.IsAttributeNull(&row.m_value), c.nullValue);
    }

    // The list's Lua and XML forms see the loaded rows.
    EXPECT_EQ(U8(list.toString())
                  .rfind("<Attributes><Attribute attributeId=\"1\" entityId=\"77\" name=\"size\"", 0),
              0u);

    // Result sets with other columns: unknown ones ignored, missing ones at defaults.
    struct Query
    {
        const char* name;
        const char* sql;
        size_t rows;
        const char* firstName;
        long long firstEntityId;
        const char* firstValue;
    };
    const Query queries[] = {
        {"extra and renamed columns", "SELECT attributeId, 5 AS ENTITYID, name, 'x' AS other FROM Attributes",
         4, "size", 5, ""},
        {"only some columns", "SELECT value FROM Attributes WHERE name='owner'", 1, "", 0,
         "r\xc3\xb6\xc3\xb6t"},
        {"no rows", "SELECT * FROM Attributes WHERE 0", 0, nullptr, 0, nullptr},
    };
    for (const Query& q : queries) {
        SCOPED_TRACE(q.name);
        TestAttributes loaded;
        loaded.Append(new TestAttribute);  // replaced by the load
        wxSQLite3ResultSet rows = sql.db().ExecuteQuery(W(q.sql));
        EXPECT_EQ(loaded.SQLLoad(rows), q.rows > 0);
        ASSERT_EQ(loaded.GetCount(), q.rows);
        if (q.rows == 0) continue;
        const auto& first = *static_cast<const TestAttribute*>(loaded.Children()[0]);
        EXPECT_EQ(U8(first.m_name), q.firstName);
        EXPECT_EQ(first.m_entityId, q.firstEntityId);
        EXPECT_EQ(U8(first.m_value), q.firstValue);
        EXPECT_EQ(first.AttributeWasParsed(&first.m_name), *q.firstName != '\0');
    }

    // A single object reads the current row only.
    wxSQLite3ResultSet rows = sql.db().ExecuteQuery("SELECT * FROM Attributes ORDER BY attributeId DESC");
    ASSERT_TRUE(rows.NextRow());
    TestAttribute last;
    EXPECT_TRUE(last.SQLLoad(rows));
    EXPECT_EQ(U8(last.m_name), "missing");
    wxSQLite3ResultSet unrelated = sql.db().ExecuteQuery("SELECT 1 AS unrelated");
    ASSERT_TRUE(unrelated.NextRow());
    EXPECT_FALSE(last.SQLLoad(unrelated));
    EXPECT_TRUE(last.m_name.empty());

    // Prepared update and delete statements.
    wxSQLite3Statement update = sql.db().PrepareStatement(prototype.GetSQLUpdateStatement(wxT("Attributes")));
    wxSQLite3Statement remove = sql.db().PrepareStatement(prototype.GetSQLDeleteStatement(wxT("Attributes")));
    for (XMLObject* item : list.Children()) {
        auto* row = static_cast<TestAttribute*>(item);
        row->SetAttributeValue(&row->m_value, row->m_name + wxT("!"));
        EXPECT_EQ(row->SQLUpdate(update), 1);
    }
    EXPECT_EQ(sql.Scalar("SELECT group_concat(value, ',') FROM Attributes"), "size!,owner!,empty!,missing!");
    for (XMLObject* item : list.Children()) EXPECT_EQ(item->SQLDelete(remove), 1);
    EXPECT_EQ(sql.Scalar("SELECT count(*) FROM Attributes"), "0");
}

// ---------------------------------------------------------------- Lua

class LuaState
{
public:
    LuaState() : m_L(luaL_newstate()) { luaL_openlibs(m_L); }
    ~LuaState() { lua_close(m_L); }
    lua_State* get() { return m_L; }

private:
    lua_State* m_L;
};

TEST(XMLObjectLua, PushesTablesWithNativeTypes)
{
    TestEntity entity;
    ASSERT_TRUE(
        entity.FromXML(W("<Entity entityId=\"9007199254740993\" entityType=\"File\" key=\"/etc/\xc3\xa9\""
                         " severity=\"4\" onChange=\"false\" attributeHash=\"00ff\"><Attributes>"
                         "<Attribute attributeId=\"1\" name=\"size\" value=\"10\"/>"
                         "<Attribute attributeId=\"2\" name=\"owner\"/>"
                         "</Attributes></Entity>")));
    entity.SetAttributeNull(&entity.m_supercededBy);
    auto* second = static_cast<TestAttribute*>(entity.m_attributes.Children()[1]);
    second->SetAttributeNull(&second->m_name);
    second->SetAttributeNull(&second->m_value);

    LuaState lua;
    lua_State* L = lua.get();
    const int top = lua_gettop(L);
    entity.toLua(L);
    EXPECT_EQ(lua_gettop(L), top + 1);
    ASSERT_EQ(lua_type(L, -1), LUA_TTABLE);
    lua_setglobal(L, "e");

    struct Case
    {
        const char* expression;
        int type;
        bool integer;
        const char* text;  // tostring() of the value
    };
    const Case cases[] = {
        {"e.entityId", LUA_TNUMBER, true, "9007199254740993"},
        {"e.entityType", LUA_TSTRING, false, "File"},
        {"e.key", LUA_TSTRING, false, "/etc/\xc3\xa9"},
        {"#e.key", LUA_TNUMBER, true, "7"},
        {"e.whenScanned", LUA_TNUMBER, true, "0"},
        {"e.severity", LUA_TNUMBER, true, "4"},
        {"e.onChange", LUA_TBOOLEAN, false, "false"},
        {"e.attributeHash == '\\0\\255'", LUA_TBOOLEAN, false, "true"},
        {"e.supercededBy", LUA_TNIL, false, "nil"},
        {"#e.Attributes", LUA_TNUMBER, true, "2"},
        {"e.Attributes[1].name", LUA_TSTRING, false, "size"},
        {"e.Attributes[1].value", LUA_TSTRING, false, "10"},
        {"e.Attributes[1].attributeId", LUA_TNUMBER, true, "1"},
        {"e.Attributes[2].name", LUA_TNIL, false, "nil"},
        {"e.Attributes[2].value", LUA_TSTRING, false, ""},  // flagged Always
        {"e.Attributes[0]", LUA_TNIL, false, "nil"},
        {"e.Attributes[3]", LUA_TNIL, false, "nil"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expression);
        const std::string chunk = std::string("return ") + c.expression;
        ASSERT_EQ(luaL_dostring(L, chunk.c_str()), LUA_OK) << lua_tostring(L, -1);
        EXPECT_EQ(lua_type(L, -1), c.type);
        EXPECT_EQ(lua_isinteger(L, -1) != 0, c.integer);
        EXPECT_EQ(std::string(luaL_tolstring(L, -1, nullptr)), c.text);
        lua_settop(L, top);
    }

    // A list pushes the array of its items; a rule nests its inline list by name.
    TestRule rule;
    ASSERT_TRUE(rule.FromXML(W(kRuleXml)));
    rule.toLua(L);
    lua_setglobal(L, "r");
    entity.m_attributes.toLua(L);
    lua_setglobal(L, "a");
    const Case nested[] = {
        {"#a", LUA_TNUMBER, true, "2"},
        {"a[1].value", LUA_TSTRING, false, "10"},
        {"r.name", LUA_TSTRING, false, "etc & bin"},
        {"#r.FileSets", LUA_TNUMBER, true, "2"},
        {"r.FileSets[1].onChange", LUA_TBOOLEAN, false, "false"},
        {"#r.FileSets[1].Keys", LUA_TNUMBER, true, "2"},
        {"r.FileSets[1].Keys[2].pattern", LUA_TSTRING, false, "/etc/passwd"},
        {"r.FileSets[1].Options.timeout", LUA_TNUMBER, true, "250"},
        {"r.FileSets[2].Options.followLinks", LUA_TBOOLEAN, false, "false"},
    };
    for (const Case& c : nested) {
        SCOPED_TRACE(c.expression);
        const std::string chunk = std::string("return ") + c.expression;
        ASSERT_EQ(luaL_dostring(L, chunk.c_str()), LUA_OK) << lua_tostring(L, -1);
        EXPECT_EQ(lua_type(L, -1), c.type);
        EXPECT_EQ(lua_isinteger(L, -1) != 0, c.integer);
        EXPECT_EQ(std::string(luaL_tolstring(L, -1, nullptr)), c.text);
        lua_settop(L, top);
    }
}

// ---------------------------------------------------------------- configuration

TEST(XMLObjectConfig, ConfigGetXmlFillsFromTheConfiguration)
{
    CDom dom = CDom::CreateIsolated();
    ASSERT_TRUE(
        dom.SetConfigXml(W("<SecurityConfiguration>"
                           "<AgentConfiguration systemIntegrityCPULimit=\"20\"/>"
                           "<IntegrityRules>"
                           "<IntegrityRule id=\"1\" name=\"first\"><FileSet base=\"/etc\"/></IntegrityRule>"
                           "<IntegrityRule id=\"2\" name=\"second\"/>"
                           "</IntegrityRules>"
                           "</SecurityConfiguration>")));
    struct Case
    {
        const char* name;
        const char* path;
        bool found;
        std::vector<long long> ids;
    };
    const Case cases[] = {
        {"rules", "/SecurityConfiguration/IntegrityRules", true, {1, 2}},
        {"relative path", "IntegrityRules", true, {1, 2}},
        {"absent element", "/SecurityConfiguration/NoRules", false, {}},
        {"element of another kind", "/SecurityConfiguration/AgentConfiguration", false, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TestRules rules;
        rules.Append(new TestRule);  // stale content goes either way
        EXPECT_EQ(dom.ConfigGetXml(W(c.path), rules), c.found);
        std::vector<long long> ids;
        for (const XMLObject* rule : rules.Children())
            ids.push_back(static_cast<const TestRule*>(rule)->m_id);
        EXPECT_EQ(ids, c.ids);
    }

    TestRules rules;
    ASSERT_TRUE(dom.ConfigGetXml(wxT("/SecurityConfiguration/IntegrityRules"), rules));
    const auto& first = *static_cast<const TestRule*>(rules.Children()[0]);
    ASSERT_EQ(first.m_sets.GetCount(), 1u);
    EXPECT_EQ(U8(static_cast<const TestSet*>(first.m_sets.Children()[0])->m_base), "/etc");

    dom.ClearConfig();
    EXPECT_FALSE(dom.ConfigGetXml(wxT("/SecurityConfiguration/IntegrityRules"), rules));
    EXPECT_EQ(rules.GetCount(), 0u);
}

}  // namespace
