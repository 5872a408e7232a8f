// Tests of CSyslogger against real UDP and TCP collectors on the loopback.
#include "core/Syslogger.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <mutex>
#include <regex>
#include <string>
#include <vector>

#include "core/Dom.h"
#include "core/Log.h"

using namespace OrvCore;

namespace {

const int kWaitMs = 5000;

typedef std::chrono::steady_clock Clock;

int RemainingMs(Clock::time_point deadline)
{
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

bool WaitReadable(int fd, int timeoutMs)
{
    pollfd p = {fd, POLLIN, 0};
    for (;;) {
        int rc = poll(&p, 1, timeoutMs);
        if (rc < 0 && errno == EINTR) continue;
        return rc > 0;
    }
}

sockaddr_in Loopback(int port)
{
    sockaddr_in address;
    memset(&address, 0, sizeof(address));
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

int BoundPort(int fd)
{
    sockaddr_in address;
    socklen_t length = sizeof(address);
    if (getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) return -1;
    return ntohs(address.sin_port);
}

// A socket bound to 127.0.0.1 on an ephemeral port.
class BoundSocket
{
  public:
    explicit BoundSocket(int type)
    {
        m_fd = socket(AF_INET, type | SOCK_CLOEXEC, 0);
        sockaddr_in address = Loopback(0);
        if (m_fd >= 0 && bind(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0)
            m_port = BoundPort(m_fd);
    }
    ~BoundSocket()
    {
        if (m_fd >= 0) close(m_fd);
    }
    BoundSocket(const BoundSocket&) = delete;
    BoundSocket& operator=(const BoundSocket&) = delete;
    int Fd() const { return m_fd; }
    int Port() const { return m_port; }

  protected:
    int m_fd = -1;
    int m_port = -1;
};

class UdpCollector : public BoundSocket
{
  public:
    UdpCollector() : BoundSocket(SOCK_DGRAM) {}
    // Next datagram, waiting up to timeoutMs.
    bool Receive(std::string& datagram, int timeoutMs = kWaitMs)
    {
        if (!WaitReadable(m_fd, timeoutMs)) return false;
        char buffer[65536];
        ssize_t n = recv(m_fd, buffer, sizeof(buffer), 0);
        if (n < 0) return false;
        datagram.assign(buffer, static_cast<size_t>(n));
        return true;
    }
};

class TcpCollector : public BoundSocket
{
  public:
    TcpCollector() : BoundSocket(SOCK_STREAM)
    {
        if (m_fd >= 0) listen(m_fd, 8);
    }
    // Accepts the next connection; -1 when none came in time.
    int Accept(int timeoutMs = kWaitMs)
    {
        if (!WaitReadable(m_fd, timeoutMs)) return -1;
        return accept4(m_fd, nullptr, nullptr, SOCK_CLOEXEC);
    }
};

// Reads from a stream into buffer until complete(buffer) holds, the peer
// closes, or the deadline passes.
template <typename Complete>
bool ReadUntil(int fd, std::string& buffer, Complete complete, int timeoutMs = kWaitMs)
{
    Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!complete(buffer)) {
        if (!WaitReadable(fd, RemainingMs(deadline))) return false;
        char chunk[4096];
        ssize_t n = recv(fd, chunk, sizeof(chunk), 0);
        if (n <= 0) return complete(buffer);
        buffer.append(chunk, static_cast<size_t>(n));
    }
    return true;
}

// Splits octet-counted frames ("LEN SP FRAME") off the front of buffer.
// Returns false when the buffer holds something that is not a frame.
bool SplitOctetCounted(std::string& buffer, std::vector<std::string>& frames)
{
    for (;;) {
        size_t space = buffer.find(' ');
        if (space == std::string::npos) return buffer.find_first_not_of("0123456789") == std::string::npos;
        if (space == 0 || buffer.find_first_not_of("0123456789") != space) return false;
        size_t length = std::stoul(buffer.substr(0, space));
        if (buffer.size() < space + 1 + length) return true;
        frames.push_back(buffer.substr(space + 1, length));
        buffer.erase(0, space + 1 + length);
    }
}

int CountOctetCountedFrames(const std::string& data)
{
    std::string copy = data;
    std::vector<std::string> frames;
    if (!SplitOctetCounted(copy, frames)) return -1;
    return static_cast<int>(frames.size());
}

// Parsed RFC 5424 frame.
struct Frame5424
{
    int pri = -1;
    std::string timestamp, host, app, procid, message;
};

bool Parse5424(const std::string& frame, Frame5424& out)
{
    static const std::regex pattern(
        R"(^<(\d{1,3})>1 (\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z) (\S+) (\S+) (\S+) - - ([\s\S]*)$)");
    std::smatch m;
    if (!std::regex_match(frame, m, pattern)) return false;
    out.pri = std::stoi(m[1]);
    out.timestamp = m[2];
    out.host = m[3];
    out.app = m[4];
    out.procid = m[5];
    out.message = m[6];
    return true;
}

// Parsed RFC 3164 frame.
struct Frame3164
{
    int pri = -1;
    std::string date, time, host, app, pid, message;
};

bool Parse3164(const std::string& frame, Frame3164& out)
{
    static const std::regex pattern(
        R"(^<(\d{1,3})>([A-Z][a-z]{2} [ 123]\d) (\d\d:\d\d:\d\d) (\S+) ([^\s\[]+)\[(\d+)\]: ([\s\S]*)$)");
    std::smatch m;
    if (!std::regex_match(frame, m, pattern)) return false;
    out.pri = std::stoi(m[1]);
    out.date = m[2];
    out.time = m[3];
    out.host = m[4];
    out.app = m[5];
    out.pid = m[6];
    out.message = m[7];
    return true;
}

std::string ThisHostToken()
{
    char buffer[1024] = {};
    if (gethostname(buffer, sizeof(buffer) - 1) != 0 || buffer[0] == '\0') return "-";
    return buffer;
}

std::string ThisHostName()
{
    char buffer[1024] = {};
    if (gethostname(buffer, sizeof(buffer) - 1) != 0) return std::string();
    return buffer;
}

std::string Pid()
{
    return std::to_string(static_cast<long>(getpid()));
}

// "Mmm dd" of the local date now, day padded with a space.
std::string LocalMonthDay()
{
    static const char* months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                   "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    time_t now = time(nullptr);
    tm parts;
    localtime_r(&now, &parts);
    char text[16];
    snprintf(text, sizeof(text), "%s %2d", months[parts.tm_mon], parts.tm_mday);
    return text;
}

// Settings for a sender pointed at a local collector.
void Configure(CDom& dom, int port, const char* protocol, int rfc)
{
    dom.Set("app.syslog.host", "127.0.0.1");
    dom.Set("app.syslog.port", port);
    dom.Set("app.syslog.protocol", protocol);
    dom.Set("app.syslog.rfc", rfc);
}

// Captures log lines while it lives.
class LogCapture
{
  public:
    struct Line
    {
        LogLevel level;
        wxString component, message;
    };
    LogCapture()
    {
        SetLogObserver([this](LogLevel level, const wxString& component, const wxString& message) {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_lines.push_back(Line{level, component, message});
        });
    }
    ~LogCapture() { SetLogObserver(LogObserver()); }
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    std::vector<Line> Lines()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_lines;
    }
    int Count(LogLevel atLeast, const wxString& component)
    {
        int count = 0;
        for (const Line& line : Lines())
            if (line.level >= atLeast && line.level != LogLevel::Trace && line.component == component)
                ++count;
        return count;
    }
    int CountAlarming()
    {
        int count = 0;
        for (const Line& line : Lines())
            if (line.level == LogLevel::Warning || line.level == LogLevel::Error) ++count;
        return count;
    }

  private:
    std::mutex m_mutex;
    std::vector<Line> m_lines;
};

long long ElapsedMs(Clock::time_point start)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

}  // namespace

// ---------------------------------------------------------------- settings

TEST(SyslogConfig, WithoutHostNothingIsSent)
{
    CDom dom = CDom::CreateIsolated();
    UdpCollector collector;
    ASSERT_GT(collector.Port(), 0);
    dom.Set("app.syslog.port", collector.Port());  // a port alone is not a destination

    LogCapture log;
    CSyslogger sender("integrity", dom);
    EXPECT_FALSE(sender.IsConfigured());
    EXPECT_FALSE(sender.UpdateConfig());
    EXPECT_FALSE(sender.Open());
    EXPECT_FALSE(sender.IsOpen());
    EXPECT_FALSE(sender.Send("hello"));

    dom.Set("app.syslog.host", "   ");
    EXPECT_FALSE(sender.UpdateConfig());
    EXPECT_FALSE(sender.Open());
    EXPECT_FALSE(sender.Send("hello"));

    std::string datagram;
    EXPECT_FALSE(collector.Receive(datagram, 200)) << "unexpected datagram: " << datagram;
    EXPECT_EQ(0, log.CountAlarming()) << "a sender without a host is not an error";
}

TEST(SyslogConfig, DefaultsAndValues)
{
    CDom dom = CDom::CreateIsolated();
    dom.Set("app.syslog.host", "127.0.0.1");
    CSyslogger sender("integrity", dom);
    EXPECT_TRUE(sender.IsConfigured());
    EXPECT_EQ(5424, sender.GetRfc());
    EXPECT_EQ(1, sender.GetFormat());
    Frame5424 frame;
    ASSERT_TRUE(Parse5424(sender.FormatFrame("x", 1, 5), frame));
    EXPECT_EQ(16 * 8 + 5, frame.pri) << "default facility is local0";

    dom.Set("app.syslog.rfc", 3164);
    dom.Set("app.syslog.format", "2");  // decimal text is accepted too
    dom.Set("app.syslog.facility", "4");
    EXPECT_TRUE(sender.UpdateConfig());
    EXPECT_EQ(3164, sender.GetRfc());
    EXPECT_EQ(2, sender.GetFormat());
    Frame3164 old;
    ASSERT_TRUE(Parse3164(sender.FormatFrame("x", 1, 2), old));
    EXPECT_EQ(4 * 8 + 2, old.pri);
}

TEST(SyslogConfig, SeverityIsClampedAndPriComputed)
{
    CDom dom = CDom::CreateIsolated();
    dom.Set("app.syslog.host", "127.0.0.1");
    dom.Set("app.syslog.facility", 3);
    CSyslogger sender("integrity", dom);
    struct Case
    {
        int severity;
        int pri;
    } cases[] = {{-5, 24}, {0, 24}, {3, 27}, {7, 31}, {8, 31}, {1000, 31}};
    for (const Case& c : cases) {
        SCOPED_TRACE("severity " + std::to_string(c.severity));
        Frame5424 frame;
        ASSERT_TRUE(Parse5424(sender.FormatFrame("m", 1, c.severity), frame));
        EXPECT_EQ(c.pri, frame.pri);
    }
}

TEST(SyslogConfig, PerNameSettingsOverrideGeneralOnes)
{
    CDom dom = CDom::CreateIsolated();
    UdpCollector general, specific;
    ASSERT_GT(general.Port(), 0);
    ASSERT_GT(specific.Port(), 0);
    dom.Set("app.syslog.host", "127.0.0.1");
    dom.Set("app.syslog.port", general.Port());
    dom.Set("app.syslog.integrity.port", specific.Port());
    dom.Set("app.syslog.integrity.facility", "1");

    CSyslogger integrity("integrity", dom);
    CSyslogger other("other", dom);
    ASSERT_TRUE(integrity.Send(std::string("to the specific collector"), 4));
    ASSERT_TRUE(other.Send(std::string("to the general collector"), 4));

    std::string datagram;
    Frame5424 frame;
    ASSERT_TRUE(specific.Receive(datagram));
    ASSERT_TRUE(Parse5424(datagram, frame)) << datagram;
    EXPECT_EQ("integrity", frame.app);
    EXPECT_EQ("to the specific collector", frame.message);
    EXPECT_EQ(1 * 8 + 4, frame.pri);

    ASSERT_TRUE(general.Receive(datagram));
    ASSERT_TRUE(Parse5424(datagram, frame)) << datagram;
    EXPECT_EQ("other", frame.app);
    EXPECT_EQ("to the general collector", frame.message);
    EXPECT_EQ(16 * 8 + 4, frame.pri);

    EXPECT_FALSE(specific.Receive(datagram, 200)) << "extra datagram: " << datagram;
    EXPECT_FALSE(general.Receive(datagram, 200)) << "extra datagram: " << datagram;

    // The per-name protocol (any case) applies to that sender only.
    TcpCollector tcp;
    ASSERT_GT(tcp.Port(), 0);
    dom.Set("app.syslog.integrity.protocol", "TCP");
    dom.Set("app.syslog.integrity.port", wxString::Format("%d", tcp.Port()));
    ASSERT_TRUE(integrity.UpdateConfig());
    ASSERT_TRUE(integrity.Send("over tcp"));
    int connection = tcp.Accept();
    ASSERT_GE(connection, 0);
    std::string buffer;
    EXPECT_TRUE(
        ReadUntil(connection, buffer, [](const std::string& b) { return CountOctetCountedFrames(b) >= 1; }));
    std::vector<std::string> frames;
    ASSERT_TRUE(SplitOctetCounted(buffer, frames));
    ASSERT_EQ(1u, frames.size());
    ASSERT_TRUE(Parse5424(frames[0], frame)) << frames[0];
    EXPECT_EQ("over tcp", frame.message);
    close(connection);

    ASSERT_TRUE(other.UpdateConfig());
    ASSERT_TRUE(other.Send("still udp"));
    ASSERT_TRUE(general.Receive(datagram));
    ASSERT_TRUE(Parse5424(datagram, frame)) << datagram;
    EXPECT_EQ("still udp", frame.message);
}

TEST(SyslogConfig, UpdateConfigFollowsPortChange)
{
    CDom dom = CDom::CreateIsolated();
    UdpCollector first, second;
    ASSERT_GT(first.Port(), 0);
    ASSERT_GT(second.Port(), 0);
    dom.Set("app.syslog.host", "127.0.0.1");
    dom.Set("app.syslog.port", first.Port());

    CSyslogger sender("integrity", dom);
    ASSERT_TRUE(sender.Send("one"));
    std::string datagram;
    Frame5424 frame;
    ASSERT_TRUE(first.Receive(datagram));
    ASSERT_TRUE(Parse5424(datagram, frame));
    EXPECT_EQ("one", frame.message);
    EXPECT_TRUE(sender.IsOpen());

    // Unchanged settings keep the connection.
    EXPECT_TRUE(sender.UpdateConfig());
    EXPECT_TRUE(sender.IsOpen());

    // Without UpdateConfig the sender keeps its destination.
    dom.Set("app.syslog.port", second.Port());
    ASSERT_TRUE(sender.Send("two"));
    ASSERT_TRUE(first.Receive(datagram));
    ASSERT_TRUE(Parse5424(datagram, frame));
    EXPECT_EQ("two", frame.message);

    EXPECT_TRUE(sender.UpdateConfig());
    EXPECT_FALSE(sender.IsOpen()) << "a new destination closes the old connection";
    ASSERT_TRUE(sender.Send("three"));
    ASSERT_TRUE(second.Receive(datagram));
    ASSERT_TRUE(Parse5424(datagram, frame));
    EXPECT_EQ("three", frame.message);
    EXPECT_FALSE(first.Receive(datagram, 200)) << "sent to the old port: " << datagram;

    dom.SetNil("app.syslog.host");
    EXPECT_FALSE(sender.UpdateConfig());
    EXPECT_FALSE(sender.IsOpen());
    EXPECT_FALSE(sender.Send("four"));
    EXPECT_FALSE(second.Receive(datagram, 200)) << "sent without a host: " << datagram;
}

// ---------------------------------------------------------------- UDP

TEST(SyslogUdp, Rfc5424Framing)
{
    CDom dom = CDom::CreateIsolated();
    UdpCollector collector;
    ASSERT_GT(collector.Port(), 0);
    Configure(dom, collector.Port(), "udp", 5424);

    CSyslogger sender("file integrity", dom);
    ASSERT_TRUE(sender.Open());
    EXPECT_TRUE(sender.IsOpen());
    const std::string body = "CEF:0|Orv|orv-agent|1|100|caf\xC3\xA9 | a=b c\\=d - - [x]";
    ASSERT_TRUE(sender.Send(body, 3));

    std::string datagram;
    ASSERT_TRUE(collector.Receive(datagram));
    Frame5424 frame;
    ASSERT_TRUE(Parse5424(datagram, frame)) << datagram;
    EXPECT_EQ(16 * 8 + 3, frame.pri);
    EXPECT_EQ(ThisHostToken(), frame.host);
    EXPECT_EQ("fileintegrity", frame.app) << "spaces are removed from the application name";
    EXPECT_EQ(Pid(), frame.procid);
    EXPECT_EQ(body, frame.message);

    // The timestamp is the current UTC time.
    tm parts = {};
    ASSERT_TRUE(strptime(frame.timestamp.c_str(), "%Y-%m-%dT%H:%M:%S", &parts) != nullptr) << frame.timestamp;
    long long stamp = static_cast<long long>(timegm(&parts));
    long long now = static_cast<long long>(time(nullptr));
    EXPECT_LE(std::llabs(now - stamp), 5) << frame.timestamp;

    // The datagram is the frame alone: no count, no line end.
    EXPECT_EQ('<', datagram.front());
    EXPECT_NE('\n', datagram.back());

    // A message with a line break inside arrives unchanged.
    ASSERT_TRUE(sender.Send(std::string("line one\nline two"), 6));
    ASSERT_TRUE(collector.Receive(datagram));
    ASSERT_TRUE(Parse5424(datagram, frame)) << datagram;
    EXPECT_EQ("line one\nline two", frame.message);
    EXPECT_EQ(16 * 8 + 6, frame.pri);
}

TEST(SyslogUdp, Rfc3164Framing)
{
    CDom dom = CDom::CreateIsolated();
    UdpCollector collector;
    ASSERT_GT(collector.Port(), 0);
    Configure(dom, collector.Port(), "UDP", 3164);
    dom.Set("app.syslog.facility", 4);

    CSyslogger sender("integrity", dom);
    const std::string body = "CEF:0|Orv|orv-agent|1|200|changed|5|dvchost=h";
    std::string before = LocalMonthDay();
    ASSERT_TRUE(sender.Send(body, 6));
    std::string after = LocalMonthDay();

    std::string datagram;
    ASSERT_TRUE(collector.Receive(datagram));
    Frame3164 frame;
    ASSERT_TRUE(Parse3164(datagram, frame)) << datagram;
    EXPECT_EQ(4 * 8 + 6, frame.pri);
    EXPECT_TRUE(frame.date == before || frame.date == after) << frame.date << " vs " << before;
    EXPECT_EQ(ThisHostToken(), frame.host);
    EXPECT_EQ("integrity", frame.app);
    EXPECT_EQ(Pid(), frame.pid);
    EXPECT_EQ(body, frame.message);
    EXPECT_NE('\n', datagram.back());
}

TEST(SyslogUdp, RefusedDatagramsDoNotStopLaterSends)
{
    // Datagrams to a closed port draw "port unreachable"; the sender reopens
    // and keeps going once a collector is there.
    CDom dom = CDom::CreateIsolated();
    int port;
    {
        UdpCollector gone;
        port = gone.Port();
    }
    ASSERT_GT(port, 0);
    Configure(dom, port, "udp", 5424);
    CSyslogger sender("integrity", dom);
    for (int i = 0; i < 3; ++i) sender.Send(std::string("nobody listens"), 5);

    // Listen on the same port now.
    int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(fd, 0);
    sockaddr_in address = Loopback(port);
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0) {
        close(fd);
        GTEST_SKIP() << "port " << port << " was taken in the meantime";
    }
    EXPECT_TRUE(sender.Send(std::string("now heard"), 5));
    ASSERT_TRUE(WaitReadable(fd, kWaitMs));
    char buffer[2048];
    ssize_t n = recv(fd, buffer, sizeof(buffer), 0);
    close(fd);
    ASSERT_GT(n, 0);
    Frame5424 frame;
    ASSERT_TRUE(Parse5424(std::string(buffer, static_cast<size_t>(n)), frame));
    EXPECT_EQ("now heard", frame.message);
}

