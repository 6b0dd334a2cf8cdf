#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ViewExtensions.h"
#include "controls/InterfaceFile.h"
#include "web/ScriptMessage.h"

namespace Gtk {
class Builder;
class Button;
class EventBox;
class Widget;
}  // namespace Gtk
namespace tovak {
class WQTemporaryDirectory;
}
typedef struct _GtkOverlay GtkOverlay;
typedef struct _GtkWidget GtkWidget;
typedef struct _cairo_rectangle_int cairo_rectangle_int_t;
typedef cairo_rectangle_int_t GdkRectangle;

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
// another program is sent to the chat the user picks in the list. Its view comes from the
// interface file ShareToWebViewController.ui: a ShareToWebView (its own window, so clicks, scrolls
// and the cursor stop at it; the arrow cursor over it; Return shares and Escape cancels while it
// has the focus) with a prompt, a Share and a Cancel button.
//
// It is placed in a Gtk::Overlay (the web container): it covers the part of the container right
// of the chat list, over the full height, and slides in and out by its vertical offset. It keeps
// the shared files' folder while it lives. Main thread only.
class ShareToWebViewController : public std::enable_shared_from_this<ShareToWebViewController> {
public:
    static constexpr std::string_view kClassName = "ShareToWebViewController";
    static constexpr std::string_view kViewClassName = "ShareToWebView";

    static std::shared_ptr<ShareToWebViewController> create(std::shared_ptr<tovak::WQTemporaryDirectory> tempDirectory,
                                                             std::optional<std::vector<std::filesystem::path>> fileUrls,
                                                             std::optional<std::string> text);
    ~ShareToWebViewController();
    ShareToWebViewController(const ShareToWebViewController&) = delete;
    ShareToWebViewController& operator=(const ShareToWebViewController&) = delete;

    Gtk::Widget& view();

    std::shared_ptr<tovak::WQTemporaryDirectory> tempDirectory;
    std::optional<std::vector<std::filesystem::path>> fileUrls;
    std::optional<std::string> text;
    std::optional<double> fraction;  // chat-list width / the container's width
    std::weak_ptr<ShareToWebViewControllerDelegate> delegate;
    double animationDuration = 0.5;
    std::uint64_t layoutCounter = 0;

    Gtk::Button* pasteButton() const { return pasteButton_; }
    Gtk::Button* cancelButton() const { return cancelButton_; }

    // After a layout pass of the main view: the panel keeps its fraction of the container's new
    // width; counts the pass. Nothing (and no count) before a width is known or without a parent.
    void updateLayout();
    // The page's answer to wqGetChatListWidth() asked at layout pass `counter`: a number places
    // the panel right of the list and keeps the fraction. Dropped when a later layout pass came
    // (`counter` below layoutCounter), without a parent, or when it is no usable width.
    void applyChatListWidth(const std::optional<platform::ScriptValue>& answer, std::uint64_t counter);
    // Takes the panel out of its container and tells the delegate it has finished.
    void removeShareView();
    // The action of both buttons: Share sends (once), Cancel dismisses; other senders are ignored.
    void buttonClicked(Gtk::Widget* sender);
    void sendClicked();
    // The panel answers no button any more (it is sent, dismissed, or replaced by a newer share).
    void endInteraction();

    // Slides the panel in from (or out to) an edge of its container, shown at once; the handler
    // runs when the slide has ended (at once without a container).
    void moveIn(double duration, tovak::AnimationDirection direction, tovak::CompletionHandler completion = {});
    void moveOut(double duration, tovak::AnimationDirection direction, tovak::CompletionHandler completion = {});

    // Where the panel lies in its container: x right of the chat list, y its slide offset, the
    // container's full height. None without a container.
    std::optional<tovak::ViewFrame> frame() const;
    // Whether the panel covers the point (x, y) of `widget` (a widget of the same window).
    bool covers(Gtk::Widget& widget, double x, double y) const;

private:
    ShareToWebViewController();
    void loadView();
    void attachToContainer();
    void detachFromContainer();
    void slide(double from, double to, double duration, tovak::CompletionHandler completion);
    double chatListX(double containerWidth) const;
    static int placeChild(GtkOverlay* overlay, GtkWidget* child, GdkRectangle* allocation, void* data);

    std::optional<InterfaceFile> file_;
    std::unique_ptr<Gtk::EventBox> view_;
    Gtk::Button* pasteButton_ = nullptr;
    Gtk::Button* cancelButton_ = nullptr;
    GtkWidget* container_ = nullptr;  // the overlay the view lies in, while it does (weak)
    unsigned long positionHandler_ = 0;
    double offset_ = 0;           // the slide: a fraction of the container's height, + below
    unsigned slideGeneration_ = 0;
    bool finished_ = false;       // a button was pressed: the share is sent or dismissed
};

}  // namespace parlivo
