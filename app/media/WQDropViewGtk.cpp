// The drop view's GTK side: its widget, the clipboard as a pasteboard, and the web view's drag
// signals (a drag as a pasteboard, the direct-save protocol for file promises).
#include <gtkmm/clipboard.h>
#include <gtkmm/eventbox.h>
#include <gtkmm/selectiondata.h>
// After gtkmm: Xlib's macros clash with its names.
#include <gdk/gdkx.h>

#include <cstring>
#include <map>

#include "DebugPrint.h"
#include "foundation/FileManager.h"
#include "foundation/MainQueue.h"
#include "media/WQDropView.h"

namespace parlivo {

namespace fs = std::filesystem;
using Reader = WQPasteBoardReader;

namespace {

void log(std::string_view message) { tovak::debugPrint(WQDropView::kClassName, message); }

std::string atomName(GdkAtom atom) {
    gchar* name = gdk_atom_name(atom);
    std::string text = name ? name : "";
    g_free(name);
    return text;
}

std::optional<std::string> selectionBytes(GtkSelectionData* data) {
    if (!data || gtk_selection_data_get_length(data) < 0) return std::nullopt;
    const guchar* bytes = gtk_selection_data_get_data(data);
    const int length = gtk_selection_data_get_length(data);
    return std::string(reinterpret_cast<const char*>(bytes), bytes ? std::size_t(length) : 0);
}

// The general clipboard; its owner answers each read in its own time.
class ClipboardPasteboard : public WQPasteboard {
public:
    ClipboardPasteboard(Glib::RefPtr<Gtk::Clipboard> clipboard, std::vector<std::string> types)
        : clipboard_(std::move(clipboard)), types_(std::move(types)) {}

    const std::vector<std::string>& types() const override { return types_; }

    void read(const std::string& type, std::function<void(std::optional<std::string>)> completion) override {
        clipboard_->request_contents(type, [completion = std::move(completion)](const Gtk::SelectionData& data) {
            completion(selectionBytes(const_cast<GtkSelectionData*>(data.gobj())));
        });
    }

private:
    Glib::RefPtr<Gtk::Clipboard> clipboard_;
    std::vector<std::string> types_;
};

// Info numbers of the targets the overlay adds to the web view's list, above WebKit's own.
constexpr guint kOverlayTargetInfo = 0x5051;

}  // namespace

// One drag over the web view, read as a pasteboard: its types are the drag's targets, its
// data is asked of the source through the web view (answers come back through the web view's
// "drag-data-received", which hands them here first).
class WQDropView::DragSession : public WQPasteboard, public std::enable_shared_from_this<DragSession> {
public:
    DragSession(GtkWidget* widget, GdkDragContext* context, unsigned time)
        : widget_(GTK_WIDGET(g_object_ref(widget))), context_(GDK_DRAG_CONTEXT(g_object_ref(context))), time_(time) {
        for (GList* target = gdk_drag_context_list_targets(context); target; target = target->next)
            types_.push_back(atomName(GDK_POINTER_TO_ATOM(target->data)));
    }
    ~DragSession() override {
        g_object_unref(context_);
        g_object_unref(widget_);
    }

    GdkDragContext* context() const { return context_; }
    void setTime(unsigned time) { time_ = time; }
    bool fromPage() const { return gtk_drag_get_source_widget(context_) == widget_; }

    const std::vector<std::string>& types() const override { return types_; }

    std::optional<std::string> cached(const std::string& type) const {
        auto found = received_.find(type);
        if (found == received_.end()) return std::nullopt;
        return found->second;
    }

    void read(const std::string& type, std::function<void(std::optional<std::string>)> completion) override {
        if (auto found = received_.find(type); found != received_.end()) {
            platform::MainQueue::async([completion = std::move(completion), value = found->second] { completion(value); });
            return;
        }
        auto& waiting = pending_[type];
        waiting.push_back(std::move(completion));
        if (waiting.size() > 1) return;
        // GTK answers a failed or abandoned request too (with no data), so every read ends.
        gtk_drag_get_data(widget_, context_, gdk_atom_intern(type.c_str(), FALSE), time_);
    }