// ---------------------------------------------------------------- TCP

TEST(SyslogTcp, Rfc5424OctetCountingTwoMessages)
{
    CDom dom = CDom::CreateIsolated();
    TcpCollector collector;
    ASSERT_GT(collector.Port(), 0);
    Configure(dom, collector.Port(), "tcp", 5424);

    CSyslogger sender("integrity", dom);
    ASSERT_TRUE(sender.Open());
    int connection = collector.Accept();
    ASSERT_GE(connection, 0);

    const std::string first = "first message with 12 digits 123456789012";
    const std::string second = "second\nmessage \xE2\x82\xAC with a line break";
    ASSERT_TRUE(sender.Send(first, 2));
    ASSERT_TRUE(sender.Send(second, 7));

    std::string buffer;
    EXPECT_TRUE(
        ReadUntil(connection, buffer, [](const std::string& b) { return CountOctetCountedFrames(b) >= 2; }));
    close(connection);
    std::string all = buffer;
    std::vector<std::string> frames;
    ASSERT_TRUE(SplitOctetCounted(buffer, frames)) << all;
    ASSERT_EQ(2u, frames.size()) << all;
    EXPECT_TRUE(buffer.empty()) << "left over: " << buffer;

    Frame5424 a, b;
    ASSERT_TRUE(Parse5424(frames[0], a)) << frames[0];
    ASSERT_TRUE(Parse5424(frames[1], b)) << frames[1];
    EXPECT_EQ(first, a.message);
    EXPECT_EQ(16 * 8 + 2, a.pri);
    EXPECT_EQ(second, b.message);
    EXPECT_EQ(16 * 8 + 7, b.pri);
    EXPECT_EQ("integrity", a.app);
    EXPECT_EQ(Pid(), b.procid);
    EXPECT_EQ(std::to_string(frames[0].size()) + " " + frames[0],
              all.substr(0, all.find(' ') + 1 + frames[0].size()));
}

