// Tests of the XML document tree (core/Xml.h).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "core/Xml.h"

using namespace OrvCore;

namespace {

std::string U8(const wxString& text)
{
    return text.utf8_string();
}

std::unique_ptr<CXmlNode> Parse(const std::string& xml, wxString& error)
{
    return ParseXml(xml.data(), xml.size(), error);
}

std::string Serialized(const CXmlNode& node, int indent = -1)
{
    std::string out;
    node.Serialize(out, indent);
    return out;
}

std::vector<std::string> AttributeNames(const CXmlNode& node)
{
    std::vector<std::string> names;
    for (const auto& attribute : node.attributes) names.push_back(U8(attribute.first));
    return names;
}

// True when both trees have the same names, attributes, text and shape.
::testing::AssertionResult SameTree(const CXmlNode& a, const CXmlNode& b, const std::string& where = "/")
{
    if (a.name != b.name) return ::testing::AssertionFailure() << where << ": name " << U8(a.name) << " vs " << U8(b.name);
    if (a.attributes != b.attributes) return ::testing::AssertionFailure() << where << ": attributes differ";
    if (a.text != b.text)
        return ::testing::AssertionFailure() << where << ": text \"" << U8(a.text) << "\" vs \"" << U8(b.text) << "\"";
    if (a.children.size() != b.children.size()) return ::testing::AssertionFailure() << where << ": child count";
    for (size_t i = 0; i < a.children.size(); ++i) {
        auto result = SameTree(*a.children[i], *b.children[i], where + U8(a.name) + "/");
        if (!result) return result;
    }
    return ::testing::AssertionSuccess();
}

class TempDir
{
public:
    TempDir()
    {
        const char* base = std::getenv("TMPDIR");
        std::string pattern = std::string(base && *base ? base : "/tmp") + "/orv-xml-XXXXXX";
        if (mkdtemp(pattern.data()) != nullptr) m_path = pattern;
    }
    ~TempDir()
    {
        if (!m_path.empty()) {
            std::error_code ignored;
            std::filesystem::remove_all(m_path, ignored);
        }
    }
    const std::string& path() const { return m_path; }

private:
    std::string m_path;
};

}  // namespace

