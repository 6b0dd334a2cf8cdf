#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

namespace parlivo {

// What the command line asks for, read before GTK or GApplication sees it: an answer (help,
// the version), a start, or nothing but a usage error. The program's own launch arguments are
// whole single-dash words; everything that does not start with "-" is a URL or file to open.
class CommandLine {
public:
    enum class Request { start, help, version, unknownOptions };

    struct LaunchArgument {
        std::string_view name;
        std::string_view description;
    };
    // Every launch argument the program understands, in the order the help lists them.
    static constexpr std::array<LaunchArgument, 5> launchArguments{{
        {"-de", "Write the debug log to standard output"},
        {"-beta", "Ask the updater for beta versions"},
        {"-alternate", "Fetch the alternate remote configuration"},
        {"-server2", "Fetch the remote configuration from the second server"},
        {"-launchedAtLogin", "Started by the login item: a copy that already runs is left as it is"},
    }};

    // `arguments` as main() got them, the program's path first.
    explicit CommandLine(const std::vector<std::string>& arguments);

    // Help or the version anywhere on the line wins, so "--help" always answers; otherwise an
    // option that is none of ours stops the start.
    Request request() const { return request_; }
    const std::vector<std::string>& unknownOptions() const { return unknown_; }

    static std::string helpText(std::string_view applicationName);
    // What standard error says for the unknown options.
    std::string unknownOptionsText() const;

private:
    Request request_ = Request::start;
    std::string program_ = "parlivo-for-whatsapp";
    std::vector<std::string> unknown_;
};

}  // namespace parlivo
