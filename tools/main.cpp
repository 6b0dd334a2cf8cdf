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

int usage() {
    std::fprintf(stderr,
                 "usage: parlivo-config pack MANIFEST -o PAYLOAD\n"
                 "       parlivo-config dump PAYLOAD\n"
                 "       parlivo-config serve --payload PAYLOAD [--port N] [--static DIR]\n"
                 "                            [--alternate-payload PAYLOAD] [--version V]\n"
                 "                            [--answers A,B,...] [--cert PEM] [--key PEM]\n"
                 "                            [--page-channel]\n"
                 "answers: payload, text:BODY, empty, wrong-key, slow:SECONDS, drop\n"
                 "         (request n gets the n-th answer; the last one repeats)\n"
                 "--page-channel: the stand-in page's test road; each line on standard input is a\n"
                 "         command for the page, each record of the page a line on standard output\n");
    return 2;
}

int pack(const std::vector<std::string>& args) {
    std::string manifest, output;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "-o" && i + 1 < args.size()) output = args[++i];
        else if (manifest.empty()) manifest = args[i];
        else return usage();
    }
    if (manifest.empty() || output.empty()) return usage();
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
    if (args.size() != 1) return usage();
    auto bytes = readFile(args[0]);
    if (!bytes) {
        std::fprintf(stderr, "parlivo-config: cannot read %s\n", args[0].c_str());
        return 1;
    }
    std::string error;
    auto text = dumpPayload(*bytes, &error);
    if (!text) {
        std::printf("%s\n", error.c_str());
        return 1;
    }
    std::fputs(text->c_str(), stdout);
    return 0;
}

int serve(const std::vector<std::string>& args) {
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
        if (i + 1 >= args.size()) return usage();
        const std::string& name = args[i];
        const std::string& value = args[++i];
        if (name == "--payload") payloadPath = value;
        else if (name == "--alternate-payload") alternatePath = value;
        else if (name == "--port") {
            // A typo must not silently become "any free port".
            const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), options.port);
            if (ec != std::errc() || end != value.data() + value.size()) return usage();
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
                    return 2;
                }
                options.answers.push_back(*answer);
                if (comma == std::string::npos) break;
                start = comma + 1;
            }
        } else return usage();
    }
    if (payloadPath.empty() || options.port < 0 || options.port > 65535) return usage();
    auto payload = readFile(payloadPath);
    if (!payload) {
        std::fprintf(stderr, "parlivo-config: cannot read %s\n", payloadPath.c_str());
        return 1;
    }
    options.payload = std::move(*payload);
    if (!alternatePath.empty()) {
        options.alternatePayload = readFile(alternatePath);
        if (!options.alternatePayload) {
            std::fprintf(stderr, "parlivo-config: cannot read %s\n", alternatePath.c_str());
            return 1;
        }
    }
    if (options.version.empty()) {
        auto root = open(options.payload, parlivo::EncryptionKey::key(), parlivo::EncryptionKey::iv());
        options.version = root ? (*root)["Version"].stringOr(programVersion()) : programVersion();
    }

    auto channel = options.pageChannel;
    ConfigServer server(std::move(options));
    std::string error;
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
    if (command == "pack") return pack(args);
    if (command == "dump") return dump(args);
    if (command == "serve") return serve(args);
    return usage();
}
