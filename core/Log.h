// Trace and log facility of the agent core, process-wide and thread-safe.
//
// Trace lines are written only for components that are switched on: from the
// environment variable ORV_TRACE (a comma-separated list of component names;
// "*" switches on everything, "orp.im.*" every component under "orp.im.") and
// from the settings key "app.trace.components" (same syntax; the agent's
// settings store forwards it here). Errors, warnings and information lines are
// always written. Output goes to the file named by ORV_LOG_FILE or the setting
// "app.log.file", else to stderr. Each line carries the time, the thread id,
// the level, the component, and for traces the source, line and function.
#pragma once

#include <wx/string.h>

#include <functional>

#include "core/CoreApi.h"

namespace OrvCore {

enum class LogLevel { Trace = 0, Info = 1, Warning = 2, Error = 3 };

ORV_CORE_API const char* LogLevelName(LogLevel level);

ORV_CORE_API bool LogTraceIsEnabled(const wxString& component);
ORV_CORE_API bool LogTraceIsEnabled(const char* component);

ORV_CORE_API void LogTrace(const wxString& component, const wxString& sourceFile, int line,
                           const wxString& function, const wxString& message);

ORV_CORE_API void LogMessage(LogLevel level, const wxString& component, const wxString& message);
ORV_CORE_API void LogError(const wxString& component, const wxString& message);
ORV_CORE_API void LogWarning(const wxString& component, const wxString& message);
ORV_CORE_API void LogInfo(const wxString& component, const wxString& message);
// An error with the text of a system error number appended ("...: No such file or directory").
ORV_CORE_API void LogSysError(const wxString& component, const wxString& message, int errorNumber);

// Replaces the component list that came from settings (the environment's list stays).
ORV_CORE_API void SetTraceComponents(const wxString& list);
// Re-reads ORV_TRACE and ORV_LOG_FILE from the environment.
ORV_CORE_API void ReloadTraceEnvironment();
// Sends log output to a file (appended, created 0600); empty means stderr.
ORV_CORE_API bool SetLogFile(const wxString& path);

// Every written line is also handed to this observer (tests, the agent's
// console). Pass an empty function to remove it.
typedef std::function<void(LogLevel level, const wxString& component, const wxString& message)> LogObserver;
ORV_CORE_API void SetLogObserver(LogObserver observer);

// Routes wxWidgets' own log messages of the calling thread to this facility.
// The core does it for the main thread when loaded and for every thread it starts.
ORV_CORE_API void InstallWxLogTargetForThread();

}  // namespace OrvCore

// Formats and writes a trace line only when the component is switched on.
#define ORV_TRACE(component, source, ...)                                                         \
    do {                                                                                          \
        if (OrvCore::LogTraceIsEnabled(component))                                                \
            OrvCore::LogTrace(component, source, __LINE__, __func__, wxString::Format(__VA_ARGS__)); \
    } while (0)
