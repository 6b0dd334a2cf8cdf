#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "settings/Enums.h"
#include "settings/UserNotification.h"

namespace tovak {
class WQTemporaryDirectory;
}

namespace parlivo {

// The main view controller's side of the settings model: the web view it hosts. Trellik holds it
// strongly (a shared_ptr) and calls it on the main thread. None of the calls returns a result.
class TrellikWebViewDelegate {
public:
    virtual ~TrellikWebViewDelegate() = default;

    // Log the web client out.
    virtual void handleLogOut() = 0;
    // The same, for a caller that must know the outcome: `completion` runs exactly once, with
    // true only when the page's log-out and the removal of its website data have both completed.
    // A delegate that cannot tell answers false after logging out.
    virtual void handleLogOut(std::function<void(bool completed)> completion) {
        handleLogOut();
        if (completion) completion(false);
    }
    // Open the activated notification's chat, or send the reply typed into it.
    virtual void openChatOrReply(const UserNotification& notification) = 0;
    // A reply that must not go to its chat now (the program is locked): keep its text for the
    // user and tell them once they can see the window.
    virtual void keepReply(const UserNotification& reply) {}
    // Hand the stored wallpaper file ("wallpaper.jpg" of the user-content folder), or its
    // absence, to the page.
    virtual void updateWallpaper() = 0;
    // Apply "kFontSize" as zoom and Trellik::currentVisualStyle() to the page.
    virtual void applyAppearance() = 0;
    // Tell the page the stored do-not-disturb state.
    virtual void updateDoNotDisturb() = 0;
    // Reload the web client from scratch.
    virtual void reloadWebApp() = 0;
    // Start / stop recording a voice message in the page; `send` true sends it, false discards.
    virtual void startAudioRecording() = 0;
    virtual void stopAudioRecording(bool send) = 0;
    // Perform a menu or touch-bar command in the page.
    virtual void sendMenuCommand(NativeAction action) = 0;
    // Tell the page "privacyStealthModeShowContentOnMouseOver".
    virtual void updateStealthMode() = 0;
    // Show the share overlay for the given files or text (exactly one is set). The overlay keeps
    // the temporary directory, which holds the files, for as long as it is open.
    virtual void showShareView(std::shared_ptr<tovak::WQTemporaryDirectory> tempDirectory,
                               std::optional<std::vector<std::filesystem::path>> fileUrls,
                               std::optional<std::string> text) = 0;
};

}  // namespace parlivo
