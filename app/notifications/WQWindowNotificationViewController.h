#pragma once

#include <memory>
#include <string_view>
#include <vector>

#include <gtkmm/button.h>
#include <gtkmm/image.h>
#include <gtkmm/label.h>
#include <gtkmm/spinner.h>

#include "controls/InterfaceFile.h"
#include "notifications/WQWindowNotification.h"

namespace parlivo {

// The content of the in-window notification pane: image, text, three buttons and the progress
// indicator, filled from one WQWindowNotification. The buttons are packed from the right (the
// first rightmost) and a hidden button takes no room, so the indicator always sits just left of
// the leftmost button shown. Main thread.
class WQWindowNotificationViewController {
public:
    static constexpr std::string_view kClassName = "WQWindowNotificationViewController";
    static constexpr int imageSize = 48;

    // Takes the widgets from the pane's interface file; resets the view.
    explicit WQWindowNotificationViewController(const InterfaceFile& file);
    ~WQWindowNotificationViewController();
    WQWindowNotificationViewController(const WQWindowNotificationViewController&) = delete;
    WQWindowNotificationViewController& operator=(const WQWindowNotificationViewController&) = delete;

    Gtk::Image* imageView = nullptr;
    Gtk::Label* textField = nullptr;
    Gtk::Button* button1 = nullptr;
    Gtk::Button* button2 = nullptr;
    Gtk::Button* button3 = nullptr;
    Gtk::Spinner* progressIndicator = nullptr;

    // The record on display; none until the first presentation.
    std::shared_ptr<WQWindowNotification> notification;

    // Fills the view from `notification` (nothing without one): image, text, the first button's
    // title, the second and third shown with their titles or hidden, the progress indicator.
    void configureNotificationView();
    // Empty image and text, placeholder titles, all three buttons shown, no progress.
    void resetNotificationView();
    void setProgressVisible(bool visible);
    // A button of the view was clicked: runs that button's action with the record. Without a
    // record, for a button without action or a widget that is none of the three, nothing.
    void buttonClicked(Gtk::Button* sender);

    // The picture for a record's image name: the bundle's "images/<name>.svg" or ".png", else
    // the icon theme's icon of that name, else the application's icon. Null when there is none.
    static Glib::RefPtr<Gdk::Pixbuf> imageNamed(const std::string& name);

private:
    std::vector<sigc::connection> clicks_;
};

}  // namespace parlivo
