// CSyslogger: sends CEF-formatted messages to a syslog collector over UDP or
// TCP. One object per sending thread; not shared between threads.
//
// Settings (read by UpdateConfig; "app.syslog.<name>.<key>" overrides
// "app.syslog.<key>" for a sender of that name):
//   host      destination host name or address; none means "not configured"
//   port      destination port (default 514)
//   protocol  "udp" (default) or "tcp"
//   rfc       5424 (default) or 3164
//   facility  syslog facility number 0..23 (default 16, local0)
//   format    CEF extension format number (default 1); callers use it to
//             choose field names
// Framing: RFC 5424 "<PRI>1 TIMESTAMP HOST APP PROCID - - MSG" or RFC 3164
// "<PRI>Mmm dd hh:mm:ss HOST APP[PID]: MSG". Over UDP one message per
// datagram; over TCP octet-counted ("LEN SP FRAME", RFC 6587) for 5424 and
// newline-terminated for 3164. A broken TCP connection is re-opened once per Send.
#pragma once

#include <wx/string.h>

#include <string>

#include "core/CoreApi.h"
#include "core/Dom.h"

namespace OrvCore {

class ORV_CORE_API CSyslogger
{
public:
    CSyslogger(const wxString& name, const CDom& dom);
    ~CSyslogger();
    CSyslogger(const CSyslogger&) = delete;
    CSyslogger& operator=(const CSyslogger&) = delete;

    // Re-reads the settings; a changed destination closes the connection.
    // Returns IsConfigured().
    bool UpdateConfig();
    bool IsConfigured() const;
    // Resolves and connects. False (with a log line) when not configured or
    // unreachable; a TCP connect gives up after 2 seconds.
    bool Open();
    void Close();
    bool IsOpen() const;
    // Frames and sends one message (severity 0..7, default 5 notice).
    bool Send(const char* text, size_t length, int severity = 5);
    bool Send(const std::string& text, int severity = 5) { return Send(text.data(), text.size(), severity); }

    int GetFormat() const;
    int GetRfc() const;
    // The framed message without transport framing (for inspection and tests).
    std::string FormatFrame(const char* text, size_t length, int severity) const;

    // "CEF:0|Orv|orv-agent|<version>|"; the caller appends signature, name,
    // severity and "|" and then the extension.
    void AppendHeaderCEF(std::string& out) const;
    // Extension fields that identify this host: "dvchost=<host name>", and from
    // format 2 on also " dvcpid=<process id>" and, when the setting
    // "app.agentGuid" holds text, " deviceExternalId=<guid>".
    void AppendHostIdentityCEF(std::string& out, int format) const;

    // CEF escaping: in header (prefix) fields "\" and "|" get a backslash; in
    // extension values "\" and "=" get a backslash and CR / LF become "\r" / "\n".
    static std::string EscapeCEFPrefix(const std::string& text);
    static std::string EscapeCEFExtension(const std::string& text);
    static wxString EscapeCEFPrefix(const wxString& text);
    static wxString EscapeCEFExtension(const wxString& text);

private:
    struct Config
    {
        std::string host;
        int port = 514;
        bool tcp = false;
        int rfc = 5424;
        int facility = 16;
        int format = 1;
        bool operator==(const Config& o) const
        {
            return host == o.host && port == o.port && tcp == o.tcp && rfc == o.rfc && facility == o.facility &&
                   format == o.format;
        }
    };
    Config ReadConfig() const;
    bool SendOnce(const std::string& wire);

    wxString m_name;
    CDom m_dom;
    Config m_config;
    int m_fd = -1;
    std::string m_hostName;
};

}  // namespace OrvCore
