#pragma once

#include <filesystem>
#include <functional>
#include <memory>

#include <gdkmm/pixbuf.h>
#include <gtkmm/button.h>
#include <gtkmm/drawingarea.h>
#include <gtkmm/filechoosernative.h>
#include <gtkmm/popover.h>

#include "controls/InterfaceFile.h"

namespace parlivo {

// The content of the image well's popover, from ui/WQChooseImageViewOptions.ui: three buttons
// that run the closures the well installs.
class WQChooseImageViewOptionsViewController {
public:
    WQChooseImageViewOptionsViewController();
    ~WQChooseImageViewOptionsViewController();

    std::function<void()> openImageButtonClicked;
    std::function<void()> resetButtonClicked;
    std::function<void()> closeButtonClickd;

    Gtk::Widget& view() { return *view_; }
    Gtk::Button* openImageButton() const { return openImageButton_; }
    Gtk::Button* resetButton() const { return resetButton_; }
    Gtk::Button* closeButton() const { return closeButton_; }

    // The action of all three buttons: the open button runs openImageButtonClicked, the reset
    // button resetButtonClicked, any other closeButtonClickd. An empty closure does nothing.
    void buttonAction(Gtk::Button* sender);

private:
    InterfaceFile file_;
    std::unique_ptr<Gtk::Widget> view_;
    Gtk::Button* openImageButton_ = nullptr;
    Gtk::Button* resetButton_ = nullptr;
    Gtk::Button* closeButton_ = nullptr;
};

// An image well the user changes through a popover instead of by dragging: a click (or Space or
// Return) opens it under the well with three buttons. "Choose…" runs an open dialog for
// pictures and videos attached to the well's window, and a picture read from the chosen file
// becomes the well's image; "Remove" empties the well; the third closes the popover. After a
// choice or a removal the well sends its action (signalAction()) so the owner can store the
// result. A file that gives no picture (a video, a broken file) changes nothing and sends
// nothing; so does cancelling. setImage() from code sends nothing.
class WQChooseImageView : public Gtk::DrawingArea {
public:
    WQChooseImageView();
    ~WQChooseImageView() override;

    Glib::RefPtr<Gdk::Pixbuf> image() const { return image_; }
    void setImage(Glib::RefPtr<Gdk::Pixbuf> image);

    sigc::signal<void(WQChooseImageView&)>& signalAction() { return action_; }

    // The click: a new popover with a new options controller.
    void showOptions();
    // The popover and its controller while they exist (tests).
    Gtk::Popover* optionsPopover() const { return popover_.get(); }
    WQChooseImageViewOptionsViewController* optionsController() const { return options_.get(); }

    // The open dialog (needs the well to be in a window).
    void runOpenPanel();
    // The dialog's answer: reads the file on a worker; a picture becomes the image and the
    // action is sent. `done` (tests) runs after either outcome.
    void openImageFile(const std::filesystem::path& path, std::function<void()> done = {});
    // "Remove": no image, and the action is sent, also when the well was empty.
    void resetImage();

protected:
    bool on_draw(const Cairo::RefPtr<Cairo::Context>& context) override;
    bool on_button_press_event(GdkEventButton* event) override;
    bool on_key_press_event(GdkEventKey* event) override;

private:
    // Closes the popover; its controller goes after the current event unless `deferRelease` is
    // false (the well itself is going).
    void closeOptions(bool deferRelease = true);

    Glib::RefPtr<Gdk::Pixbuf> image_;
    // The image at the size it is drawn (made by the first draw at that size).
    Glib::RefPtr<Gdk::Pixbuf> drawn_;
    sigc::signal<void(WQChooseImageView&)> action_;
    std::unique_ptr<Gtk::Popover> popover_;
    std::unique_ptr<WQChooseImageViewOptionsViewController> options_;
    // A closed popover and its controller, kept until the event that closed them is over.
    std::unique_ptr<Gtk::Popover> retiringPopover_;
    std::unique_ptr<WQChooseImageViewOptionsViewController> retiringOptions_;
    Glib::RefPtr<Gtk::FileChooserNative> panel_;
    // Answers of the worker reach the well only while it exists.
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace parlivo
