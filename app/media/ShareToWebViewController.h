#pragma once
// Placeholder: the share overlay's shape with plain Share and Cancel buttons; its look comes later.

#include <cstdint>
#include <filesystem>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "web/ScriptMessage.h"

namespace Gtk {
class Widget;
class EventBox;
}  // namespace Gtk
namespace tovak {
class WQTemporaryDirectory;
}

namespace parlivo {

class ShareToWebViewController;

// The main view controller, told when the overlay has gone and when the user sends the share.
class ShareToWebViewControllerDelegate {
public:
    virtual ~ShareToWebViewControllerDelegate() = default;
    virtual void shareViewDidFinish(ShareToWebViewController& controller) = 0;
    virtual void shareViewDidSend(ShareToWebViewController& controller,
                                  const std::shared_ptr<tovak::WQTemporaryDirectory>& tempDirectory,
                                  const std::optional<std::vector<std::filesystem::path>>& fileUrls,
                                  const std::optional<std::string>& text) = 0;
};

// The panel over the conversation pane, right of the page's chat list, through which a share from
// another program is sent to the chat the user picks. It keeps the shared files' folder while it
// lives. Main thread only.
class ShareToWebViewController : public std::enable_shared_from_this<ShareToWebViewController> {
public:
    static constexpr std::string_view kClassName = "ShareToWebViewController";

    static std::shared_ptr<ShareToWebViewController> create(std::shared_ptr<tovak::WQTemporaryDirectory> tempDirectory,
                                                             std::optional<std::vector<std::filesystem::path>> fileUrls,
                                                             std::optional<std::string> text);
    ~ShareToWebViewController();

    Gtk::Widget& view();

    std::shared_ptr<tovak::WQTemporaryDirectory> tempDirectory;
    std::optional<std::vector<std::filesystem::path>> fileUrls;
    std::optional<std::string> text;
    std::optional<double> fraction;  // chat-list width / the container's width
    std::weak_ptr<ShareToWebViewControllerDelegate> delegate;
    double animationDuration = 0.5;
    std::uint64_t layoutCounter = 0;

    // Places the panel from the stored fraction (and counts the pass) once a width is known.
    void updateLayout();
    // The page's answer to wqGetChatListWidth(): a number places the panel right of the list.
    // An answer older than the last layout pass (`counter` below layoutCounter) is dropped.
    void applyChatListWidth(const std::optional<platform::ScriptValue>& answer, std::uint64_t counter);
    // Takes the panel out of its container and tells the delegate it has finished.
    void removeShareView();
    // Whether the panel covers the point (x, y) of `widget` (a widget of the same window).
    bool covers(Gtk::Widget& widget, double x, double y) const;

    void sendClicked();
    void cancelClicked();

private:
    ShareToWebViewController();
    void place(double chatListWidth);

    std::unique_ptr<Gtk::EventBox> view_;
};

}  // namespace parlivo
