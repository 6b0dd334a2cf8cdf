#include "notifications/WQWindowNotificationViewController.h"

#include <gtkmm/icontheme.h>

#include "WQApplicationInfo.h"
#include "foundation/Bundle.h"

namespace parlivo {

WQWindowNotificationViewController::WQWindowNotificationViewController(const InterfaceFile& file) {
    imageView = file.optionalOutlet<Gtk::Image>("imageView");
    textField = file.optionalOutlet<Gtk::Label>("textField");
    button1 = file.optionalOutlet<Gtk::Button>("button1");
    button2 = file.optionalOutlet<Gtk::Button>("button2");
    button3 = file.optionalOutlet<Gtk::Button>("button3");
    progressIndicator = file.optionalOutlet<Gtk::Spinner>("progressIndicator");
    for (Gtk::Button* button : {button1, button2, button3})
        if (button) clicks_.push_back(button->signal_clicked().connect([this, button] { buttonClicked(button); }));
    resetNotificationView();
}

WQWindowNotificationViewController::~WQWindowNotificationViewController() {
    for (auto& click : clicks_) click.disconnect();
}

void WQWindowNotificationViewController::resetNotificationView() {
    if (imageView) imageView->clear();
    if (textField) textField->set_text("");
    const std::pair<Gtk::Button*, const char*> placeholders[] = {
        {button1, "Button One"}, {button2, "Button Two"}, {button3, "Button Three"}};
    for (auto [button, title] : placeholders) {
        if (!button) continue;
        button->set_label(title);
        button->show();
        button->set_sensitive(true);
    }
    setProgressVisible(false);
}

void WQWindowNotificationViewController::configureNotificationView() {
    if (!notification) return;
    if (imageView) {
        if (auto image = imageNamed(notification->imageName))
            imageView->set(image);
        else
            imageView->clear();
    }
    if (textField) textField->set_text(notification->text);
    if (button1) button1->set_label(notification->button1Title);
    const std::pair<Gtk::Button*, const std::optional<std::string>*> optional[] = {
        {button2, &notification->button2Title}, {button3, &notification->button3Title}};
    for (auto [button, title] : optional) {
        if (!button) continue;
        if (*title) {
            button->set_label(**title);
            button->show();
        } else {
            button->hide();
        }
    }
    setProgressVisible(notification->showProgress);
}

void WQWindowNotificationViewController::setProgressVisible(bool visible) {
    if (!progressIndicator) return;
    if (visible) {
        progressIndicator->start();
        progressIndicator->show();
    } else {
        progressIndicator->stop();
        progressIndicator->hide();
    }
}

void WQWindowNotificationViewController::buttonClicked(Gtk::Button* sender) {
    // The record stays alive while its action runs, even when the action ends it.
    auto record = notification;
    if (!record || !sender) return;
    WQWindowNotification::Action* action = nullptr;
    if (sender == button1)
        action = &record->button1Action;
    else if (sender == button2)
        action = &record->button2Action;
    else if (sender == button3)
        action = &record->button3Action;
    if (action && *action) (*action)(*record);
}

Glib::RefPtr<Gdk::Pixbuf> WQWindowNotificationViewController::imageNamed(const std::string& name) {
    if (!name.empty() && name.find('/') == std::string::npos) {
        // Bitmaps first: an SVG would load the vector renderer into the process for one icon.
        for (const char* extension : {"png", "svg"}) {
            if (auto path = platform::Bundle::main().pathForResource(name, extension, "images")) {
                try {
                    return Gdk::Pixbuf::create_from_file(path->string(), imageSize, imageSize, true);
                } catch (const Glib::Error&) {
                }
            }
        }
        try {
            if (auto theme = Gtk::IconTheme::get_default(); theme && theme->has_icon(name))
                return theme->load_icon(name, imageSize, Gtk::ICON_LOOKUP_FORCE_SIZE);
        } catch (const Glib::Error&) {
        }
    }
    auto icon = tovak::WQApplicationInfo::applicationIcon();
    if (icon && (icon->get_width() != imageSize || icon->get_height() != imageSize))
        icon = icon->scale_simple(imageSize, imageSize, Gdk::INTERP_BILINEAR);
    return icon;
}

}  // namespace parlivo
