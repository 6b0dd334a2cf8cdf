#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// A child process started without a shell, argv[0] looked up on PATH. Its standard input is
// /dev/null; its standard output is read line by line and its standard error is kept (the last
// 64 KiB), both on the GLib main loop of the thread that launched it.
class Subprocess : public std::enable_shared_from_this<Subprocess> {
public:
    using LineHandler = std::function<void(std::string_view line)>;
    using ExitHandler = std::function<void(Subprocess& process)>;

    // What a finished synchronous run gives back.
    struct Result {
        bool launched = false;      // false: the program could not be started (see error)
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
    // Returns null (and fills `error`) when the program cannot be started; no handler runs then.
    static std::shared_ptr<Subprocess> launch(const std::vector<std::string>& argv, LineHandler onOutputLine,
                                              ExitHandler onExit, std::string* error = nullptr);

    // Runs the program to its end on the calling thread and collects its output.
    static Result run(const std::vector<std::string>& argv);

    ~Subprocess();
    Subprocess(const Subprocess&) = delete;
    Subprocess& operator=(const Subprocess&) = delete;

    // Ends the process at once (SIGKILL). The exit handler still runs, later.
    void kill();
    // Sends SIGTERM, so the program can end in its own way.
    void terminate();

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
    bool exitedNormally_ = false;
    int exitStatus_ = -1;
    int pid_ = 0;
    std::string standardError_;
};

}  // namespace platform
