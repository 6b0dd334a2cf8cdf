#include "ChildProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

#include "RunLoop.h"

extern char** environ;

namespace testsupport {

ChildProcess::ChildProcess(Options options) : options_(std::move(options)) {
    if (options_.argv.empty()) {
        startError_ = "no program";
        return;
    }
    // Everything the child needs is made before fork: it may only call async-signal-safe
    // functions afterwards.
    std::map<std::string, std::string> environment;
    for (char** entry = environ; *entry; ++entry) {
        const char* eq = std::strchr(*entry, '=');
        if (eq) environment[std::string(*entry, size_t(eq - *entry))] = eq + 1;
    }
    for (const auto& [name, value] : options_.environment) environment[name] = value;
    std::vector<std::string> envText;
    for (const auto& [name, value] : environment) envText.push_back(name + "=" + value);
    std::vector<char*> envp, argv;
    for (auto& text : envText) envp.push_back(text.data());
    envp.push_back(nullptr);
    for (auto& arg : options_.argv) argv.push_back(arg.data());
    argv.push_back(nullptr);

    int in[2], out[2], err[2], failure[2];
    if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0 ||
        pipe2(failure, O_CLOEXEC) != 0 ||
        pipe2(wake_, O_CLOEXEC) != 0) {
        startError_ = std::strerror(errno);
        return;
    }
    const pid_t parent = getpid();
    const pid_t pid = fork();
    if (pid < 0) {
        startError_ = std::strerror(errno);
        return;
    }
    if (pid == 0) {
        setpgid(0, 0);
        // Ends with the test process, even when that is killed.
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (getppid() != parent) _exit(127);
        dup2(in[0], STDIN_FILENO);
        dup2(out[1], STDOUT_FILENO);
        dup2(err[1], STDERR_FILENO);
        if (!options_.workingDirectory.empty() && chdir(options_.workingDirectory.c_str()) != 0) {
            const int code = errno;
            [[maybe_unused]] auto n = write(failure[1], &code, sizeof code);
            _exit(127);
        }
        execve(argv[0], argv.data(), envp.data());
        const int code = errno;
        [[maybe_unused]] auto n = write(failure[1], &code, sizeof code);
        _exit(127);
    }
    setpgid(pid, pid);  // also here, so a signal to the group right after fork finds it
    close(in[0]);
    close(out[1]);
    close(err[1]);
    close(failure[1]);
    input_ = in[1];
    output_ = out[0];
    error_ = err[0];
    int code = 0;
    ssize_t n;
    while ((n = read(failure[0], &code, sizeof code)) < 0 && errno == EINTR) {
    }
    close(failure[0]);
    pid_ = pid;
    waiter_ = std::thread([this] { awaitExit(); });
    reader_ = std::thread([this] { readOutput(); });
    if (n == sizeof code) {
        startError_ = "cannot start " + options_.argv[0] + ": " + std::strerror(code);
        waitForExit(10);
    }
}

ChildProcess::~ChildProcess() {
    if (pid_ > 0) {
        stop(5);
        const char byte = 0;
        [[maybe_unused]] auto n = write(wake_[1], &byte, 1);
        if (waiter_.joinable()) waiter_.join();
        if (reader_.joinable()) reader_.join();
    }
    for (int fd : {input_, output_, error_, wake_[0], wake_[1]})
        if (fd >= 0) close(fd);
}

void ChildProcess::awaitExit() {
    int status = 0;
    pid_t result;
    while ((result = waitpid(pid_, &status, 0)) < 0 && errno == EINTR) {
    }
    std::lock_guard lock(mutex_);
    exited_ = true;
    status_ = result < 0 ? -1 : WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    changed_.notify_all();
}

void ChildProcess::readOutput() {
    std::string pending[2];
    auto deliver = [&](std::string line, bool error) {
        if (options_.onLine) options_.onLine(line, error);
        std::lock_guard lock(mutex_);
        lines_.push_back(std::move(line));
        changed_.notify_all();
    };
    char buffer[65536];
    pollfd fds[3] = {{output_, POLLIN, 0}, {error_, POLLIN, 0}, {wake_[0], POLLIN, 0}};
    int open = 2;
    while (open > 0) {
        if (poll(fds, 3, -1) < 0) {
            if (errno == EINTR) continue;
            break;
        }
        if (fds[2].revents) break;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || !fds[i].revents) continue;
            const ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                fds[i].fd = -1;  // poll skips it from now on
                --open;
                continue;
            }
            pending[i].append(buffer, size_t(n));
            size_t start = 0, end;
            while ((end = pending[i].find('\n', start)) != std::string::npos) {
                deliver(pending[i].substr(start, end - start), i == 1);
                start = end + 1;
            }
            pending[i].erase(0, start);
        }
    }
    for (int i = 0; i < 2; ++i)
        if (!pending[i].empty()) deliver(std::move(pending[i]), i == 1);
}

bool ChildProcess::writeLine(std::string_view line) {
    if (input_ < 0) return false;
    std::string text(line);
    text += '\n';
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = write(input_, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += size_t(n);
    }
    return true;
}

void ChildProcess::closeInput() {
    if (input_ >= 0) close(input_);
    input_ = -1;
}

long ChildProcess::waitForLineAfter(size_t from, std::string_view text, double timeoutSeconds) {
    std::unique_lock lock(mutex_);
    long found = -1;
    size_t checked = from;
    changed_.wait_until(lock, deadlineAfter(timeoutSeconds), [&] {
        for (; checked < lines_.size(); ++checked)
            if (lines_[checked].find(text) != std::string::npos) {
                found = long(checked);
                return true;
            }
        return false;
    });
    return found;
}

bool ChildProcess::waitForLine(std::string_view text, double timeoutSeconds) {
    return waitForLineAfter(0, text, timeoutSeconds) >= 0;
}

std::vector<std::string> ChildProcess::lines() const {
    std::lock_guard lock(mutex_);
    return lines_;
}

std::string ChildProcess::output() const {
    std::string text;
    for (const auto& line : lines()) text += line + "\n";
    return text;
}

bool ChildProcess::waitForExit(double timeoutSeconds) {
    std::unique_lock lock(mutex_);
    return changed_.wait_until(lock, deadlineAfter(timeoutSeconds), [&] { return exited_; });
}

bool ChildProcess::running() const {
    std::lock_guard lock(mutex_);
    return pid_ > 0 && !exited_;
}

int ChildProcess::stop(double graceSeconds) {
    if (pid_ <= 0) return -1;
    if (running()) {
        kill(pid_, SIGTERM);
        if (!waitForExit(graceSeconds)) kill(-pid_, SIGKILL);
        waitForExit(30);
    }
    // Helpers it started (WebKit's web and network processes) go with it.
    kill(-pid_, SIGKILL);
    std::lock_guard lock(mutex_);
    return status_;
}

}  // namespace testsupport
