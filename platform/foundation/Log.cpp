#include "Log.h"

#include <glib.h>

#include <atomic>
#include <string>

namespace platform {
namespace {

std::atomic<LogSink> logSink{nullptr};

GLogLevelFlags glibLevel(LogLevel level) {
    switch (level) {
    case LogLevel::debug: return G_LOG_LEVEL_DEBUG;
    case LogLevel::info: return G_LOG_LEVEL_INFO;
    case LogLevel::notice: return G_LOG_LEVEL_MESSAGE;
    case LogLevel::warning: return G_LOG_LEVEL_WARNING;
    // Not G_LOG_LEVEL_ERROR: GLib aborts the process on that level.
    case LogLevel::error: return G_LOG_LEVEL_CRITICAL;
    }
    return G_LOG_LEVEL_MESSAGE;
}

}  // namespace

void systemLog(std::string_view message, LogLevel level) {
    const std::string text(message);
    const GLogField fields[] = {
        {"GLIB_DOMAIN", "parlivo", -1},
        {"MESSAGE", text.c_str(), -1},
        {"SYSLOG_IDENTIFIER", "parlivo-for-whatsapp", -1},
    };
    g_log_structured_array(glibLevel(level), fields, G_N_ELEMENTS(fields));
    if (auto sink = logSink.load()) sink(message, level);
}

void setSystemLogSink(LogSink sink) {
    logSink.store(sink);
}

}  // namespace platform
