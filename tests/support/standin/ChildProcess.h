#pragma once

#include <sys/types.h>

#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace testsupport {

// A program a test starts and owns: its own process group (so the helpers it starts end with
// it), killed with the test process if that dies first, standard output and error read line by
// line on a thread of its own (no main loop needed), standard input writable. The destructor
// stops it.
class ChildProcess {
public:
    struct Options {
        std::vector<std::string> argv;               // argv[0] is a path, not looked up
        std::map<std::string, std::string> environment;  // added to (or replacing in) the test's
        std::string workingDirectory;                // empty: the test's
        // Each line of standard output (`error` false) or standard error (true), on the reader
        // thread, in the order read; a line is never split by one of the other stream.
        std::function<void(std::string_view line, bool error)> onLine;
    };

    explicit ChildProcess(Options options);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool started() const { return pid_ > 0; }
    pid_t pid() const { return pid_; }
    const std::string& startError() const { return startError_; }

    // Writes one line to its standard input; false once that is closed.
    bool writeLine(std::string_view line);
    void closeInput();

    // Waits until a line containing `text` has come (also one that came before the call).
    bool waitForLine(std::string_view text, double timeoutSeconds);
    // Waits until a line past the first `from` lines contains `text`; its index, or -1.
    long waitForLineAfter(size_t from, std::string_view text, double timeoutSeconds);
    std::vector<std::string> lines() const;
    // Everything it printed, one text.
    std::string output() const;

    // Whether it has ended, waiting up to `timeoutSeconds`.
    bool waitForExit(double timeoutSeconds);
    bool running() const;
    // SIGTERM to the program; after `graceSeconds` SIGKILL to its whole group. Its exit status
    // (128 + signal when a signal ended it).
    int stop(double graceSeconds = 10);
    int exitStatus() const { return status_; }

private:
    void readOutput();
    void awaitExit();

    Options options_;
    pid_t pid_ = -1;
    int input_ = -1;
    std::string startError_;
    int output_ = -1, error_ = -1;
    int wake_[2] = {-1, -1};  // wakes the reader when a stray grandchild keeps the pipe open
    std::thread reader_, waiter_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::string> lines_;
    bool exited_ = false;
    int status_ = -1;
};

}  // namespace testsupport
