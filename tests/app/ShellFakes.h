#pragma once
// Recording stand-ins for the windows and delegates around the application delegate.
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "settings/Trellik.h"
#include "shell/AppDelegate.h"
#include "system/VendorServices.h"

// In the tests' support namespace, as the other stand-ins: a namespace of ours named "testing"
// would hide GoogleTest's wherever both are in reach.
namespace testsupport {

struct FakeMainController : parlivo::MainWindowControllerHandle {
    int shown = 0, stored = 0, firstResponderPastes = 0;
    int level = parlivo::normalWindowLevel;
    bool hasWindow() const override { return true; }
    bool isWindowVisible() const override { return shown > 0; }
    void makeKeyAndOrderFront() override { ++shown; }
    int windowLevel() const override { return level; }
    void storeWindowState() override { ++stored; }
    bool firstResponderPaste() override { ++firstResponderPastes; return true; }
};

struct FakePreferences : parlivo::PreferencesWindowHandle {
    bool window = true;
    std::string title;
    std::vector<std::string> panes;
    int shown = 0, level = -1;
    bool light = false, closed = false;
    std::function<void()> willClose;
    bool hasWindow() const override { return window; }
    std::string windowTitle() const override { return title; }
    void showWindow() override { ++shown; }
    void setLevel(int value) override { level = value; }
    void useLightAppearance() override { light = true; }
    void setWillCloseHandler(std::function<void()> handler) override { willClose = std::move(handler); }
    void close() override {
        closed = true;
        if (auto handler = std::exchange(willClose, nullptr)) handler();
    }
};

struct FakeAbout : parlivo::AboutWindowHandle {
    std::optional<std::string> url, version;
    bool textView = false;
    int shown = 0;
    void setAppWebsiteURL(std::optional<std::string> value) override { url = std::move(value); }
    void setUseTextViewForAcknowledgments(bool on) override { textView = on; }
    void setAppVersion(std::string value) override { version = std::move(value); }
    void showWindow() override { ++shown; }
};

struct FakeHost : parlivo::ApplicationHost {
    std::shared_ptr<FakeMainController> controller = std::make_shared<FakeMainController>();
    std::vector<std::string> vendorCallsAtWindow;
    int instantiated = 0;
    bool preferencesHaveWindow = true;
    std::vector<std::shared_ptr<FakePreferences>> preferences;
    std::vector<std::shared_ptr<FakeAbout>> abouts;
    bool touchBar = false;
    std::vector<std::string> commands;

    std::shared_ptr<parlivo::MainWindowControllerHandle> instantiateMainWindowController() override {
        ++instantiated;
        vendorCallsAtWindow = platform::VendorServices::shared().calls();
        return controller;
    }
    std::shared_ptr<parlivo::PreferencesWindowHandle> makePreferencesWindowController(const std::vector<std::string>& panes,
                                                                             const std::string& title) override {
        auto made = std::make_shared<FakePreferences>();
        made->window = preferencesHaveWindow;
        made->title = title;
        made->panes = panes;
        preferences.push_back(made);
        return made;
    }
    std::shared_ptr<parlivo::AboutWindowHandle> makeAboutWindowController() override {
        abouts.push_back(std::make_shared<FakeAbout>());
        return abouts.back();
    }
    void setAutomaticCustomizeTouchBarMenuItemEnabled(bool enabled) override { touchBar = enabled; }
    bool isAutomaticCustomizeTouchBarMenuItemEnabled() const override { return touchBar; }
    std::vector<std::string> pasteboardTypes() const override { return {"text/uri-list"}; }
    void hideApplication() override { commands.push_back("hide"); }
    void terminate() override { commands.push_back("terminate"); }
    void closeKeyWindow() override { commands.push_back("close"); }
    void minimizeKeyWindow() override { commands.push_back("minimize"); }
    void toggleFullScreen() override { commands.push_back("fullscreen"); }
    void editCommand(const std::string& command) override { commands.push_back(command); }
    void showInformation(const std::string& message) override { commands.push_back("info: " + message); }
    void showAlert(const std::string& title, const std::string& message) override {
        commands.push_back("alert: " + title + " / " + message);
    }
    void presentSupportAlert(std::function<void(int)> onResponse) override {
        commands.push_back("support prompt");
        if (onResponse) onResponse(1002);  // back
    }
};

struct FakeWeb : parlivo::TrellikWebViewDelegate {
    std::vector<std::string> calls;
    std::vector<parlivo::NativeAction> actions;
    void handleLogOut() override { calls.push_back("logout"); }
    void openChatOrReply(const parlivo::UserNotification&) override {}
    void updateWallpaper() override {}
    void applyAppearance() override {}
    void updateDoNotDisturb() override {}
    void reloadWebApp() override { calls.push_back("reload"); }
    void startAudioRecording() override {}
    void stopAudioRecording(bool) override {}
    void sendMenuCommand(parlivo::NativeAction action) override { actions.push_back(action); }
    void updateStealthMode() override {}
    void showShareView(std::shared_ptr<tovak::WQTemporaryDirectory>, std::optional<std::vector<std::filesystem::path>>,
                       std::optional<std::string>) override {}
};

struct FakePaste : parlivo::PasteDelegate {
    bool answer = false;
    int asked = 0;
    void paste(std::function<void(bool)> completion) override {
        ++asked;
        completion(answer);
    }
};

}  // namespace testsupport
