// CSyslogger: CEF messages to a syslog collector over UDP or TCP.
#include "core/Syslogger.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/types.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "core/Log.h"

namespace OrvCore {

namespace {

const char* const kComponent = "orv.syslog";

// A TCP connect gives up after this long (all addresses of the host together).
const int kConnectTimeoutMs = 2000;
// A send that cannot hand its bytes to the kernel within this long fails
// (a collector that stopped reading).
const int kSendTimeoutMs = 3000;

const int kDefaultPort = 514;
const int kDefaultRfc = 5424;
const int kDefaultFacility = 16;  // local0
const int kDefaultFormat = 1;

// RFC 5424 limits APP-NAME to 48 printable US-ASCII characters.
const size_t kMaxAppName = 48;
// and HOSTNAME to 255.
const size_t kMaxHostName = 255;

const char* const kMonths[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                 "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

typedef std::chrono::steady_clock Clock;

int RemainingMs(Clock::time_point deadline)
{
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

// Keeps printable US-ASCII without spaces (what a syslog header token may hold).
std::string HeaderToken(const std::string& text, size_t maxLength)
{
    std::string token;
    for (unsigned char c : text) {
        if (c > 32 && c < 127) token += static_cast<char>(c);
        if (token.size() >= maxLength) break;
    }
    return token.empty() ? std::string("-") : token;
}

std::string LocalHostName()
{
    char buffer[1024];
    if (gethostname(buffer, sizeof(buffer) - 1) != 0) return std::string();
    buffer[sizeof(buffer) - 1] = '\0';
    return std::string(buffer);
}

wxString Utf8(const std::string& text)
{
    return wxString::FromUTF8(text.data(), text.size());
}

// Non-blocking connect with a deadline. Returns 0 or an errno value
// (ETIMEDOUT when the deadline passed).
int ConnectWithDeadline(int fd, const sockaddr* address, socklen_t length, Clock::time_point deadline)
{
    if (connect(fd, address, length) == 0) return 0;
    if (errno != EINPROGRESS && errno != EINTR) return errno;
    for (;;) {
        pollfd p = {fd, POLLOUT, 0};
        int rc = poll(&p, 1, RemainingMs(deadline));
        if (rc < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        if (rc == 0) return ETIMEDOUT;
        int error = 0;
        socklen_t errorLength = sizeof(error);
        if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &errorLength) != 0) return errno;
        return error;
    }
}

// True when the peer of a connected stream socket has closed or reset it.
// A collector never sends us anything, so readable means end of stream
// (stray bytes are read and dropped).
bool StreamPeerGone(int fd)
{
    for (;;) {
        pollfd p = {fd, POLLIN | POLLRDHUP, 0};
        int rc = poll(&p, 1, 0);
        if (rc < 0) return errno != EINTR;
        if (rc == 0) return false;
        if (p.revents & (POLLERR | POLLHUP | POLLRDHUP | POLLNVAL)) return true;
        char buffer[512];
        ssize_t n = recv(fd, buffer, sizeof(buffer), MSG_DONTWAIT);
        if (n == 0) return true;
        if (n < 0) return errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR;
    }
}

// Sends all bytes on a non-blocking socket within the send timeout. Returns 0
// or an errno value; a datagram must go out whole.
int SendAll(int fd, const std::string& data, bool datagram)
{
    Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(kSendTimeoutMs);
    size_t sent = 0;
    do {
        ssize_t n = send(fd, data.data() + sent, data.size() - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n >= 0) {
            if (datagram) return static_cast<size_t>(n) == data.size() ? 0 : EMSGSIZE;
            sent += static_cast<size_t>(n);
            continue;
        }
        if (errno == EINTR) continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK) return errno;
        pollfd p = {fd, POLLOUT, 0};
        int left = RemainingMs(deadline);
        if (left <= 0) return ETIMEDOUT;
        int rc = poll(&p, 1, left);
        if (rc < 0 && errno != EINTR) return errno;
        if (rc == 0) return ETIMEDOUT;
    } while (sent < data.size());
    return 0;
}

template <typename CharT>
std::basic_string<CharT> EscapePrefix(const std::basic_string<CharT>& text)
{
    std::basic_string<CharT> out;
    out.reserve(text.size() + 8);
    for (CharT c : text) {
        if (c == CharT('\\') || c == CharT('|')) out += CharT('\\');
        out += c;
    }
    return out;
}

template <typename CharT>
std::basic_string<CharT> EscapeExtension(const std::basic_string<CharT>& text)
{
    std::basic_string<CharT> out;
    out.reserve(text.size() + 8);
    for (size_t i = 0; i < text.size(); ++i) {
        CharT c = text[i];
        if (c == CharT('\\') || c == CharT('=')) {
            out += CharT('\\');
            out += c;
        } else if (c == CharT('\r')) {
            out += CharT('\\');
            if (i + 1 < text.size() && text[i + 1] == CharT('\n')) {
                out += CharT('n');  // CR LF is one line break
                ++i;
            } else {
                out += CharT('r');
            }
        } else if (c == CharT('\n')) {
            out += CharT('\\');
            out += CharT('n');
        } else {
            out += c;
        }
    }
    return out;
}

}  // namespace

CSyslogger::CSyslogger(const wxString& name, const CDom& dom) : m_name(name), m_dom(dom)
{
    m_hostName = LocalHostName();
    m_config = ReadConfig();
}

CSyslogger::~CSyslogger()
{
    Close();
}

CSyslogger::Config CSyslogger::ReadConfig() const
{
    // "app.syslog.<name>.<key>" first, then "app.syslog.<key>". A value that
    // is empty or not usable counts as not set.
    std::vector<wxString> prefixes;
    if (!m_name.empty()) prefixes.push_back("app.syslog." + m_name + ".");
    prefixes.push_back("app.syslog.");

    auto text = [&](const char* key, wxString& value) {
        for (const wxString& prefix : prefixes) {
            wxString v;
            if (m_dom.Get(prefix + key, v)) {
                v.Trim(true).Trim(false);
                if (!v.empty()) {
                    value = v;
                    return true;
                }
            }
        }
        return false;
    };
    auto integer = [&](const char* key, long long& value) {
        for (const wxString& prefix : prefixes) {
            long long n = 0;
            if (m_dom.Get(prefix + key, n)) {
                value = n;
                return true;
            }
            wxString v;
            if (m_dom.Get(prefix + key, v)) {
                v.Trim(true).Trim(false);
                if (!v.empty() && v.ToLongLong(&n, 10)) {
                    value = n;
                    return true;
                }
                if (!v.empty())
                    ORV_TRACE(kComponent, __FILE__, "syslog %s: ignoring %s%s \"%s\" (not a number)", m_name,
                              prefix, key, v);
            }
        }
        return false;
    };

    Config config;
    wxString host;
    if (text("host", host)) {
        // "[::1]" is accepted for an IPv6 address.
        if (host.length() > 2 && host[0] == '[' && host.Last() == ']') host = host.Mid(1, host.length() - 2);
        config.host = host.utf8_string();
    }

    long long n = 0;
    config.port = kDefaultPort;
    if (integer("port", n)) {
        if (n >= 1 && n <= 65535)
            config.port = static_cast<int>(n);
        else
            ORV_TRACE(kComponent, __FILE__, "syslog %s: port %lld out of range, using %d", m_name, n,
                      kDefaultPort);
    }

    wxString protocol;
    config.tcp = false;
    if (text("protocol", protocol)) {
        protocol.MakeLower();
        if (protocol == "tcp")
            config.tcp = true;
        else if (protocol != "udp")
            ORV_TRACE(kComponent, __FILE__, "syslog %s: unknown protocol \"%s\", using udp", m_name,
                      protocol);
    }

    config.rfc = kDefaultRfc;
    if (integer("rfc", n)) {
        if (n == 3164 || n == 5424)
            config.rfc = static_cast<int>(n);
        else
            ORV_TRACE(kComponent, __FILE__, "syslog %s: unknown rfc %lld, using %d", m_name, n, kDefaultRfc);
    }

    config.facility = kDefaultFacility;
    if (integer("facility", n)) {
        if (n >= 0 && n <= 23)
            config.facility = static_cast<int>(n);
        else
            ORV_TRACE(kComponent, __FILE__, "syslog %s: facility %lld out of range, using %d", m_name, n,
                      kDefaultFacility);
    }

    config.format = kDefaultFormat;
    if (integer("format", n)) {
        if (n >= 1 && n <= 1000000)
            config.format = static_cast<int>(n);
        else
            ORV_TRACE(kComponent, __FILE__, "syslog %s: format %lld not valid, using %d", m_name, n,
                      kDefaultFormat);
    }
    return config;
}

bool CSyslogger::UpdateConfig()
{
    Config config = ReadConfig();
    if (!(config == m_config)) {
        ORV_TRACE(kComponent, __FILE__,
                  "syslog %s: configuration changed to %s %s:%d rfc %d facility %d format %d", m_name,
                  config.tcp ? "tcp" : "udp", Utf8(config.host), config.port, config.rfc, config.facility,
                  config.format);
        Close();
        m_config = config;
    }
    return IsConfigured();
}

bool CSyslogger::IsConfigured() const
{
    return !m_config.host.empty();
}

bool CSyslogger::IsOpen() const
{
    return m_fd >= 0;
}

int CSyslogger::GetFormat() const
{
    return m_config.format;
}

int CSyslogger::GetRfc() const
{
    return m_config.rfc;
}

bool CSyslogger::Open()
{
    if (IsOpen()) return true;
    if (!IsConfigured()) {
        ORV_TRACE(kComponent, __FILE__, "syslog %s: no host configured", m_name);
        return false;
    }

    const char* protocol = m_config.tcp ? "tcp" : "udp";
    wxString where = wxString::Format("%s %s:%d", protocol, Utf8(m_config.host), m_config.port);

    addrinfo hints;
    memset(&hints, 0, sizeof(hints));
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = m_config.tcp ? SOCK_STREAM : SOCK_DGRAM;
    hints.ai_flags = AI_NUMERICSERV;
    std::string service = std::to_string(m_config.port);
    addrinfo* addresses = nullptr;
    int rc = getaddrinfo(m_config.host.c_str(), service.c_str(), &hints, &addresses);
    if (rc != 0) {
        if (rc == EAI_SYSTEM)
            LogSysError(kComponent, wxString::Format("syslog %s: cannot resolve %s", m_name, where), errno);
        else
            LogError(kComponent, wxString::Format("syslog %s: cannot resolve %s: %s", m_name, where,
                                                  wxString::FromUTF8(gai_strerror(rc))));
        return false;
    }

    Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(kConnectTimeoutMs);
    int lastError = 0;
    for (addrinfo* a = addresses; a; a = a->ai_next) {
        int fd = socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, a->ai_protocol);
        if (fd < 0) {
            lastError = errno;
            continue;
        }
        int error = 0;
        if (m_config.tcp) {
            if (RemainingMs(deadline) <= 0)
                error = ETIMEDOUT;
            else
                error = ConnectWithDeadline(fd, a->ai_addr, a->ai_addrlen, deadline);
        } else if (connect(fd, a->ai_addr, a->ai_addrlen) != 0) {
            error = errno;
        }
        if (error == 0) {
            m_fd = fd;
            break;
        }
        lastError = error;
        close(fd);
        if (error == ETIMEDOUT) break;
    }
    freeaddrinfo(addresses);

