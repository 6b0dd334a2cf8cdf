#include "controls/InterfaceFile.h"

#include <glib.h>

#include "foundation/Log.h"

namespace parlivo {

namespace {

std::string uiPath(std::string_view name) { return resourcePath("ui/" + std::string(name) + ".ui"); }

}  // namespace

std::string resourcePath(std::string_view relative) { return std::string(kResourcePrefix) + std::string(relative); }

Glib::RefPtr<Gdk::Pixbuf> resourceImage(std::string_view name, int size) {
    try {
        return Gdk::Pixbuf::create_from_resource(resourcePath("images/" + std::string(name) + ".svg"), size, size);
    } catch (const Glib::Error&) {
        return {};
    }
}

InterfaceFile::InterfaceFile(std::string name, Glib::RefPtr<Gtk::Builder> builder)
    : name_(std::move(name)), builder_(std::move(builder)) {}

InterfaceFile InterfaceFile::load(std::string_view name) {
    const std::string path = uiPath(name);
    try {
        return InterfaceFile(std::string(name), Gtk::Builder::create_from_resource(path));
    } catch (const Glib::Error& error) {
        g_error("Could not load the interface file %s: %s", path.c_str(), error.what().c_str());
    }
}

std::optional<InterfaceFile> InterfaceFile::tryLoad(std::string_view name, std::string_view what) {
    try {
        return InterfaceFile(std::string(name), Gtk::Builder::create_from_resource(uiPath(name)));
    } catch (const Glib::Error& error) {
        platform::systemLog("Error: could not load " + std::string(what) + ": " + std::string(error.what()),
                            platform::LogLevel::error);
        return std::nullopt;
    }
}

bool InterfaceFile::has(const char* name) const { return gtk_builder_get_object(builder_->gobj(), name) != nullptr; }

void InterfaceFile::missingOutlet(const char* name) const {
    g_error("The interface file %s.ui lacks the outlet \"%s\"", name_.c_str(), name);
}

}  // namespace parlivo
