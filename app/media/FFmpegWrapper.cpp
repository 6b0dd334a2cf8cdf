#include "media/FFmpegWrapper.h"

#include <glib.h>

#include <algorithm>
#include <string_view>

#include "DebugPrint.h"
#include "WQTempFile.h"
#include "config/DynamicData.h"
#include "foundation/FileManager.h"
#include "foundation/MainQueue.h"
#include "foundation/WorkQueue.h"
#include "media/FFmpegArgumentPolicy.h"
#include "system/Subprocess.h"
#include "system/URLSession.h"

namespace parlivo {

namespace fs = std::filesystem;
using platform::Subprocess;

namespace {

// How much of ffmpeg's standard output a run keeps for the debug log.
constexpr std::size_t kOutputLogLimit = 64 * 1024;

// ffmpeg runs wait here, not on the global queue: a run may take up to its time limit, and
// the global queue's few threads serve everything else off the main thread.
platform::WorkQueue& ffmpegQueue() {
    static auto* queue = new platform::WorkQueue("FFmpegWrapper", 2);
    return *queue;
}

fs::path resolveExecutable(const fs::path& configured) {
    if (!configured.empty()) return configured;
    if (gchar* found = g_find_program_in_path("ffmpeg")) {
        fs::path path(found);
        g_free(found);
        return path;
    }
    return "ffmpeg";
}

std::string validUTF8(std::string_view text) {
    gchar* valid = g_utf8_make_valid(text.data(), static_cast<gssize>(text.size()));
    std::string out(valid);
    g_free(valid);
    return out;
}

// An http or https URL with a host; nothing else is fetched for the page.
bool isWebURL(const std::string& url) {
    const char* scheme = g_uri_peek_scheme(url.c_str());
    if (!scheme || (std::string_view(scheme) != "http" && std::string_view(scheme) != "https")) return false;
    GUri* parsed = g_uri_parse(url.c_str(), G_URI_FLAGS_NONE, nullptr);
    if (!parsed) return false;
    const char* host = g_uri_get_host(parsed);
    const bool hasHost = host && *host;
    g_uri_unref(parsed);
    return hasHost;
}

void log(std::string_view message) { tovak::debugPrint(FFmpegWrapper::kClassName, message); }

}  // namespace

struct FFmpegWrapper::Run {
    bool launched = false;
    bool exitedNormally = false;
    bool timedOut = false;
    int exitStatus = -1;
    bool succeeded() const { return launched && !timedOut && exitedNormally && exitStatus == 0; }
};

std::shared_ptr<FFmpegWrapper> FFmpegWrapper::create() { return create(Configuration{}); }

std::shared_ptr<FFmpegWrapper> FFmpegWrapper::create(Configuration configuration) {
    struct Made : FFmpegWrapper {
        explicit Made(Configuration configuration) : FFmpegWrapper(std::move(configuration)) {}
    };
    return std::make_shared<Made>(std::move(configuration));
}

FFmpegWrapper::FFmpegWrapper(Configuration configuration)
    : configuration_(std::move(configuration)), exec_(resolveExecutable(configuration_.executable)) {}

// Runs the program on this thread's own main context, so a worker can wait for it (with a
// time limit) without touching the main loop.
FFmpegWrapper::Run FFmpegWrapper::runProgram(const std::vector<std::string>& arguments, bool logOutput) const {
    std::vector<std::string> argv{exec_.string()};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    if (logOutput)
        for (const auto& argument : argv) log(argument);

    struct State {
        std::shared_ptr<Subprocess> child;
        bool done = false;
        bool timedOut = false;
        std::string output;
        std::string errors;
    } state;
    Run run;

    GMainContext* context = g_main_context_new();
    g_main_context_push_thread_default(context);
    auto launched = Subprocess::launch(
        argv,
        [&state](std::string_view line) {
            if (state.output.size() < kOutputLogLimit) state.output.append(line).append("\n");
        },
        [&state, &run](Subprocess& process) {
            run.exitedNormally = process.exitedNormally();
            run.exitStatus = process.exitStatus();
            state.errors = process.standardError();
            state.done = true;
        });
    if (launched) {
        state.child = std::move(*launched);
        run.launched = true;
        const double milliseconds = std::clamp(configuration_.timeLimit * 1000.0, 1.0, double(G_MAXUINT));
        GSource* limit = g_timeout_source_new(static_cast<guint>(milliseconds));
        g_source_set_callback(
            limit,
            +[](gpointer data) -> gboolean {
                auto* running = static_cast<State*>(data);
                running->timedOut = true;
                running->child->kill();
                return G_SOURCE_REMOVE;
            },
            &state, nullptr);
        g_source_attach(limit, context);
        while (!state.done) g_main_context_iteration(context, TRUE);
        g_source_destroy(limit);
        g_source_unref(limit);
        run.timedOut = state.timedOut;
        state.child.reset();
    }
    g_main_context_pop_thread_default(context);
    g_main_context_unref(context);

    if (!launched) log("Could not run ffmpeg: " + launched.error().message);
    if (run.timedOut) log("ffmpeg ran past its time limit and was stopped");
    if (logOutput) {
        log(validUTF8(state.output));
        log(validUTF8(state.errors));
    }
    log(run.succeeded() ? "FFmpeg: Success!" : "FFmpeg: Failed!");
    return run;
}

std::optional<FFmpegWrapper::Bytes> FFmpegWrapper::readOutput(const fs::path& output) const {
    std::error_code error;
    const auto size = fs::file_size(output, error);
    if (error) return std::nullopt;
    // ffmpeg stops writing at -fs and still ends well: an output that reached the limit is cut.
    if (size >= configuration_.outputSizeLimit) {
        log("ffmpeg output reached the size limit");
        return std::nullopt;
    }
    auto contents = platform::FileManager::contentsAtPath(output, configuration_.outputSizeLimit);
    if (!contents) return std::nullopt;
    return Bytes(contents->begin(), contents->end());
}

bool FFmpegWrapper::remuxMediaSynchronously(const fs::path& input, const fs::path& output) const {
    const std::vector<std::string> arguments{"-nostdin", "-hide_banner", "-loglevel", "error",
                                             "-protocol_whitelist", "file",
                                             "-i", FFmpegArgumentPolicy::fileArgument(input),
                                             "-vcodec", "copy", "-acodec", "copy",
                                             "-y", FFmpegArgumentPolicy::fileArgument(output)};
    return runProgram(arguments, true).succeeded();
}

std::optional<FFmpegWrapper::Bytes> FFmpegWrapper::convertAudioToM4A(const Bytes& audio) const {
    tovak::WQTempFile input("aac");
    tovak::WQTempFile output("m4a");
    const std::string_view bytes(reinterpret_cast<const char*>(audio.data()), audio.size());
    if (auto written = platform::FileManager::writeAtomically(input.url(), bytes, 0600); !written) {
        log("Could not write the audio to convert: " + written.error().message);
        return std::nullopt;
    }
    // Downloaded bytes are no more trusted than the page's: the same readers and limits.
    const std::vector<std::string> arguments{"-nostdin", "-hide_banner", "-loglevel", "error",
                                             "-protocol_whitelist", "file",
                                             "-format_whitelist", FFmpegArgumentPolicy::inputFormatWhitelist(),
                                             "-i", FFmpegArgumentPolicy::fileArgument(input.url()),
                                             "-strict", "-2",
                                             "-fs", std::to_string(configuration_.outputSizeLimit),
                                             "-y", FFmpegArgumentPolicy::fileArgument(output.url())};
    if (!runProgram(arguments, false).succeeded()) return std::nullopt;
    return readOutput(output.url());
}

std::optional<FFmpegWrapper::Bytes> FFmpegWrapper::runFFmpegSynchronously(
    const Bytes& input, const std::string& inDataType, const std::string& outDataType,
    const platform::PropertyList::Array& parameters) const {
    if (!FFmpegArgumentPolicy::isAllowedDataType(inDataType) || !FFmpegArgumentPolicy::isAllowedDataType(outDataType)) {
        log("Refused ffmpeg request: file types \"" + validUTF8(inDataType) + "\" to \"" + validUTF8(outDataType) +
            "\"");
        return std::nullopt;
    }
    tovak::WQTempFile inputFile(inDataType);
    tovak::WQTempFile outputFile(outDataType);
    std::string why;
    const auto arguments = FFmpegArgumentPolicy::arguments(parameters, inputFile.url(), outputFile.url(),
                                                           configuration_.outputSizeLimit, &why);
    if (!arguments) {
        log("Refused ffmpeg request: " + validUTF8(why));
        return std::nullopt;
    }
    const std::string_view bytes(reinterpret_cast<const char*>(input.data()), input.size());
    if (auto written = platform::FileManager::writeAtomically(inputFile.url(), bytes, 0600); !written) {
        log("Could not write the ffmpeg input: " + written.error().message);
        return std::nullopt;
    }
    if (!runProgram(*arguments, true).succeeded()) return std::nullopt;
    return readOutput(outputFile.url());
}

void FFmpegWrapper::remuxMedia(const fs::path& input, const fs::path& output, std::function<void(bool)> completion) {
    ffmpegQueue().async([self = shared_from_this(), input, output, completion = std::move(completion)]() mutable {
        const bool succeeded = self->remuxMediaSynchronously(input, output);
        platform::MainQueue::async([completion = std::move(completion), succeeded] {
            if (completion) completion(succeeded);
        });
    });
}

void FFmpegWrapper::runFFmpeg(Bytes input, std::string inDataType, std::string outDataType,
                              platform::PropertyList::Array parameters, DataCompletion completion) {
    ffmpegQueue().async([self = shared_from_this(), input = std::move(input), inDataType = std::move(inDataType),
                         outDataType = std::move(outDataType), parameters = std::move(parameters),
                         completion = std::move(completion)]() mutable {
        auto result = self->runFFmpegSynchronously(input, inDataType, outDataType, parameters);
        platform::MainQueue::async([completion = std::move(completion), result = std::move(result)]() mutable {
            if (completion) completion(std::move(result));
        });
    });
}

void FFmpegWrapper::downloadAndConvertAudio(const std::string& url, DataCompletion completion) {
    auto fail = [](DataCompletion completion, const std::string& why) {
        log("Could not retreive audio data: " + why);
        platform::MainQueue::async([completion = std::move(completion)] {
            if (completion) completion(std::nullopt);
        });
    };
    if (!isWebURL(url)) {
        fail(std::move(completion), "not an http or https URL");
        return;
    }

    platform::URLRequest request;
    request.url = url;
    request.method = "GET";
    request.timeoutSeconds = configuration_.downloadTimeout;
    request.maximumBodySize = configuration_.downloadSizeLimit;
    const auto userAgent = configuration_.userAgent ? configuration_.userAgent : DynamicData::shared().userAgent();
    if (userAgent && !userAgent->empty()) request.headers.emplace_back("User-Agent", *userAgent);

    auto& session = configuration_.session ? *configuration_.session : platform::URLSession::shared();
    session.dataTask(std::move(request), [self = shared_from_this(), fail, completion = std::move(completion)](
                                             std::optional<Bytes> data, std::optional<platform::URLResponse> response,
                                             std::optional<platform::Error> error) mutable {
        if (error) return fail(std::move(completion), error->description());
        if (!response || response->statusCode != 200)
            return fail(std::move(completion),
                        "HTTP status " + std::to_string(response ? response->statusCode : 0));
        if (!data || data->empty()) return fail(std::move(completion), "the answer was empty");
        ffmpegQueue().async([self, data = std::move(*data), completion = std::move(completion)]() mutable {
            auto converted = self->convertAudioToM4A(data);
            platform::MainQueue::async([completion = std::move(completion), converted = std::move(converted)]() mutable {
                if (completion) completion(std::move(converted));
            });
        });
    });
}

}  // namespace parlivo
