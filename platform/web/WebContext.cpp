#include "web/WebContext.h"

#include <glib-unix.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <webkit2/webkit2.h>

#include <charconv>
#include <fstream>
#include <memory>
#include <sstream>
#include <system_error>
#include <vector>

#include "foundation/Bundle.h"
#include "foundation/FileManager.h"
#include "foundation/Log.h"

namespace platform {

namespace {
bool created = false;

WebContext::Configuration defaultConfiguration() {
    std::string identifier = Bundle::main().bundleIdentifier();
    if (identifier.empty()) identifier = "net.vantreo.mac.WhatsApp";
    return {FileManager::applicationSupportDirectory() / identifier / "WebsiteData",
            FileManager::cachesDirectory() / identifier / "WebKit"};
}
constexpr std::string_view kNetworkProcessExecutable = "WebKitNetworkProcess";

// Whether `pid` is a process of WebKit's network process executable.
bool isNetworkProcess(int pid) {
    std::error_code error;
    const auto executable = std::filesystem::read_symlink("/proc/" + std::to_string(pid) + "/exe", error);
    return !error && executable.filename() == kNetworkProcessExecutable;
}

std::vector<int> numbersIn(const std::string& text) {
    std::vector<int> numbers;
    std::istringstream stream(text);
    std::string word;
    while (stream >> word) {
        int value = 0;
        const auto [end, failure] = std::from_chars(word.data(), word.data() + word.size(), value);
        if (failure == std::errc() && end == word.data() + word.size() && value > 0) numbers.push_back(value);
    }
    return numbers;
}

// This process's children: every thread lists those it started.
std::vector<int> childProcesses() {
    std::vector<int> children;
    std::error_code error;
    for (const auto& task : std::filesystem::directory_iterator("/proc/self/task", error)) {
        std::ifstream file(task.path() / "children");
        std::stringstream text;
        text << file.rdbuf();
        for (int pid : numbersIn(text.str())) children.push_back(pid);
    }
    return children;
}

}  // namespace

std::optional<WebContext::Configuration>& WebContext::pendingConfiguration() {
    static std::optional<Configuration> configuration;
    return configuration;
}

bool WebContext::configure(Configuration configuration) {
    if (created) {
        systemLog("The web context exists already: its data folders stay as they are", LogLevel::warning);
        return false;
    }
    pendingConfiguration() = std::move(configuration);
    return true;
}

WebContext& WebContext::shared() {
    static WebContext* instance = [] {
        created = true;
        return new WebContext(pendingConfiguration().value_or(defaultConfiguration()));
    }();
    return *instance;
}

WebContext::WebContext(Configuration configuration) : configuration_(std::move(configuration)) {
    // Website data is the user's session: only the user may read it.
    FileManager::makePrivateDirectory(configuration_.dataDirectory);
    FileManager::makePrivateDirectory(configuration_.cacheDirectory);
    const std::string data = configuration_.dataDirectory.string();
    const std::string cache = configuration_.cacheDirectory.string();
    WebKitWebsiteDataManager* manager =
        webkit_website_data_manager_new("base-data-directory", data.c_str(), "base-cache-directory", cache.c_str(),
                                        nullptr);
    context_ = webkit_web_context_new_with_website_data_manager(manager);
    g_object_unref(manager);
    webkit_web_context_set_cache_model(context_, WEBKIT_CACHE_MODEL_WEB_BROWSER);
    // Cookies outlive the process like the rest of the session.
    const std::string cookies = (configuration_.dataDirectory / "cookies.sqlite").string();
    webkit_cookie_manager_set_persistent_storage(webkit_website_data_manager_get_cookie_manager(
                                                     webkit_web_context_get_website_data_manager(context_)),
                                                 cookies.c_str(), WEBKIT_COOKIE_PERSISTENT_STORAGE_SQLITE);
    // WebKit's own downloads are not used: the program fetches and saves files itself.
    g_signal_connect(context_, "download-started", G_CALLBACK(+[](WebKitWebContext*, WebKitDownload* download, gpointer) {
                         WebKitURIRequest* request = webkit_download_get_request(download);
                         const char* uri = request ? webkit_uri_request_get_uri(request) : nullptr;
                         systemLog(std::string("Refused a download the page started by itself: ") + (uri ? uri : "?"),
                                   LogLevel::info);
                         webkit_download_cancel(download);
                     }),
                     nullptr);
}

bool WebContext::allowTLSCertificateForHost(const std::filesystem::path& certificateFile, const std::string& host) {
    GError* error = nullptr;
    GTlsCertificate* certificate = g_tls_certificate_new_from_file(certificateFile.c_str(), &error);
    if (!certificate) {
        systemLog("No certificate to trust in " + certificateFile.string() + ": " + (error ? error->message : "?"),
                  LogLevel::warning);
        if (error) g_error_free(error);
        return false;
    }
    webkit_web_context_allow_tls_certificate_for_host(context_, certificate, host.c_str());
    g_object_unref(certificate);
    return true;
}

void WebContext::removeAllWebsiteData(std::function<void(bool succeeded)> completion) {
    auto* held = new std::function<void(bool)>(std::move(completion));
    webkit_website_data_manager_clear(
        webkit_web_context_get_website_data_manager(context_), WEBKIT_WEBSITE_DATA_ALL, 0, nullptr,
        +[](GObject* source, GAsyncResult* result, gpointer data) {
            std::unique_ptr<std::function<void(bool)>> done(static_cast<std::function<void(bool)>*>(data));
            GError* error = nullptr;
            const bool ok = webkit_website_data_manager_clear_finish(WEBKIT_WEBSITE_DATA_MANAGER(source), result, &error);
            if (error) {
                systemLog(std::string("Removing website data failed: ") + error->message, LogLevel::warning);
                g_error_free(error);
            }
            if (*done) (*done)(ok);
        },
        held);
}

}  // namespace platform

namespace platform {

int WebContext::findNetworkProcess() {
    for (int pid : childProcesses())
        if (isNetworkProcess(pid)) return pid;
    return 0;
}

void WebContext::setNetworkProcessEndedHandler(std::function<void()> ended) {
    networkProcessEndedHandler_ = std::move(ended);
}

bool WebContext::watchNetworkProcess() {
    if (networkProcess_ != 0) return true;
    const int pid = findNetworkProcess();
    if (pid == 0) return false;
    const int descriptor = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
    if (descriptor < 0) {
        systemLog("Cannot watch the network process " + std::to_string(pid), LogLevel::info);
        return false;
    }
    // The number may have been taken by another process between the look and the open.
    if (!isNetworkProcess(pid)) {
        close(descriptor);
        return false;
    }
    networkProcess_ = pid;
    networkProcessDescriptor_ = descriptor;
    networkProcessSource_ = g_unix_fd_add(
        descriptor, G_IO_IN,
        +[](gint, GIOCondition, gpointer data) -> gboolean {
            auto* self = static_cast<WebContext*>(data);
            self->networkProcessSource_ = 0;
            self->networkProcessEnded();
            return G_SOURCE_REMOVE;
        },
        this);
    return true;
}

void WebContext::networkProcessEnded() {
    systemLog("The network process " + std::to_string(networkProcess_) + " ended", LogLevel::warning);
    close(networkProcessDescriptor_);
    networkProcessDescriptor_ = -1;
    networkProcess_ = 0;
    if (networkProcessEndedHandler_) networkProcessEndedHandler_();
}

}  // namespace platform
