#include "shell/CommandLine.h"

#include <algorithm>
#include <filesystem>

namespace parlivo {
namespace {

bool isHelp(std::string_view argument) {
    return argument == "--help" || argument == "-h" || argument == "-?" || argument == "--help-all";
}

bool isLaunchArgument(std::string_view argument) {
    return std::any_of(CommandLine::launchArguments.begin(), CommandLine::launchArguments.end(),
                       [&](const auto& known) { return known.name == argument; });
}

}  // namespace

CommandLine::CommandLine(const std::vector<std::string>& arguments) {
    if (!arguments.empty() && !arguments.front().empty())
        program_ = std::filesystem::path(arguments.front()).filename().string();
    bool help = false, version = false;
    for (size_t i = 1; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (isHelp(argument)) help = true;
        else if (argument == "--version") version = true;
        else if (argument.starts_with('-') && !isLaunchArgument(argument)) unknown_.push_back(argument);
    }
    if (help) request_ = Request::help;
    else if (version) request_ = Request::version;
    else if (!unknown_.empty()) request_ = Request::unknownOptions;
}

std::string CommandLine::helpText(std::string_view applicationName) {
    std::string text =
        "Usage:\n"
        "  parlivo-for-whatsapp [OPTION…] [URL…]\n"
        "\n";
    text.append(applicationName);
    text +=
        ": a desktop host for the WhatsApp web client. A second start brings up the running\n"
        "copy; share URLs (net.vantreo.mac.whatsapp.share:…) are handed to it.\n"
        "\n"
        "Options:\n"
        "  -h, --help          Show this help and exit\n"
        "  --version           Show the program's version and exit\n"
        "\n"
        "Launch arguments:\n";
    constexpr size_t kColumn = 20;
    for (const auto& [name, description] : launchArguments) {
        text += "  ";
        text.append(name);
        text.append(name.size() < kColumn ? kColumn - name.size() : 1, ' ');
        text.append(description);
        text += '\n';
    }
    return text;
}

std::string CommandLine::unknownOptionsText() const {
    std::string text;
    for (const auto& option : unknown_) text += program_ + ": unknown option \"" + option + "\"\n";
    text += "Run \"" + program_ + " --help\" to see the options and launch arguments.\n";
    return text;
}

}  // namespace parlivo
