#include "Subprocess.h"

#include <gio/gio.h>

#include <csignal>

namespace platform {
namespace {

constexpr std::size_t kStandardErrorLimit = 64 * 1024;

std::vector<const char*> cArgv(const std::vector<std::string>& argv) {
    std::vector<const char*> out;
    out.reserve(argv.size() + 1);
    for (const auto& arg : argv) out.push_back(arg.c_str());
    out.push_back(nullptr);
    return out;
}

std::string takeError(GError* error) {
    std::string text = error ? error->message : "unknown error";
    if (error) g_error_free(error);
    return text;
}

}  // namespace

struct Subprocess::Impl {
    GSubprocess* process = nullptr;
    GDataInputStream* output = nullptr;
    GInputStream* errors = nullptr;

    ~Impl() {
        if (output) g_object_unref(output);
        if (process) g_object_unref(process);
    }

    static void onLine(GObject* source, GAsyncResult* result, gpointer data);
    static void onErrorBytes(GObject* source, GAsyncResult* result, gpointer data);
    static void onWait(GObject* source, GAsyncResult* result, gpointer data);
    static void readLine(Subprocess& owner);
    static void readErrors(Subprocess& owner);
};

Subprocess::Subprocess() : impl_(std::make_unique<Impl>()) {}

Subprocess::~Subprocess() = default;

std::shared_ptr<Subprocess> Subprocess::launch(const std::vector<std::string>& argv, LineHandler onOutputLine,
                                               ExitHandler onExit, std::string* error) {
    if (argv.empty() || argv.front().empty()) {
        if (error) *error = "no program to run";
        return nullptr;
    }
    auto args = cArgv(argv);
    GError* spawnError = nullptr;
    GSubprocess* process = g_subprocess_newv(args.data(),
                                             GSubprocessFlags(G_SUBPROCESS_FLAGS_STDOUT_PIPE | G_SUBPROCESS_FLAGS_STDERR_PIPE),
                                             &spawnError);
    if (!process) {
        const std::string text = takeError(spawnError);
        if (error) *error = text;
        return nullptr;
    }
    std::shared_ptr<Subprocess> child(new Subprocess());
    child->impl_->process = process;
    child->impl_->output = g_data_input_stream_new(g_subprocess_get_stdout_pipe(process));
    g_data_input_stream_set_newline_type(child->impl_->output, G_DATA_STREAM_NEWLINE_TYPE_ANY);
    child->impl_->errors = g_subprocess_get_stderr_pipe(process);
    if (const char* id = g_subprocess_get_identifier(process)) child->pid_ = std::atoi(id);
    child->onOutputLine_ = std::move(onOutputLine);
    child->onExit_ = std::move(onExit);
    child->self_ = child;
    child->pendingSteps_ = 3;  // process ended, output at its end, errors at their end
    g_subprocess_wait_async(process, nullptr, &Impl::onWait, child.get());
    Impl::readLine(*child);
    Impl::readErrors(*child);
    return child;
}

void Subprocess::Impl::readLine(Subprocess& owner) {
    g_data_input_stream_read_line_async(owner.impl_->output, G_PRIORITY_DEFAULT, nullptr, &Impl::onLine, &owner);
}

void Subprocess::Impl::readErrors(Subprocess& owner) {
    g_input_stream_read_bytes_async(owner.impl_->errors, 4096, G_PRIORITY_DEFAULT, nullptr, &Impl::onErrorBytes,
                                    &owner);
}

void Subprocess::Impl::onLine(GObject* source, GAsyncResult* result, gpointer data) {
    auto& owner = *static_cast<Subprocess*>(data);
    gsize length = 0;
    char* line = g_data_input_stream_read_line_finish(G_DATA_INPUT_STREAM(source), result, &length, nullptr);
    if (!line) {  // end of output, or a read error: either way nothing more comes
        owner.finishStep();
        return;
    }
    if (owner.onOutputLine_) owner.onOutputLine_(std::string_view(line, length));
    g_free(line);
    readLine(owner);
}

void Subprocess::Impl::onErrorBytes(GObject* source, GAsyncResult* result, gpointer data) {
    auto& owner = *static_cast<Subprocess*>(data);
    GBytes* bytes = g_input_stream_read_bytes_finish(G_INPUT_STREAM(source), result, nullptr);
    gsize size = 0;
    const auto* chunk = bytes ? static_cast<const char*>(g_bytes_get_data(bytes, &size)) : nullptr;
    if (!bytes || size == 0) {
        if (bytes) g_bytes_unref(bytes);
        owner.finishStep();
        return;
    }
    owner.standardError_.append(chunk, size);
    if (owner.standardError_.size() > kStandardErrorLimit)
        owner.standardError_.erase(0, owner.standardError_.size() - kStandardErrorLimit);
    g_bytes_unref(bytes);
    readErrors(owner);
}

void Subprocess::Impl::onWait(GObject* source, GAsyncResult* result, gpointer data) {
    auto& owner = *static_cast<Subprocess*>(data);
    auto* process = G_SUBPROCESS(source);
    g_subprocess_wait_finish(process, result, nullptr);
    owner.exitedNormally_ = g_subprocess_get_if_exited(process);
    owner.exitStatus_ = owner.exitedNormally_ ? g_subprocess_get_exit_status(process) : -1;
    owner.finishStep();
}

void Subprocess::finishStep() {
    if (--pendingSteps_ > 0) return;
    finished_ = true;
    auto keep = std::move(self_);
    if (auto onExit = std::move(onExit_)) onExit(*this);
    onOutputLine_ = nullptr;
}

void Subprocess::kill() {
    if (!finished_ && impl_->process) g_subprocess_force_exit(impl_->process);
}

void Subprocess::terminate() {
    if (!finished_ && impl_->process) g_subprocess_send_signal(impl_->process, SIGTERM);
}

Subprocess::Result Subprocess::run(const std::vector<std::string>& argv) {
    Result result;
    if (argv.empty() || argv.front().empty()) {
        result.error = "no program to run";
        return result;
    }
    auto args = cArgv(argv);
    GError* error = nullptr;
    GSubprocess* process = g_subprocess_newv(
        args.data(), GSubprocessFlags(G_SUBPROCESS_FLAGS_STDOUT_PIPE | G_SUBPROCESS_FLAGS_STDERR_PIPE), &error);
    if (!process) {
        result.error = takeError(error);
        return result;
    }
    result.launched = true;
    GBytes* out = nullptr;
    GBytes* err = nullptr;
    if (!g_subprocess_communicate(process, nullptr, nullptr, &out, &err, &error)) {
        result.error = takeError(error);
        g_subprocess_force_exit(process);
        g_subprocess_wait(process, nullptr, nullptr);
    }
    auto take = [](GBytes* bytes, std::string& into) {
        if (!bytes) return;
        gsize size = 0;
        const auto* data = static_cast<const char*>(g_bytes_get_data(bytes, &size));
        into.assign(data ? data : "", size);
        g_bytes_unref(bytes);
    };
    take(out, result.standardOutput);
    take(err, result.standardError);
    result.exitedNormally = g_subprocess_get_if_exited(process);
    result.exitStatus = result.exitedNormally ? g_subprocess_get_exit_status(process) : -1;
    g_object_unref(process);
    return result;
}

}  // namespace platform
