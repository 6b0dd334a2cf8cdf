#include "WQSecureTextField.h"

namespace tovak {

WQSecureTextField::WQSecureTextField() {
    makeSecure();
}

WQSecureTextField::WQSecureTextField(BaseObjectType* object, const Glib::RefPtr<Gtk::Builder>&) : Gtk::Entry(object) {
    makeSecure();
    awakeFromInterfaceFile();
}

void WQSecureTextField::makeSecure() {
    set_visibility(false);
    set_input_purpose(Gtk::INPUT_PURPOSE_PASSWORD);
}

void WQSecureTextField::awakeFromInterfaceFile() {
    set_has_frame(true);
    get_style_context()->add_class(kRoundedStyleClass);
}

}  // namespace tovak