TEST(SyslogTcp, Rfc3164NewlineFraming)
{
    CDom dom = CDom::CreateIsolated();
    TcpCollector collector;
    ASSERT_GT(collector.Port(), 0);
    Configure(dom, collector.Port(), "tcp", 3164);

    CSyslogger sender("integrity", dom);
    ASSERT_TRUE(sender.Send(std::string("alpha"), 5));
    ASSERT_TRUE(sender.Send(std::string("beta\ngamma"), 1));
    int connection = collector.Accept();
    ASSERT_GE(connection, 0);

    std::string buffer;
    auto twoLines = [](const std::string& b) {
        size_t first = b.find('\n');
        return first != std::string::npos && b.find('\n', first + 1) != std::string::npos;
    };
    EXPECT_TRUE(ReadUntil(connection, buffer, twoLines));
    close(connection);
    ASSERT_EQ('\n', buffer.back()) << buffer;
    size_t split = buffer.find('\n');
    std::string line1 = buffer.substr(0, split);
    std::string line2 = buffer.substr(split + 1, buffer.size() - split - 2);

    Frame3164 a, b;
    ASSERT_TRUE(Parse3164(line1, a)) << line1;
    ASSERT_TRUE(Parse3164(line2, b)) << line2;
    EXPECT_EQ("alpha", a.message);
    EXPECT_EQ(16 * 8 + 5, a.pri);
    EXPECT_EQ("beta gamma", b.message) << "a line break inside would split the message";
    EXPECT_EQ(16 * 8 + 1, b.pri);
    EXPECT_EQ("integrity", b.app);
}

