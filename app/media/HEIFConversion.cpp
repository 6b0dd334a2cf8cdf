#include "media/HEIFConversion.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstring>
#include <string>

#include "DebugPrint.h"
#include "foundation/FileManager.h"
#include "foundation/ProcessInfo.h"

extern char** environ;

namespace parlivo {

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using Outcome = HEIFConversion::Outcome;

// The decoder's exit statuses (app/media/heif-decoder/main.cpp).
constexpr int kExitUnreadable = 2;
constexpr int kExitOverBounds = 3;

void log(std::string_view message) { tovak::debugPrint(HEIFConversion::kClassName, message); }

// Beside the program in both trees: bin/, tests/ and bench/ all sit next to libexec/.
const fs::path& decoderPath() {
    static const fs::path path = (fs::path(platform::ProcessInfo::executablePath()).parent_path() / ".." /
                                  "libexec" / "parlivo-for-whatsapp" / "parlivo-heif-decoder")
                                     .lexically_normal();
    return path;
}

class FileDescriptor {
public:
    explicit FileDescriptor(int fd = -1) : fd_(fd) {}
    ~FileDescriptor() { reset(); }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return fd_; }
    void reset() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }

private:
    int fd_;
};

struct SpawnActions {
    posix_spawn_file_actions_t actions;
    SpawnActions() { posix_spawn_file_actions_init(&actions); }
    ~SpawnActions() { posix_spawn_file_actions_destroy(&actions); }
};
struct SpawnAttributes {
    posix_spawnattr_t attributes;
    SpawnAttributes() { posix_spawnattr_init(&attributes); }
    ~SpawnAttributes() { posix_spawnattr_destroy(&attributes); }
};

// The same in every locale (GTK sets the process's), as the decoder's from_chars reads it.
std::string numberText(double value) {
    char text[64];
    const auto [end, error] = std::to_chars(text, text + sizeof text, std::isfinite(value) ? value : 0.0);
    return error == std::errc() ? std::string(text, end) : std::string("0");
}

