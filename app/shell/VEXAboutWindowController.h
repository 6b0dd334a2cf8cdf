#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include <gtkmm/box.h>
#include <gtkmm/button.h>
#include <gtkmm/label.h>
#include <gtkmm/textview.h>
#include <gtkmm/window.h>

#include "controls/InterfaceFile.h"
#include "shell/WindowControllerHandles.h"

namespace parlivo {

// The about window: name, version, copyright and credits, a button that opens the product's web
// site and one that shows the acknowledgments (in the window, or in the default application for
// the file). Values the creator leaves unset come from the bundle when the window loads.
class VEXAboutWindowController : public AboutWindowHandle {
public:
    static constexpr std::string_view nibName = "VEXAboutWindow";

    VEXAboutWindowController() = default;
    ~VEXAboutWindowController() override;

    // Set before the window shows; unset ones are filled from the bundle.
    bool useTextViewForAcknowledgments = false;
    std::optional<std::string> appName;
    std::optional<std::string> appVersion;
    std::optional<std::string> appCopyright;
    std::optional<std::string> appCredits;
    std::optional<std::string> appWebsiteURL;
    const std::optional<std::string>& acknowledgmentsPath() const { return acknowledgmentsPath_; }
    // Reads the acknowledgments text from the file; without a path the acknowledgments button
    // leaves the window.
    void setAcknowledgmentsPath(std::optional<std::string> path);
    const std::optional<std::string>& acknowledgmentsString() const { return acknowledgmentsString_; }

    // AboutWindowHandle
    void setAppWebsiteURL(std::optional<std::string> url) override { appWebsiteURL = std::move(url); }
    void setUseTextViewForAcknowledgments(bool on) override { useTextViewForAcknowledgments = on; }
    void setAppVersion(std::string version) override { appVersion = std::move(version); }
    void showWindow() override;

    // Actions of the two buttons. An address no program opens is reported in a dialog that
    // names it.
    void visitWebsite();
    void showAcknowledgments();

    // The window, loaded on first use; null when the interface file is missing.
    Gtk::Window* window();
    Gtk::Widget* activeView() const { return activeView_; }
    Gtk::Widget* infoView() const { return infoView_; }
    Gtk::Widget* acknowledgmentsView() const { return acknowledgmentsView_; }
    Gtk::Button* acknowledgmentsButton() const { return acknowledgmentsButton_; }
    Gtk::Button* visitWebsiteButton() const { return visitWebsiteButton_; }
    Gtk::Label* versionLabel() const { return versionLabel_; }
    Gtk::TextView* creditsTextView() const { return creditsTextView_; }
    Gtk::TextView* acknowledgmentsTextView() const { return acknowledgmentsTextView_; }
    void showView(Gtk::Widget* view);

private:
    void windowDidLoad();
    void tellCouldNotOpen(const std::string& address);

    std::optional<InterfaceFile> file_;
    std::unique_ptr<Gtk::Window> window_;
    std::optional<std::string> acknowledgmentsPath_;
    std::optional<std::string> acknowledgmentsString_;
    Gtk::Box* placeHolderView_ = nullptr;
    Gtk::Widget* infoView_ = nullptr;
    Gtk::Widget* acknowledgmentsView_ = nullptr;
    Gtk::TextView* creditsTextView_ = nullptr;
    Gtk::TextView* acknowledgmentsTextView_ = nullptr;
    Gtk::Button* visitWebsiteButton_ = nullptr;
    Gtk::Button* acknowledgmentsButton_ = nullptr;
    Gtk::Label* nameLabel_ = nullptr;
    Gtk::Label* versionLabel_ = nullptr;
    Gtk::Label* copyrightLabel_ = nullptr;
    Gtk::Widget* activeView_ = nullptr;
    bool loaded_ = false;
};

}  // namespace parlivo