TEST(SyslogTcp, ReconnectsAfterCollectorClosesConnection)
{
    CDom dom = CDom::CreateIsolated();
    TcpCollector collector;
    ASSERT_GT(collector.Port(), 0);
    Configure(dom, collector.Port(), "tcp", 5424);

    CSyslogger sender("integrity", dom);
    ASSERT_TRUE(sender.Send(std::string("before"), 5));
    int connection = collector.Accept();
    ASSERT_GE(connection, 0);
    std::string buffer;
    ASSERT_TRUE(
        ReadUntil(connection, buffer, [](const std::string& b) { return CountOctetCountedFrames(b) >= 1; }));
    close(connection);  // the collector drops the connection

    ASSERT_TRUE(sender.Send(std::string("after"), 5));
    int second = collector.Accept();
    ASSERT_GE(second, 0) << "no new connection after the collector closed the first";
    std::string again;
    EXPECT_TRUE(
        ReadUntil(second, again, [](const std::string& b) { return CountOctetCountedFrames(b) >= 1; }));
    close(second);
    std::vector<std::string> frames;
    ASSERT_TRUE(SplitOctetCounted(again, frames));
    ASSERT_EQ(1u, frames.size());
    Frame5424 frame;
    ASSERT_TRUE(Parse5424(frames[0], frame)) << frames[0];
    EXPECT_EQ("after", frame.message);
}

