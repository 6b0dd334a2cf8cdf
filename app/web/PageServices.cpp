#include "web/PageServices.h"

#include <gtkmm/messagedialog.h>
#include <gtkmm/window.h>

#include <cstdio>
#include <cstdlib>

#include "DebugPrint.h"
#include "WQBase64DataConverter.h"
#include "WQFileType.h"
#include "config/WQSendMail.h"
#include "foundation/Log.h"
#include "foundation/MainQueue.h"
#include "foundation/UserDefaults.h"
#include "foundation/WorkQueue.h"
#include "media/FFmpegWrapper.h"
#include "settings/Keys.h"
#include "settings/PrivacyGate.h"
#include "settings/Trellik.h"
#include "system/Crypto.h"
#include "system/VendorServices.h"
#include "system/Workspace.h"
#include "web/FileChooserSavePanel.h"
#include "web/PageLoader.h"
#include "web/PageScripts.h"

namespace parlivo {

namespace {

// The services log as the main view controller, whose page asks for them.
void debugLog(std::string_view message) { tovak::debugPrint("ViewController", message); }

// The save panel names the page's file: behind the privacy lock it waits for the release (or,
// when too much waits, the save ends as cancelled).
class PrivacyGatedSavePanel : public SavePanel {
public:
    explicit PrivacyGatedSavePanel(std::shared_ptr<SavePanel> panel) : panel_(std::move(panel)) {}
    void run(const Options& options, std::function<void(std::optional<std::filesystem::path>)> done) override {
        auto answer = std::make_shared<std::function<void(std::optional<std::filesystem::path>)>>(std::move(done));
        PrivacyGate::shared().showWhenUnlocked([panel = panel_, options, answer] { panel->run(options, *answer); },
                                               [answer] { (*answer)(std::nullopt); });
    }

private:
    std::shared_ptr<SavePanel> panel_;
};

}  // namespace

std::shared_ptr<PageServices> PageServices::create(Trellik& trellik, std::weak_ptr<PageLoader> page,
                                                   Environment environment) {
    auto services = std::shared_ptr<PageServices>(new PageServices(trellik, std::move(page), std::move(environment)));
    services->setUp();
    return services;
}

PageServices::PageServices(Trellik& trellik, std::weak_ptr<PageLoader> page, Environment environment)
    : trellik_(trellik), page_(std::move(page)), environment_(std::move(environment)) {}

void PageServices::setUp() {
    std::weak_ptr<PageServices> weak = weak_from_this();
    auto savePanel = environment_.savePanel ? environment_.savePanel : std::make_shared<FileChooserSavePanel>(window_);
    environment_.savePanel = savePanel;
    downloads_ = DownloadController::create(
        std::make_shared<PrivacyGatedSavePanel>(savePanel),
        [weak](const std::string& message) {
            if (auto self = weak.lock()) self->reportFailureToUser(message);
        },
        environment_.fetch);
}

void PageServices::setWindow(std::weak_ptr<Gtk::Window> window) {
    window_ = std::move(window);
    if (auto panel = std::dynamic_pointer_cast<FileChooserSavePanel>(environment_.savePanel))
        *panel = FileChooserSavePanel(window_);
}

void PageServices::reportFailureToUser(const std::string& message) {
    // The message may name the page's file: behind the privacy lock it waits for the release.
    std::weak_ptr<PageServices> weak = weak_from_this();
    PrivacyGate::shared().showWhenUnlocked([weak, message] {
        if (auto self = weak.lock()) self->showFailureDialog(message);
    });
}

void PageServices::showFailureDialog(const std::string& message) {
    auto window = window_.lock();
    auto* dialog = new Gtk::MessageDialog(message, false, Gtk::MESSAGE_WARNING, Gtk::BUTTONS_OK);
    if (window) dialog->set_transient_for(*window);
    dialog->signal_response().connect([dialog](int) { platform::MainQueue::async([dialog] { delete dialog; }); });
    dialog->show();
}

// --- The settings model's ---

void PageServices::showDesktopNotification(const IncomingMessage& message) { trellik_.showDesktopNotification(message); }

void PageServices::toggleDoNotDisturb() {
    const bool on = platform::UserDefaults::standard().boolForKey(std::string(keys::doNotDisturbEnabled));
    trellik_.setDoNotDisturbEnabled(!on);
}

void PageServices::removeNotifications() { trellik_.clearDeliveredNotifications(); }

void PageServices::closeNotification(const std::string& identifier) { trellik_.withdrawNotification(identifier); }

void PageServices::checkForUpdates() { platform::VendorServices::shared().checkForUpdates(); }

// --- Mail ---

void PageServices::contactWithError() {
    auto page = page_.lock();
    WQSendMail mail;
    mail.composeErrorMail(std::string(constants::supportAddress), "", true, std::nullopt,
                          page ? page->lastError() : std::nullopt);
    mail.send();
}

void PageServices::sendMail(const std::string& address, const std::string& subject, const std::string& message) {
    WQSendMail mail;
    mail.composeSupportMail(address, subject, false, message);
    mail.send();
}

// --- Downloads and links ---

void PageServices::saveDownload(std::string dataURL, const std::string& mimeType,
                                const std::optional<std::string>& fileName) {
    downloads_->saveDataURL(std::move(dataURL), mimeType, fileName);
}

void PageServices::openExternalURL(const std::string& url) {
    if (environment_.openExternalURL) {
        environment_.openExternalURL(url);
        return;
    }
    if (auto opened = platform::Workspace::openURL(url); !opened)
        platform::systemLog("Could not open " + url + ": " + opened.error().message, platform::LogLevel::warning);
}

void PageServices::loadURLInWebView(const std::string& url) {
    if (auto page = page_.lock()) page->loadURL(url);
}

std::optional<std::string> PageServices::configuredPageURL() {
    auto page = page_.lock();
    return page ? page->configuration().pageURL() : std::nullopt;
}

// --- The exit ---

void PageServices::exitProcess(int code) {
    if (environment_.exitProcess) {
        environment_.exitProcess(code);
        return;
    }
    // The page ends the process at once; what the settings hold is written first.
    if (!platform::UserDefaults::standard().synchronize())
        platform::systemLog("Settings could not be written before exiting", platform::LogLevel::error);
    std::fflush(nullptr);
    std::exit(code);
}

// --- Conversions ---

void PageServices::convertAudio(const std::string& id, const std::string& url,
                                std::weak_ptr<platform::JavaScriptEvaluator> webView) {
    FFmpegWrapper::create()->downloadAndConvertAudio(url, [id, webView](std::optional<FFmpegWrapper::Bytes> data) {
        if (!data) {
            debugLog("Did not receive converted M4A data");
            return;
        }
        auto page = webView.lock();
        if (!page) return;
        const std::string mime = tovak::WQFileType::MIMETypeFromFileExtension("m4a");
        page->evaluateJavaScript(pagescripts::changeAudioToURL(mime, platform::Crypto::base64(*data), id));
    });
}

void PageServices::runFFmpeg(const std::string& id, std::string source, const std::string& inDataType,
                             const std::string& outDataType, platform::ScriptValue::Array parameters,
                             std::weak_ptr<platform::JavaScriptEvaluator> webView) {
    // The page's file is decoded on a worker; the wrapper queues the run from there.
    platform::WorkQueue::global().async([wrapper = FFmpegWrapper::create(), id, source = std::move(source), inDataType,
                                         outDataType, parameters = std::move(parameters), webView]() mutable {
        auto input = tovak::WQBase64DataConverter().base64ToData(source);
        if (!input) {
            platform::systemLog("Refused an ffmpeg request whose input is no Base64", platform::LogLevel::info);
            return;
        }
        wrapper->runFFmpeg(std::move(*input), inDataType, outDataType, std::move(parameters),
                           [id, outDataType, webView](std::optional<FFmpegWrapper::Bytes> output) {
                               auto page = webView.lock();
                               if (!page) return;
                               std::optional<std::string> base64;
                               if (output) base64 = platform::Crypto::base64(*output);
                               page->evaluateJavaScript(pagescripts::ffmpegCallback(id, base64, outDataType));
                           });
    });
}

}  // namespace parlivo
