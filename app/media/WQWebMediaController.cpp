#include "media/WQWebMediaController.h"

#include <gtkmm/widget.h>
#include <gtkmm/window.h>

#include <cmath>

#include "DebugPrint.h"
#include "JPEGEncoding.h"
#include "WQFileType.h"
#include "foundation/MainQueue.h"
#include "foundation/NotificationCenter.h"
#include "foundation/WorkQueue.h"
#include "media/FileChooserOpenPanel.h"
#include "media/WQModalProgressWindowController.h"
#include "settings/NotificationNames.h"
#include "settings/PrivacyGate.h"

namespace parlivo {

namespace {

void debugLog(std::string_view message) { tovak::debugPrint(WQWebMediaController::kClassName, message); }

// A page value as the page's boolean: true and false, and the numbers 1 and 0 (what a number
// posted by a page converts to); anything else is no boolean.
std::optional<bool> booleanValue(const platform::ScriptValue& value) {
    if (auto boolean = value.asBool()) return *boolean;
    if (auto integer = value.asInt()) {
        if (*integer == 0 || *integer == 1) return *integer == 1;
        return std::nullopt;
    }
    if (auto real = value.asReal()) {
        if (*real == 0.0 || *real == 1.0) return *real == 1.0;
    }
    return std::nullopt;
}

bool isTrue(const platform::ScriptValue& value) { return booleanValue(value).value_or(false); }

// Split at every comma, nothing trimmed, empty parts kept ("a,,b" gives three parts).
std::vector<std::string> splitAtCommas(const std::string& text) {
    std::vector<std::string> parts;
    std::size_t from = 0;
    for (;;) {
        const auto comma = text.find(',', from);
        parts.push_back(text.substr(from, comma == std::string::npos ? std::string::npos : comma - from));
        if (comma == std::string::npos) break;
        from = comma + 1;
    }
    return parts;
}

}  // namespace

// The chain's road to the page: whatever web view the controller holds when a script is ready.
class WQWebMediaController::PageEvaluator : public platform::JavaScriptEvaluator {
public:
    explicit PageEvaluator(std::weak_ptr<WQWebMediaController> owner) : owner_(std::move(owner)) {}
    void evaluateJavaScript(const std::string& script, Completion completion) override {
        auto owner = owner_.lock();
        auto page = owner ? owner->webView.lock() : nullptr;
        if (!page) {
            debugLog("No web view: the script is dropped");
            if (completion) platform::MainQueue::async([completion] { completion({std::nullopt, "No web view"}); });
            return;
        }
        page->evaluateJavaScript(script, std::move(completion));
    }

private:
    std::weak_ptr<WQWebMediaController> owner_;
};

// The chain's window side: sheets and messages over the parent's window while there is one;
// without one, conversions run with no sheet and messages go to the log.
class WQWebMediaController::WindowHost : public WQMediaConversionHost {
public:
    explicit WindowHost(std::weak_ptr<WQWebMediaController> owner) : owner_(std::move(owner)) {}

    std::shared_ptr<WQModalProgressSheet> makeProgressSheet(const std::string& title,
                                                            const std::optional<std::string>& subTitle,
                                                            std::function<void()> stopAction) override {
        auto host = current();
        return host ? host->makeProgressSheet(title, subTitle, std::move(stopAction)) : nullptr;
    }
    void presentMessage(const std::string& message, const std::string& informativeText) override {
        if (auto host = current())
            host->presentMessage(message, informativeText);
        else
            debugLog("No window for the message: " + message);
    }

private:
    std::shared_ptr<WQMediaConversionHost> current() {
        auto owner = owner_.lock();
        auto parent = owner ? owner->parentViewController.lock() : nullptr;
        auto window = parent ? parent->mediaWindow() : nullptr;
        if (!window) return nullptr;
        if (window != window_.lock() || !host_) {
            window_ = window;
            host_ = owner->environment_.conversionHost
                        ? owner->environment_.conversionHost(window)
                        : std::make_shared<WQMediaConversionWindowHost>(window.get());
        }
        return host_;
    }