TEST(XmlParse, BuildsTheTree)
{
    const std::string xml =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<SecurityConfiguration version=\"3\" mode=\"strict\">\n"
        "  <AgentConfiguration heartbeat=\"60\"/>\n"
        "  <Rules>\n"
        "    <Rule id=\"1\">  first rule  </Rule>\n"
        "    <Rule id=\"2\">second</Rule>\n"
        "  </Rules>\n"
        "</SecurityConfiguration>\n";
    wxString error = wxT("stale");
    auto root = Parse(xml, error);
    ASSERT_NE(root, nullptr) << U8(error);
    EXPECT_TRUE(error.empty());

    EXPECT_EQ(U8(root->name), "SecurityConfiguration");
    EXPECT_EQ(AttributeNames(*root), (std::vector<std::string>{"version", "mode"}));
    ASSERT_EQ(root->children.size(), 2u);
    // Character data directly inside, kept as it is.
    EXPECT_EQ(U8(root->text), "\n  \n  \n");

    struct Case
    {
        const char* path;
        const char* text;
        int line;
        int column;
        size_t children;
    };
    const Case cases[] = {
        {"/SecurityConfiguration", "\n  \n  \n", 2, 0, 2},
        {"AgentConfiguration", "", 3, 2, 0},
        {"Rules", "\n    \n    \n  ", 4, 2, 2},
        {"Rules/Rule", "  first rule  ", 5, 4, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        const CXmlNode* node = root->Find(wxString::FromUTF8(c.path));
        ASSERT_NE(node, nullptr);
        EXPECT_EQ(U8(node->text), c.text);
        EXPECT_EQ(node->line, c.line);
        EXPECT_EQ(node->column, c.column);
        EXPECT_EQ(node->children.size(), c.children);
    }

    const CXmlNode* rules = root->Child(wxT("Rules"));
    ASSERT_NE(rules, nullptr);
    EXPECT_EQ(U8(rules->children[1]->text), "second");
    ASSERT_NE(rules->children[1]->Attribute(wxT("id")), nullptr);
    EXPECT_EQ(U8(*rules->children[1]->Attribute(wxT("id"))), "2");
    EXPECT_EQ(rules->children[1]->Attribute(wxT("ID")), nullptr);
    EXPECT_EQ(root->Child(wxT("Rule")), nullptr);  // a grandchild, not a child
}

TEST(XmlParse, EntitiesCdataAndCharacterReferences)
{
    struct Case
    {
        const char* name;
        std::string xml;
        const char* text;
        const char* attribute;
    };
    const Case cases[] = {
        {"predefined entities", "<a v=\"&lt;&gt;&amp;&quot;&apos;\">&lt;&gt;&amp;&quot;&apos;</a>", "<>&\"'",
         "<>&\"'"},
        {"CDATA", "<a v=\"\"><![CDATA[<b>&amp;</b>]]></a>", "<b>&amp;</b>", ""},
        {"character references", "<a v=\"&#233;&#x20AC;\">&#233;&#x20AC;&#10;</a>", "\xc3\xa9\xe2\x82\xac\n",
         "\xc3\xa9\xe2\x82\xac"},
        {"text around children", "<a v=\"x\">one<b/>two<c>inner</c>three</a>", "onetwothree", "x"},
        {"attribute whitespace normalised", "<a v=\"1\n2\t3\"></a>", "", "1 2 3"},
        {"line ends normalised", "<a v=\"\">x\r\ny\rz</a>", "x\ny\nz", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        wxString error;
        auto root = Parse(c.xml, error);
        ASSERT_NE(root, nullptr) << U8(error);
        EXPECT_EQ(U8(root->text), c.text);
        ASSERT_NE(root->Attribute(wxT("v")), nullptr);
        EXPECT_EQ(U8(*root->Attribute(wxT("v"))), c.attribute);
    }
}

TEST(XmlSerialize, CompactRoundTrip)
{
    struct Case
    {
        const char* name;
        const char* xml;
    };
    const Case cases[] = {
        {"empty element", "<a/>"},
        {"attributes in document order", "<e z=\"1\" a=\"2\" m=\"3\"/>"},
        {"text", "<a>hello world</a>"},
        {"text and children", "<a x=\"1\">text<b/><c k=\"v\">inner</c></a>"},
        {"deep", "<a><b><c><d e=\"f\"/></c></b></a>"},
        {"escaped text", "<a>1 &lt; 2 &amp;&amp; 3 &gt; 2</a>"},
        {"escaped attribute", "<a v=\"&quot;q&quot; &apos;s&apos; &lt;&amp;&gt; &#10;&#13;&#9;\"/>"},
        {"non-ASCII", "<caf\xc3\xa9 \xc3\xa9t\xc3\xa9=\"\xe2\x82\xac\xf0\x9f\x98\x80\">\xd0\xb4\xd0\xb0</caf\xc3\xa9>"},
        {"whitespace text kept", "<a> \n <b/></a>"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        wxString error;
        auto root = Parse(c.xml, error);
        ASSERT_NE(root, nullptr) << U8(error);
        EXPECT_EQ(Serialized(*root), c.xml);
        EXPECT_EQ(U8(root->ToString()), c.xml);
    }
}

TEST(XmlSerialize, EscapingRoundTrip)
{
    const char* values[] = {
        "plain",
        "&",
        "<tag>",
        "a > b",
        "\"double\"",
        "'single'",
        "mixed & < > \" ' all",
        "line\nbreak",
        "crlf\r\nend",
        "tab\there",
        "  leading and trailing  ",
        "&amp; already escaped",
        "]]> cdata end",
        "\xc3\xa9\xe2\x82\xac non-ASCII",
    };
    for (const char* value : values) {
        SCOPED_TRACE(value);
        CXmlNode node;
        node.name = wxT("item");
        node.attributes.emplace_back(wxT("value"), wxString::FromUTF8(value));
        node.attributes.emplace_back(wxT("other"), wxT("x"));
        node.text = wxString::FromUTF8(value);
        auto child = std::make_unique<CXmlNode>();
        child->name = wxT("child");
        child->text = wxString::FromUTF8(value);
        node.children.push_back(std::move(child));

        for (int indent : {-1, 0, 2}) {
            SCOPED_TRACE(indent);
            wxString error;
            const std::string xml = Serialized(node, indent);
            auto back = Parse(xml, error);
            ASSERT_NE(back, nullptr) << U8(error) << "\n" << xml;
            ASSERT_NE(back->Attribute(wxT("value")), nullptr);
            EXPECT_EQ(U8(*back->Attribute(wxT("value"))), value);
            EXPECT_EQ(AttributeNames(*back), (std::vector<std::string>{"value", "other"}));
            ASSERT_EQ(back->children.size(), 1u);
            EXPECT_EQ(U8(back->children[0]->text), value);
            if (indent < 0) {
                EXPECT_EQ(U8(back->text), value);
            }
        }
    }
}

TEST(XmlSerialize, EscapeHelpers)
{
    struct Case
    {
        const char* input;
        const char* text;
        const char* attribute;
    };
    const Case cases[] = {
        {"", "", ""},
        {"abc", "abc", "abc"},
        {"a&b", "a&amp;b", "a&amp;b"},
        {"<>", "&lt;&gt;", "&lt;&gt;"},
        {"\"'", "\"'", "&quot;&apos;"},
        {"a\nb\tc", "a\nb\tc", "a&#10;b&#9;c"},
        {"a\rb", "a&#13;b", "a&#13;b"},
        {"\xc3\xa9", "\xc3\xa9", "\xc3\xa9"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.input);
        EXPECT_EQ(U8(XmlEscape(wxString::FromUTF8(c.input), false)), c.text);
        EXPECT_EQ(U8(XmlEscape(wxString::FromUTF8(c.input), true)), c.attribute);
        std::string out = "prefix:";
        XmlEscapeUtf8(c.input, true, out);
        EXPECT_EQ(out, std::string("prefix:") + c.attribute);
    }
}

TEST(XmlSerialize, Indented)
{
    const std::string xml = "<root a=\"1\"><empty/><leaf k=\"v\">text</leaf><branch><inner/></branch></root>";
    wxString error;
    auto root = Parse(xml, error);
    ASSERT_NE(root, nullptr) << U8(error);

    struct Case
    {
        int indent;
        const char* expected;
    };
    const Case cases[] = {
        {-1, "<root a=\"1\"><empty/><leaf k=\"v\">text</leaf><branch><inner/></branch></root>"},
        {0,
         "<root a=\"1\">\n<empty/>\n<leaf k=\"v\">text</leaf>\n<branch>\n<inner/>\n</branch>\n</root>"},
        {2,
         "<root a=\"1\">\n"
         "  <empty/>\n"
         "  <leaf k=\"v\">text</leaf>\n"
         "  <branch>\n"
         "    <inner/>\n"
         "  </branch>\n"
         "</root>"},
        {4,
         "<root a=\"1\">\n"
         "    <empty/>\n"
         "    <leaf k=\"v\">text</leaf>\n"
         "    <branch>\n"
         "        <inner/>\n"
         "    </branch>\n"
         "</root>"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.indent);
        EXPECT_EQ(Serialized(*root, c.indent), c.expected);
        EXPECT_EQ(U8(root->ToString(c.indent)), c.expected);
        // Reading the laid-out text back and laying it out again changes nothing.
        auto again = Parse(c.expected, error);
        ASSERT_NE(again, nullptr) << U8(error);
        EXPECT_EQ(Serialized(*again, c.indent), c.expected);
    }

    // A subtree written at a deeper level starts at that level's indentation.
    std::string out;
    root->Child(wxT("branch"))->Serialize(out, 2, 1);
    EXPECT_EQ(out, "  <branch>\n    <inner/>\n  </branch>");
}

TEST(XmlFind, Paths)
{
    const std::string xml =
        "<SecurityConfiguration>"
        "<AgentConfiguration id=\"first\"><Log level=\"info\"/></AgentConfiguration>"
        "<AgentConfiguration id=\"second\"><Log level=\"debug\"/><Extra/></AgentConfiguration>"
        "<Plugins><Plugin name=\"im\"><Options/></Plugin></Plugins>"
        "</SecurityConfiguration>";
    wxString error;
    auto root = Parse(xml, error);
    ASSERT_NE(root, nullptr) << U8(error);

    struct Case
    {
        const char* path;
        const char* expectedName;  // null: not found
        const char* expectedId;    // id attribute of the found node, when it has one
    };
    const Case cases[] = {
        {"/SecurityConfiguration", "SecurityConfiguration", nullptr},
        {"/SecurityConfiguration/AgentConfiguration", "AgentConfiguration", "first"},
        {"AgentConfiguration", "AgentConfiguration", "first"},
        {"AgentConfiguration/Log", "Log", nullptr},
        {"/SecurityConfiguration/Plugins/Plugin/Options", "Options", nullptr},
        {"Plugins//Plugin/", "Plugin", nullptr},
        {"//SecurityConfiguration//Plugins", "Plugins", nullptr},
        {"", "SecurityConfiguration", nullptr},
        {"/", "SecurityConfiguration", nullptr},
        {"/AgentConfiguration", nullptr, nullptr},
        {"SecurityConfiguration", nullptr, nullptr},
        {"SecurityConfiguration/AgentConfiguration", nullptr, nullptr},
        {"/securityconfiguration", nullptr, nullptr},
        {"agentconfiguration", nullptr, nullptr},
        {"AgentConfiguration/Extra", nullptr, nullptr},  // only the first match is followed
        {"Plugins/Missing", nullptr, nullptr},
        {"Plugins/Plugin/Options/Deeper", nullptr, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        const CXmlNode* node = root->Find(wxString::FromUTF8(c.path));
        if (c.expectedName == nullptr) {
            EXPECT_EQ(node, nullptr);
            continue;
        }
        ASSERT_NE(node, nullptr);
        EXPECT_EQ(U8(node->name), c.expectedName);
        if (c.expectedId) {
            ASSERT_NE(node->Attribute(wxT("id")), nullptr);
            EXPECT_EQ(U8(*node->Attribute(wxT("id"))), c.expectedId);
        }
    }

    // Relative to an inner node.
    const CXmlNode* plugins = root->Find(wxT("Plugins"));
    ASSERT_NE(plugins, nullptr);
    EXPECT_EQ(plugins->Find(wxT("/Plugins/Plugin")), plugins->children[0].get());
    EXPECT_EQ(plugins->Find(wxT("Plugin/Options")), plugins->children[0]->children[0].get());
    EXPECT_EQ(plugins->Find(wxT("/SecurityConfiguration/Plugins")), nullptr);
}

TEST(XmlParse, MalformedDocumentsReportWhere)
{
    struct Case
    {
        const char* name;
        std::string xml;
        const char* errorPrefix;
    };
    const Case cases[] = {
        {"empty input", "", "line 1, column 0: "},
        {"whitespace only", "  \n  ", "line 2, column 2: "},
        {"mismatched tag", "<a>\n  <b></a>", "line 2, column 7: "},
        {"unclosed root", "<a>\n<b/>\n", "line 3, column 0: "},
        {"bad attribute", "<a>\n\n   <b x=1/></a>", "line 3, column 8: "},
        {"two roots", "<a/><b/>", "line 1, column 4: "},
        {"undefined entity", "<a>&nope;</a>", "line 1, column 3: "},
        {"invalid UTF-8", "<a>\xff</a>", "line 1, column 3: "},
        {"text before root", "x<a/>", "line 1, column 1: "},
        {"unclosed comment", "<a/><!--", "line 1, column 4: "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        wxString error;
        auto root = Parse(c.xml, error);
        EXPECT_EQ(root, nullptr);
        const std::string message = U8(error);
        EXPECT_EQ(message.rfind(c.errorPrefix, 0), 0u) << message;
        EXPECT_GT(message.size(), std::strlen(c.errorPrefix)) << "no parser message";

        // The same through the wxString form, when the bytes are text at all.
        if (std::string(c.name) != "invalid UTF-8") {
            wxString error2;
            EXPECT_EQ(ParseXml(wxString::FromUTF8(c.xml), error2), nullptr);
            EXPECT_EQ(U8(error2), message);
        }
    }
    wxString error;
    EXPECT_EQ(ParseXml(nullptr, 0, error), nullptr);
    EXPECT_EQ(U8(error), "line 1, column 0: no element found");
}

TEST(XmlParse, SuccessClearsAStaleError)
{
    wxString error = wxT("old error");
    auto root = ParseXml(wxString::FromUTF8("<\xc3\xa9l\xc3\xa9ment attr=\"\xe2\x82\xac\"/>"), error);
    ASSERT_NE(root, nullptr);
    EXPECT_TRUE(error.empty());
    EXPECT_EQ(U8(root->name), "\xc3\xa9l\xc3\xa9ment");
    EXPECT_EQ(U8(root->attributes.at(0).first), "attr");
    EXPECT_EQ(U8(root->attributes.at(0).second), "\xe2\x82\xac");
}

TEST(XmlParse, NestingLimit)
{
    struct Case
    {
        const char* name;
        int depth;
        bool ok;
    };
    const Case cases[] = {{"1024 levels", 1024, true}, {"1025 levels", 1025, false}, {"100000 levels", 100000, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string xml;
        for (int i = 0; i < c.depth; ++i) xml += "<n>";
        for (int i = 0; i < c.depth; ++i) xml += "</n>";
        wxString error;
        auto root = Parse(xml, error);
        EXPECT_EQ(root != nullptr, c.ok) << U8(error);
        if (!c.ok) {
            EXPECT_NE(U8(error).find("line 1, column "), std::string::npos) << U8(error);
            EXPECT_NE(U8(error).find("nested too deeply"), std::string::npos) << U8(error);
        }
    }
}

TEST(XmlParse, NonAsciiSurvives)
{
    const std::string xml =
        "<r\xc3\xa9sum\xc3\xa9 \xe5\x90\x8d\xe5\x89\x8d=\"\xd0\x97\xd0\xbd\xd0\xb0\xd1\x87\xd0\xb5\xd0\xbd\xd0\xb8\xd0"
        "\xb5\"><\xce\xb1>\xf0\x9f\x98\x80 &amp; \xc3\xbc</\xce\xb1></r\xc3\xa9sum\xc3\xa9>";
    wxString error;
    auto root = Parse(xml, error);
    ASSERT_NE(root, nullptr) << U8(error);
    EXPECT_EQ(U8(root->name), "r\xc3\xa9sum\xc3\xa9");
    EXPECT_EQ(root->name.length(), 6u);  // characters, not bytes
    ASSERT_EQ(root->attributes.size(), 1u);
    EXPECT_EQ(U8(root->attributes[0].first), "\xe5\x90\x8d\xe5\x89\x8d");
    EXPECT_EQ(U8(root->attributes[0].second), "\xd0\x97\xd0\xbd\xd0\xb0\xd1\x87\xd0\xb5\xd0\xbd\xd0\xb8\xd0\xb5");
    const CXmlNode* alpha = root->Find(wxString::FromUTF8("/r\xc3\xa9sum\xc3\xa9/\xce\xb1"));
    ASSERT_NE(alpha, nullptr);
    EXPECT_EQ(U8(alpha->text), "\xf0\x9f\x98\x80 & \xc3\xbc");
    EXPECT_EQ(Serialized(*root), xml);

    // A document declaring another encoding is still read as UTF-8.
    wxString error2;
    auto declared = Parse("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><a>\xc3\xa9</a>", error2);
    ASSERT_NE(declared, nullptr) << U8(error2);
    EXPECT_EQ(U8(declared->text), "\xc3\xa9");
}

TEST(XmlClone, IsDeepAndIndependent)
{
    const std::string xml = "<a x=\"1\">t<b y=\"2\"><c>inner</c></b><d/></a>";
    wxString error;
    auto original = Parse(xml, error);
    ASSERT_NE(original, nullptr) << U8(error);
    auto copy = original->Clone();
    ASSERT_NE(copy, nullptr);
    EXPECT_TRUE(SameTree(*original, *copy));
    EXPECT_EQ(copy->line, original->line);
    EXPECT_EQ(copy->children[0]->column, original->children[0]->column);
    EXPECT_NE(copy->children[0].get(), original->children[0].get());

    // Changing the copy everywhere leaves the original as parsed.
    copy->name = wxT("z");
    copy->attributes[0].second = wxT("changed");
    copy->text = wxT("other");
    copy->children[0]->children[0]->text = wxT("changed");
    copy->children[0]->attributes.clear();
    copy->children.pop_back();
    EXPECT_EQ(Serialized(*original), xml);
    EXPECT_EQ(Serialized(*copy), "<z x=\"changed\">other<b><c>changed</c></b></z>");

    // And the other way round.
    auto second = original->Clone();
    original.reset();
    EXPECT_EQ(Serialized(*second), xml);
}

TEST(XmlFile, ReadsFilesAndReportsFailures)
{
    TempDir dir;
    ASSERT_FALSE(dir.path().empty());
    const std::string good = dir.path() + "/config \xc3\xa9.xml";
    const std::string content = "<SecurityConfiguration><AgentConfiguration a=\"b\"/></SecurityConfiguration>\n";
    {
        int fd = open(good.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(write(fd, content.data(), content.size()), static_cast<ssize_t>(content.size()));
        close(fd);
    }
    const std::string bad = dir.path() + "/bad.xml";
    {
        int fd = open(bad.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(write(fd, "<a>\n<b>\n", 8), 8);
        close(fd);
    }

    wxString error = wxT("stale");
    auto root = ParseXmlFile(wxString::FromUTF8(good), error);
    ASSERT_NE(root, nullptr) << U8(error);
    EXPECT_TRUE(error.empty());
    const CXmlNode* agent = root->Find(wxT("/SecurityConfiguration/AgentConfiguration"));
    ASSERT_NE(agent, nullptr);
    EXPECT_EQ(U8(*agent->Attribute(wxT("a"))), "b");

    struct Case
    {
        const char* name;
        std::string path;
        std::string expectedError;
    };
    const Case cases[] = {
        {"missing file", dir.path() + "/missing.xml",
         "cannot read " + dir.path() + "/missing.xml: " + std::strerror(ENOENT)},
        {"directory", dir.path(), "cannot read " + dir.path() + ": " + std::strerror(EISDIR)},
        {"malformed content", bad, "line 3, column 0: no element found"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        wxString failure;
        EXPECT_EQ(ParseXmlFile(wxString::FromUTF8(c.path), failure), nullptr);
        EXPECT_EQ(U8(failure), c.expectedError);
    }
}