    if (m_fd < 0) {
        if (lastError == ETIMEDOUT)
            LogError(kComponent, wxString::Format("syslog %s: cannot connect to %s: no answer within %d ms",
                                                  m_name, where, kConnectTimeoutMs));
        else
            LogSysError(kComponent, wxString::Format("syslog %s: cannot connect to %s", m_name, where),
                        lastError ? lastError : ENOTCONN);
        return false;
    }
    ORV_TRACE(kComponent, __FILE__, "syslog %s: connected to %s", m_name, where);
    return true;
}

void CSyslogger::Close()
{
    if (m_fd >= 0) {
        close(m_fd);
        m_fd = -1;
    }
}

std::string CSyslogger::FormatFrame(const char* text, size_t length, int severity) const
{
    if (severity < 0) severity = 0;
    if (severity > 7) severity = 7;
    int pri = m_config.facility * 8 + severity;
    std::string host = HeaderToken(m_hostName, kMaxHostName);
    std::string app = HeaderToken(m_name.utf8_string(), kMaxAppName);
    long pid = static_cast<long>(getpid());

    timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    time_t seconds = now.tv_sec;
    tm parts;
    char head[512];
    if (m_config.rfc == 3164) {
        localtime_r(&seconds, &parts);
        snprintf(head, sizeof(head), "<%d>%s %2d %02d:%02d:%02d %s %s[%ld]: ", pri,
                 kMonths[parts.tm_mon % 12], parts.tm_mday, parts.tm_hour, parts.tm_min, parts.tm_sec,
                 host.c_str(), app.c_str(), pid);
    } else {
        gmtime_r(&seconds, &parts);
        snprintf(head, sizeof(head), "<%d>1 %04d-%02d-%02dT%02d:%02d:%02d.%03dZ %s %s %ld - - ", pri,
                 parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday, parts.tm_hour, parts.tm_min,
                 parts.tm_sec, static_cast<int>(now.tv_nsec / 1000000), host.c_str(), app.c_str(), pid);
    }
    std::string frame(head);
    if (text && length) frame.append(text, length);
    return frame;
}

