#pragma once

#include <gtkmm/builder.h>
#include <gtkmm/entry.h>

namespace tovak {

// A password field: the text is hidden and input methods treat it as a password. One loaded
// from an interface file always gets a frame with rounded corners (style class "rounded"),
// whatever the file says.
class WQSecureTextField : public Gtk::Entry {
public:
    static constexpr const char* kRoundedStyleClass = "rounded";

    WQSecureTextField();
    // Made from an interface file (Gtk::Builder::get_widget_derived on a GtkEntry).
    WQSecureTextField(BaseObjectType* object, const Glib::RefPtr<Gtk::Builder>& builder);

    // Kept for clients; the field itself attaches no behaviour to it.
    bool forceFirstResponder() const { return forceFirstResponder_; }
    void setForceFirstResponder(bool on) { forceFirstResponder_ = on; }

private:
    void makeSecure();
    void awakeFromInterfaceFile();

    bool forceFirstResponder_ = false;
};

}  // namespace tovak
