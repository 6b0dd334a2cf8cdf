#include "ProcessInfo.h"

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <filesystem>
#include <mutex>

namespace platform {
namespace {

std::mutex& argumentsMutex() {
    static auto* m = new std::mutex;  // never destroyed, like the arguments it guards
    return *m;
}

std::vector<std::string>& storedArguments() {
    static auto* args = new std::vector<std::string>;  // never destroyed: read until the very end
    return *args;
}

}  // namespace

void ProcessInfo::saveArguments(int argc, char** argv) {
    std::vector<std::string> args;
    for (int i = 0; i < argc && argv && argv[i]; ++i) args.emplace_back(argv[i]);
    setArguments(std::move(args));
}

void ProcessInfo::setArguments(std::vector<std::string> arguments) {
    std::lock_guard lock(argumentsMutex());
    storedArguments() = std::move(arguments);
}

std::vector<std::string> ProcessInfo::arguments() {
    std::lock_guard lock(argumentsMutex());
    return storedArguments();
}

bool ProcessInfo::hasArgument(const std::string& argument) {
    auto args = arguments();
    return std::find(args.begin(), args.end(), argument) != args.end();
}

std::vector<std::string> ProcessInfo::openableArguments() {
    auto args = arguments();
    std::vector<std::string> out;
    for (size_t i = 0; i < args.size(); ++i)
        if (i == 0 || (!args[i].empty() && args[i][0] != '-')) out.push_back(args[i]);
    if (out.empty()) out.emplace_back("parlivo-for-whatsapp");
    return out;
}

std::string ProcessInfo::executablePath() {
    std::error_code ec;
    auto path = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::string() : path.string();
}

std::string ProcessInfo::environment(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

std::string ProcessInfo::developmentEnvironment([[maybe_unused]] const char* name) {
#ifdef PARLIVO_DEVELOPMENT_BUILD
    return environment(name);
#else
    return {};
#endif
}

double ProcessInfo::testTimeScale() {
    static const double scale = [] {
        const std::string text = developmentEnvironment("PARLIVO_TEST_TIME_SCALE");
        double value = 0;
        // from_chars reads the same in every locale (GTK sets the process locale).
        const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
        const bool whole = error == std::errc() && end == text.data() + text.size();
        return whole && value >= 1.0 && value <= 100.0 ? value : 1.0;
    }();
    return scale;
}

}  // namespace platform
