#pragma once

// Recording stand-ins for the settings model's delegates, shared by the settings-model tests.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "foundation/NotificationCenter.h"
#include "foundation/UserDefaults.h"
#include "settings/Keys.h"
#include "settings/NotificationNames.h"
#include "settings/Trellik.h"

namespace trelliktest {

using namespace parlivo;

// One ordered log of every delegate call and notification. `probe` runs at each event and its
// text is appended, so a test can see what was stored at the moment of the call.
struct EventLog {
    std::vector<std::string> events;
    std::function<std::string()> probe;
    void add(std::string event) {
        if (probe) event += probe();
        events.push_back(std::move(event));
    }
};

struct RecordingWindow : TrellikWindowDelegate {
    explicit RecordingWindow(EventLog& log) : log(log) {}
    EventLog& log;
    void handleStatusButtonClick() override { log.add("window.handleStatusButtonClick"); }
    void handleDockButtonClick() override { log.add("window.handleDockButtonClick"); }
    void showWindow() override { log.add("window.showWindow"); }
    void handleShortcut() override { log.add("window.handleShortcut"); }
    void applyStealthMode() override { log.add("window.applyStealthMode"); }
    void willChangeActivationPolicy(ActivationPolicy current, ActivationPolicy next) override {
        log.add("window.willChange(" + std::to_string(int(current)) + "," + std::to_string(int(next)) + ")");
    }
    void didChangeActivationPolicy(ActivationPolicy current, ActivationPolicy set) override {
        log.add("window.didChange(" + std::to_string(int(current)) + "," + std::to_string(int(set)) + ")");
    }
    void applyWindowMode() override { log.add("window.applyWindowMode"); }
};

struct RecordingWebView : TrellikWebViewDelegate {
    explicit RecordingWebView(EventLog& log) : log(log) {}
    EventLog& log;
    struct Share {
        std::shared_ptr<tovak::WQTemporaryDirectory> tempDirectory;
        std::optional<std::vector<std::filesystem::path>> fileUrls;
        std::optional<std::string> text;
    };
    std::vector<Share> shares;
    void handleLogOut() override { log.add("web.handleLogOut"); }
    void openChatOrReply(const UserNotification& n) override { log.add("web.openChatOrReply(" + n.identifier + ")"); }
    void keepReply(const UserNotification& n) override { log.add("web.keepReply(" + n.identifier + ")"); }
    void updateWallpaper() override { log.add("web.updateWallpaper"); }
    void applyAppearance() override { log.add("web.applyAppearance"); }
    void updateDoNotDisturb() override { log.add("web.updateDoNotDisturb"); }
    void reloadWebApp() override { log.add("web.reloadWebApp"); }
    void startAudioRecording() override { log.add("web.startAudioRecording"); }
    void stopAudioRecording(bool send) override { log.add(std::string("web.stopAudioRecording(") + (send ? "true)" : "false)")); }
    void sendMenuCommand(NativeAction action) override { log.add("web.sendMenuCommand(" + std::to_string(int(action)) + ")"); }
    void updateStealthMode() override { log.add("web.updateStealthMode"); }
    void showShareView(std::shared_ptr<tovak::WQTemporaryDirectory> tempDirectory,
                       std::optional<std::vector<std::filesystem::path>> fileUrls,
                       std::optional<std::string> text) override {
        log.add("web.showShareView");
        shares.push_back({std::move(tempDirectory), std::move(fileUrls), std::move(text)});
    }
};

struct RecordingSettings : TrellikSettingsDelegate {
    explicit RecordingSettings(EventLog& log) : log(log) {}
    EventLog& log;
    void settingsDidChange() override { log.add("settings"); }
};

// Records the settings model's notifications, with whether the object was the model (or none).
class NotificationRecorder {
public:
    NotificationRecorder(EventLog& log, const void* model) {
        for (std::string_view name : {names::privacyChanged, names::doNotDisturbModeChanged, names::stealthModeChanged,
                                      names::visualizationStyleChanged, names::windowModeChanged}) {
            tokens_.push_back(platform::NotificationCenter::defaultCenter().addObserver(
                name, [&log, model](const platform::Notification& n) {
                    log.add("post " + n.name + (n.object == model ? "(model)" : n.object ? "(other)" : "(none)"));
                }));
        }
    }

private:
    std::vector<platform::ObserverToken> tokens_;
};

// Every key the settings model reads or writes, so each test starts from the registered defaults.
inline void clearSettings() {
    for (std::string_view key :
         {keys::doNotDisturbEnabled, keys::desktopNotificationsEnabled, keys::menuBarNotificationsEnabeld,
          keys::dockIconNotificationsEnabeld, keys::desktopNotificationsShowSender,
          keys::desktopNotificationsShowSenderImage, keys::desktopNotificationsShowMessagePreview,
          keys::desktopNotificationsPlayAudio, keys::launchAtLogin, keys::showMenuBarIcon, keys::showDockIcon,
          keys::returnKeyAction, keys::privacyLockdown, keys::privacyModeEnabled, keys::privacyLockAfter,
          keys::privacyDesktopNotificationsEnabled, keys::privacyDesktopNotificationsShowSender,
          keys::privacyDesktopNotificationsShowSenderImage, keys::privacyDesktopNotificationsShowPreview,
          keys::privacyDesktopNotificationsPlayAudio,
          keys::privacyMenuBarNotification, keys::privacyDockIconNotification, keys::privacyStealthModeAlpha,
          keys::privacyStealthModeShowContentOnMouseOver, keys::kMonochromeMenuBar, keys::kVisualStyle, keys::kFontSize,
          keys::globalKeyboardShortcut})
        platform::UserDefaults::standard().remove(std::string(key));
}

}  // namespace trelliktest
