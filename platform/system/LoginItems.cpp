#include "LoginItems.h"

#include <glib.h>
#include <glib/gstdio.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <system_error>

#include "foundation/FileManager.h"
#include "foundation/Log.h"
#include "foundation/ProcessInfo.h"

namespace fs = std::filesystem;

namespace platform {
namespace {


bool isPlainName(const std::string& identifier) {
    if (identifier.empty() || identifier == "." || identifier == "..") return false;
    for (unsigned char c : identifier)
        if (c == '/' || c < 0x20 || c == 0x7f) return false;
    return true;
}

// Escapes a value of type string (Desktop Entry Specification, "Possible value types").
std::string escapeStringValue(const std::string& value) {
    std::string out;
    for (char c : value) {
        switch (c) {
        case '\\': out += "\\\\"; break;
        case '\t': out += "\\t"; break;
        default: out += c;
        }
    }
    return out;
}

bool writeEntry(const fs::path& path, const std::string& contents) {
    const auto written = FileManager::writeAtomically(path, contents, 0644);
    if (!written)
        systemLog("LoginItems: cannot write " + path.string() + ": " + written.error().message, LogLevel::warning);
    return written.has_value();
}

}  // namespace

fs::path LoginItems::entryPath(const std::string& identifier) {
    if (!isPlainName(identifier)) return {};
    return FileManager::configDirectory() / "autostart" / (identifier + ".desktop");
}

fs::path LoginItems::bundledLoginItemExecutable() {
    const fs::path executable = ProcessInfo::executablePath();
    if (executable.empty()) return {};
    return (executable.parent_path() / ".." / "libexec" / "parlivo-for-whatsapp" / "LaunchHelper").lexically_normal();
}

std::string LoginItems::execValue(const fs::path& executable) {
    const std::string path = executable.string();
    if (path.find_first_of("\n\r") != std::string::npos) return {};
    // Quote the whole argument; inside quotes ", `, $ and \ take a backslash, and % is doubled
    // so it is not read as a field code. The result is then escaped once more as a string value.
    std::string quoted = "\"";
    for (char c : path) {
        if (c == '"' || c == '`' || c == '$' || c == '\\') quoted += '\\';
        if (c == '%') quoted += '%';
        quoted += c;
    }
    quoted += '"';
    return escapeStringValue(quoted);
}

bool LoginItems::setEnabled(const std::string& identifier, bool enabled) {
    return setEnabled(identifier, bundledLoginItemExecutable(), enabled);
}

bool LoginItems::setEnabled(const std::string& identifier, const fs::path& executable, bool enabled) {
    const fs::path entry = entryPath(identifier);
    if (entry.empty()) {
        systemLog("LoginItems: not a usable login-item identifier", LogLevel::warning);
        return false;
    }
    std::error_code ec;
    if (!enabled) {
        fs::remove(entry, ec);  // an absent entry is the state we want
        if (ec) systemLog("LoginItems: cannot remove " + entry.string() + ": " + ec.message(), LogLevel::warning);
        return !ec;
    }

    // Like the system's login-item registration, enabling fails when the program is not there.
    if (executable.empty() || !executable.is_absolute() || !fs::is_regular_file(executable, ec) ||
        g_access(executable.c_str(), X_OK) != 0) {
        systemLog("LoginItems: login-item program not found: " + executable.string(), LogLevel::warning);
        return false;
    }
    const std::string exec = execValue(executable);
    if (exec.empty()) {
        systemLog("LoginItems: login-item path cannot be written to a desktop entry", LogLevel::warning);
        return false;
    }
    fs::create_directories(entry.parent_path(), ec);
    if (ec) {
        systemLog("LoginItems: cannot create " + entry.parent_path().string() + ": " + ec.message(), LogLevel::warning);
        return false;
    }
    const std::string contents = "[Desktop Entry]\n"
                                 "Type=Application\n"
                                 "Name=Parlivo for WhatsApp (login item)\n"
                                 "Exec=" + exec + "\n"
                                 "Terminal=false\n"
                                 "NoDisplay=true\n"
                                 "X-GNOME-Autostart-enabled=true\n";
    return writeEntry(entry, contents);
}

bool LoginItems::isEnabled(const std::string& identifier) {
    const fs::path entry = entryPath(identifier);
    std::error_code ec;
    return !entry.empty() && fs::is_regular_file(entry, ec);
}

}  // namespace platform