// Runs the decoder on `heif`: input through a socket (written with MSG_NOSIGNAL, so a decoder
// that ends early cannot raise SIGPIPE here), the JPEG back through a pipe, both served by one
// poll loop until the decoder has ended or its time is up.
HEIFConversion::Conversion runDecoder(std::span<const std::uint8_t> heif, double quality) {
    const double scale = platform::ProcessInfo::testTimeScale();
    int input[2], output[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, input) != 0) {
        log(std::string("Could not start the HEIF decoder: ") + std::strerror(errno));
        return {};
    }
    FileDescriptor childInput(input[0]), feed(input[1]);
    if (pipe2(output, O_CLOEXEC) != 0) {
        log(std::string("Could not start the HEIF decoder: ") + std::strerror(errno));
        return {};
    }
    FileDescriptor drain(output[0]), childOutput(output[1]);

    SpawnActions actions;
    posix_spawn_file_actions_adddup2(&actions.actions, childInput.get(), STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions.actions, childOutput.get(), STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&actions.actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addclosefrom_np(&actions.actions, STDERR_FILENO + 1);
    // Default dispositions and no blocked signals, whatever this thread has.
    SpawnAttributes attributes;
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    sigdelset(&all, SIGKILL);
    sigdelset(&all, SIGSTOP);
    posix_spawnattr_setsigmask(&attributes.attributes, &none);
    posix_spawnattr_setsigdefault(&attributes.attributes, &all);
    posix_spawnattr_setflags(&attributes.attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    const std::string program = decoderPath().string();
    const std::string qualityText = numberText(quality);
    const std::string memoryText = std::to_string(HEIFConversion::decoderMemoryLimit);
    const std::string cpuText =
        std::to_string(static_cast<unsigned>(std::ceil(HEIFConversion::decoderCPUSeconds * scale)));
    char* arguments[] = {const_cast<char*>(program.c_str()), const_cast<char*>(qualityText.c_str()),
                         const_cast<char*>(memoryText.c_str()), const_cast<char*>(cpuText.c_str()), nullptr};
    pid_t pid = 0;
    if (const int error = posix_spawn(&pid, program.c_str(), &actions.actions, &attributes.attributes, arguments,
                                      environ);
        error != 0) {
        log("Could not start the HEIF decoder " + program + ": " + std::strerror(error));
        return {};
    }
    childInput.reset();
    childOutput.reset();
    fcntl(feed.get(), F_SETFL, fcntl(feed.get(), F_GETFL) | O_NONBLOCK);
    fcntl(drain.get(), F_SETFL, fcntl(drain.get(), F_GETFL) | O_NONBLOCK);

    const std::chrono::duration<double> timeout(HEIFConversion::decoderTimeoutSeconds * scale);
    const auto deadline = Clock::now() + std::chrono::duration_cast<Clock::duration>(timeout);
    std::vector<std::uint8_t> jpeg;
    std::size_t sent = 0;
    bool outputEnded = false, killed = false, overBounds = false;
    if (heif.empty()) feed.reset();
    while (!outputEnded) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) {
            log("HEIF decoder ran out of time");
            killed = overBounds = true;
            break;
        }
        pollfd fds[2] = {{drain.get(), POLLIN, 0}, {feed.get(), POLLOUT, 0}};
        const int count = ::poll(fds, feed.get() >= 0 ? 2 : 1, static_cast<int>(std::min<long long>(left, 1000)));
        if (count < 0 && errno != EINTR) {
            killed = true;
            break;
        }
        if (count <= 0) continue;
        if (feed.get() >= 0 && (fds[1].revents & (POLLOUT | POLLERR | POLLHUP))) {
            const ssize_t written = ::send(feed.get(), heif.data() + sent, heif.size() - sent, MSG_NOSIGNAL);
            if (written > 0) sent += static_cast<std::size_t>(written);
            // Done, or the decoder stopped reading (it has refused the file already).
            if (sent == heif.size() || (written < 0 && errno != EAGAIN && errno != EINTR)) feed.reset();
        }
        if (fds[0].revents & (POLLIN | POLLERR | POLLHUP)) {
            std::uint8_t buffer[65536];
            const ssize_t got = ::read(drain.get(), buffer, sizeof buffer);
            if (got == 0 || (got < 0 && errno != EAGAIN && errno != EINTR)) {
                outputEnded = true;
            } else if (got > 0) {
                if (jpeg.size() + static_cast<std::size_t>(got) > HEIFConversion::maximumJPEGSize) {
                    log("HEIF decoder wrote too much");
                    killed = overBounds = true;
                    break;
                }
                jpeg.insert(jpeg.end(), buffer, buffer + got);
            }
        }
    }
    if (killed) ::kill(pid, SIGKILL);
    int status = 0;
    pid_t waited;
    do waited = ::waitpid(pid, &status, 0);
    while (waited < 0 && errno == EINTR);
    if (waited != pid) {
        log(std::string("HEIF decoder lost: ") + std::strerror(errno));
        return {};
    }

    if (killed) return {overBounds ? Outcome::overBounds : Outcome::unreadable, {}};
    if (WIFEXITED(status)) {
        const int code = WEXITSTATUS(status);
        if (code == 0 && !jpeg.empty()) return {Outcome::converted, std::move(jpeg)};
        if (code == kExitOverBounds) return {Outcome::overBounds, {}};
        if (code != kExitUnreadable) log("HEIF decoder ended with status " + std::to_string(code));
        return {};
    }
    if (WIFSIGNALED(status)) {
        const int signal = WTERMSIG(status);
        log("HEIF decoder ended by signal " + std::to_string(signal));
        // Its CPU limit: SIGXCPU at the soft one, SIGKILL at the hard one.
        if (signal == SIGXCPU || signal == SIGKILL) return {Outcome::overBounds, {}};
    }
    return {};
}

}  // namespace

HEIFConversion::Conversion HEIFConversion::convert(std::span<const std::uint8_t> heif, double quality) {
    if (heif.size() > maximumFileSize) return {Outcome::overBounds, {}};
    // The declared size and libheif's limits are checked here, cheaply, before a process is
    // started; the decoder checks them again.
    const auto inspected = heifdecoding::inspect(heif);
    if (inspected.status != Outcome::converted) {
        log(inspected.message);
        return {inspected.status, {}};
    }
    return runDecoder(heif, quality);
}

HEIFConversion::Conversion HEIFConversion::convertFile(const fs::path& file, double quality) {
    const auto contents = platform::FileManager::contentsAtPath(file, maximumFileSize);
    if (!contents)
        return {contents.error().code == platform::FileErrorCode::tooLarge ? Outcome::overBounds : Outcome::unreadable,
                {}};
    return convert({reinterpret_cast<const std::uint8_t*>(contents->data()), contents->size()}, quality);
}

std::optional<std::vector<std::uint8_t>> HEIFConversion::jpegData(std::span<const std::uint8_t> heif,
                                                                  double quality) {
    auto conversion = convert(heif, quality);
    if (conversion.outcome != Outcome::converted) return std::nullopt;
    return std::move(conversion.jpeg);
}

std::optional<std::vector<std::uint8_t>> HEIFConversion::jpegDataFromFile(const fs::path& file, double quality) {
    auto conversion = convertFile(file, quality);
    if (conversion.outcome != Outcome::converted) return std::nullopt;
    return std::move(conversion.jpeg);
}

}  // namespace parlivo
