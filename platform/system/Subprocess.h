#pragma once

#include "Expected.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// The domain of Subprocess::launch's failures.
inline constexpr const char* SubprocessErrorDomain = "platform.Subprocess";
namespace SubprocessErrorCode {
inline constexpr long noProgram = 1;     // an empty argv
inline constexpr long launchFailed = 2;  // the program could not be started
}  // namespace SubprocessErrorCode

// A child process started without a shell, argv[0] looked up on PATH. Its standard input is
// /dev/null; its standard output is read line by line and its standard error is kept (the last
// 64 KiB), both on the GLib main loop of the thread that launched it.
//
// A child may hang (a file that is a pipe, a stalled network share): the main thread never runs
// one synchronously, and every child the program waits for has a time-out.
class Subprocess : public std::enable_shared_from_this<Subprocess> {
public:
    using LineHandler = std::function<void(std::string_view line)>;
    using ExitHandler = std::function<void(Subprocess& process)>;

    // What a finished synchronous run gives back.
    struct Result {
        bool launched = false;      // false: the program could not be started (see error)
        bool timedOut = false;      // it was killed at its time-out
        bool exitedNormally = false;
        int exitStatus = -1;        // the exit code when exitedNormally
        std::string standardOutput;
        std::string standardError;
        std::string error;          // why it could not be started
        bool succeeded() const { return launched && exitedNormally && exitStatus == 0; }
    };

    // Starts the program; `onOutputLine` gets each line of its standard output (without the
    // line break), `onExit` runs once, after the process has ended and its output has been
    // read. The process keeps this object alive until then, so the caller may drop it.
    // An error in SubprocessErrorDomain when the program cannot be started; no handler runs then.
    static Expected<std::shared_ptr<Subprocess>> launch(const std::vector<std::string>& argv,
                                                        LineHandler onOutputLine, ExitHandler onExit);

    // Runs the program to its end on the calling thread and collects its output. With a
    // `timeoutSeconds` above 0 the program is killed when it has not ended by then (and the
    // call returns even if a child of it still holds its output open). Never on the main thread:
    // use it on a worker queue.
    static Result run(const std::vector<std::string>& argv, double timeoutSeconds = 0);

    // The largest standard error output kept, from its end.
    static constexpr std::size_t kStandardErrorLimit = 64 * 1024;

    ~Subprocess();
    Subprocess(const Subprocess&) = delete;
    Subprocess& operator=(const Subprocess&) = delete;

    // Ends the process at once (SIGKILL). The exit handler still runs, later.
    void kill();
    // Sends SIGTERM, so the program can end in its own way.
    void terminate();
    // Kills the process when it has not ended `seconds` from now.
    void setTimeout(double seconds);
    // Kills the process when its standard output stays silent for `seconds` (a program that
    // reports progress as it goes, and has stalled when it stops).
    void setSilenceTimeout(double seconds);
    // Whether one of the time-outs killed it.
    bool timedOut() const { return timedOut_; }

    bool isRunning() const { return !finished_; }
    bool exitedNormally() const { return exitedNormally_; }
    int exitStatus() const { return exitStatus_; }
    bool succeeded() const { return finished_ && exitedNormally_ && exitStatus_ == 0; }
    // The tail of the standard error output.
    const std::string& standardError() const { return standardError_; }
    int processId() const { return pid_; }

private:
    struct Impl;
    Subprocess();
    void finishStep();

    std::unique_ptr<Impl> impl_;
    LineHandler onOutputLine_;
    ExitHandler onExit_;
    std::shared_ptr<Subprocess> self_;  // kept while the process runs
    int pendingSteps_ = 0;
    bool finished_ = false;
    bool timedOut_ = false;
    bool exitedNormally_ = false;
    int exitStatus_ = -1;
    int pid_ = 0;
    std::string standardError_;
};

}  // namespace platform