    // Data for the web view: true when it answers one of our reads.
    bool received(GtkSelectionData* data) {
        const std::string type = atomName(gtk_selection_data_get_target(data));
        auto found = pending_.find(type);
        if (found == pending_.end()) return false;
        auto waiting = std::move(found->second);
        pending_.erase(found);
        auto bytes = selectionBytes(data);
        received_[type] = bytes;
        for (auto& completion : waiting) completion(bytes);
        return true;
    }

    bool hasFilePromise() const override { return Reader::offersFilePromise(types_); }

    // The direct-save protocol (XDS 0.4): the source names the file in the property
    // "XdndDirectSave0" of its window; we write back where it is to go (a file URL in our own
    // temporary folder), ask for the target "XdndDirectSave0", and the source answers "S" once
    // it has written the file, "F" when we are to write the data ourselves, "E" on failure.
    void receivePromisedFiles(const fs::path& directory,
                              std::function<void(std::optional<std::vector<std::string>>)> completion) override {
        GdkWindow* source = gdk_drag_context_get_source_window(context_);
        if (!source || !GDK_IS_X11_DISPLAY(gdk_window_get_display(source))) return completion(std::nullopt);
        GdkDisplay* display = gdk_window_get_display(source);
        const GdkAtom property = gdk_atom_intern_static_string("XdndDirectSave0");
        const GdkAtom textType = gdk_atom_intern_static_string("text/plain");

        GdkAtom actualType = GDK_NONE;
        gint format = 0, length = 0;
        guchar* data = nullptr;
        gdk_x11_display_error_trap_push(display);
        const bool found = gdk_property_get(source, property, GDK_NONE, 0, 1024, FALSE, &actualType, &format, &length, &data);
        gdk_x11_display_error_trap_pop_ignored(display);
        std::string suggested;
        if (found && data && format == 8 && length > 0) suggested.assign(reinterpret_cast<const char*>(data), std::size_t(length));
        g_free(data);
        const auto name = Reader::promisedFileName(suggested);
        if (!name) {
            log("The promised file has no usable name");
            return completion(std::nullopt);
        }
        const fs::path target = directory / *name;
        gchar* uri = g_filename_to_uri(target.c_str(), g_get_host_name(), nullptr);
        if (!uri) return completion(std::nullopt);
        gdk_x11_display_error_trap_push(display);
        gdk_property_change(source, property, textType, 8, GDK_PROP_MODE_REPLACE, reinterpret_cast<const guchar*>(uri),
                            gint(std::strlen(uri)));
        gdk_x11_display_error_trap_pop_ignored(display);
        g_free(uri);

        auto self = shared_from_this();
        read(std::string(Reader::directSaveType), [self, target, name = *name, completion](std::optional<std::string> answer) {
            const char status = answer && !answer->empty() ? (*answer)[0] : 'E';
            if (status == 'S') return completion(std::vector<std::string>{name});
            if (status != 'F' || !contains(self->types_, Reader::octetStreamType)) return completion(std::nullopt);
            // The source could not write it: it hands the bytes over instead.
            self->read(std::string(Reader::octetStreamType), [target, name, completion](std::optional<std::string> bytes) {
                if (!bytes || !platform::FileManager::writeAtomically(target, *bytes, 0600))
                    return completion(std::nullopt);
                completion(std::vector<std::string>{name});
            });
        });
    }

private:
    static bool contains(const std::vector<std::string>& types, std::string_view type) {
        return std::find(types.begin(), types.end(), type) != types.end();
    }

