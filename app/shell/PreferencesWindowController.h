#pragma once

#include <memory>
#include <string>
#include <vector>

#include <gtkmm/box.h>
#include <gtkmm/stack.h>
#include <gtkmm/toolbar.h>
#include <gtkmm/window.h>

#include "shell/PreferencesPane.h"
#include "shell/WindowControllerHandles.h"

namespace parlivo {

// The preferences window: one toolbar button per pane over a stack of the panes' views.
class PreferencesWindowController : public PreferencesWindowHandle {
public:
    PreferencesWindowController(std::vector<std::unique_ptr<PreferencesPane>> panes, std::string title);
    ~PreferencesWindowController() override;

    // PreferencesWindowHandle. The title is the one the window was made with (the key by which
    // an open window is found again), whatever pane is selected.
    bool hasWindow() const override { return static_cast<bool>(window_); }
    std::string windowTitle() const override { return title_; }
    void showWindow() override;
    void setLevel(int level) override;
    void useLightAppearance() override;
    void setWillCloseHandler(std::function<void()> handler) override { willClose_ = std::move(handler); }
    void close() override;

    Gtk::Window* window() const { return window_.get(); }
    const std::vector<std::unique_ptr<PreferencesPane>>& panes() const { return panes_; }
    std::string selectedPaneIdentifier() const;
    void selectPane(const std::string& identifier);
    int level() const { return level_; }

private:
    void paneSelected(std::size_t index);
    void windowWillClose();

    std::string title_;
    std::vector<std::unique_ptr<PreferencesPane>> panes_;
    std::unique_ptr<Gtk::Window> window_;
    Gtk::Box layout_{Gtk::ORIENTATION_VERTICAL};
    Gtk::Toolbar toolbar_;
    Gtk::Stack stack_;
    std::function<void()> willClose_;
    int level_ = 0;
    std::size_t selected_ = 0;
    bool closing_ = false;
};

}  // namespace parlivo
