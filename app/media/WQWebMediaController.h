#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "WQVideoConverter.h"
#include "foundation/ObserverToken.h"
#include "media/WQDropView.h"
#include "media/WQMediaConversionChain.h"
#include "media/WQMediaViewController.h"
#include "media/WQMediaViewControllerDelegate.h"
#include "media/WQOpenPanel.h"
#include "media/WQWebMediaParent.h"
#include "web/ScriptMessage.h"

namespace parlivo {

enum class WQWebMediaControllerMediaType : int { video = 0, photo = 1, document = 2 };

// Joins the page's file inputs and camera button ("WQWebMediaHandler") to the native side: it
// shows the open panel attached to the main window or lays the camera over the main view, and
// hands chosen, captured, dropped and shared files to the page as data URLs, through its
// conversion chain (wqOpenFileURLsWithID for a page file input, wqDropFileURLs otherwise).
//
// The chain runs one request at a time with the controller's video converter, sends to the web
// view the controller holds at the time of the call, and shows its progress sheets and messages
// over the parent's window. While the lock is on, no panel or camera opens, a panel's late answer
// is dropped, and a camera on screen is closed. Main thread only.
class WQWebMediaController : public platform::ScriptMessageHandler,
                             public WQDropViewDelegate,
                             public WQMediaViewControllerDelegate,
                             public std::enable_shared_from_this<WQWebMediaController> {
public:
    static constexpr std::string_view kClassName = "WQWebMediaController";
    static constexpr std::string_view messageName = "WQWebMediaHandler";
    using MediaType = WQWebMediaControllerMediaType;

    // What the controller works with; every member has a default.
    struct Environment {
        // Null: the desktop's file chooser (FileChooserOpenPanel).
        std::shared_ptr<WQOpenPanel> openPanel;
        // The window side of conversions for a window. Null: WQMediaConversionWindowHost.
        std::function<std::shared_ptr<WQMediaConversionHost>(const std::shared_ptr<Gtk::Window>& window)> conversionHost;
        // The chain's movie values. Null: the remote configuration's.
        std::function<WQMediaConversionChain::MovieSettings()> movieSettings;
        // What each camera works with; its conversion chain is always the controller's.
        WQMediaViewController::Environment camera;
    };

    static std::shared_ptr<WQWebMediaController> create();
    static std::shared_ptr<WQWebMediaController> create(Environment environment);
    ~WQWebMediaController() override;
    WQWebMediaController(const WQWebMediaController&) = delete;
    WQWebMediaController& operator=(const WQWebMediaController&) = delete;

    // The page that receives results: stored by the main view controller for each web view it
    // makes, and replaced by the web view of every handler message.
    std::weak_ptr<platform::JavaScriptEvaluator> webView;
    // The page file input being served: set by every handler message with a string "action",
    // read by "openFile", taken (and cleared) by the camera's result.
    std::optional<std::string> lastFileInputId;
    // Hosts the camera; its window carries the open panel and the progress sheet.
    std::weak_ptr<WQWebMediaParent> parentViewController;
    // JPEG quality of camera photos.
    double jpegQuality = 0.95;

    const std::shared_ptr<tovak::WQVideoConverter>& videoConverter() const { return videoConverter_; }
    const std::shared_ptr<WQMediaConversionChain>& conversionChain() const { return chain_; }
    // The camera while it is on screen.
    const std::shared_ptr<WQMediaViewController>& camera() const { return camera_; }
    // Whether an open panel is waiting for the user.
    bool isShowingOpenPanel() const { return showingOpenPanel_; }

    void didReceiveScriptMessage(const platform::ScriptMessage& message) override;
    void handleMediaMessage(const platform::ScriptMessage& message);
    // `mediaTypes` is accepted for the page's sake; the camera offers photo and video alike.
    void showCamera(const std::vector<WQWebMediaControllerMediaType>& mediaTypes);
    void showOpenPanel(const std::optional<std::string>& fileInputId,
                       const std::vector<WQWebMediaControllerMediaType>& mediaTypes,
                       const std::vector<std::string>& utis, bool multiple);
    void processFileURLs(const std::vector<std::filesystem::path>& fileURLs) override;
    void processFileURLs(const std::vector<std::filesystem::path>& fileURLs,
                         std::vector<std::shared_ptr<void>> owners) override;
    // Closes the camera on screen as its back button does: nothing is sent.
    void dismissCamera();

    // WQMediaViewControllerDelegate: the camera's result (no photo: the user left with back).
    void didTakePhoto(WQMediaViewController& camera, std::shared_ptr<const WQEditedPhoto> photo) override;
    void didRecordVideo(WQMediaViewController& camera, std::shared_ptr<tovak::WQTempFile> file) override;

    // Runs `script` in the page when there still is one; otherwise the script is dropped.
    void evaluateJavaScript(const std::string& script);

private:
    class PageEvaluator;
    class WindowHost;

    explicit WQWebMediaController(Environment environment);
    void setUp();
    // Takes the camera off the parent's view and shows the page again; the controller goes in a
    // later task (this runs inside the camera's own call).
    void removeCamera(std::optional<std::string>* takenId);

    Environment environment_;
    std::shared_ptr<tovak::WQVideoConverter> videoConverter_;
    std::shared_ptr<WQMediaConversionChain> chain_;
    std::shared_ptr<PageEvaluator> pageEvaluator_;
    std::shared_ptr<WindowHost> windowHost_;
    std::shared_ptr<WQMediaViewController> camera_;
    bool showingOpenPanel_ = false;
    platform::ObserverToken privacyObserver_;
};

}  // namespace parlivo