bool CSyslogger::SendOnce(const std::string& wire)
{
    if (!IsOpen() && !Open()) {
        errno = ENOTCONN;
        return false;
    }
    if (m_config.tcp && StreamPeerGone(m_fd)) {
        ORV_TRACE(kComponent, __FILE__, "syslog %s: collector closed the connection", m_name);
        errno = EPIPE;
        return false;
    }
    int error = SendAll(m_fd, wire, !m_config.tcp);
    if (error != 0) {
        errno = error;
        return false;
    }
    return true;
}

bool CSyslogger::Send(const char* text, size_t length, int severity)
{
    if (!IsConfigured()) {
        ORV_TRACE(kComponent, __FILE__, "syslog %s: not configured, message dropped", m_name);
        return false;
    }
    std::string frame = FormatFrame(text, length, severity);
    std::string wire;
    if (!m_config.tcp) {
        wire.swap(frame);
    } else if (m_config.rfc == 3164) {
        // Line framing: a line break inside the message would split it.
        for (char& c : frame)
            if (c == '\n' || c == '\r') c = ' ';
        wire.swap(frame);
        wire += '\n';
    } else {
        wire = std::to_string(frame.size());
        wire += ' ';
        wire += frame;
    }

    bool wasOpen = IsOpen();
    if (!wasOpen && !Open()) return false;  // Open logged why
    if (SendOnce(wire)) return true;
    int error = errno;
    Close();
    if (error == EMSGSIZE) {
        LogSysError(kComponent,
                    wxString::Format("syslog %s: message of %lu bytes not sent", m_name,
                                     static_cast<unsigned long>(wire.size())),
                    error);
        return false;
    }
    // One more try on a fresh connection: the collector may have restarted,
    // or an earlier datagram drew a "port unreachable".
    ORV_TRACE(kComponent, __FILE__, "syslog %s: send failed (%s), reconnecting", m_name,
              wxString::FromUTF8(strerror(error)));
    if (!Open()) return false;
    if (SendOnce(wire)) return true;
    error = errno;
    Close();
    LogSysError(kComponent,
                wxString::Format("syslog %s: cannot send to %s %s:%d", m_name, m_config.tcp ? "tcp" : "udp",
                                 Utf8(m_config.host), m_config.port),
                error);
    return false;
}

