#include "Subprocess.h"

#include <gio/gio.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>

namespace platform {
namespace {

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
    GMainContext* context = nullptr;  // the launching thread's, where its work runs
    GCancellable* reading = g_cancellable_new();  // cancelled when a time-out gives the process up
    GSource* deadline = nullptr;
    GSource* silence = nullptr;
    guint silenceMs = 0;

    ~Impl() {
        stopTimers();
        if (output) g_object_unref(output);
        if (process) g_object_unref(process);
        if (context) g_main_context_unref(context);
        g_object_unref(reading);
    }
    void stopTimers() {
        for (GSource** source : {&deadline, &silence}) {
            if (*source) {
                g_source_destroy(*source);
                g_source_unref(*source);
                *source = nullptr;
            }
        }
    }
    // A one-shot timer that kills the process (the owner outlives it: timers stop when it ends).
    static GSource* killer(Subprocess& owner, guint ms);

    static void onLine(GObject* source, GAsyncResult* result, gpointer data);
    static void onErrorBytes(GObject* source, GAsyncResult* result, gpointer data);
    static void onWait(GObject* source, GAsyncResult* result, gpointer data);
    static void readLine(Subprocess& owner);
    static void readErrors(Subprocess& owner);
};

Subprocess::Subprocess() : impl_(std::make_unique<Impl>()) {}

Subprocess::~Subprocess() = default;

Expected<std::shared_ptr<Subprocess>> Subprocess::launch(const std::vector<std::string>& argv,
                                                         LineHandler onOutputLine, ExitHandler onExit) {
    if (argv.empty() || argv.front().empty())
        return failure(SubprocessErrorDomain, SubprocessErrorCode::noProgram, "no program to run");
    auto args = cArgv(argv);
    GError* spawnError = nullptr;
    GSubprocess* process = g_subprocess_newv(args.data(),
                                             GSubprocessFlags(G_SUBPROCESS_FLAGS_STDOUT_PIPE | G_SUBPROCESS_FLAGS_STDERR_PIPE),
                                             &spawnError);
    if (!process) return failure(SubprocessErrorDomain, SubprocessErrorCode::launchFailed, takeError(spawnError));
    std::shared_ptr<Subprocess> child(new Subprocess());
    child->impl_->process = process;
    child->impl_->output = g_data_input_stream_new(g_subprocess_get_stdout_pipe(process));
    g_data_input_stream_set_newline_type(child->impl_->output, G_DATA_STREAM_NEWLINE_TYPE_ANY);
    child->impl_->errors = g_subprocess_get_stderr_pipe(process);
    if (const char* id = g_subprocess_get_identifier(process)) child->pid_ = std::atoi(id);
    child->impl_->context = g_main_context_ref_thread_default();
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
    g_data_input_stream_read_line_async(owner.impl_->output, G_PRIORITY_DEFAULT, owner.impl_->reading, &Impl::onLine,
                                        &owner);
}

void Subprocess::Impl::readErrors(Subprocess& owner) {
    g_input_stream_read_bytes_async(owner.impl_->errors, 4096, G_PRIORITY_DEFAULT, owner.impl_->reading,
                                    &Impl::onErrorBytes, &owner);
}

void Subprocess::Impl::onLine(GObject* source, GAsyncResult* result, gpointer data) {
    auto& owner = *static_cast<Subprocess*>(data);
    gsize length = 0;
    char* line = g_data_input_stream_read_line_finish(G_DATA_INPUT_STREAM(source), result, &length, nullptr);
    if (!line) {  // end of output, or a read error: either way nothing more comes
        owner.finishStep();
        return;
    }
    if (owner.impl_->silence) {
        // Output came: the silence starts again from now.
        g_source_destroy(owner.impl_->silence);
        g_source_unref(owner.impl_->silence);
        owner.impl_->silence = killer(owner, owner.impl_->silenceMs);
    }
    if (owner.onOutputLine_) owner.onOutputLine_(std::string_view(line, length));
    g_free(line);
    readLine(owner);
}

GSource* Subprocess::Impl::killer(Subprocess& owner, guint ms) {
    GSource* source = g_timeout_source_new(ms);
    g_source_set_callback(
        source,
        [](gpointer data) -> gboolean {
            auto& owner = *static_cast<Subprocess*>(data);
            if (!owner.finished_) {
                owner.timedOut_ = true;
                owner.kill();
                // A child of the process may keep its output open: stop reading it.
                g_cancellable_cancel(owner.impl_->reading);
            }
            return G_SOURCE_REMOVE;
        },
        &owner, nullptr);
    g_source_attach(source, owner.impl_->context);
    return source;
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
    impl_->stopTimers();
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

namespace {

guint milliseconds(double seconds) {
    return guint(std::clamp(seconds * 1000.0, 1.0, double(G_MAXUINT)));
}

}  // namespace

void Subprocess::setTimeout(double seconds) {
    if (finished_) return;
    if (impl_->deadline) {
        g_source_destroy(impl_->deadline);
        g_source_unref(impl_->deadline);
    }
    impl_->deadline = Impl::killer(*this, milliseconds(seconds));
}

void Subprocess::setSilenceTimeout(double seconds) {
    if (finished_) return;
    if (impl_->silence) {
        g_source_destroy(impl_->silence);
        g_source_unref(impl_->silence);
    }
    impl_->silenceMs = milliseconds(seconds);
    impl_->silence = Impl::killer(*this, impl_->silenceMs);
}

Subprocess::Result Subprocess::run(const std::vector<std::string>& argv, double timeoutSeconds) {
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

    // The output is collected on a main context of this call's own, where the time-out can fire
    // while the child's pipes stay silent.
    struct Run {
        GSubprocess* process;
        GCancellable* cancellable = g_cancellable_new();
        bool done = false, timedOut = false;
        GBytes* out = nullptr;
        GBytes* err = nullptr;
        GError* error = nullptr;
    } state{process};
    GMainContext* context = g_main_context_new();
    g_main_context_push_thread_default(context);
    g_subprocess_communicate_async(
        process, nullptr, state.cancellable,
        [](GObject* source, GAsyncResult* asyncResult, gpointer data) {
            auto& state = *static_cast<Run*>(data);
            g_subprocess_communicate_finish(G_SUBPROCESS(source), asyncResult, &state.out, &state.err, &state.error);
            state.done = true;
        },
        &state);
    GSource* timer = nullptr;
    if (timeoutSeconds > 0) {
        timer = g_timeout_source_new(milliseconds(timeoutSeconds));
        g_source_set_callback(
            timer,
            [](gpointer data) -> gboolean {
                auto& state = *static_cast<Run*>(data);
                state.timedOut = true;
                g_subprocess_force_exit(state.process);
                // A child of the program may keep its pipes open: stop reading them too.
                g_cancellable_cancel(state.cancellable);
                return G_SOURCE_REMOVE;
            },
            &state, nullptr);
        g_source_attach(timer, context);
    }
    while (!state.done) g_main_context_iteration(context, TRUE);
    if (timer) {
        g_source_destroy(timer);
        g_source_unref(timer);
    }
    g_main_context_pop_thread_default(context);
    g_main_context_unref(context);
    g_object_unref(state.cancellable);

    if (state.error && !state.timedOut) {
        result.error = takeError(state.error);
        g_subprocess_force_exit(process);
    } else {
        g_clear_error(&state.error);
    }
    g_subprocess_wait(process, nullptr, nullptr);
    auto take = [](GBytes* bytes, std::string& into) {
        if (!bytes) return;
        gsize size = 0;
        const auto* data = static_cast<const char*>(g_bytes_get_data(bytes, &size));
        into.assign(data ? data : "", size);
        g_bytes_unref(bytes);
    };
    take(state.out, result.standardOutput);
    take(state.err, result.standardError);
    if (result.standardError.size() > kStandardErrorLimit)
        result.standardError.erase(0, result.standardError.size() - kStandardErrorLimit);
    result.timedOut = state.timedOut;
    result.exitedNormally = g_subprocess_get_if_exited(process);
    result.exitStatus = result.exitedNormally ? g_subprocess_get_exit_status(process) : -1;
    g_object_unref(process);
    return result;
}

}  // namespace platform
