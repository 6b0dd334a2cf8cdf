// parlivo-config: writes configuration payloads and serves them on loopback.
#include <charconv>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <unistd.h>

#include <cerrno>

#include "ConfigServer.h"
#include "PageChannel.h"
#include "PayloadWriter.h"
#include "config/EncryptionKey.h"

using namespace parlivo::config;

namespace {

int stopPipe[2] = {-1, -1};

constexpr const char* kOverview =
    "parlivo-config: the maker's side of the remote configuration of Parlivo for WhatsApp.\n"
    "\n"
    "usage: parlivo-config COMMAND [ARGUMENTS]\n"
    "       parlivo-config COMMAND --help\n"
    "\n"
    "commands:\n"
    "  pack    turn a manifest into an encrypted configuration payload\n"
    "  dump    show a payload as a readable property list\n"
    "  serve   serve payloads over HTTPS on 127.0.0.1 (the development build's server)\n";

constexpr const char* kPackHelp =
    "usage: parlivo-config pack MANIFEST -o PAYLOAD\n"
    "\n"
    "Reads MANIFEST (an XML property list with \"Values\", \"Files\" and \"Patches\"), checks the\n"
    "result with the program's own payload check and writes the encrypted payload to PAYLOAD.\n";

constexpr const char* kDumpHelp =
    "usage: parlivo-config dump PAYLOAD\n"
    "\n"
    "Checks PAYLOAD as the program does and prints it as an XML property list, with the scripts as\n"
    "text and the patches decoded. A payload that fails prints its \"Error DDnn\" code on standard\n"
    "error and ends with status 1.\n";

constexpr const char* kServeHelp =
    "usage: parlivo-config serve --payload PAYLOAD [--port N] [--static DIR]\n"
    "                            [--alternate-payload PAYLOAD] [--version V]\n"
    "                            [--answers A,B,...] [--cert PEM] [--key PEM]\n"
    "                            [--page-channel]\n"
    "\n"
    "Serves the configuration over HTTPS on 127.0.0.1 and prints the port once it listens (port 0\n"
    "picks a free one). Stops on SIGTERM or SIGINT.\n"
    "answers: payload, text:BODY, empty, wrong-key, slow:SECONDS, drop\n"
    "         (request n gets the n-th answer; the last one repeats)\n"
    "--page-channel: the stand-in page's test road; each line on standard input is a command\n"
    "         for the page, each record of the page a line on standard output\n";

// A wrong call: what the command (or the tool) expects, on standard error, status 2.
int usage(const char* text = kOverview) {
    std::fputs(text, stderr);
    return 2;
}

// An asked-for help text: on standard output, status 0.
int help(const char* text) {
    std::fputs(text, stdout);
    return 0;
}

bool asksForHelp(const std::vector<std::string>& args) {
    return args.size() == 1 && (args[0] == "--help" || args[0] == "-h");
}

int pack(const std::vector<std::string>& args) {
    if (asksForHelp(args)) return help(kPackHelp);
    std::string manifest, output;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "-o" && i + 1 < args.size()) output = args[++i];
        else if (manifest.empty() && !args[i].starts_with("-")) manifest = args[i];
        else return usage(kPackHelp);
    }
    if (manifest.empty() || output.empty()) return usage(kPackHelp);
    std::string error;
    auto payload = packManifest(manifest, &error);
    if (!payload) {
        std::fprintf(stderr, "parlivo-config: %s\n", error.c_str());
        return 1;
    }
    if (!writeFile(output, *payload)) {
        std::fprintf(stderr, "parlivo-config: cannot write %s\n", output.c_str());
        return 1;
    }
    return 0;
}

int dump(const std::vector<std::string>& args) {
    if (asksForHelp(args)) return help(kDumpHelp);
    if (args.size() != 1 || args[0].starts_with("-")) return usage(kDumpHelp);
    std::string error;
    auto bytes = readFile(args[0], &error);
    if (!bytes) {
        std::fprintf(stderr, "parlivo-config: cannot read %s: %s\n", args[0].c_str(), error.c_str());
        return 1;
    }
    auto text = dumpPayload(*bytes, &error);
    if (!text) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    std::fputs(text->c_str(), stdout);
    return 0;
}