TEST(SyslogTcp, UnreachableDestinationFailsQuicklyWithError)
{
    CDom dom = CDom::CreateIsolated();
    BoundSocket notListening(SOCK_STREAM);  // holds the port, refuses connections
    ASSERT_GT(notListening.Port(), 0);
    Configure(dom, notListening.Port(), "tcp", 5424);

    LogCapture log;
    CSyslogger sender("integrity", dom);
    Clock::time_point start = Clock::now();
    EXPECT_FALSE(sender.Open());
    EXPECT_FALSE(sender.IsOpen());
    EXPECT_FALSE(sender.Send(std::string("lost"), 3));
    EXPECT_LT(ElapsedMs(start), 3000);
    EXPECT_GE(log.Count(LogLevel::Error, "orv.syslog"), 1);
    bool named = false;
    for (const LogCapture::Line& line : log.Lines())
        if (line.level == LogLevel::Error &&
            line.message.Contains(wxString::Format("%d", notListening.Port())))
            named = true;
    EXPECT_TRUE(named) << "the error names the destination";
}

TEST(SyslogTcp, ConnectGivesUpWithinTimeout)
{
    // A documentation-only address: depending on the network either refused
    // at once or never answered; either way Open returns within its 2 s limit.
    CDom dom = CDom::CreateIsolated();
    dom.Set("app.syslog.host", "192.0.2.1");
    dom.Set("app.syslog.port", 514);
    dom.Set("app.syslog.protocol", "tcp");
    LogCapture log;
    CSyslogger sender("integrity", dom);
    Clock::time_point start = Clock::now();
    EXPECT_FALSE(sender.Open());
    EXPECT_LT(ElapsedMs(start), 3500);
    EXPECT_GE(log.Count(LogLevel::Error, "orv.syslog"), 1);
}

