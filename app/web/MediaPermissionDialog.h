#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <sigc++/connection.h>

#include "web/PagePermissions.h"

namespace Gtk {
class MessageDialog;
class Window;
}  // namespace Gtk

namespace parlivo {

// Asks the user whether the page may use the microphone, the camera or both: a message dialog,
// modal to the main window, with "Don't Allow" and "Allow". It never runs a nested main loop;
// the answer comes through `answered` once: true (Allow), false (Don't Allow), none (closed
// without a choice). Destroying it first closes the dialog without an answer. Main thread only.
class MediaPermissionDialog {
public:
    static constexpr const char* kTitle = "Microphone and Camera";
    using Answered = std::function<void(std::optional<bool> agreed)>;

    MediaPermissionDialog(Gtk::Window* parent, std::vector<pagepermissions::MediaKind> kinds, const std::string& site,
                          Answered answered);
    ~MediaPermissionDialog();
    MediaPermissionDialog(const MediaPermissionDialog&) = delete;
    MediaPermissionDialog& operator=(const MediaPermissionDialog&) = delete;

    const std::vector<pagepermissions::MediaKind>& kinds() const { return kinds_; }

private:
    std::vector<pagepermissions::MediaKind> kinds_;
    std::unique_ptr<Gtk::MessageDialog> dialog_;
    Answered answered_;
    sigc::connection response_;
};

}  // namespace parlivo
