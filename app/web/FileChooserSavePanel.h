#pragma once

#include <memory>

#include "web/DownloadController.h"

namespace Gtk {
class Window;
}

namespace parlivo {

// The save panel as the desktop shows it: GTK's native file chooser (the portal's dialog inside a
// sandbox), attached to the main window and never blocking the main loop.
class FileChooserSavePanel : public SavePanel {
public:
    explicit FileChooserSavePanel(std::weak_ptr<Gtk::Window> parent) : parent_(std::move(parent)) {}
    void run(const Options& options, std::function<void(std::optional<std::filesystem::path>)> done) override;

private:
    std::weak_ptr<Gtk::Window> parent_;
};

}  // namespace parlivo