TEST(SyslogConfig, UnresolvableHostFails)
{
    CDom dom = CDom::CreateIsolated();
    dom.Set("app.syslog.host", "no-such-collector.invalid");
    dom.Set("app.syslog.port", 514);
    for (const char* protocol : {"udp", "tcp"}) {
        SCOPED_TRACE(protocol);
        dom.Set("app.syslog.protocol", protocol);
        LogCapture log;
        CSyslogger sender("integrity", dom);
        EXPECT_TRUE(sender.IsConfigured());
        EXPECT_FALSE(sender.Open());
        EXPECT_FALSE(sender.IsOpen());
        EXPECT_FALSE(sender.Send("lost"));
        EXPECT_GE(log.Count(LogLevel::Error, "orv.syslog"), 1);
    }
}

// ---------------------------------------------------------------- CEF

TEST(SyslogCef, EscapesPrefixAndExtensionValues)
{
    struct Case
    {
        const char* name;
        std::string input;
        std::string prefix;
        std::string extension;
    } cases[] = {
        {"plain", "plain text", "plain text", "plain text"},
        {"empty", "", "", ""},
        {"backslash", "a\\b", "a\\\\b", "a\\\\b"},
        {"bar", "a|b", "a\\|b", "a|b"},
        {"equals", "a=b", "a=b", "a\\=b"},
        {"line feed", "a\nb", "a\nb", "a\\nb"},
        {"carriage return and line feed", "a\r\nb", "a\r\nb", "a\\nb"},
        {"lone carriage return", "a\rb", "a\rb", "a\\rb"},
        {"line feed then carriage return", "a\n\rb", "a\n\rb", "a\\n\\rb"},
        {"trailing backslash", "end\\", "end\\\\", "end\\\\"},
        {"all together", "\\|=\r\n", "\\\\\\|=\r\n", "\\\\|\\=\\n"},
        {"already escaped", "\\=", "\\\\=", "\\\\\\="},
        {"utf-8", "caf\xC3\xA9=|", "caf\xC3\xA9=\\|", "caf\xC3\xA9\\=|"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.prefix, CSyslogger::EscapeCEFPrefix(c.input));
        EXPECT_EQ(c.extension, CSyslogger::EscapeCEFExtension(c.input));
        wxString wide = wxString::FromUTF8(c.input.data(), c.input.size());
        EXPECT_EQ(c.prefix, CSyslogger::EscapeCEFPrefix(wide).utf8_string());
        EXPECT_EQ(c.extension, CSyslogger::EscapeCEFExtension(wide).utf8_string());
    }
}

