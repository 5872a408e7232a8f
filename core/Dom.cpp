// CDom: the agent state behind the handles, and the services that live on it.
#include "core/Dom.h"

#include <cjson/cJSON.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cerrno>
#include <cstdarg>
#include <cstdlib>
#include <deque>
#include <mutex>
#include <unordered_map>

#include "core/Runnable.h"
#include "core/TimeUtil.h"

namespace OrvCore {

namespace {

const char* const kComponent = "orv.dom";

struct Setting
{
    SettingType type = SettingType::None;
    bool b = false;
    long long i = 0;
    wxString s;
    void* p = nullptr;
};

}  // namespace

struct AgentState
{
    mutable std::mutex mutex;  // settings, conditions, configuration, queues, captures
    std::unordered_map<wxString, Setting> settings;
    std::unordered_map<wxString, unsigned long long> conditions;
    std::shared_ptr<const CXmlNode> config;
    std::unordered_map<wxString, std::deque<std::string>> queues;
    std::vector<std::string> captured[2];
    std::atomic<bool> exitRequested{false};
    std::mutex fileMutex;  // serialises appends to the event files
};

namespace {

std::shared_ptr<AgentState> ProcessAgent()
{
    // Leaked on purpose: threads may still use the agent while the process exits.
    static auto* agent = new std::shared_ptr<AgentState>(std::make_shared<AgentState>());
    return *agent;
}

thread_local CDom* t_this = nullptr;

// Creates a directory and its missing parents with mode 0700.
bool MakeDirectories(const std::string& path)
{
    if (path.empty()) return false;
    struct stat st;
    if (stat(path.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
    size_t slash = path.find_last_of('/');
    if (slash != std::string::npos && slash > 0) {
        if (!MakeDirectories(path.substr(0, slash))) return false;
    }
    if (mkdir(path.c_str(), 0700) == 0) return true;
    return errno == EEXIST && stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool AppendLine(const std::string& path, const std::string& line)
{
    size_t slash = path.find_last_of('/');
    if (slash != std::string::npos && slash > 0) MakeDirectories(path.substr(0, slash));
    int fd = open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) {
        LogSysError(kComponent, "cannot open " + wxString::FromUTF8(path), errno);
        return false;
    }
    // One write per line keeps concurrent appenders (several processes) whole.
    ssize_t n;
    do {
        n = write(fd, line.data(), line.size());
    } while (n < 0 && errno == EINTR);
    int err = errno;
    close(fd);
    if (n != static_cast<ssize_t>(line.size())) {
        LogSysError(kComponent, "cannot append to " + wxString::FromUTF8(path), n < 0 ? err : EIO);
        return false;
    }
    return true;
}

void ForwardToTrace(const wxString& key, const Setting* value)
{
    if (key == "app.trace.components")
        SetTraceComponents(value && value->type == SettingType::Text ? value->s : wxString());
    else if (key == "app.log.file")
        SetLogFile(value && value->type == SettingType::Text ? value->s : wxString());
}

}  // namespace

CDom::CDom() : m_state(ProcessAgent()) {}
CDom::CDom(std::shared_ptr<AgentState> state) : m_state(std::move(state)) {}
CDom::CDom(const CDom& other) = default;
CDom& CDom::operator=(const CDom& other) = default;
CDom::~CDom() = default;

CDom CDom::CreateIsolated() { return CDom(std::make_shared<AgentState>()); }

CDom* CDom::This()
{
    if (t_this) return t_this;
    static CDom* processDom = new CDom();  // leaked: see ProcessAgent
    return processDom;
}

void CDom::SetThis(CDom* dom) { t_this = dom; }

// ---------------------------------------------------------------- settings

bool CDom::Get(const wxString& key, bool& value) const
{
    std::lock_guard<std::mutex> lock(m_state->mutex);
    auto it = m_state->settings.find(key);
    if (it == m_state->settings.end() || it->second.type != SettingType::Bool) return false;
    value = it->second.b;
    return true;
}

bool CDom::Get(const wxString& key, long long& value) const
{
    std::lock_guard<std::mutex> lock(m_state->mutex);
    auto it = m_state->settings.find(key);
    if (it == m_state->settings.end() || it->second.type != SettingType::Int) return false;
    value = it->second.i;
    return true;
}

bool CDom::Get(const wxString& key, long& value) const
{
    long long v;
    if (!Get(key, v)) return false;
    value = static_cast<long>(v);
    return true;
}

bool CDom::Get(const wxString& key, int& value) const
{
    long long v;
    if (!Get(key, v)) return false;
    value = static_cast<int>(v);
    return true;
}

bool CDom::Get(const wxString& key, wxString& value) const
{
    std::lock_guard<std::mutex> lock(m_state->mutex);
    auto it = m_state->settings.find(key);
    if (it == m_state->settings.end() || it->second.type != SettingType::Text) return false;
    value = it->second.s;
    return true;
}

bool CDom::Get(const wxString& key, void*& value) const
{
    std::lock_guard<std::mutex> lock(m_state->mutex);
    auto it = m_state->settings.find(key);
    if (it == m_state->settings.end() || it->second.type != SettingType::Pointer) return false;
    value = it->second.p;
    return true;
}

wxString CDom::GetWxString(const wxString& key) const
{
    wxString value;
    Get(key, value);
    return value;
}

SettingType CDom::GetType(const wxString& key) const
{
    std::lock_guard<std::mutex> lock(m_state->mutex);
    auto it = m_state->settings.find(key);
    return it == m_state->settings.end() ? SettingType::None : it->second.type;
}

std::vector<wxString> CDom::Keys() const
{
    std::lock_guard<std::mutex> lock(m_state->mutex);
    std::vector<wxString> keys;
    keys.reserve(m_state->settings.size());
    for (const auto& kv : m_state->settings) keys.push_back(kv.first);
    return keys;
}

namespace {
void Store(AgentState& state, const wxString& key, const Setting& value)
{
    {
        std::lock_guard<std::mutex> lock(state.mutex);
        state.settings[key] = value;
    }
    ForwardToTrace(key, &value);
}
}  // namespace

void CDom::Set(const wxString& key, bool value)
{
    Setting s;
    s.type = SettingType::Bool;
    s.b = value;
    Store(*m_state, key, s);
}

void CDom::Set(const wxString& key, long long value)
{
    Setting s;
    s.type = SettingType::Int;
    s.i = value;
    Store(*m_state, key, s);
}

void CDom::Set(const wxString& key, int value) { Set(key, static_cast<long long>(value)); }
void CDom::Set(const wxString& key, long value) { Set(key, static_cast<long long>(value)); }

void CDom::Set(const wxString& key, const wxString& value)
{
    Setting s;
    s.type = SettingType::Text;
    s.s = value;
    Store(*m_state, key, s);
}

void CDom::Set(const wxString& key, const char* value) { Set(key, wxString::FromUTF8(value ? value : "")); }
void CDom::Set(const wxString& key, const wchar_t* value) { Set(key, wxString(value ? value : L"")); }

void CDom::Set(const wxString& key, void* value)
{
    Setting s;
    s.type = SettingType::Pointer;
    s.p = value;
    Store(*m_state, key, s);
}

void CDom::SetNil(const wxString& key)
{
    {
        std::lock_guard<std::mutex> lock(m_state->mutex);
        m_state->settings.erase(key);
    }
    ForwardToTrace(key, nullptr);
}

bool CDom::TestAndSet(const wxString& key, bool value)
{
    std::lock_guard<std::mutex> lock(m_state->mutex);
    Setting& s = m_state->settings[key];
    bool previous = s.type == SettingType::Bool && s.b;
    s = Setting();
    s.type = SettingType::Bool;
    s.b = value;
    return previous;
}

// ---------------------------------------------------------------- conditions

void CDom::ConditionRegister(const wxString& name)
{
    {
        std::lock_guard<std::mutex> lock(m_state->mutex);
        m_state->conditions.emplace(name, 0);
    }
    CRunnable::This()->Watch(name);
}

void CDom::ConditionRaise(const wxString& name)
{
    {
        std::lock_guard<std::mutex> lock(m_state->mutex);
        ++m_state->conditions[name];
    }
    CRunnable::WakeAll();
}

bool CDom::ConditionQuery(const wxString& name, unsigned long long& counter) const
{
    std::lock_guard<std::mutex> lock(m_state->mutex);
    auto it = m_state->conditions.find(name);
    if (it == m_state->conditions.end()) return false;
    counter = it->second;
    return true;
}

bool CDom::ConditionWait(const wxString& name, unsigned long long seen, uint32_t milliseconds)
{
    auto raised = [&]() {
        unsigned long long counter = 0;
        return ConditionQuery(name, counter) && counter > seen;
    };
    return CRunnable::This()->Wait(milliseconds, raised) == CRunnable::WakeReason::Ready;
}

bool CDom::ShouldExit(uint32_t milliseconds, bool* woken)
{
    CRunnable* self = CRunnable::This();
    if (m_state->exitRequested.load() || self->exitRequested()) return true;
    self->Throttle();
    if (milliseconds == 0) return false;

    std::vector<std::pair<wxString, unsigned long long>> watched;
    for (const wxString& name : self->Watched()) {
        unsigned long long counter = 0;
        ConditionQuery(name, counter);
        watched.emplace_back(name, counter);
    }
    auto ready = [&]() {
        if (m_state->exitRequested.load()) return true;
        for (const auto& w : watched) {
            unsigned long long counter = 0;
            if (ConditionQuery(w.first, counter) && counter != w.second) return true;
        }
        return false;
    };
    CRunnable::WakeReason reason = self->Wait(milliseconds, ready);
    if (reason == CRunnable::WakeReason::Stop || m_state->exitRequested.load()) return true;
    if (woken && reason != CRunnable::WakeReason::Timeout) *woken = true;
    return false;
}

void CDom::RequestAgentExit()
{
    m_state->exitRequested.store(true);
    CRunnable::WakeAll();
}

bool CDom::AgentExitRequested() const { return m_state->exitRequested.load(); }

// ---------------------------------------------------------------- configuration

namespace {
bool InstallConfig(AgentState& state, CDom& dom, std::unique_ptr<CXmlNode> root, const wxString& origin,
                   const wxString& error)
{
    if (!root) {
        LogError("orv.config", "cannot load the configuration " + origin + ": " + error);
        return false;
    }
    if (root->name != "SecurityConfiguration") {
        LogError("orv.config", "the configuration " + origin + " is not a SecurityConfiguration document (root <" +
                                   root->name + ">)");
        return false;
    }
    {
        std::lock_guard<std::mutex> lock(state.mutex);
        state.config = std::shared_ptr<const CXmlNode>(root.release());
    }
    dom.ConditionRaise("app.configUpdated");
    return true;
}
}  // namespace

bool CDom::LoadConfig(const wxString& path)
{
    wxString error;
    std::unique_ptr<CXmlNode> root = ParseXmlFile(path, error);
    return InstallConfig(*m_state, *this, std::move(root), path, error);
}

bool CDom::SetConfigXml(const wxString& xml)
{
    wxString error;
    std::unique_ptr<CXmlNode> root = ParseXml(xml, error);
    return InstallConfig(*m_state, *this, std::move(root), "text", error);
}

void CDom::ClearConfig()
{
    {
        std::lock_guard<std::mutex> lock(m_state->mutex);
        m_state->config.reset();
    }
    ConditionRaise("app.configUpdated");
}

std::shared_ptr<const CXmlNode> CDom::ConfigRoot() const
{
    std::lock_guard<std::mutex> lock(m_state->mutex);
    return m_state->config;
}

bool CDom::ConfigIsEmpty() const
{
    std::shared_ptr<const CXmlNode> root = ConfigRoot();
    return !root || root->children.empty();
}

bool CDom::ConfigGetAttribute(const wxString& path, const wxString& attribute, wxString& value) const
{
    std::shared_ptr<const CXmlNode> root = ConfigRoot();
    if (!root) return false;
    const CXmlNode* node = root->Find(path);
    if (!node) return false;
    const wxString* found = node->Attribute(attribute);
    if (!found) return false;
    value = *found;
    return true;
}

// ---------------------------------------------------------------- environment

bool CDom::EnvGet(const wxString& name, wxString& value) const
{
    const char* found = getenv(name.utf8_string().c_str());
    if (!found) return false;
    value = wxString::FromUTF8(found);
    return true;
}

wxString CDom::GetWorkdir() const
{
    wxString dir = GetWxString("app.path.work");
    if (dir.empty()) EnvGet("ORV_WORKDIR", dir);
    if (dir.empty()) {
        char cwd[4096];
        dir = wxString::FromUTF8(getcwd(cwd, sizeof cwd) ? cwd : ".") + "/orv-work";
    }
    while (dir.length() > 1 && dir.EndsWith("/")) dir.RemoveLast();
    return dir;
}

wxString CDom::GetPluginWorkdirWx(const wxString& name) const
{
    wxString dir = GetWorkdir() + "/" + name;
    if (!MakeDirectories(dir.utf8_string())) {
        LogSysError(kComponent, "cannot create the work directory " + dir, errno);
        return wxString();
    }
    return dir;
}

bool CDom::IsProtectingWindows() const { return GET<bool>("app.mode.protectWindows"); }

// ---------------------------------------------------------------- agent events

bool CDom::AgentEventWrite(int code, const wxString& text, LogLevel level)
{
    wxString path = GetWxString("app.agentEventLog");
    if (path.empty()) path = GetWorkdir() + "/agent_events.jsonl";

    cJSON* event = cJSON_CreateObject();
    cJSON_AddNumberToObject(event, "code", code);
    std::string levelName = LogLevelName(level);
    for (char& c : levelName) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    cJSON_AddStringToObject(event, "level", levelName.c_str());
    cJSON_AddStringToObject(event, "text", text.utf8_string().c_str());
    cJSON_AddNumberToObject(event, "time", static_cast<double>(TimeNowMillis()));
    char* printed = cJSON_PrintUnformatted(event);
    cJSON_Delete(event);
    if (!printed) {
        LogError(kComponent, wxString::Format("agent event %d could not be serialised", code));
        return false;
    }
    std::string line(printed);
    cJSON_free(printed);
    line += '\n';

    ORV_TRACE("orv.agentEvent", "core/Dom", "agent event %d: %s", code, text);
    std::lock_guard<std::mutex> lock(m_state->fileMutex);
    return AppendLine(path.utf8_string(), line);
}

bool CDom::AgentEventWriteAndLog(int code, LogLevel level, const wxString& text)
{
    LogMessage(level, "orv.agentEvent", wxString::Format("%d|", code) + text);
    return AgentEventWrite(code, text, level);
}

namespace {
wxString FormatUtf8(const char* format, va_list args)
{
    va_list copy;
    va_copy(copy, args);
    int needed = vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    if (needed < 0) return wxString();
    std::string buffer(static_cast<size_t>(needed) + 1, '\0');
    vsnprintf(&buffer[0], buffer.size(), format, args);
    buffer.resize(static_cast<size_t>(needed));
    return wxString::FromUTF8(buffer);
}
}  // namespace

bool CDom::DoAgentEventWriteUtf8(int code, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    wxString text = FormatUtf8(format, args);
    va_end(args);
    return AgentEventWrite(code, text, LogLevel::Info);
}

bool CDom::DoAgentEventWriteAndLogUtf8(int code, LogLevel level, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    wxString text = FormatUtf8(format, args);
    va_end(args);
    return AgentEventWriteAndLog(code, level, text);
}

// ---------------------------------------------------------------- event channels

bool CDom::WriteChannel(EventChannel channel, const char* json, size_t length)
{
    if (!json) return false;
    std::string line(json, length);
    // One document per line: line breaks between tokens would split it.
    for (char& c : line)
        if (c == '\n' || c == '\r') c = ' ';
    if (GET<bool>("app.events.capture")) {
        std::lock_guard<std::mutex> lock(m_state->mutex);
        m_state->captured[static_cast<int>(channel)].push_back(line);
    }
    const char* key = channel == EventChannel::IoT ? "app.events.iotFile" : "app.events.heartbeatFile";
    wxString path = GetWxString(key);
    if (path.empty())
        path = GetWorkdir() + (channel == EventChannel::IoT ? "/iot_events.jsonl" : "/events.jsonl");
    line += '\n';
    std::lock_guard<std::mutex> lock(m_state->fileMutex);
    return AppendLine(path.utf8_string(), line);
}

bool CDom::EventWrite(const char* json, size_t length) { return WriteChannel(EventChannel::Heartbeat, json, length); }
bool CDom::IoTEventWrite(const char* json, size_t length) { return WriteChannel(EventChannel::IoT, json, length); }

bool CDom::IsEventOverHeartbeat(const wxString& eventType) const
{
    bool value = true;
    Get("app.events." + eventType + ".heartbeat", value);
    return value;
}

bool CDom::IsEventOverIoT(const wxString& eventType) const
{
    bool value = false;
    Get("app.events." + eventType + ".iot", value);
    return value;
}

std::vector<std::string> CDom::CapturedEvents(EventChannel channel) const
{
    std::lock_guard<std::mutex> lock(m_state->mutex);
    return m_state->captured[static_cast<int>(channel)];
}

void CDom::ClearCapturedEvents()
{
    std::lock_guard<std::mutex> lock(m_state->mutex);
    m_state->captured[0].clear();
    m_state->captured[1].clear();
}

// ---------------------------------------------------------------- message bus

bool CDom::MsgBusEnqueue(const wxString& queue, const void* data, size_t length)
{
    if (!data && length > 0) return false;
    {
        std::lock_guard<std::mutex> lock(m_state->mutex);
        m_state->queues[queue].emplace_back(static_cast<const char*>(data), length);
    }
    CRunnable::WakeAll();
    return true;
}

bool CDom::MsgBusDequeue(const wxString& queue, uint32_t timeoutMs, std::string& data, size_t& length,
                         bool interruptible)
{
    auto take = [&]() {
        std::lock_guard<std::mutex> lock(m_state->mutex);
        auto it = m_state->queues.find(queue);
        if (it == m_state->queues.end() || it->second.empty()) return false;
        data = std::move(it->second.front());
        it->second.pop_front();
        length = data.size();
        return true;
    };
    auto available = [&]() { return MsgBusSize(queue) > 0; };

    const bool infinite = timeoutMs == 0xFFFFFFFFu;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        if (take()) return true;
        uint32_t wait = timeoutMs;
        if (!infinite) {
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline -
                                                                              std::chrono::steady_clock::now());
            if (left.count() <= 0) return false;
            wait = static_cast<uint32_t>(left.count());
        }
        CRunnable::WakeReason reason = CRunnable::This()->Wait(wait, available, interruptible);
        if (reason != CRunnable::WakeReason::Ready) return take();
    }
}

size_t CDom::MsgBusSize(const wxString& queue) const
{
    std::lock_guard<std::mutex> lock(m_state->mutex);
    auto it = m_state->queues.find(queue);
    return it == m_state->queues.end() ? 0 : it->second.size();
}

}  // namespace OrvCore