    std::weak_ptr<WQWebMediaController> owner_;
    std::weak_ptr<Gtk::Window> window_;
    std::shared_ptr<WQMediaConversionHost> host_;
};

std::shared_ptr<WQWebMediaController> WQWebMediaController::create() { return create(Environment()); }

std::shared_ptr<WQWebMediaController> WQWebMediaController::create(Environment environment) {
    auto controller = std::shared_ptr<WQWebMediaController>(new WQWebMediaController(std::move(environment)));
    controller->setUp();
    return controller;
}

WQWebMediaController::WQWebMediaController(Environment environment)
    : environment_(std::move(environment)),
      videoConverter_(tovak::WQVideoConverter::create()),
      chain_(WQMediaConversionChain::create(videoConverter_)) {
    if (!environment_.openPanel) environment_.openPanel = std::make_shared<FileChooserOpenPanel>();
    chain_->movieSettings = environment_.movieSettings;
}

void WQWebMediaController::setUp() {
    std::weak_ptr<WQWebMediaController> weak = weak_from_this();
    pageEvaluator_ = std::make_shared<PageEvaluator>(weak);
    windowHost_ = std::make_shared<WindowHost>(weak);
    chain_->setWebView(pageEvaluator_);
    chain_->setHost(windowHost_);
    // The lock covers the window: a camera on screen must not go on capturing behind it.
    privacyObserver_ = platform::NotificationCenter::defaultCenter().addObserver(names::privacyChanged, [weak](const auto&) {
        if (auto self = weak.lock(); self && PrivacyGate::isLocked()) self->dismissCamera();
    });
}

WQWebMediaController::~WQWebMediaController() = default;

// --- page messages ---

void WQWebMediaController::didReceiveScriptMessage(const platform::ScriptMessage& message) {
    handleMediaMessage(message);
}

void WQWebMediaController::handleMediaMessage(const platform::ScriptMessage& message) {
    if (message.name != messageName) return;
    const auto& body = message.body;
    const std::string* action = body.isDictionary() ? body["action"].asString() : nullptr;
    if (!action) return;
    const std::string* id = body["id"].asString();
    lastFileInputId = id ? std::optional<std::string>(*id) : std::nullopt;

    std::vector<MediaType> mediaTypes;
    if (isTrue(body["video"])) mediaTypes.push_back(MediaType::video);
    if (isTrue(body["photo"])) mediaTypes.push_back(MediaType::photo);
    if (isTrue(body["document"])) mediaTypes = {MediaType::document};
    if (mediaTypes.empty()) mediaTypes = {MediaType::photo, MediaType::video};
    webView = message.webView;

    if (*action == "startCamera") {
        showCamera(mediaTypes);
        return;
    }
    if (*action != "openFile") return;
    if (!lastFileInputId) {
        debugLog("No File Input ID set");
        return;
    }
    const auto multiple = booleanValue(body["multiple"]);
    if (!multiple) {
        debugLog("Multiple value not specified");
        return;
    }
    std::vector<std::string> utis;
    if (const std::string* utiType = body["utiType"].asString()) utis = splitAtCommas(*utiType);
    if (const std::string* mimeType = body["mimeType"].asString()) {
        for (const auto& part : splitAtCommas(*mimeType)) {
            std::string uti = tovak::WQFileType::UTIFromMIMEType(part);
            debugLog("Added UTI: " + uti + " for MIME: " + part);
            utis.push_back(std::move(uti));
        }
    }
    showOpenPanel(lastFileInputId, mediaTypes, utis, *multiple);
}

// --- the open panel ---

void WQWebMediaController::showOpenPanel(const std::optional<std::string>& fileInputId,
                                         const std::vector<MediaType>& mediaTypes, const std::vector<std::string>& utis,
                                         bool multiple) {
    auto parent = parentViewController.lock();
    auto window = parent ? parent->mediaWindow() : nullptr;
    if (!window) return;
    if (PrivacyGate::isLocked()) {
        debugLog("Locked: no open panel");
        return;
    }
    // One panel at a time: a page cannot stack choosers on the window.
    if (showingOpenPanel_) {
        debugLog("An open panel is already shown");
        return;
    }
    WQOpenPanel::Options options;
    options.allowedFileTypes = utis;
    if (options.allowedFileTypes.empty()) {
        auto has = [&](MediaType type) { return std::find(mediaTypes.begin(), mediaTypes.end(), type) != mediaTypes.end(); };
        if (has(MediaType::photo)) options.allowedFileTypes.emplace_back("public.image");
        if (has(MediaType::video)) options.allowedFileTypes.emplace_back("public.movie");
    }
    options.canChooseFiles = true;
    options.canChooseDirectories = false;
    options.allowsOtherFileTypes = false;
    options.allowsMultipleSelection = multiple;

    showingOpenPanel_ = true;
    std::weak_ptr<WQWebMediaController> weak = weak_from_this();
    // The answer goes to the input the panel was opened for, whatever messages came meanwhile.
    environment_.openPanel->beginSheet(window, options, [weak, fileInputId](auto urls) {
        auto self = weak.lock();
        if (!self) return;
        self->showingOpenPanel_ = false;
        debugLog(urls && !urls->empty() ? "Open panel answered" : "Open panel cancelled");
        if (!urls || urls->empty()) return;
        if (PrivacyGate::isLocked()) {
            debugLog("Locked: the chosen files are not sent");
            return;
        }
        // Converted in the movie mode avFoundation, sent as they are in the others.
        self->chain_->sendChosenFiles(std::move(*urls), fileInputId);
    });
}

// --- files from a drop, a paste or a share ---

void WQWebMediaController::processFileURLs(const std::vector<std::filesystem::path>& fileURLs) {
    processFileURLs(fileURLs, {});
}

// Dropped, pasted and shared files: converted and sent as a drop (no file input). The owners
// of files that exist only as long as they do stay with the request until it has read them.
void WQWebMediaController::processFileURLs(const std::vector<std::filesystem::path>& fileURLs,
                                           std::vector<std::shared_ptr<void>> owners) {
    chain_->convertNextFile(fileURLs, std::nullopt, std::move(owners));
}

// --- the camera ---

void WQWebMediaController::showCamera(const std::vector<MediaType>&) {
    auto parent = parentViewController.lock();
    if (!parent) return;
    if (PrivacyGate::isLocked()) {
        debugLog("Locked: no camera");
        return;
    }
    // One camera: a second would fight the first for the device and stay behind it on screen.
    if (camera_) {
        debugLog("The camera is on screen already");
        camera_->viewDidAppear();
        return;
    }
    auto environment = environment_.camera;
    environment.conversionChain = chain_;
    camera_ = WQMediaViewController::create(std::move(environment));
    camera_->setDelegate(std::weak_ptr<WQMediaViewControllerDelegate>(weak_from_this()));
    parent->addCameraView(camera_->view());
    parent->setWebViewHidden(true);
    debugLog("Camera on screen");
}

void WQWebMediaController::dismissCamera() {
    if (camera_) camera_->backAction();
}

void WQWebMediaController::removeCamera(std::optional<std::string>* takenId) {
    *takenId = std::exchange(lastFileInputId, std::nullopt);
    auto parent = parentViewController.lock();
    if (parent) parent->setWebViewHidden(false);
    auto camera = std::move(camera_);
    if (parent) parent->removeCameraView(camera->view());
    // The camera is still inside its own call: it goes once that has returned.
    platform::MainQueue::async([camera = std::move(camera)] {});
}

void WQWebMediaController::didTakePhoto(WQMediaViewController& camera, std::shared_ptr<const WQEditedPhoto> photo) {
    if (&camera != camera_.get()) return;  // a camera that is no longer on screen
    std::optional<std::string> fileInputId;
    removeCamera(&fileInputId);
    if (photo) {
        if (!photo->jpegData.empty() && jpegQuality == WQPhotoEditor::jpegQuality) {
            chain_->sendFileData(photo->jpegData, "image/jpeg", fileInputId);
        } else if (photo->image.isValid()) {
            // Encoded again at our own quality, off the main thread.
            std::weak_ptr<WQWebMediaController> weak = weak_from_this();
            platform::WorkQueue::global().async([weak, photo, quality = jpegQuality, fileInputId] {
                auto jpeg = tovak::getJPEGDataWithQuality(photo->image, quality);
                platform::MainQueue::async([weak, jpeg = std::move(jpeg), fileInputId]() mutable {
                    auto self = weak.lock();
                    if (!self) return;
                    if (jpeg)
                        self->chain_->sendFileData(std::move(*jpeg), "image/jpeg", fileInputId);
                    else
                        debugLog("Could not encode the photo");
                });
            });
        }
    }
    if (auto parent = parentViewController.lock()) parent->focusWebContainer();
}

void WQWebMediaController::didRecordVideo(WQMediaViewController& camera, std::shared_ptr<tovak::WQTempFile> file) {
    if (&camera != camera_.get()) return;
    std::optional<std::string> fileInputId;
    removeCamera(&fileInputId);
    if (file) {
        const std::filesystem::path url = file->url();
        std::string extension = url.extension().string();
        if (!extension.empty()) extension.erase(0, 1);
        // Read by the chain's worker; the file lives until then.
        chain_->sendFileData(url, tovak::WQFileType::MIMETypeFromFileExtension(extension), fileInputId, {file});
    }
    if (auto parent = parentViewController.lock()) parent->focusWebContainer();
}

// --- the page ---

void WQWebMediaController::evaluateJavaScript(const std::string& script) { pageEvaluator_->evaluateJavaScript(script, {}); }

}  // namespace parlivo