    GtkWidget* widget_;
    GdkDragContext* context_;
    unsigned time_;
    std::vector<std::string> types_;
    std::map<std::string, std::optional<std::string>> received_;
    std::map<std::string, std::vector<std::function<void(std::optional<std::string>)>>> pending_;
};

WQDropView::WQDropView() {
    generalPasteboard = [](std::function<void(std::shared_ptr<WQPasteboard>)> completion) {
        auto clipboard = Gtk::Clipboard::get();
        clipboard->request_targets([clipboard, completion = std::move(completion)](
                                       const std::vector<Glib::ustring>& targets) {
            std::vector<std::string> types(targets.begin(), targets.end());
            completion(std::make_shared<ClipboardPasteboard>(clipboard, std::move(types)));
        });
    };
}

WQDropView::~WQDropView() {
    if (view_)
        if (auto* parent = view_->get_parent()) parent->remove(*view_);
}

Gtk::Widget& WQDropView::view() {
    if (!view_) {
        view_ = std::make_unique<Gtk::EventBox>();
        // Draws nothing and takes no input: clicks, keys and drags go to the web view beneath,
        // which hands drags to this object first.
        view_->set_visible_window(false);
        view_->set_above_child(false);
        view_->set_no_show_all(true);
    }
    return *view_;
}

void WQDropView::registerDraggedTypes(GtkWidget* webView) {
    GtkTargetList* list = gtk_drag_dest_get_target_list(webView);
    if (!list) {
        list = gtk_target_list_new(nullptr, 0);
        gtk_drag_dest_set_target_list(webView, list);
        gtk_target_list_unref(list);
    }
    std::vector<std::string> wanted = Reader::imageTypes();
    for (auto type : {Reader::uriListType, Reader::copiedFilesType, Reader::directSaveType, Reader::octetStreamType})
        wanted.emplace_back(type);
    for (const auto& type : wanted) {
        const GdkAtom atom = gdk_atom_intern(type.c_str(), FALSE);
        if (!gtk_target_list_find(list, atom, nullptr)) gtk_target_list_add(list, atom, 0, kOverlayTargetInfo);
    }
}

std::shared_ptr<WQDropView::DragSession> WQDropView::sessionFor(const DraggingInfo& info) {
    if (!drag_ || drag_->context() != info.context) {
        drag_ = std::make_shared<DragSession>(info.widget, info.context, info.time);
        registerDraggedTypes(info.widget);
    } else {
        drag_->setTime(info.time);
    }
    return drag_;
}

namespace {
// The action the overlay answers with: a copy, or what the source suggests when it offers no copy.
GdkDragAction copyAction(GdkDragContext* context) {
    if (gdk_drag_context_get_actions(context) & GDK_ACTION_COPY) return GDK_ACTION_COPY;
    return gdk_drag_context_get_suggested_action(context);
}
}  // namespace

bool WQDropView::dragMotion(const DraggingInfo& info) {
    auto session = sessionFor(info);
    const auto type = Reader::fileURLType(session->types());
    const auto verdict = classifyDrag(session->types(), type ? session->cached(*type) : std::nullopt, session->fromPage());
    if (verdict == DragVerdict::page) return false;
    // Whether the drag holds files: read its URI list now; the next motion decides.
    if (verdict == DragVerdict::pending) session->read(*type, [](std::optional<std::string>) {});
    gdk_drag_status(info.context, copyAction(info.context), info.time);
    return true;
}

bool WQDropView::dragDataReceived(GtkWidget*, GdkDragContext* context, GtkSelectionData* data, unsigned) {
    return drag_ && drag_->context() == context && drag_->received(data);
}

bool WQDropView::dragDrop(const DraggingInfo& info) {
    auto session = sessionFor(info);
    const auto type = Reader::fileURLType(session->types());
    const auto verdict = classifyDrag(session->types(), type ? session->cached(*type) : std::nullopt, session->fromPage());
    if (verdict == DragVerdict::page) {
        fallbackDrag = true;
        auto fallback = fallbackDelegate.lock();
        return fallback && fallback->performDragOperation(info);
    }
    if (!prepareForDragOperation()) {
        log("Drop refused: sending is off");
        gtk_drag_finish(info.context, FALSE, FALSE, info.time);
        return true;
    }
    std::weak_ptr<WQDropView> weak = weak_from_this();
    performDragOperation(session, [weak, session, info](bool taken) {
        gtk_drag_finish(session->context(), taken, FALSE, info.time);
        if (auto self = weak.lock()) {
            if (self->drag_ == session) self->drag_.reset();
            self->concludeDragOperation(info);
        }
    });
    return true;
}

}  // namespace parlivo
