// CDom: a handle on the agent's shared state: the settings store, conditions,
// the security configuration, agent events, event channels and the message bus.
//
// A CDom is a cheap handle: copies share one agent state. The default
// constructor gives the process's agent; CreateIsolated() gives a separate
// one (tests, several agents in one process). Every operation is thread-safe.
// CDom::This() is the handle of the calling thread: the host sets it for
// every thread it starts (CRunnable does), other threads get the process's agent.
//
// Settings keys the core itself reads:
//   "app.path.work"            work directory (default $ORV_WORKDIR, else ./orv-work)
//   "app.agentEventLog"        agent event log (default <work>/agent_events.jsonl)
//   "app.events.heartbeatFile" heartbeat channel (default <work>/events.jsonl)
//   "app.events.iotFile"       IoT channel (default <work>/iot_events.jsonl)
//   "app.events.capture"       true: also keep channel writes in memory
//   "app.events.<type>.heartbeat" / ".iot"  channel routing of an event type
//                              (defaults: heartbeat true, IoT false)
//   "app.mode.protectWindows"  true: IsProtectingWindows() (tests of the Windows model)
//   "app.trace.components", "app.log.file"  forwarded to the trace facility
#pragma once

#include <wx/string.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/CoreApi.h"
#include "core/Log.h"
#include "core/Xml.h"

namespace OrvCore {

struct AgentState;
class XMLObject;

enum class SettingType { None, Bool, Int, Text, Pointer };
enum class EventChannel { Heartbeat, IoT };

class ORV_CORE_API CDom
{
public:
    CDom();
    CDom(const CDom& other);
    CDom& operator=(const CDom& other);
    ~CDom();

    static CDom CreateIsolated();
    static CDom* This();
    static void SetThis(CDom* dom);
    bool SameAgent(const CDom& other) const { return m_state == other.m_state; }

    // ---- settings store. Get returns whether the key holds a value of that
    // type (integers are read into any integer type, truncating).
    bool Get(const wxString& key, bool& value) const;
    bool Get(const wxString& key, int& value) const;
    bool Get(const wxString& key, long& value) const;
    bool Get(const wxString& key, long long& value) const;
    bool Get(const wxString& key, wxString& value) const;
    bool Get(const wxString& key, void*& value) const;
    template <typename T>
    T GET(const wxString& key) const
    {
        T value{};
        Get(key, value);
        return value;
    }
    wxString GetWxString(const wxString& key) const;
    SettingType GetType(const wxString& key) const;
    std::vector<wxString> Keys() const;

    void Set(const wxString& key, bool value);
    void Set(const wxString& key, int value);
    void Set(const wxString& key, long value);
    void Set(const wxString& key, long long value);
    void Set(const wxString& key, const wxString& value);
    void Set(const wxString& key, const char* value);
    void Set(const wxString& key, const wchar_t* value);
    void Set(const wxString& key, void* value);
    void SetNil(const wxString& key);
    // Sets a boolean and returns the previous one (false when none) atomically.
    bool TestAndSet(const wxString& key, bool value);

    // ---- conditions: named raise counters. A thread that registers a
    // condition watches it: its ShouldExit waits end when it is raised.
    void ConditionRegister(const wxString& name);
    void ConditionRaise(const wxString& name);  // registers it when unknown
    bool ConditionQuery(const wxString& name, unsigned long long& counter) const;
    // Waits until the counter of name exceeds seen; false on timeout or stop.
    bool ConditionWait(const wxString& name, unsigned long long seen, uint32_t milliseconds);

    // Waits up to milliseconds (0: only checks). True when the calling thread
    // or the whole agent has been told to stop. The wait also ends early,
    // returning false with *woken set, when the thread is awakened or a
    // condition it registered is raised.
    bool ShouldExit(uint32_t milliseconds = 0, bool* woken = nullptr);
    void RequestAgentExit();
    bool AgentExitRequested() const;

