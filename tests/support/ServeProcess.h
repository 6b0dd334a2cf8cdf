#pragma once
// Runs `parlivo-config serve` as the tests' configuration server: the built program, over real
// TLS on loopback, on a free port that it prints.

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

extern char** environ;

class ServeProcess {
public:
    explicit ServeProcess(std::vector<std::string> arguments) {
        std::vector<std::string> argv{PARLIVO_BIN_DIR "/parlivo-config", "serve", "--port", "0"};
        argv.insert(argv.end(), arguments.begin(), arguments.end());
        std::vector<char*> raw;
        for (auto& a : argv) raw.push_back(a.data());
        raw.push_back(nullptr);
        int out[2];
        if (pipe(out) != 0) return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&actions, out[0]);
        if (posix_spawn(&pid_, raw[0], &actions, nullptr, raw.data(), environ) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        close(out[1]);
        if (pid_ > 0) {
            FILE* stream = fdopen(out[0], "r");
            if (stream && std::fscanf(stream, "%d", &port_) != 1) port_ = 0;
            if (stream) std::fclose(stream);
        } else {
            close(out[0]);
        }
    }

    ~ServeProcess() { stop(); }

    // SIGTERM, then the exit status (-1 when it did not exit normally).
    int stop() {
        if (pid_ <= 0) return exitStatus_;
        kill(pid_, SIGTERM);
        int status = 0;
        waitpid(pid_, &status, 0);
        pid_ = -1;
        exitStatus_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        return exitStatus_;
    }

    int port() const { return port_; }
    std::string host() const { return "127.0.0.1:" + std::to_string(port_); }

private:
    pid_t pid_ = -1;
    int port_ = 0;
    int exitStatus_ = -1;
};
