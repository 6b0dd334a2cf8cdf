#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "web/PagePermissions.h"
#include "web/WebView.h"

namespace Gtk {
class Window;
}

namespace parlivo {

class MediaPermissionDialog;

// The page's permission requests: each is decided by pagepermissions::decide and logged;
// microphone and camera may ask the user first, in one question at a time, and the requests that
// come meanwhile wait for its answer. Main thread only.
class PagePermissionRequests : public std::enable_shared_from_this<PagePermissionRequests> {
public:
    // `pageOrigin`: the origin the page lives at; `lockScreenShown`: whether the lock screen is up.
    PagePermissionRequests(std::function<std::string()> pageOrigin, std::function<bool()> lockScreenShown);
    ~PagePermissionRequests();

    void setWindow(std::weak_ptr<Gtk::Window> window) { window_ = std::move(window); }
    void decide(platform::PermissionRequest request);
    // A request of a web view other than the page's is refused at once.
    static void refuse(platform::PermissionRequest request, std::string_view reason);
    // Refuses every request waiting for the user and closes the question (lock, new page).
    void refuseWaiting(std::string_view reason);
    const MediaPermissionDialog* dialog() const { return dialog_.get(); }

private:
    void ask(const std::vector<pagepermissions::MediaKind>& kinds);
    void answered(std::vector<pagepermissions::MediaKind> kinds, std::optional<bool> agreed);

    std::function<std::string()> pageOrigin_;
    std::function<bool()> lockScreenShown_;
    std::weak_ptr<Gtk::Window> window_;
    std::vector<platform::PermissionRequest> waiting_;
    std::unique_ptr<MediaPermissionDialog> dialog_;
};

}  // namespace parlivo