TEST(SyslogCef, HeaderText)
{
    CDom dom = CDom::CreateIsolated();
    CSyslogger sender("integrity", dom);
    std::string out = "kept:";
    sender.AppendHeaderCEF(out);
    std::smatch m;
    ASSERT_TRUE(
        std::regex_match(out, m, std::regex(R"(^kept:CEF:0\|Orv\|orv-agent\|([0-9][0-9A-Za-z.+-]*)\|$)")))
        << out;
    EXPECT_FALSE(m[1].str().empty());
}

TEST(SyslogCef, HostIdentityFields)
{
    CDom dom = CDom::CreateIsolated();
    CSyslogger sender("integrity", dom);
    const std::string host = CSyslogger::EscapeCEFExtension(ThisHostName());

    std::string out = "x ";
    sender.AppendHostIdentityCEF(out, 1);
    EXPECT_EQ("x dvchost=" + host, out);

    out.clear();
    sender.AppendHostIdentityCEF(out, 2);
    EXPECT_EQ("dvchost=" + host + " dvcpid=" + Pid(), out) << "no guid setting";

    dom.Set("app.agentGuid", "");
    out.clear();
    sender.AppendHostIdentityCEF(out, 2);
    EXPECT_EQ("dvchost=" + host + " dvcpid=" + Pid(), out) << "empty guid";

    dom.Set("app.agentGuid", "3f2a=b|c\\d");
    out.clear();
    sender.AppendHostIdentityCEF(out, 1);
    EXPECT_EQ("dvchost=" + host, out) << "format 1 has no process id or guid";
    out.clear();
    sender.AppendHostIdentityCEF(out, 3);
    EXPECT_EQ("dvchost=" + host + " dvcpid=" + Pid() + " deviceExternalId=3f2a\\=b|c\\\\d", out);
}

