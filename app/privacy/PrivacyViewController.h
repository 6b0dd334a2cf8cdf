#pragma once
// Placeholder: the lock screen's shape with a bare password field; its look, Touch ID and the
// forgotten-password path come later.

#include <memory>
#include <string_view>

namespace Gtk {
class Widget;
class EventBox;
class Entry;
}  // namespace Gtk

namespace parlivo {

// The cover over the whole main view while the privacy lock is engaged. Its own unlock releases
// the lock through the settings model, which posts "kPrivacyChanged". Main thread only.
class PrivacyViewController : public std::enable_shared_from_this<PrivacyViewController> {
public:
    static constexpr std::string_view kClassName = "PrivacyViewController";

    static std::shared_ptr<PrivacyViewController> create();
    ~PrivacyViewController();

    Gtk::Widget& view();
    // Offers the fingerprint prompt (while the window is active and the setting allows it).
    void showTouchID();
    void focusPasswordField();
    void checkPassword();

private:
    PrivacyViewController();

    std::unique_ptr<Gtk::EventBox> view_;
    Gtk::Entry* passwordField_ = nullptr;
};

}  // namespace parlivo
