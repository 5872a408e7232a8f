// The integrity rule model (plugins/im/IntegrityRules.h, EntitySets.h,
// IncludeExclude.h): platform model tests, vocabularies, attribute selection,
// feature classification, unknown and unsupported names and their printing,
// failed parses, and the example configuration shipped in examples/.
#include "plugins/im/IntegrityRules.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "core/Dom.h"

using namespace OrvPluginIm;
using OrvCore::WxStringSet;

namespace {

std::string U8(const wxString& text)
{
    return text.utf8_string();
}

wxString W(const char* utf8)
{
    return wxString::FromUTF8(utf8);
}

// Sorted, comma-joined.
std::string Joined(const WxStringSet& names)
{
    std::string out;
    for (const wxString& name : SortedNames(names)) out += (out.empty() ? "" : ",") + U8(name);
    return out;
}

std::string Joined(const FeatureMap& features)
{
    std::string out;
    for (const auto& feature : features)
        out += (out.empty() ? "" : ",") + U8(feature.first) + "=" + U8(feature.second);
    return out;
}

std::string Joined(const std::vector<wxString>& items)
{
    std::string out;
    for (size_t i = 0; i < items.size(); ++i) out += (i ? "|" : "") + U8(items[i]);
    return out;
}

std::string Monitored(const CEntitySet& set)
{
    WxStringSet names;
    set.GetAttributes().GetAttributesToMonitor(names);
    return Joined(names);
}

enum class Model
{
    Linux,
    WindowsForced,
    WindowsSetting
};

const char* ModelName(Model model)
{
    switch (model) {
        case Model::Linux:
            return "Linux";
        case Model::WindowsForced:
            return "Windows (forced)";
        case Model::WindowsSetting:
            return "Windows (host setting)";
    }
    return "?";
}

// Selects the platform model for the scope; the host's thread handle is the
// process agent here, whose setting is restored afterwards.
class ModelScope
{
public:
    explicit ModelScope(Model model)
    {
        if (model == Model::WindowsForced) SetForcePlatform(1);
        if (model == Model::WindowsSetting) OrvCore::CDom::This()->Set(wxT("app.mode.protectWindows"), true);
    }
    ~ModelScope()
    {
        SetForcePlatform(0);
        OrvCore::CDom::This()->SetNil(wxT("app.mode.protectWindows"));
    }
};

std::unique_ptr<CEntitySet> MakeSet(const std::string& element)
{
    if (element == "DirectorySet") return std::unique_ptr<CEntitySet>(new CDirSet);
    if (element == "FileSet") return std::unique_ptr<CEntitySet>(new CFileSet);
    if (element == "GroupSet") return std::unique_ptr<CEntitySet>(new CGroupSet);
    if (element == "InstalledSoftwareSet") return std::unique_ptr<CEntitySet>(new CInstalledSoftwareSet);
    if (element == "PortSet") return std::unique_ptr<CEntitySet>(new CPortSet);
    if (element == "ProcessSet") return std::unique_ptr<CEntitySet>(new CProcessSet);
    if (element == "UserSet") return std::unique_ptr<CEntitySet>(new CUserSet);
    if (element == "RegistryKeySet") return std::unique_ptr<CEntitySet>(new CRegistryKeySet);
    if (element == "RegistryValueSet") return std::unique_ptr<CEntitySet>(new CRegistryValueSet);
    if (element == "ServiceSet") return std::unique_ptr<CEntitySet>(new CServiceSet);
    if (element == "WQLSet") return std::unique_ptr<CEntitySet>(new CWqlSet);
    return nullptr;
}

// Every set of a rule with its element name, list by list.
std::vector<const CEntitySet*> AllSets(const CIntegrityRule& rule)
{
    std::vector<const CEntitySet*> sets;
    auto add = [&sets](const OrvCore::XMLObjectList* list) {
        if (list == nullptr) return;
        for (const OrvCore::XMLObject* item : list->Children())
            sets.push_back(static_cast<const CEntitySet*>(item));
    };
    add(&rule.GetDirSets());
    add(&rule.GetFileSets());
    add(&rule.GetGroupSets());
    add(&rule.GetInstalledSoftwareSets());
    add(&rule.GetPortSets());
    add(&rule.GetProcessSets());
    add(&rule.GetUserSets());
    add(rule.GetRegistryKeySets());
    add(rule.GetRegistryValueSets());
    add(rule.GetServiceSets());
    add(rule.GetWqlSets());
    return sets;
}

// A rule with sets of every type, as the HUB sends them.
const char* const kEveryTypeRule =
    R"(<IntegrityRule id="1001" name="Host baseline" hash="9f2c71d0a4" identifier="1001"
    severity="3" allowOnChange="true" confidential="true" type="2">
  <FileSet base="/etc" includeRemovable="true">
    <Include key="**"/>
    <Include key="ssh/*"><Key pattern="passwd"/><Key pattern="shadow"/></Include>
    <Exclude key="**/*.swp"/>
    <Attributes><standard/><sha256/></Attributes>
    <Operation types="create,update"/>
    <Operation types="delete"/>
  </FileSet>
  <FileSet base="/usr/bin" onChange="false" followLinks="true">
    <Include key="*" executable="true"/>
  </FileSet>
  <DirectorySet base="/var/www">
    <Include key="**/" whereBaseInOtherSet="true" caseSensitive="TRUE"/>
    <Attributes><owner/><permissions/></Attributes>
  </DirectorySet>
  <UserSet><Include key="*" disabled="false"/><Exclude key="nobody"/></UserSet>
  <GroupSet><Include key="wheel"/><Include key="sudo"/></GroupSet>
  <ProcessSet><Include key="*" path="/usr/sbin/*" user="root"/><Attributes><all/></Attributes></ProcessSet>
  <PortSet><Include key="*" process="sshd"/></PortSet>
  <InstalledSoftwareSet><Include key="openssl*" manufacturer="Debian*"/></InstalledSoftwareSet>
  <RegistryKeySet base="HKEY_LOCAL_MACHINE\SOFTWARE\Policies"><Include key="**"/></RegistryKeySet>
  <RegistryValueSet base="HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Services\Tcpip">
    <Include key="*"/><Attributes><sha256/></Attributes>
  </RegistryValueSet>
  <ServiceSet><Include key="*" state="running"/></ServiceSet>
  <WQLSet namespace="root\cimv2" wql="SELECT Name FROM Win32_Share" provider="WMI" timeout="30">
    <Include key="*"/>
  </WQLSet>
</IntegrityRule>)";

}  // namespace