int serve(const std::vector<std::string>& args) {
    if (asksForHelp(args)) return help(kServeHelp);
    ConfigServer::Options options;
    options.certificate = PARLIVO_DEV_TLS_DIR "/server.pem";
    options.privateKey = PARLIVO_DEV_TLS_DIR "/server.key";
    std::string payloadPath, alternatePath;
    std::mutex outputMutex;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--page-channel") {
            options.pageChannel = std::make_shared<PageChannel>([&outputMutex](std::string_view line) {
                std::lock_guard lock(outputMutex);
                std::fwrite(line.data(), 1, line.size(), stdout);
                std::fputc('\n', stdout);
                std::fflush(stdout);
            });
            continue;
        }
        if (i + 1 >= args.size()) return usage(kServeHelp);
        const std::string& name = args[i];
        const std::string& value = args[++i];
        if (name == "--payload") payloadPath = value;
        else if (name == "--alternate-payload") alternatePath = value;
        else if (name == "--port") {
            // A typo must not silently become "any free port".
            const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), options.port);
            if (ec != std::errc() || end != value.data() + value.size()) return usage(kServeHelp);
        }
        else if (name == "--static") options.staticDirectory = value;
        else if (name == "--version") options.version = value;
        else if (name == "--cert") options.certificate = value;
        else if (name == "--key") options.privateKey = value;
        else if (name == "--answers") {
            size_t start = 0;
            while (start <= value.size()) {
                const size_t comma = value.find(',', start);
                const std::string word = value.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
                auto answer = Answer::parse(word);
                if (!answer) {
                    std::fprintf(stderr, "parlivo-config: unknown answer \"%s\"\n", word.c_str());
                    return usage(kServeHelp);
                }
                options.answers.push_back(*answer);
                if (comma == std::string::npos) break;
                start = comma + 1;
            }
        } else return usage(kServeHelp);
    }
    if (payloadPath.empty() || options.port < 0 || options.port > 65535) return usage(kServeHelp);
    std::string error;
    auto payload = readFile(payloadPath, &error);
    if (!payload) {
        std::fprintf(stderr, "parlivo-config: cannot read %s: %s\n", payloadPath.c_str(), error.c_str());
        return 1;
    }
    options.payload = std::move(*payload);
    if (!alternatePath.empty()) {
        options.alternatePayload = readFile(alternatePath, &error);
        if (!options.alternatePayload) {
            std::fprintf(stderr, "parlivo-config: cannot read %s: %s\n", alternatePath.c_str(), error.c_str());
            return 1;
        }
    }
    if (options.version.empty()) {
        auto root = open(options.payload, parlivo::EncryptionKey::key(), parlivo::EncryptionKey::iv());
        options.version = root ? (*root)["Version"].stringOr(programVersion()) : programVersion();
    }

    auto channel = options.pageChannel;
    ConfigServer server(std::move(options));
    auto port = server.bind(&error);
    if (!port) {
        std::fprintf(stderr, "parlivo-config: %s\n", error.c_str());
        return 1;
    }
    {
        std::lock_guard lock(outputMutex);
        std::printf("%d\n", *port);
        std::fflush(stdout);
    }
    if (channel) {
        // Blocks in a read until the process ends, so it is never joined.
        std::thread([channel] {
            for (std::string line; std::getline(std::cin, line);)
                if (!line.empty()) channel->send(line);
        }).detach();
    }
    std::fprintf(stderr, "parlivo-config: serving on https://127.0.0.1:%d\n", *port);

    // Any thread may receive the signal; its handler only writes to a pipe, and a waiting thread
    // stops the server outside signal context.
    if (pipe(stopPipe) != 0) return 1;
    struct sigaction action {};
    action.sa_handler = [](int) {
        const char byte = 1;
        [[maybe_unused]] auto n = write(stopPipe[1], &byte, 1);
    };
    sigemptyset(&action.sa_mask);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
    // A client that gives up mid-answer (a test's short time-out) must not end the server.
    std::signal(SIGPIPE, SIG_IGN);
    std::thread waiter([&] {
        char byte = 0;
        while (read(stopPipe[0], &byte, 1) < 0 && errno == EINTR) {
        }
        server.stop();
    });
    server.run();
    // run() also ends when the socket fails: wake the waiter so it can be joined.
    const char byte = 0;
    [[maybe_unused]] auto n = write(stopPipe[1], &byte, 1);
    waiter.join();
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return usage();
    const std::string command = argv[1];
    const std::vector<std::string> args(argv + 2, argv + argc);
    if (command == "--help" || command == "-h" || command == "help") return help(kOverview);
    if (command == "pack") return pack(args);
    if (command == "dump") return dump(args);
    if (command == "serve") return serve(args);
    std::fprintf(stderr, "parlivo-config: unknown command \"%s\"\n", command.c_str());
    return usage();
}