void CSyslogger::AppendHeaderCEF(std::string& out) const
{
    out += "CEF:0|Orv|orv-agent|";
    out += EscapeCEFPrefix(std::string(ORV_VERSION));
    out += '|';
}

void CSyslogger::AppendHostIdentityCEF(std::string& out, int format) const
{
    out += "dvchost=";
    out += EscapeCEFExtension(m_hostName);
    if (format >= 2) {
        out += " dvcpid=";
        out += std::to_string(static_cast<long>(getpid()));
        wxString guid;
        if (m_dom.Get("app.agentGuid", guid)) {
            guid.Trim(true).Trim(false);
            if (!guid.empty()) {
                out += " deviceExternalId=";
                out += EscapeCEFExtension(guid.utf8_string());
            }
        }
    }
}

std::string CSyslogger::EscapeCEFPrefix(const std::string& text)
{
    return EscapePrefix(text);
}

std::string CSyslogger::EscapeCEFExtension(const std::string& text)
{
    return EscapeExtension(text);
}

wxString CSyslogger::EscapeCEFPrefix(const wxString& text)
{
    return wxString(EscapePrefix(text.ToStdWstring()));
}

wxString CSyslogger::EscapeCEFExtension(const wxString& text)
{
    return wxString(EscapeExtension(text.ToStdWstring()));
}

}  // namespace OrvCore