// ---------------------------------------------------------------- platform model and helpers

TEST(RulesModel, WindowsAndLinuxTests)
{
    struct Case
    {
        const char* name;
        int force;
        bool hasDom;
        bool protectWindows;
        bool windows;
        bool linux;
    } cases[] = {
        // No host object (unreachable with this core's CDom::This(); the handle overloads state it).
        {"no host, not forced", 0, false, false, false, true},
        {"no host, forced", 1, false, false, true, false},
        {"no host, forced with another value", -3, false, false, true, false},
        {"host on Linux", 0, true, false, false, true},
        {"host protecting Windows", 0, true, true, true, true},
        {"host on Linux, forced", 1, true, false, true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        OrvCore::CDom dom = OrvCore::CDom::CreateIsolated();
        if (c.protectWindows) dom.Set(wxT("app.mode.protectWindows"), true);
        SetForcePlatform(c.force);
        EXPECT_EQ(GetForcePlatform(), c.force);
        EXPECT_EQ(IsWindowsModel(c.hasDom ? &dom : nullptr), c.windows);
        EXPECT_EQ(IsLinuxModel(c.hasDom ? &dom : nullptr), c.linux);
        SetForcePlatform(0);
    }
}

TEST(RulesModel, TestsWithoutHandleAskTheThreadsHost)
{
    struct Case
    {
        Model model;
        bool windows;
    } cases[] = {{Model::Linux, false}, {Model::WindowsForced, true}, {Model::WindowsSetting, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(ModelName(c.model));
        ModelScope scope(c.model);
        EXPECT_EQ(IsWindowsModel(), c.windows);
        EXPECT_TRUE(IsLinuxModel());  // this core's host always protects Linux
    }
    EXPECT_FALSE(IsWindowsModel());  // restored
}

TEST(RulesModel, AddStringsToSet)
{
    struct Case
    {
        const char* name;
        const char* list;
        const char* before;  // comma-separated initial entries
        const char* after;
    } cases[] = {
        {"no final comma", "installLocation,name,parent", "", "installlocation,name,parent"},
        {"final comma", "group,members,", "", "group,members"},
        {"empty pieces dropped", ",,sha1,,MD5,", "", "md5,sha1"},
        {"blanks around pieces", " sha256 , md5 ,  ,", "", "md5,sha256"},
        {"existing entries stay", "size,sha1", "sha1,contents", "contents,sha1,size"},
        {"empty list", "", "owner", "owner"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WxStringSet set;
        AddStringsToSet(W(c.before), set);
        AddStringsToSet(W(c.list), set);
        EXPECT_EQ(Joined(set), c.after);
    }
}

TEST(RulesModel, KnownNames)
{
    struct Case
    {
        const wxString* list;
        const char* name;
        bool known;
    } cases[] = {
        {&KnownAttributeNames, "passwordExpiry", true},
        {&KnownAttributeNames, "passwordExpiryInDays", true},
        {&KnownAttributeNames, "SHA256", true},
        {&KnownAttributeNames, "sha", false},        // a prefix of a name is not a name
        {&KnownAttributeNames, "startType", false},  // service attributes are only allowed, not known
        {&KnownAttributeNames, "standard", false},
        {&KnownFeatureNames, "whereBaseInOtherSet", true},
        {&KnownFeatureNames, "disabled", false},
        {&KnownFeatureNames, "size", false},
        {&KnownEntitySetNames, "SharedDirectorySet", true},
        {&KnownEntitySetNames, "wqlset", true},
        {&KnownEntitySetNames, "DirSets", false},
        {&KnownEntitySetNames, "", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(IsKnownName(*c.list, W(c.name)), c.known);
    }
    for (const wxString* list : {&KnownAttributeNames, &KnownFeatureNames, &KnownEntitySetNames}) {
        EXPECT_EQ(list->Lower(), *list);
        EXPECT_TRUE(list->StartsWith(wxT("\t")) && list->EndsWith(wxT("\t")));
    }
}

// ---------------------------------------------------------------- vocabularies

TEST(RulesVocabulary, StandardAllowedAndFeaturesPerModel)
{
    struct Case
    {
        const char* set;
        Model model;
        const char* standard;
        const char* allowed;
        const char* features;
    } cases[] = {
        {"FileSet", Model::Linux, "created,group,lastModified,owner,permissions,contents,size,symLinkPath,",
         "created,group,lastModified,owner,permissions,lastAccessed,deviceNumber,inodeGenerationNumber,"
         "inodeNumber,contents,size,symLinkPath,blocksAllocated,growing,md5,sha1,sha256,shrinking,",
         "whereBaseInOtherSet,executable,"},
        {"FileSet", Model::WindowsForced,
         "created,group,lastModified,owner,permissions,flags,contents,size,symLinkPath,",
         "created,group,lastModified,owner,permissions,flags,lastAccessed,flagsAll,contents,size,symLinkPath,"
         "blocksAllocated,growing,md5,sha1,sha256,shrinking,",
         "whereBaseInOtherSet,executable,"},
        {"DirectorySet", Model::Linux, "created,group,lastModified,owner,permissions,symLinkPath,",
         "created,group,lastModified,owner,permissions,symLinkPath,lastAccessed,deviceNumber,"
         "inodeGenerationNumber,inodeNumber,",
         "whereBaseInOtherSet,"},
        {"DirectorySet", Model::WindowsSetting,
         "created,group,lastModified,owner,permissions,flags,symLinkPath,",
         "created,group,lastModified,owner,permissions,flags,symLinkPath,lastAccessed,flagsAll,",
         "whereBaseInOtherSet,"},
        {"GroupSet", Model::Linux, "group,members,", "group,members,", ""},
        {"GroupSet", Model::WindowsForced, "group,members,subGroups,", "group,members,description,subGroups,",
         ""},
        {"InstalledSoftwareSet", Model::Linux, "installedDate,version,",
         "manufacturer,version,installedDate,size,", "manufacturer,"},
        {"InstalledSoftwareSet", Model::WindowsForced, "installedDate,version,",
         "manufacturer,version,installedDate,size,installLocation,name,parent", "manufacturer,name,"},
        {"PortSet", Model::Linux, "group,listeners,path,process,processId,user,",
         "group,listeners,path,process,processId,user,", "group,path,process,user,"},
        {"PortSet", Model::WindowsForced, "group,listeners,path,process,processId,user,created,",
         "group,listeners,path,process,processId,user,created,", "group,path,process,user,"},
        {"ProcessSet", Model::Linux, "commandLine,group,parent,path,process,user,",
         "commandLine,group,parent,path,process,threads,user,", "commandLine,group,path,user,"},
        {"UserSet", Model::Linux,
         "cannotChangePassword,disabled,groups,homeFolder,passwordHasExpired,passwordLastChanged,"
         "passwordNeverExpires,user,group,logonShell,passwordExpiryInDays,passwordMinDaysBetweenChanges,",
         "cannotChangePassword,disabled,fullName,groups,homeFolder,lockedOut,passwordHasExpired,"
         "passwordLastChanged,passwordNeverExpires,user,group,logonShell,passwordExpiredDaysBeforeDisabled,"
         "passwordExpiry,passwordExpiryInDays,passwordMinDaysBetweenChanges,passwordWarningDays,",
         "disabled,group,lockedOut,passwordHasExpired,passwordNeverExpires,"},
        {"UserSet", Model::WindowsForced,
         "cannotChangePassword,disabled,groups,homeFolder,passwordHasExpired,passwordLastChanged,"
         "passwordNeverExpires,user,logonScript,profilePath,",
         "cannotChangePassword,disabled,fullName,groups,homeFolder,lockedOut,passwordHasExpired,"
         "passwordLastChanged,passwordNeverExpires,user,description,homeDriveLetter,logonScript,profilePath,",
         "disabled,group,lockedOut,passwordHasExpired,passwordNeverExpires,"},
        {"RegistryKeySet", Model::WindowsForced, "group,lastModified,owner,permissions,",
         "class,group,lastModified,owner,permissions,securityDescriptorSize,", "whereBaseInOtherSet,"},
        {"RegistryValueSet", Model::WindowsForced, "contents,size,type,",
         "contents,md5,sha1,sha256,size,type,", "whereBaseInOtherSet,"},
        {"ServiceSet", Model::WindowsForced,
         "binaryPathName,dependsOn,description,firstFailure,group,loadOrderGroup,logOnAs,owner,permissions,"
         "processId,resetFailCountAfter,runProgram,secondFailure,startType,state,subsequentFailures,",
         "binaryPathName,dependsOn,description,displayName,firstFailure,group,loadOrderGroup,logOnAs,owner,"
         "permissions,processId,rebootMessage,resetFailCountAfter,runProgram,secondFailure,startType,state,"
         "subsequentFailures,",
         "state,"},
        {"WQLSet", Model::WindowsForced, "", "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.set) + " under " + ModelName(c.model));
        ModelScope scope(c.model);
        std::unique_ptr<CEntitySet> set = MakeSet(c.set);
        ASSERT_TRUE(set);
        EXPECT_EQ(U8(set->GetElementName()), c.set);
        EXPECT_EQ(U8(set->GetStandardAttributes()), c.standard);
        EXPECT_EQ(U8(set->GetAllowedAttributes()), c.allowed);
        EXPECT_EQ(U8(set->GetAllowedFeatures()), c.features);
        // Every standard attribute may be monitored.
        WxStringSet standard, allowed;
        AddStringsToSet(set->GetStandardAttributes(), standard);
        AddStringsToSet(set->GetAllowedAttributes(), allowed);
        for (const wxString& name : standard) EXPECT_EQ(allowed.count(name), 1u) << U8(name);
    }
}

// ---------------------------------------------------------------- attribute selection

TEST(RulesAttributes, SelectionInDocumentOrder)
{
    const char* const fileStandard = "contents,created,group,lastmodified,owner,permissions,size,symlinkpath";
    const char* const fileAllLinux =
        "blocksallocated,contents,created,devicenumber,group,growing,inodegenerationnumber,inodenumber,"
        "lastaccessed,lastmodified,md5,owner,permissions,sha1,sha256,shrinking,size,symlinkpath";
    const char* const fileAllWindows =
        "blocksallocated,contents,created,flags,flagsall,group,growing,lastaccessed,lastmodified,md5,owner,"
        "permissions,sha1,sha256,shrinking,size,symlinkpath";
    struct Case
    {
        const char* name;
        const char* set;
        Model model;
        const char* attributes;  // the Attributes element, or null for none
        const char* monitored;
        const char* unknown;
        const char* unsupported;
        bool writesElement;  // ToXML of the set contains an Attributes element
    } cases[] = {
        {"no element: standard", "FileSet", Model::Linux, nullptr, fileStandard, "", "", false},
        {"empty element: nothing", "FileSet", Model::Linux, "<Attributes/>", "", "", "", true},
        {"STANDARD and sha256", "FileSet", Model::Linux, "<Attributes><STANDARD/><sha256/></Attributes>",
         "contents,created,group,lastmodified,owner,permissions,sha256,size,symlinkpath", "", "", true},
        {"ALL on Linux", "FileSet", Model::Linux, "<Attributes><ALL/></Attributes>", fileAllLinux, "", "",
         true},
        {"ALL on Windows", "FileSet", Model::WindowsForced, "<Attributes><All/></Attributes>", fileAllWindows,
         "", "", true},
        {"all replaces earlier names", "FileSet", Model::Linux,
         "<Attributes><size/><all/><md5/></Attributes>", fileAllLinux, "", "", true},
        {"standard after all adds nothing", "FileSet", Model::Linux,
         "<Attributes><all/><standard/></Attributes>", fileAllLinux, "", "", true},
        {"names in any case, stored lower", "FileSet", Model::Linux,
         "<Attributes><Size/><SHA1/></Attributes>", "sha1,size", "", "", true},
        {"listeners unsupported, fooBar unknown", "FileSet", Model::Linux,
         "<Attributes><listeners/><fooBar/></Attributes>", "", "fooBar", "listeners", true},
        {"Windows-only file attribute on Linux", "FileSet", Model::Linux,
         "<Attributes><flagsAll/></Attributes>", "", "", "flagsAll", true},
        {"directory content hash unsupported", "DirectorySet", Model::Linux,
         "<Attributes><owner/><sha256/></Attributes>", "owner", "", "sha256", true},
        {"directory standard", "DirectorySet", Model::Linux, nullptr,
         "created,group,lastmodified,owner,permissions,symlinkpath", "", "", false},
        {"WQL selects nothing", "WQLSet", Model::WindowsForced,
         "<Attributes><group/><standard/><all/><fooBar/></Attributes>", "", "all,fooBar,standard", "group",
         true},
        {"user logonScript on Linux", "UserSet", Model::Linux, "<Attributes><logonScript/></Attributes>", "",
         "", "logonScript", true},
        {"user logonScript on Windows", "UserSet", Model::WindowsSetting,
         "<Attributes><logonScript/></Attributes>", "logonscript", "", "", true},
        {"group subGroups on Linux", "GroupSet", Model::Linux,
         "<Attributes><subGroups/><members/></Attributes>", "members", "", "subGroups", true},
        {"port standard is everything", "PortSet", Model::Linux, "<Attributes><standard/></Attributes>",
         "group,listeners,path,process,processid,user", "", "", true},
        {"process standard plus threads", "ProcessSet", Model::Linux,
         "<Attributes><standard/><threads/></Attributes>",
         "commandline,group,parent,path,process,threads,user", "", "", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ModelScope scope(c.model);
        std::unique_ptr<CEntitySet> set = MakeSet(c.set);
        ASSERT_TRUE(set);
        const std::string xml = std::string("<") + c.set + "><Include key=\"*\"/>" +
                                (c.attributes ? c.attributes : "") + "</" + c.set + ">";
        ASSERT_TRUE(set->FromXML(W(xml.c_str())));
        EXPECT_EQ(Monitored(*set), c.monitored);
        EXPECT_EQ(Joined(set->GetAttributes().GetUnknownAttributes()), c.unknown);
        EXPECT_EQ(Joined(set->GetAttributes().GetUnsupportedAttributes()), c.unsupported);
        EXPECT_EQ(set->GetAttributes().IsElementPresent(), c.attributes != nullptr);
        wxString out;
        set->ToXML(out, -1);
        EXPECT_EQ(out.Contains(wxT("<Attributes")), c.writesElement) << U8(out);
    }
}

TEST(RulesAttributes, SelectionWalkedAsChildObjects)
{
    struct Collector
    {
        std::vector<std::string> names;
        size_t stopAfter = 0;  // 0: never stop
        static bool Collect(OrvCore::XMLObject* parent, OrvCore::XMLObject* child, void* context)
        {
            auto* self = static_cast<Collector*>(context);
            EXPECT_EQ(U8(parent->GetElementName()), "Attributes");
            EXPECT_EQ(child->GetAttributeCount(), 0u);
            self->names.push_back(U8(child->GetElementName()));
            return self->stopAfter == 0 || self->names.size() < self->stopAfter;
        }
    };
    struct Case
    {
        const char* name;
        const char* attributes;
        size_t stopAfter;
        bool result;
        const char* names;  // sorted; "*" when only the count is known
        size_t calls;
    } cases[] = {
        {"nothing selected", "<Attributes/>", 0, true, "", 0},
        {"every name once", "<Attributes><md5/><SIZE/><owner/></Attributes>", 0, true, "md5,owner,size", 3},
        {"callback stops the walk", "<Attributes><md5/><size/><owner/></Attributes>", 2, false, "*", 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CFileSet set;
        ASSERT_TRUE(set.FromXML(W((std::string("<FileSet>") + c.attributes + "</FileSet>").c_str())));
        Collector collector;
        collector.stopAfter = c.stopAfter;
        EXPECT_EQ(set.GetAttributes().EnumChildObjects(&Collector::Collect, &collector), c.result);
        EXPECT_EQ(collector.names.size(), c.calls);
        if (std::string(c.names) != "*") {
            std::sort(collector.names.begin(), collector.names.end());
            std::string joined;
            for (const std::string& name : collector.names) joined += (joined.empty() ? "" : ",") + name;
            EXPECT_EQ(joined, c.names);
        }
    }
}

// ---------------------------------------------------------------- features

TEST(RulesFeatures, Classification)
{
    struct Case
    {
        const char* name;
        const char* set;
        Model model;
        const char* entry;  // an Include or Exclude element
        const char* features;
        const char* unknown;
        const char* unsupported;
    } cases[] = {
        {"file executable", "FileSet", Model::Linux, "<Include key=\"*\" executable=\"true\"/>",
         "executable=true", "", ""},
        {"name kept as written", "FileSet", Model::Linux, "<Exclude key=\"*\" Executable=\"yes\"/>",
         "Executable=yes", "", ""},
        {"directory executable unsupported", "DirectorySet", Model::Linux,
         "<Include key=\"*\" executable=\"true\"/>", "", "", "executable"},
        {"size is no feature", "FileSet", Model::Linux, "<Include key=\"*\" size=\"10\"/>", "", "size", ""},
        {"size on a user set", "UserSet", Model::Linux, "<Include key=\"*\" size=\"10\"/>", "", "size", ""},
        {"hierarchical feature on files", "FileSet", Model::Linux,
         "<Include key=\"**\" whereBaseInOtherSet=\"true\"/>", "whereBaseInOtherSet=true", "", ""},
        {"process features", "ProcessSet", Model::Linux,
         "<Include key=\"*\" user=\"root\" path=\"/usr/sbin/*\" commandLine=\"*--daemon*\" "
         "executable=\"true\"/>",
         "commandLine=*--daemon*,path=/usr/sbin/*,user=root", "", "executable"},
        {"group sets allow no feature", "GroupSet", Model::Linux,
         "<Include key=\"*\" user=\"root\" bogus=\"1\"/>", "", "bogus", "user"},
        {"software name on Linux", "InstalledSoftwareSet", Model::Linux,
         "<Include key=\"*\" name=\"openssl\" manufacturer=\"Debian\"/>", "manufacturer=Debian", "", "name"},
        {"software name on Windows", "InstalledSoftwareSet", Model::WindowsForced,
         "<Include key=\"*\" name=\"openssl\" manufacturer=\"Debian\"/>", "manufacturer=Debian,name=openssl",
         "", ""},
        {"port process is allowed though not a known feature", "PortSet", Model::Linux,
         "<Include key=\"*\" process=\"sshd\" state=\"LISTEN\"/>", "process=sshd", "", "state"},
        {"user features beyond the known names", "UserSet", Model::Linux,
         "<Include key=\"*\" disabled=\"false\" lockedOut=\"false\" group=\"wheel\"/>",
         "disabled=false,group=wheel,lockedOut=false", "", ""},
        {"user feature on a file set", "FileSet", Model::Linux, "<Include key=\"*\" disabled=\"true\"/>", "",
         "disabled", ""},
        {"declared attributes are no features", "FileSet", Model::Linux,
         "<Include KEY=\"*.conf\" caseSensitive=\"FALSE\"/>", "", "", ""},
        {"service state on Windows", "ServiceSet", Model::WindowsForced,
         "<Exclude key=\"*\" state=\"stopped\"/>", "state=stopped", "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ModelScope scope(c.model);
        std::unique_ptr<CEntitySet> set = MakeSet(c.set);
        ASSERT_TRUE(set);
        ASSERT_TRUE(set->FromXML(W((std::string("<") + c.set + ">" + c.entry + "</" + c.set + ">").c_str())));
        ASSERT_EQ(set->GetIncludes().GetCount() + set->GetExcludes().GetCount(), 1u);
        const CIncludeOrExclude* entry =
            set->GetIncludes().GetCount()
                ? static_cast<const CIncludeOrExclude*>(set->GetIncludes().GetItem(0))
                : set->GetExcludes().GetItem(0);
        EXPECT_EQ(entry->GetOwner(), set.get());
        EXPECT_EQ(Joined(entry->GetFeatures()), c.features);
        EXPECT_EQ(Joined(entry->GetUnknownFeatures()), c.unknown);
        EXPECT_EQ(Joined(entry->GetUnsupportedFeatures()), c.unsupported);
    }
}

TEST(RulesFeatures, RepeatedFeatureKeepsItsFirstValue)
{
    CFileSet set;
    CInclude include(&set);
    EXPECT_TRUE(include.OnUnhandledAttribute(wxT("executable"), wxT("true")));
    EXPECT_TRUE(include.OnUnhandledAttribute(wxT("executable"), wxT("false")));
    EXPECT_TRUE(include.OnUnhandledAttribute(wxT("EXECUTABLE"), wxT("false")));  // another name as written
    EXPECT_EQ(Joined(include.GetFeatures()), "EXECUTABLE=false,executable=true");
    include.SetToDefaults();
    EXPECT_TRUE(include.GetFeatures().empty());
}

// ---------------------------------------------------------------- rules

TEST(RulesParse, EveryTypeUnderEachModel)
{
    struct Case
    {
        Model model;
        bool windowsLists;
    } cases[] = {{Model::Linux, false}, {Model::WindowsForced, true}, {Model::WindowsSetting, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(ModelName(c.model));
        ModelScope scope(c.model);
        CIntegrityRule rule;
        ASSERT_TRUE(rule.FromXML(W(kEveryTypeRule)));

        EXPECT_EQ(rule.m_id, 1001);
        EXPECT_EQ(U8(rule.m_name), "Host baseline");
        EXPECT_EQ(U8(rule.m_hash), "9f2c71d0a4");
        EXPECT_EQ(U8(rule.m_identifier), "1001");
        EXPECT_EQ(rule.m_severity, 3);
        EXPECT_EQ(rule.m_type, 2);
        EXPECT_TRUE(rule.m_allowOnChange);
        EXPECT_TRUE(rule.m_confidential);
        EXPECT_TRUE(rule.GetUnknownChildNames().empty()) << Joined(rule.GetUnknownChildNames());

        ASSERT_EQ(rule.GetFileSets().GetCount(), 2u);
        const CFileSet* etc = rule.GetFileSets().GetItem(0);
        EXPECT_EQ(U8(etc->m_base), "/etc");
        EXPECT_TRUE(etc->m_onChange);
        EXPECT_FALSE(etc->m_followLinks);
        EXPECT_TRUE(etc->m_includeRemovable);
        ASSERT_EQ(etc->GetIncludes().GetCount(), 2u);
        EXPECT_EQ(Joined(etc->GetIncludes().GetItem(0)->GetPatterns()), "**");
        EXPECT_EQ(Joined(etc->GetIncludes().GetItem(1)->GetPatterns()), "ssh/*|passwd|shadow");
        ASSERT_EQ(etc->GetExcludes().GetCount(), 1u);
        EXPECT_EQ(U8(etc->GetExcludes().GetItem(0)->m_key), "**/*.swp");
        EXPECT_EQ(U8(etc->GetOperations().GetTypes()), "create,update,delete");
        EXPECT_EQ(Monitored(*etc),
                  c.windowsLists
                      ? "contents,created,flags,group,lastmodified,owner,permissions,sha256,size,symlinkpath"
                      : "contents,created,group,lastmodified,owner,permissions,sha256,size,symlinkpath");
        const CFileSet* bin = rule.GetFileSets().GetItem(1);
        EXPECT_FALSE(bin->m_onChange);
        EXPECT_TRUE(bin->m_followLinks);
        EXPECT_EQ(Joined(bin->GetIncludes().GetItem(0)->GetFeatures()), "executable=true");
        EXPECT_EQ(U8(bin->GetOperations().GetTypes()), "");

        ASSERT_EQ(rule.GetDirSets().GetCount(), 1u);
        const CDirSet* www = rule.GetDirSets().GetItem(0);
        EXPECT_EQ(U8(www->m_base), "/var/www");
        EXPECT_EQ(Monitored(*www), "owner,permissions");
        EXPECT_EQ(U8(www->GetIncludes().GetItem(0)->m_caseSensitive), "TRUE");
        EXPECT_EQ(Joined(www->GetIncludes().GetItem(0)->GetFeatures()), "whereBaseInOtherSet=true");

        ASSERT_EQ(rule.GetUserSets().GetCount(), 1u);
        EXPECT_EQ(Joined(rule.GetUserSets().GetItem(0)->GetIncludes().GetItem(0)->GetFeatures()),
                  "disabled=false");
        EXPECT_EQ(U8(rule.GetUserSets().GetItem(0)->GetExcludes().GetItem(0)->m_key), "nobody");
        ASSERT_EQ(rule.GetGroupSets().GetCount(), 1u);
        EXPECT_EQ(rule.GetGroupSets().GetItem(0)->GetIncludes().GetCount(), 2u);
        ASSERT_EQ(rule.GetProcessSets().GetCount(), 1u);
        EXPECT_EQ(Joined(rule.GetProcessSets().GetItem(0)->GetIncludes().GetItem(0)->GetFeatures()),
                  "path=/usr/sbin/*,user=root");
        EXPECT_EQ(Monitored(*rule.GetProcessSets().GetItem(0)),
                  "commandline,group,parent,path,process,threads,user");
        ASSERT_EQ(rule.GetPortSets().GetCount(), 1u);
        EXPECT_EQ(Joined(rule.GetPortSets().GetItem(0)->GetIncludes().GetItem(0)->GetFeatures()),
                  "process=sshd");
        ASSERT_EQ(rule.GetInstalledSoftwareSets().GetCount(), 1u);
        EXPECT_EQ(Joined(rule.GetInstalledSoftwareSets().GetItem(0)->GetIncludes().GetItem(0)->GetFeatures()),
                  "manufacturer=Debian*");

        for (const CEntitySet* set : AllSets(rule)) {
            SCOPED_TRACE(U8(set->GetElementName()));
            EXPECT_TRUE(set->GetUnhandledAttributes().empty());
            EXPECT_TRUE(set->GetAttributes().GetUnknownAttributes().empty());
            EXPECT_TRUE(set->GetAttributes().GetUnsupportedAttributes().empty());
        }

        if (!c.windowsLists) {
            EXPECT_EQ(rule.GetRegistryKeySets(), nullptr);
            EXPECT_EQ(rule.GetRegistryValueSets(), nullptr);
            EXPECT_EQ(rule.GetServiceSets(), nullptr);
            EXPECT_EQ(rule.GetWqlSets(), nullptr);
            EXPECT_EQ(Joined(rule.GetUnsupportedSetNames()),
                      "RegistryKeySet,RegistryValueSet,ServiceSet,WQLSet");
            EXPECT_EQ(AllSets(rule).size(), 8u);
            continue;
        }
        EXPECT_TRUE(rule.GetUnsupportedSetNames().empty()) << Joined(rule.GetUnsupportedSetNames());
        ASSERT_TRUE(rule.GetRegistryKeySets() && rule.GetRegistryValueSets() && rule.GetServiceSets() &&
                    rule.GetWqlSets());
        ASSERT_EQ(rule.GetRegistryKeySets()->GetCount(), 1u);
        EXPECT_EQ(U8(rule.GetRegistryKeySets()->GetItem(0)->m_base),
                  "HKEY_LOCAL_MACHINE\\SOFTWARE\\Policies");
        ASSERT_EQ(rule.GetRegistryValueSets()->GetCount(), 1u);
        EXPECT_EQ(Monitored(*rule.GetRegistryValueSets()->GetItem(0)), "sha256");
        ASSERT_EQ(rule.GetServiceSets()->GetCount(), 1u);
        EXPECT_EQ(Joined(rule.GetServiceSets()->GetItem(0)->GetIncludes().GetItem(0)->GetFeatures()),
                  "state=running");
        ASSERT_EQ(rule.GetWqlSets()->GetCount(), 1u);
        const CWqlSet* wql = rule.GetWqlSets()->GetItem(0);
        EXPECT_EQ(U8(wql->m_namespace), "root\\cimv2");
        EXPECT_EQ(U8(wql->m_wql), "SELECT Name FROM Win32_Share");
        EXPECT_EQ(U8(wql->m_provider), "WMI");
        EXPECT_EQ(wql->m_timeout, 30);
        EXPECT_EQ(Monitored(*wql), "");
        EXPECT_EQ(AllSets(rule).size(), 12u);
    }
}

TEST(RulesParse, UnknownAndUnsupportedChildren)
{
    struct Case
    {
        const char* name;
        Model model;
        const char* child;
        const char* unknown;
        const char* unsupported;
        size_t fileSets;
        size_t registryKeySets;  // on the Windows model
    } cases[] = {
        {"unknown element", Model::Linux, "<FooSet base=\"/x\"/>", "FooSet", "", 0, 0},
        {"include directly under the rule", Model::Linux, "<Include key=\"*\"/>", "Include", "", 0, 0},
        {"registry on Linux, upper case", Model::Linux, "<REGISTRYKEYSET base=\"HKLM\"/>", "",
         "REGISTRYKEYSET", 0, 0},
        {"service on Linux", Model::Linux, "<ServiceSet><Include key=\"*\"/></ServiceSet>", "", "ServiceSet",
         0, 0},
        {"registry on Windows, lower case", Model::WindowsForced, "<registrykeyset base=\"HKLM\"/>", "", "",
         0, 1},
        {"shared directories have no class", Model::WindowsForced, "<SharedDirectorySet/>", "",
         "SharedDirectorySet", 0, 0},
        {"system information has no class", Model::Linux, "<systemInformationSet/>", "",
         "systemInformationSet", 0, 0},
        {"file set in lower case", Model::Linux, "<fileset base=\"/etc\"/>", "", "", 1, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ModelScope scope(c.model);
        CIntegrityRule rule;
        ASSERT_TRUE(rule.FromXML(
            W((std::string("<IntegrityRule id=\"5\">") + c.child + "</IntegrityRule>").c_str())));
        EXPECT_EQ(Joined(rule.GetUnknownChildNames()), c.unknown);
        EXPECT_EQ(Joined(rule.GetUnsupportedSetNames()), c.unsupported);
        EXPECT_EQ(rule.GetFileSets().GetCount(), c.fileSets);
        if (rule.GetRegistryKeySets()) {
            EXPECT_EQ(rule.GetRegistryKeySets()->GetCount(), c.registryKeySets);
        }
        rule.SetToDefaults();
        EXPECT_TRUE(rule.GetUnknownChildNames().empty());
        EXPECT_TRUE(rule.GetUnsupportedSetNames().empty());
    }
}

TEST(RulesParse, ListsAreFixedWhenTheRuleIsBuilt)
{
    CIntegrityRule linuxRule;
    ModelScope scope(Model::WindowsForced);
    ASSERT_TRUE(
        linuxRule.FromXML(W("<IntegrityRule id=\"1\"><RegistryKeySet base=\"HKLM\"/></IntegrityRule>")));
    EXPECT_EQ(linuxRule.GetRegistryKeySets(), nullptr);
    EXPECT_EQ(Joined(linuxRule.GetUnsupportedSetNames()), "RegistryKeySet");

    CIntegrityRules rules;  // rules made while the Windows model holds get the Windows lists
    ASSERT_TRUE(
        rules.FromXML(W("<IntegrityRules><IntegrityRule id=\"1\"><RegistryKeySet base=\"HKLM\"/>"
                        "</IntegrityRule></IntegrityRules>")));
    ASSERT_EQ(rules.GetCount(), 1u);
    ASSERT_NE(rules.GetItem(0)->GetRegistryKeySets(), nullptr);
    EXPECT_EQ(rules.GetItem(0)->GetRegistryKeySets()->GetCount(), 1u);
}

TEST(RulesParse, PatternsAndOperationTypes)
{
    struct Case
    {
        const char* name;
        const char* content;  // children of a FileSet
        const char* patterns;
        const char* types;
    } cases[] = {
        {"key and two Key children",
         "<Include key=\"*.conf\"><Key pattern=\"a\"/><Key pattern=\"b\"/></Include>", "*.conf|a|b", ""},
        {"Key children only", "<Include><Key pattern=\"ssh/**\"/></Include>", "ssh/**", ""},
        {"an empty Key pattern counts", "<Include key=\"x\"><Key/></Include>", "x|", ""},
        {"no pattern at all", "<Include/>", "", ""},
        {"operations joined in order",
         "<Include/><Operation types=\"create,delete\"/><Operation types=\"update\"/>", "",
         "create,delete,update"},
        {"empty operations skipped",
         "<Include/><Operation/><Operation types=\"rename\"/><Operation types=\"\"/>", "", "rename"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CFileSet set;
        ASSERT_TRUE(
            set.FromXML(W((std::string("<FileSet base=\"/etc\">") + c.content + "</FileSet>").c_str())));
        ASSERT_EQ(set.GetIncludes().GetCount(), 1u);
        EXPECT_EQ(Joined(set.GetIncludes().GetItem(0)->GetPatterns()), c.patterns);
        EXPECT_EQ(set.GetIncludes().GetItem(0)->HasChildElements(),
                  set.GetIncludes().GetItem(0)->GetKeys().GetCount() > 0);
        EXPECT_EQ(U8(set.GetOperations().GetTypes()), c.types);
    }
}

TEST(RulesParse, FailedParseLeavesTheTreeAtDefaults)
{
    struct Case
    {
        const char* name;
        const char* xml;
    } cases[] = {
        {"truncated", "<IntegrityRules><IntegrityRule id=\"1\"><FileSet base=\"/etc\">"},
        {"mismatched end tag", "<IntegrityRules><IntegrityRule id=\"1\"></FileSet></IntegrityRules>"},
        {"repeated attribute", "<IntegrityRules><IntegrityRule id=\"1\" id=\"2\"/></IntegrityRules>"},
        {"text after the root", "<IntegrityRules/>trailing"},
        {"not XML", "IntegrityRules"},
        {"empty", ""},
        {"another root element", "<IntegrityRule id=\"1\"><FileSet base=\"/etc\"/></IntegrityRule>"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CIntegrityRules rules;
        ASSERT_TRUE(
            rules.FromXML(W("<IntegrityRules><IntegrityRule id=\"9\"><FileSet base=\"/etc\"/><FooSet/>"
                            "</IntegrityRule></IntegrityRules>")));
        ASSERT_EQ(rules.GetCount(), 1u);
        EXPECT_FALSE(rules.FromXML(W(c.xml)));
        EXPECT_EQ(rules.GetCount(), 0u);
        EXPECT_FALSE(rules.IsElementPresent());

        CIntegrityRule rule;  // a rule read on its own is reset as well
        ASSERT_TRUE(
            rule.FromXML(W("<IntegrityRule id=\"9\"><FileSet base=\"/etc\"/><FooSet/></IntegrityRule>")));
        if (std::string(c.name) == "another root element") continue;  // that one is a valid rule
        EXPECT_FALSE(rule.FromXML(W(c.xml)));
        EXPECT_EQ(rule.m_id, 0);
        EXPECT_EQ(rule.GetFileSets().GetCount(), 0u);
        EXPECT_TRUE(rule.GetUnknownChildNames().empty());
    }
}

// ---------------------------------------------------------------- printing back

TEST(RulesPrint, UnknownAndUnsupportedNamesAreWrittenBack)
{
    struct Case
    {
        const char* name;
        const char* xml;
        const char* printed;
    } cases[] = {
        {"rule, set, include and selection",
         "<IntegrityRule id=\"7\" name=\"print\"><FileSet base=\"/etc\" bogus=\"1\" Other=\"x\">"
         "<Include key=\"*.conf\" size=\"10\" executable=\"true\" commandLine=\"x\"/>"
         "<Attributes><SHA256/><fooBar/><listeners/></Attributes></FileSet>"
         "<ServiceSet/><RegistryKeySet/><Widget/></IntegrityRule>",
         "<IntegrityRule id=\"7\" name=\"print\" allowOnChange=\"false\" confidential=\"false\" "
         "severity=\"0\" "
         "type=\"0\">\n"
         "  <FileSet onChange=\"true\" base=\"/etc\" followLinks=\"false\" includeRemovable=\"false\" "
         "Other=\"unknown\" bogus=\"unknown\">\n"
         "    <Include key=\"*.conf\" executable=\"true\" commandLine=\"unsupported\" size=\"unknown\"/>\n"
         "    <Attributes>\n"
         "      <sha256 />\n"
         "      <fooBar />\n"
         "      <listeners />\n"
         "    </Attributes>\n"
         "  </FileSet>\n"
         "  <Widget/>\n"
         "  <RegistryKeySet/>\n"
         "  <ServiceSet/>\n"
         "</IntegrityRule>\n"},
        {"no Attributes element writes none; an empty one is kept",
         "<IntegrityRule id=\"8\" severity=\"2\"><DirectorySet base=\"/var\"><Include "
         "key=\"**\"/></DirectorySet>"
         "<UserSet onChange=\"false\"><Attributes/><Operation types=\"create\"/></UserSet></IntegrityRule>",
         "<IntegrityRule id=\"8\" allowOnChange=\"false\" confidential=\"false\" severity=\"2\" type=\"0\">\n"
         "  <DirectorySet onChange=\"true\" base=\"/var\" followLinks=\"false\" includeRemovable=\"false\">\n"
         "    <Include key=\"**\"/>\n"
         "  </DirectorySet>\n"
         "  <UserSet onChange=\"false\">\n"
         "    <Operation types=\"create\"/>\n"
         "    <Attributes/>\n"
         "  </UserSet>\n"
         "</IntegrityRule>\n"},
        {"feature values are escaped",
         "<IntegrityRule id=\"9\"><ProcessSet><Include key=\"*\" commandLine=\"a &amp; &quot;b&quot;\"/>"
         "</ProcessSet></IntegrityRule>",
         "<IntegrityRule id=\"9\" allowOnChange=\"false\" confidential=\"false\" severity=\"0\" type=\"0\">\n"
         "  <ProcessSet onChange=\"true\">\n"
         "    <Include key=\"*\" commandLine=\"a &amp; &quot;b&quot;\"/>\n"
         "  </ProcessSet>\n"
         "</IntegrityRule>\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CIntegrityRule rule;
        ASSERT_TRUE(rule.FromXML(W(c.xml)));
        wxString printed;
        rule.ToXML(printed, 0);
        EXPECT_EQ(U8(printed), c.printed);

        // What is printed reads back into the same model.
        CIntegrityRule again;
        ASSERT_TRUE(again.FromXML(printed));
        wxString reprinted;
        again.ToXML(reprinted, 0);
        EXPECT_EQ(U8(reprinted), U8(printed));
    }
}

TEST(RulesPrint, CopyKeepsTheBookkeeping)
{
    CIntegrityRule rule;
    ASSERT_TRUE(rule.FromXML(W(kEveryTypeRule)));
    ASSERT_TRUE(rule.GetFileSets().GetItem(0)->GetAttributes().IsElementPresent());
    CIntegrityRule copy;
    ASSERT_TRUE(copy.CopyFrom(rule));
    EXPECT_EQ(U8(copy.toString()), U8(rule.toString()));
    EXPECT_EQ(Joined(copy.GetUnsupportedSetNames()), Joined(rule.GetUnsupportedSetNames()));
    EXPECT_EQ(Monitored(*copy.GetFileSets().GetItem(0)), Monitored(*rule.GetFileSets().GetItem(0)));
    EXPECT_EQ(copy.GetFileSets().GetItem(0)->GetIncludes().GetItem(0)->GetOwner(),
              copy.GetFileSets().GetItem(0));

    ModelScope scope(Model::WindowsForced);  // a rule with other lists is another layout
    CIntegrityRule windowsRule;
    EXPECT_FALSE(windowsRule.CopyFrom(rule));
}

// ---------------------------------------------------------------- the example configuration

TEST(RulesExample, ParsesCleanlyUnderTheLinuxModel)
{
    const wxString path = W(ORV_SOURCE_DIR "/examples/security-configuration.xml");
    OrvCore::CDom dom = OrvCore::CDom::CreateIsolated();
    ASSERT_TRUE(dom.LoadConfig(path)) << U8(path);

    struct Setting
    {
        const char* attribute;
        const char* value;
    } settings[] = {
        {"systemIntegrityCPULimit", "40"},     {"systemIntegrityFreeMbMin", "50"},
        {"systemIntegrityEventMode", "1"},     {"systemIntegrityAllowOnChange", "true"},
        {"contentShortHandMapping", "sha256"},
    };
    for (const Setting& s : settings) {
        SCOPED_TRACE(s.attribute);
        wxString value;
        EXPECT_TRUE(
            dom.ConfigGetAttribute(wxT("/SecurityConfiguration/AgentConfiguration"), W(s.attribute), value));
        EXPECT_EQ(U8(value), s.value);
    }

    CIntegrityRules rules;
    ASSERT_TRUE(dom.ConfigGetXml(wxT("/SecurityConfiguration/IntegrityRules"), rules));
    ASSERT_GE(rules.GetCount(), 5u);
    std::set<long long> ids;
    std::set<std::string> types;
    for (size_t i = 0; i < rules.GetCount(); ++i) {
        const CIntegrityRule* rule = rules.GetItem(i);
        SCOPED_TRACE("rule " + U8(rule->m_name));
        EXPECT_GT(rule->m_id, 0);
        EXPECT_TRUE(ids.insert(rule->m_id).second) << "duplicate id " << rule->m_id;
        EXPECT_FALSE(rule->m_name.empty());
        EXPECT_FALSE(rule->m_hash.empty());
        EXPECT_EQ(U8(rule->m_identifier), std::to_string(rule->m_id));
        EXPECT_GT(rule->m_severity, 0);
        EXPECT_EQ(Joined(rule->GetUnknownChildNames()), "");
        EXPECT_EQ(Joined(rule->GetUnsupportedSetNames()), "");
        const std::vector<const CEntitySet*> sets = AllSets(*rule);
        EXPECT_FALSE(sets.empty());
        for (const CEntitySet* set : sets) {
            SCOPED_TRACE(U8(set->GetElementName()));
            types.insert(U8(set->GetElementName()));
            EXPECT_EQ(Joined(set->GetUnhandledAttributes()), "");
            EXPECT_EQ(Joined(set->GetAttributes().GetUnknownAttributes()), "");
            EXPECT_EQ(Joined(set->GetAttributes().GetUnsupportedAttributes()), "");
            EXPECT_NE(Monitored(*set), "");
            EXPECT_GT(set->GetIncludes().GetCount(), 0u);
            std::vector<const CIncludeOrExclude*> entries;
            for (size_t k = 0; k < set->GetIncludes().GetCount(); ++k)
                entries.push_back(set->GetIncludes().GetItem(k));
            for (size_t k = 0; k < set->GetExcludes().GetCount(); ++k)
                entries.push_back(set->GetExcludes().GetItem(k));
            for (const CIncludeOrExclude* entry : entries) {
                EXPECT_EQ(Joined(entry->GetUnknownFeatures()), "");
                EXPECT_EQ(Joined(entry->GetUnsupportedFeatures()), "");
                EXPECT_FALSE(entry->GetPatterns().empty());
            }
            if (const auto* fileOrDir = dynamic_cast<const CFileOrDirSet*>(set)) {
                EXPECT_TRUE(fileOrDir->m_base.StartsWith(wxT("/"))) << U8(fileOrDir->m_base);
            }
        }
    }
    EXPECT_EQ(types, (std::set<std::string>{"DirectorySet", "FileSet", "GroupSet", "InstalledSoftwareSet",
                                            "PortSet", "ProcessSet", "UserSet"}));
}
