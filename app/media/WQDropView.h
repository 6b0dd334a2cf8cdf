#pragma once
// Placeholder: the drop and paste overlay's shape; taking dropped and pasted files comes later.

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "shell/PasteDelegate.h"

namespace Gtk {
class Widget;
class EventBox;
}  // namespace Gtk

namespace parlivo {

// What a drag carries, as the drop view hands it on.
struct DraggingInfo {
    std::vector<std::string> uris;
};

// Receives the files dropped or pasted onto the web view (the web media controller).
class WQDropViewDelegate {
public:
    virtual ~WQDropViewDelegate() = default;
    virtual void processFileURLs(const std::vector<std::filesystem::path>& fileURLs) = 0;
};

// Receives the drags the drop view does not take (the web view, whose own drop handling then runs).
class WQDropViewFallbackDelegate {
public:
    virtual ~WQDropViewFallbackDelegate() = default;
    virtual bool performDragOperation(const DraggingInfo& info) = 0;
    virtual void concludeDragOperation(const DraggingInfo& info) = 0;
};

// The transparent overlay over the web view that takes file drops and pastes for the chat. It
// lets every click and key through to the page. While `sendingEnabled` is false it takes nothing.
class WQDropView : public PasteDelegate, public std::enable_shared_from_this<WQDropView> {
public:
    static std::shared_ptr<WQDropView> create();
    ~WQDropView() override;

    Gtk::Widget& view();

    // Held weakly: a web view that was taken down is not kept alive by the overlay.
    std::weak_ptr<WQDropViewFallbackDelegate> fallbackDelegate;
    std::shared_ptr<WQDropViewDelegate> delegate;
    bool sendingEnabled = true;

    // URIs dropped on the web view: true when the overlay takes them for the chat.
    bool takeDroppedURIs(const std::vector<std::string>& uris);
    // PasteDelegate: true when the clipboard's files went to the chat.
    bool paste() override;

private:
    WQDropView();
    std::unique_ptr<Gtk::EventBox> view_;
};

}  // namespace parlivo