    // ---- the security configuration ("SecurityConfiguration" document).
    // Loading a document raises the condition "app.configUpdated".
    bool LoadConfig(const wxString& path);
    bool SetConfigXml(const wxString& xml);
    void ClearConfig();
    // True when there is no document or its root has no child element.
    bool ConfigIsEmpty() const;
    // The document's root, or null; the tree is immutable and stays valid as
    // long as the pointer is held, even when a new document is loaded.
    std::shared_ptr<const CXmlNode> ConfigRoot() const;
    // path is "/SecurityConfiguration/AgentConfiguration"-style from the root.
    bool ConfigGetAttribute(const wxString& path, const wxString& attribute, wxString& value) const;
    // Fills object from the element at path (object.FromXML). False, with the
    // object at its defaults, when there is no such element or it does not
    // read (core/Dom.Config.cpp).
    bool ConfigGetXml(const wxString& path, XMLObject& object) const;

    // ---- host environment
    bool EnvGet(const wxString& name, wxString& value) const;
    wxString GetWorkdir() const;
    // <work>/<name>, created with mode 0700 when missing; empty on failure.
    wxString GetPluginWorkdirWx(const wxString& name) const;
    bool IsProtectingLinux() const { return true; }
    bool IsProtectingWindows() const;
    // Name of a user or group from its decimal id; false when unknown.
    static bool LookupUserId(const wxString& id, wxString& name);
    static bool LookupGroupId(const wxString& id, wxString& name);
    // Owner (uid, user name), group (gid, group name) and permissions
    // ("0644", "rw-r--r--") of a path, without following a final symbolic
    // link. Unknown names leave the friendly value empty. False when the
    // path cannot be examined.
    static bool FileGetSecurityInfo(const wxString& path, wxString& ownerValue, wxString& ownerFriendly,
                                    wxString& groupValue, wxString& groupFriendly, wxString& permissionsValue,
                                    wxString& permissionsFriendly);

    // ---- numbered agent events: one JSON line each {"code","level","text","time"}
    // in the agent event log, and a trace line under "orv.agentEvent".
    bool AgentEventWrite(int code, const wxString& text, LogLevel level = LogLevel::Info);
    template <typename... Args>
    bool DoAgentEventWrite(int code, const wxFormatString& format, Args... args)
    {
        return AgentEventWrite(code, wxString::Format(format, args...), LogLevel::Info);
    }
    // Also writes the text to the log at that level.
    template <typename... Args>
    bool DoAgentEventWriteAndLog(int code, LogLevel level, const wxFormatString& format, Args... args)
    {
        return AgentEventWriteAndLog(code, level, wxString::Format(format, args...));
    }
    bool AgentEventWriteAndLog(int code, LogLevel level, const wxString& text);
    bool DoAgentEventWriteUtf8(int code, const char* format, ...) __attribute__((format(printf, 3, 4)));
    bool DoAgentEventWriteAndLogUtf8(int code, LogLevel level, const char* format, ...)
        __attribute__((format(printf, 4, 5)));

    // ---- event channels: one document per line. False when it could not be written.
    bool EventWrite(const char* json, size_t length);
    bool IoTEventWrite(const char* json, size_t length);
    bool IsEventOverHeartbeat(const wxString& eventType) const;
    bool IsEventOverIoT(const wxString& eventType) const;
    std::vector<std::string> CapturedEvents(EventChannel channel) const;
    void ClearCapturedEvents();

    // ---- message bus: named in-process FIFO queues of byte messages.
    bool MsgBusEnqueue(const wxString& queue, const void* data, size_t length);
    // Takes the next message, waiting up to timeoutMs (0xFFFFFFFF: no limit).
    // True with a message; false when the wait ended without one: on timeout,
    // or, when interruptible, on a stop request or Awaken() of the calling thread.
    bool MsgBusDequeue(const wxString& queue, uint32_t timeoutMs, std::string& data, size_t& length,
                       bool interruptible);
    size_t MsgBusSize(const wxString& queue) const;

private:
    explicit CDom(std::shared_ptr<AgentState> state);
    bool WriteChannel(EventChannel channel, const char* json, size_t length);

    std::shared_ptr<AgentState> m_state;
};

}  // namespace OrvCore
