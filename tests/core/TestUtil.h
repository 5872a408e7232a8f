// Helpers shared by the core tests: temporary directories and waiting on a
// condition with a deadline.
#pragma once

#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>

namespace OrvTest {

// A directory under $TMPDIR (or /tmp) removed with its contents at scope end.
class TempDir
{
public:
    TempDir()
    {
        const char* base = getenv("TMPDIR");
        std::string pattern = std::string(base && *base ? base : "/tmp") + "/orv-test-XXXXXX";
        char* made = mkdtemp(&pattern[0]);
        m_path = made ? made : "";
    }
    ~TempDir()
    {
        if (!m_path.empty()) {
            std::string cmd = "rm -rf '" + m_path + "'";
            int rc = system(cmd.c_str());
            (void)rc;
        }
    }
    const std::string& path() const { return m_path; }
    std::string operator/(const std::string& name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};

// Polls predicate every few milliseconds until it holds or the deadline passes.
inline bool WaitFor(const std::function<bool()>& predicate, std::chrono::milliseconds deadline)
{
    auto end = std::chrono::steady_clock::now() + deadline;
    while (std::chrono::steady_clock::now() < end) {
        if (predicate()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return predicate();
}

inline std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

inline void WriteFile(const std::string& path, const std::string& content)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
}

}  // namespace OrvTest
