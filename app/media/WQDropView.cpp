#include "media/WQDropView.h"

// The drop view's decisions, free of any toolkit: what a drag or a paste offers, which of it is
// sent, and the waiting for promised files. The GTK side (the widget, the clipboard, the web
// view's drag signals) is in WQDropViewGtk.cpp.
#include "DebugPrint.h"
#include "WQTempFile.h"
#include "WQTemporaryDirectory.h"
#include "foundation/MainQueue.h"
#include "foundation/WorkQueue.h"
#include "settings/PrivacyGate.h"

namespace parlivo {

namespace fs = std::filesystem;
using Reader = WQPasteBoardReader;

namespace {

void log(std::string_view message) { tovak::debugPrint(WQDropView::kClassName, message); }

// Reading files and images off the main thread: the file system may be slow (a network
// folder), decoding and encoding an image takes a while.
platform::WorkQueue& readQueue() {
    static auto* queue = new platform::WorkQueue("WQDropView", 1);
    return *queue;
}

// Promised files are waited for here, one promise after the other; the waiting sleeps.
platform::WorkQueue& promiseQueue() {
    static auto* queue = new platform::WorkQueue("WQDropView.promises", 1);
    return *queue;
}

std::string joined(const std::vector<std::string>& items) {
    std::string text = "[";
    for (std::size_t i = 0; i < items.size(); ++i) text.append(i ? ", " : "").append(items[i]);
    return text.append("]");
}

}  // namespace

std::shared_ptr<WQDropView> WQDropView::create() { return std::shared_ptr<WQDropView>(new WQDropView()); }

bool WQDropView::locked() const {
    return isLocked ? isLocked() : PrivacyGate::isLocked();
}

bool WQDropView::mayDeliver() const { return sendingEnabled && !locked(); }

void WQDropView::deliver(std::vector<fs::path> urls, std::vector<std::shared_ptr<void>> owners) {
    if (auto target = delegate) target->processFileURLs(urls, std::move(owners));
}

// --- paste and drop ---

void WQDropView::paste(std::function<void(bool)> completion) {
    if (!mayDeliver() || !generalPasteboard) {
        platform::MainQueue::async([completion = std::move(completion)] { completion(false); });
        return;
    }
    std::weak_ptr<WQDropView> weak = weak_from_this();
    generalPasteboard([weak, completion = std::move(completion)](std::shared_ptr<WQPasteboard> pasteboard) {
        auto self = weak.lock();
        if (!self || !pasteboard) {
            completion(false);
            return;
        }
        self->paste(pasteboard, completion);
    });
}

void WQDropView::paste(const std::shared_ptr<WQPasteboard>& pasteboard, std::function<void(bool)> completion) {
    if (!mayDeliver()) {
        platform::MainQueue::async([completion = std::move(completion)] { completion(false); });
        return;
    }
    dropOrPaste(pasteboard, std::move(completion));
}

void WQDropView::dropOrPaste(const std::shared_ptr<WQPasteboard>& pasteboard, std::function<void(bool)> completion) {
    log("Drop or Paste from Pasteboard");
    if (!mayDeliver() || !pasteboard || pasteboard->types().empty()) {
        platform::MainQueue::async([completion = std::move(completion)] { completion(false); });
        return;
    }
    if (auto type = Reader::fileURLType(pasteboard->types())) {
        std::weak_ptr<WQDropView> weak = weak_from_this();
        readFiles(pasteboard, *type, [weak, pasteboard, completion](bool sent) {
            auto self = weak.lock();
            if (!self) return completion(false);
            if (sent) return completion(true);
            self->readImage(pasteboard, completion);
        });
        return;
    }
    readImage(pasteboard, std::move(completion));
}

void WQDropView::readFiles(const std::shared_ptr<WQPasteboard>& pasteboard, const std::string& type,
                           std::function<void(bool)> completion) {
    std::weak_ptr<WQDropView> weak = weak_from_this();
    pasteboard->read(type, [weak, completion = std::move(completion)](std::optional<std::string> text) mutable {
        if (!text || !weak.lock()) return completion(false);
        if (text->size() > Reader::maximumURIListBytes) {
            log("Not sent: the file list is too long");
            return completion(false);
        }
        // The files are looked at off the main thread: a dropped folder may be on a slow disk.
        readQueue().async([weak, text = std::move(*text), completion = std::move(completion)]() mutable {
            auto files = Reader::getURLs(text);
            platform::MainQueue::async([weak, files = std::move(files), completion = std::move(completion)] {
                auto self = weak.lock();
                for (const auto& [name, why] : files.refused)
                    log("Not sent: " + name + " (" + std::string(Reader::describe(why)) + ")");
                if (!self || files.accepted.empty() || !self->mayDeliver()) return completion(false);
                self->deliver(files.accepted, {});
                completion(true);
            });
        });
    });
}

void WQDropView::readImage(const std::shared_ptr<WQPasteboard>& pasteboard, std::function<void(bool)> completion) {
    const auto type = Reader::imageType(pasteboard->types());
    if (!type) {
        platform::MainQueue::async([completion = std::move(completion)] { completion(false); });
        return;
    }
    std::weak_ptr<WQDropView> weak = weak_from_this();
    pasteboard->read(*type, [weak, completion = std::move(completion)](std::optional<std::string> bytes) mutable {
        if (!bytes || !weak.lock()) return completion(false);
        if (bytes->size() > Reader::maximumImageBytes) {
            log("Not sent: the image is too large");
            return completion(false);
        }
        readQueue().async([weak, bytes = std::move(*bytes), completion = std::move(completion)]() mutable {
            std::shared_ptr<tovak::WQTempFile> file;
            std::string error = "not an image";
            if (auto image = Reader::decodeImage(bytes)) file = Reader::writeImage(*image, &error);
            platform::MainQueue::async([weak, file = std::move(file), error, completion = std::move(completion)] {
                auto self = weak.lock();
                if (!file) log("Could not write image to tempfile: " + error);
                // Nothing written is nothing sent: the paste goes on to the focused widget.
                if (!self || !file || !self->mayDeliver()) return completion(false);
                self->deliver({file->url()}, {file});
                completion(true);
            });
        });
    });
}

// --- drags ---

WQDropView::DragVerdict WQDropView::classifyDrag(const std::vector<std::string>& types,
                                                 const std::optional<std::string>& uriList, bool fromPage) {
    if (fromPage) return DragVerdict::page;
    if (Reader::fileURLType(types)) {
        if (!uriList) return DragVerdict::pending;
        if (Reader::namesLocalFiles(*uriList)) return DragVerdict::take;
    }
    if (Reader::imageType(types) || Reader::offersFilePromise(types)) return DragVerdict::take;
    return DragVerdict::page;
}

bool WQDropView::prepareForDragOperation() const { return mayDeliver(); }

void WQDropView::performDragOperation(const std::shared_ptr<WQPasteboard>& pasteboard,
                                      std::function<void(bool)> completion) {
    if (!mayDeliver()) {
        platform::MainQueue::async([completion = std::move(completion)] { completion(false); });
        return;
    }
    log("Perform Drag Operation: " + joined(pasteboard->types()));
    std::weak_ptr<WQDropView> weak = weak_from_this();
    dropOrPaste(pasteboard, [weak, pasteboard, completion = std::move(completion)](bool taken) {
        auto self = weak.lock();
        if (!self) return completion(false);
        if (taken) {
            self->fallbackDrag = false;
            return completion(true);
        }
        if (pasteboard->hasFilePromise()) {
            self->fallbackDrag = false;
            return self->receivePromise(pasteboard, completion);
        }
        completion(false);
    });
}

void WQDropView::receivePromise(const std::shared_ptr<WQPasteboard>& pasteboard, std::function<void(bool)> completion) {
    auto directory = std::make_shared<tovak::WQTemporaryDirectory>();
    if (!directory->created()) return completion(false);
    std::weak_ptr<WQDropView> weak = weak_from_this();
    const auto wait = promiseWait;
    pasteboard->receivePromisedFiles(
        directory->url(), [weak, directory, wait, completion = std::move(completion)](
                              std::optional<std::vector<std::string>> names) {
            if (!names) {
                log("The source did not write its promised files");
                return completion(false);
            }
            log("Exported Files To: " + directory->url().string() + " - Files: " + joined(*names));
            // The drop is done for the source; the files are waited for off the main thread.
            completion(true);
            promiseQueue().async([weak, directory, names = std::move(*names), wait] {
                auto cancelled = [weak] { return weak.expired(); };
                auto files = Reader::waitForPromisedFiles(names, directory->url(), wait, cancelled);
                // The folder goes with the delivery: it stays until the files have been read.
                platform::MainQueue::async([weak, directory, files = std::move(files)] {
                    auto self = weak.lock();
                    if (!files) {
                        log("The promised files did not arrive");
                        return;
                    }
                    if (!self || !self->mayDeliver()) return;
                    self->deliver(*files, {directory});
                });
            });
        });
}

void WQDropView::concludeDragOperation(const DraggingInfo& info) {
    if (!sendingEnabled || !fallbackDrag) return;
    if (auto fallback = fallbackDelegate.lock()) fallback->concludeDragOperation(info);
}

}  // namespace parlivo