TEST(SyslogCef, FullMessageOverUdp)
{
    CDom dom = CDom::CreateIsolated();
    UdpCollector collector;
    ASSERT_GT(collector.Port(), 0);
    Configure(dom, collector.Port(), "udp", 5424);
    dom.Set("app.syslog.format", 2);
    dom.Set("app.agentGuid", "guid-1");

    CSyslogger sender("integrity", dom);
    ASSERT_EQ(2, sender.GetFormat());
    std::string cef;
    sender.AppendHeaderCEF(cef);
    cef += "300|" + CSyslogger::EscapeCEFPrefix(std::string("File|changed")) + "|5|";
    sender.AppendHostIdentityCEF(cef, sender.GetFormat());
    cef += " fname=" + CSyslogger::EscapeCEFExtension(std::string("/etc/a=b\nc"));
    ASSERT_TRUE(sender.Send(cef, 5));

    std::string datagram;
    ASSERT_TRUE(collector.Receive(datagram));
    Frame5424 frame;
    ASSERT_TRUE(Parse5424(datagram, frame)) << datagram;
    EXPECT_EQ(cef, frame.message);
    EXPECT_NE(std::string::npos, frame.message.find("|300|File\\|changed|5|dvchost="));
    EXPECT_NE(std::string::npos, frame.message.find(" deviceExternalId=guid-1 fname=/etc/a\\=b\\nc"));
}
