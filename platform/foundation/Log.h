#pragma once

#include <string_view>

namespace platform {

enum class LogLevel { debug, info, notice, warning, error };

// The system log: structured GLib logging (g_log_structured) with the program's log domain,
// so journalctl shows the lines. Thread-safe.
void systemLog(std::string_view message, LogLevel level = LogLevel::notice);

// Sends every system-log line to `sink` as well (tests read them); null removes it.
using LogSink = void (*)(std::string_view message, LogLevel level);
void setSystemLogSink(LogSink sink);

}  // namespace platform
