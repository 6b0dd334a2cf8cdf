#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "media/WQPasteBoardReader.h"
#include "settings/PasteDelegate.h"

namespace Gtk {
class Widget;
class EventBox;
}  // namespace Gtk
typedef struct _GdkDragContext GdkDragContext;
typedef struct _GtkSelectionData GtkSelectionData;
typedef struct _GtkWidget GtkWidget;

namespace parlivo {

// A drop on the web view as the drop view hands it on: the drag and the widget it is over.
struct DraggingInfo {
    GtkWidget* widget = nullptr;
    GdkDragContext* context = nullptr;
    int x = 0;
    int y = 0;
    unsigned time = 0;
};

// Receives the files dropped or pasted onto the web view (the web media controller).
class WQDropViewDelegate {
public:
    virtual ~WQDropViewDelegate() = default;
    virtual void processFileURLs(const std::vector<std::filesystem::path>& fileURLs) = 0;
    // The same for files that exist only as long as their owners (a pasted image's temporary
    // file, the folder a promise was written to, a share's folder): the owners are kept until
    // the files have been read.
    virtual void processFileURLs(const std::vector<std::filesystem::path>& fileURLs,
                                 std::vector<std::shared_ptr<void>> owners) = 0;
};

// Receives the drags the drop view does not take (the web view, whose own drop handling then runs).
class WQDropViewFallbackDelegate {
public:
    virtual ~WQDropViewFallbackDelegate() = default;
    // True when the drop was taken here; false lets the drop go on to WebKit.
    virtual bool performDragOperation(const DraggingInfo& info) = 0;
    virtual void concludeDragOperation(const DraggingInfo& info) = 0;
};

// The transparent overlay over the web view that takes dropped and pasted files and images for
// the chat, and lets every other drag through to the page. It draws nothing and lets every click
// and key through; drags reach it through the web view's own drag signals (the web view asks it
// first), pastes through the application's Paste command.
//
// A drag is the overlay's when it carries local files (a URI list naming file URLs), an image
// or a file promise (XDS), and does not come from the page itself; the overlay then answers the
// drag as a copy and WebKit never sees it. Any other drag (text, links, the page's own) is the
// page's. Dropped files must be regular files (no links, folders, devices or pipes); images
// become temporary JPEG files (PNG when they are transparent); promised files are taken once
// their size has settled, waited for off the main thread. Nothing is taken while
// `sendingEnabled` is false or the privacy lock is on.
class WQDropView : public PasteDelegate, public std::enable_shared_from_this<WQDropView> {
public:
    static constexpr std::string_view kClassName = "WQDropView";

    static std::shared_ptr<WQDropView> create();
    ~WQDropView() override;

    // The overlay widget (made on first use).
    Gtk::Widget& view();

    std::weak_ptr<WQDropViewFallbackDelegate> fallbackDelegate;
    // Whether the last drop went to the fallback delegate.
    bool fallbackDrag = true;
    std::shared_ptr<WQDropViewDelegate> delegate;
    bool sendingEnabled = true;
    // Whether the privacy lock is on; by default PrivacyGate::isLocked.
    std::function<bool()> isLocked;
    // The clipboard as a pasteboard, handed over once its types are known; by default GTK's.
    std::function<void(std::function<void(std::shared_ptr<WQPasteboard>)>)> generalPasteboard;
    // How long promised files are waited for.
    WQPasteBoardReader::PromiseWait promiseWait;

    // PasteDelegate: the clipboard's files or image go to the chat; false (later, on the main
    // thread) when nothing was sent, so the focused widget pastes instead.
    void paste(std::function<void(bool handled)> completion) override;
    void paste(const std::shared_ptr<WQPasteboard>& pasteboard, std::function<void(bool handled)> completion);

    // Files first (when any of them can be sent), then an image; true when something went to
    // the delegate. Shared by paste and drop.
    void dropOrPaste(const std::shared_ptr<WQPasteboard>& pasteboard, std::function<void(bool taken)> completion);

    // --- drags, in display-free terms ---
    enum class DragVerdict {
        page,     // the page's own drag, or one without files or images: WebKit handles it
        pending,  // it may carry files: the URI list is being read
        take,     // files, an image or a promise: the overlay's
    };
    // `uriList`: the drag's URI list once read (none while unknown).
    static DragVerdict classifyDrag(const std::vector<std::string>& types, const std::optional<std::string>& uriList,
                                    bool fromPage);
    // Whether a drop of ours may go ahead: sending enabled, not locked.
    bool prepareForDragOperation() const;
    // Takes the drop: files and images through dropOrPaste, else the promise. `completion`
    // tells whether the drop was taken.
    void performDragOperation(const std::shared_ptr<WQPasteboard>& pasteboard, std::function<void(bool)> completion);
    void concludeDragOperation(const DraggingInfo& info);

    // --- the web view's drag signals (GTK), asked before WebKit; true: handled here ---
    bool dragMotion(const DraggingInfo& info);
    bool dragDrop(const DraggingInfo& info);
    bool dragDataReceived(GtkWidget* widget, GdkDragContext* context, GtkSelectionData* data, unsigned time);
    // Adds the types the overlay reads to the web view's drop targets (WebKit's list lacks them).
    static void registerDraggedTypes(GtkWidget* webView);

private:
    class DragSession;
    WQDropView();
    bool locked() const;
    bool mayDeliver() const;
    void deliver(std::vector<std::filesystem::path> urls, std::vector<std::shared_ptr<void>> owners);
    void readFiles(const std::shared_ptr<WQPasteboard>& pasteboard, const std::string& type,
                   std::function<void(bool)> completion);
    void readImage(const std::shared_ptr<WQPasteboard>& pasteboard, std::function<void(bool)> completion);
    void receivePromise(const std::shared_ptr<WQPasteboard>& pasteboard, std::function<void(bool)> completion);
    std::shared_ptr<DragSession> sessionFor(const DraggingInfo& info);

    std::unique_ptr<Gtk::EventBox> view_;
    std::shared_ptr<DragSession> drag_;
};

}  // namespace parlivo
