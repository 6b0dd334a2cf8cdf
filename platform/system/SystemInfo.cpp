#include "SystemInfo.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace platform {
namespace {

constexpr int ethernetType = 1;  // ARPHRD_ETHER

std::optional<std::string> readFirstLine(const std::filesystem::path& path) {
    std::ifstream in(path);
    if (!in) return std::nullopt;
    std::string line;
    std::getline(in, line);
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t')) line.pop_back();
    return line;
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// "aa:bb:cc:dd:ee:ff" to six bytes; none for any other shape or an all-zero address.
std::optional<std::vector<uint8_t>> parseMAC(const std::string& text) {
    std::vector<uint8_t> bytes;
    size_t i = 0;
    while (i < text.size()) {
        if (i + 1 >= text.size()) return std::nullopt;
        const int hi = hexDigit(text[i]), lo = hexDigit(text[i + 1]);
        if (hi < 0 || lo < 0) return std::nullopt;
        bytes.push_back(uint8_t(hi << 4 | lo));
        i += 2;
        if (i < text.size()) {
            if (text[i] != ':') return std::nullopt;
            ++i;
        }
    }
    if (bytes.size() != 6 || std::all_of(bytes.begin(), bytes.end(), [](uint8_t b) { return b == 0; }))
        return std::nullopt;
    return bytes;
}

std::string unquote(std::string value) {
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
        value = value.substr(1, value.size() - 2);
    std::string out;
    for (size_t i = 0; i < value.size(); ++i) {
        if (value[i] == '\\' && i + 1 < value.size()) ++i;
        out += value[i];
    }
    return out;
}

}  // namespace

SystemInfo::SystemInfo(std::filesystem::path root) : root_(std::move(root)) {}

std::optional<std::vector<uint8_t>> SystemInfo::primaryMACAddress() const {
    const auto netDir = root_ / "sys/class/net";
    auto macOf = [&](const std::string& name) -> std::optional<std::vector<uint8_t>> {
        const auto type = readFirstLine(netDir / name / "type");
        if (!type || *type != std::to_string(ethernetType)) return std::nullopt;
        const auto address = readFirstLine(netDir / name / "address");
        return address ? parseMAC(*address) : std::nullopt;
    };
    std::error_code ec;
    if (std::filesystem::exists(netDir / "en0", ec)) return macOf("en0");

    std::vector<std::string> names;
    for (auto it = std::filesystem::directory_iterator(netDir, ec); !ec && it != std::filesystem::directory_iterator();
         it.increment(ec))
        names.push_back(it->path().filename().string());
    std::sort(names.begin(), names.end());
    // Bridges, veth pairs and the like get made-up addresses that may change at each boot; a
    // network card (sysfs links it to its "device") keeps its own, so the device id stays put.
    for (const auto& name : names)
        if (std::filesystem::exists(netDir / name / "device", ec))
            if (auto mac = macOf(name)) return mac;
    for (const auto& name : names)
        if (auto mac = macOf(name)) return mac;
    return std::nullopt;
}

std::optional<std::string> SystemInfo::osReleaseValue(const std::string& key) const {
    for (const char* candidate : {"etc/os-release", "usr/lib/os-release"}) {
        std::ifstream in(root_ / candidate);
        if (!in) continue;
        std::string line;
        while (std::getline(in, line)) {
            if (line.size() > key.size() && line.compare(0, key.size(), key) == 0 && line[key.size()] == '=')
                return unquote(line.substr(key.size() + 1));
        }
        return std::nullopt;
    }
    return std::nullopt;
}

std::string SystemInfo::operatingSystemName() const {
    auto name = osReleaseValue("NAME");
    return name && !name->empty() ? *name : "Linux";
}

SystemInfo::OSVersion SystemInfo::operatingSystemVersion() const {
    OSVersion version;
    const auto text = osReleaseValue("VERSION_ID");
    if (!text) return version;
    int* parts[] = {&version.major, &version.minor, &version.patch};
    size_t index = 0;
    std::istringstream in(*text);
    std::string piece;
    while (index < 3 && std::getline(in, piece, '.')) {
        int value = 0;
        bool any = false;
        for (char c : piece) {
            if (c < '0' || c > '9' || value > 100000000) break;
            value = value * 10 + (c - '0');
            any = true;
        }
        if (!any) break;
        *parts[index++] = value;
    }
    return version;
}

std::string SystemInfo::hardwareModel() const {
    auto model = readFirstLine(root_ / "sys/class/dmi/id/product_name");
    return model && !model->empty() ? *model : "Unknown";
}

std::string SystemInfo::currentLocaleIdentifier() {
    std::string value;
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* v = std::getenv(name);
        if (v && *v) {
            value = v;
            break;
        }
    }
    value = value.substr(0, value.find_first_of(".@"));
    if (value.empty() || value == "C" || value == "POSIX") return "en_US_POSIX";
    return value;
}

}  // namespace platform
