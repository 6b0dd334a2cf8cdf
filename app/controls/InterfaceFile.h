#pragma once

#include <optional>
#include <string>
#include <string_view>

#include <gdkmm/pixbuf.h>
#include <gtkmm/builder.h>

namespace parlivo {

// Where app/resources/parlivo.gresource.xml puts the files compiled into the program.
inline constexpr std::string_view kResourcePrefix = "/net/vantreo/mac/WhatsApp/";

// The resource path of `relative` ("ui/Main.ui", "images/Sound.svg") among those files.
std::string resourcePath(std::string_view relative);

// The picture images/`name`.svg drawn at `size` pixels square, or none where it does not load.
Glib::RefPtr<Gdk::Pixbuf> resourceImage(std::string_view name, int size);

// One interface file (ui/NAME.ui among the compiled-in files) and its outlets. The builder holds
// the file's widgets while no container does: its owner keeps it as long as it uses them.
class InterfaceFile {
public:
    // Loads ui/`name`.ui; a file that does not load is a programming error that stops the program.
    static InterfaceFile load(std::string_view name);
    // Loads ui/`name`.ui, or logs that `what` could not be loaded and answers nothing: for views
    // whose caller carries on without them.
    static std::optional<InterfaceFile> tryLoad(std::string_view name, std::string_view what);

    const Glib::RefPtr<Gtk::Builder>& builder() const { return builder_; }

    // The outlet `name`; a missing one is a programming error that stops the program.
    template <class T>
    T* outlet(const char* name) const {
        return required(name, optionalOutlet<T>(name));
    }
    template <class T>
    T* derivedOutlet(const char* name) const {
        T* widget = nullptr;
        builder_->get_widget_derived(name, widget);
        return required(name, widget);
    }
    // The outlet `name`, or null where the file has none of that name and type.
    template <class T>
    T* optionalOutlet(const char* name) const {
        T* widget = nullptr;
        builder_->get_widget(name, widget);
        return widget;
    }
    // Whether the file names an object `name`, asked of GTK directly: no C++ wrapper is made,
    // which for a derived widget would be of the wrong class.
    bool has(const char* name) const;

private:
    InterfaceFile(std::string name, Glib::RefPtr<Gtk::Builder> builder);
    template <class T>
    T* required(const char* name, T* widget) const {
        if (!widget) missingOutlet(name);
        return widget;
    }
    [[noreturn]] void missingOutlet(const char* name) const;

    std::string name_;
    Glib::RefPtr<Gtk::Builder> builder_;
};

}  // namespace parlivo
