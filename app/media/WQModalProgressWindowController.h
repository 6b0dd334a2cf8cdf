#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <gtkmm/button.h>
#include <gtkmm/dialog.h>
#include <gtkmm/label.h>
#include <gtkmm/messagedialog.h>
#include <gtkmm/progressbar.h>
#include <gtkmm/window.h>

#include "controls/InterfaceFile.h"
#include "media/WQModalProgressSheet.h"

namespace parlivo {

// The modal progress sheet: a dialog over the main window with a title line, an optional
// subtitle line (the file being converted), a progress bar fed through WQProgressDelegate and a
// stop button that runs the stop action. It knows nothing of conversions: its caller makes it,
// begins it, feeds it and ends it. Closing it from the keyboard (Escape) counts as stop. Main
// thread only.
class WQModalProgressWindowController : public WQModalProgressSheet {
public:
    static constexpr std::string_view nibName = "WQModalProgressWindow";

    // An absent title shows "Loading ..."; an absent subtitle hides its line. `parent` is the
    // window the sheet belongs to (null: a free-standing dialog); it must outlive the sheet.
    static std::shared_ptr<WQModalProgressWindowController> create(std::optional<std::string> title,
                                                                   std::optional<std::string> subTitle,
                                                                   std::function<void()> stopAction,
                                                                   Gtk::Window* parent = nullptr);
    ~WQModalProgressWindowController() override;
    WQModalProgressWindowController(const WQModalProgressWindowController&) = delete;
    WQModalProgressWindowController& operator=(const WQModalProgressWindowController&) = delete;

    std::optional<std::string> title;
    std::optional<std::string> subTitle;
    std::function<void()> stopAction;

    // Fills the controls from the fields; running it again gives the same state.
    void configure();
    // Runs configure() again, as when the window has (re)loaded.
    void windowDidLoad();
    // The stop button's action: runs the stop action, every time it is pressed. The sheet
    // stays: closing it is the caller's work.
    void stopButtonClicked();

    // WQModalProgressSheet
    void progressDidChange(double progress) override;
    void beginSheet() override;
    void endSheet() override;

    // The dialog and its controls; null when the interface file could not be loaded.
    Gtk::Dialog* window() const { return window_.get(); }
    Gtk::Label* labelTextField() const { return labelTextField_; }
    Gtk::Label* subtitleTextField() const { return subtitleTextField_; }
    Gtk::Button* stopButton() const { return stopButton_; }
    Gtk::ProgressBar* progressIndicator() const { return progressIndicator_; }

private:
    WQModalProgressWindowController() = default;
    void loadWindow(Gtk::Window* parent);

    std::optional<InterfaceFile> file_;
    std::unique_ptr<Gtk::Dialog> window_;
    Gtk::Label* labelTextField_ = nullptr;
    Gtk::Label* subtitleTextField_ = nullptr;
    Gtk::Button* stopButton_ = nullptr;
    Gtk::ProgressBar* progressIndicator_ = nullptr;
};

// The window side of the media conversions for one window: progress sheets over it and
// messages about the user's files, shown without waiting for them to be dismissed. The window
// must outlive the host (the main window does: it lives as long as the program).
class WQMediaConversionWindowHost : public WQMediaConversionHost {
public:
    explicit WQMediaConversionWindowHost(Gtk::Window* window) : window_(window) {}
    ~WQMediaConversionWindowHost() override;

    std::shared_ptr<WQModalProgressSheet> makeProgressSheet(const std::string& title,
                                                            const std::optional<std::string>& subTitle,
                                                            std::function<void()> stopAction) override;
    void presentMessage(const std::string& message, const std::string& informativeText) override;

    // Messages on screen, oldest first (tests read them).
    const std::vector<std::unique_ptr<Gtk::MessageDialog>>& messages() const { return messages_; }

private:
    Gtk::Window* window_;
    std::vector<std::unique_ptr<Gtk::MessageDialog>> messages_;
};

}  // namespace parlivo
