#include "controls/WQChooseImageView.h"

#include <gdkmm/general.h>
#include <gtkmm/dialog.h>
#include <gtkmm/window.h>

#include <algorithm>
#include <cmath>

#include "controls/ControlPainting.h"
#include "controls/ImageFileLoader.h"
#include "foundation/Localized.h"
#include "foundation/Log.h"
#include "foundation/MainQueue.h"

namespace parlivo {

// --- Options controller ---

WQChooseImageViewOptionsViewController::WQChooseImageViewOptionsViewController()
    : file_(InterfaceFile::load("WQChooseImageViewOptions")),
      view_(file_.outlet<Gtk::Widget>("view")),
      openImageButton_(file_.outlet<Gtk::Button>("openImageButton")),
      resetButton_(file_.outlet<Gtk::Button>("resetButton")),
      closeButton_(file_.outlet<Gtk::Button>("closeButton")) {
    for (Gtk::Button* button : {openImageButton_, resetButton_, closeButton_})
        button->signal_clicked().connect([this, button] { buttonAction(button); });
}

WQChooseImageViewOptionsViewController::~WQChooseImageViewOptionsViewController() {
    if (view_ && view_->get_parent()) dynamic_cast<Gtk::Container*>(view_->get_parent())->remove(*view_);
}

void WQChooseImageViewOptionsViewController::buttonAction(Gtk::Button* sender) {
    // A copy: the closure may end this controller's popover, and with it this controller.
    std::function<void()> closure;
    if (sender == openImageButton_) {
        closure = openImageButtonClicked;
    } else if (sender == resetButton_) {
        closure = resetButtonClicked;
    } else {
        closure = closeButtonClickd;
    }
    if (closure) closure();
}

// --- The well ---

WQChooseImageView::WQChooseImageView() {
    set_can_focus(true);
    add_events(Gdk::BUTTON_PRESS_MASK | Gdk::KEY_PRESS_MASK);
    set_size_request(160, 100);
}

WQChooseImageView::~WQChooseImageView() {
    *alive_ = false;
    closeOptions(false);
    if (panel_) panel_->hide();
}

void WQChooseImageView::setImage(Glib::RefPtr<Gdk::Pixbuf> image) {
    image_ = std::move(image);
    drawn_.reset();
    queue_draw();
}

void WQChooseImageView::showOptions() {
    closeOptions(false);
    popover_ = std::make_unique<Gtk::Popover>(*this);
    options_ = std::make_unique<WQChooseImageViewOptionsViewController>();
    popover_->set_transitions_enabled(true);
    popover_->set_modal(true);  // a click outside closes it
    popover_->set_position(Gtk::POS_BOTTOM);
    popover_->add(options_->view());
    // The closures reach the popover through the well, which owns both; closing defers their
    // release to after the button's own signal.
    options_->openImageButtonClicked = [this] {
        closeOptions();
        runOpenPanel();
    };
    options_->resetButtonClicked = [this] {
        closeOptions();
        resetImage();
    };
    options_->closeButtonClickd = [this] { closeOptions(); };
    popover_->popup();
}

void WQChooseImageView::closeOptions(bool deferRelease) {
    if (!deferRelease) {
        retiringOptions_.reset();
        retiringPopover_.reset();
        options_.reset();
        popover_.reset();
        return;
    }
    if (!popover_) return;
    popover_->popdown();
    popover_->hide();
    // The click that brought us here is still being handled by the popover's button: both go
    // once it is over (or with the well, whichever comes first).
    retiringOptions_ = std::move(options_);
    retiringPopover_ = std::move(popover_);
    std::weak_ptr<bool> alive = alive_;
    platform::MainQueue::async([this, alive] {
        if (!alive.lock()) return;
        retiringOptions_.reset();
        retiringPopover_.reset();
    });
}

void WQChooseImageView::runOpenPanel() {
    auto* window = dynamic_cast<Gtk::Window*>(get_toplevel());
    if (!window || !window->get_is_toplevel()) return;
    panel_ = Gtk::FileChooserNative::create(platform::localized("CHOOSE_IMAGE_TITLE", "Choose a Picture"), *window,
                                            Gtk::FILE_CHOOSER_ACTION_OPEN, "_Open", "_Cancel");
    panel_->set_modal(true);
    panel_->set_select_multiple(false);
    auto filter = Gtk::FileFilter::create();
    filter->set_name(platform::localized("CHOOSE_IMAGE_FILTER", "Pictures and videos"));
    filter->add_mime_type("image/*");
    filter->add_mime_type("video/*");
    panel_->add_filter(filter);
    std::weak_ptr<bool> alive = alive_;
    panel_->signal_response().connect([this, alive](int response) {
        if (!alive.lock() || !panel_) return;
        const std::string file = response == Gtk::RESPONSE_ACCEPT ? panel_->get_filename() : std::string();
        // The dialog is still handling the event that answered: it goes after it.
        panel_->hide();
        platform::MainQueue::async([panel = std::move(panel_)] {});
        if (!file.empty()) openImageFile(file);
    });
    panel_->show();
}

void WQChooseImageView::openImageFile(const std::filesystem::path& path, std::function<void()> done) {
    std::weak_ptr<bool> alive = alive_;
    ImageFileLoader::loadAsync(path, [this, alive, done = std::move(done)](Glib::RefPtr<Gdk::Pixbuf> image) {
        if (alive.lock()) {
            if (image) {
                setImage(image);
                action_.emit(*this);
            } else {
                platform::systemLog("The chosen file holds no picture that can be shown; the well is unchanged");
            }
        }
        if (done) done();
    });
}

void WQChooseImageView::resetImage() {
    setImage({});
    action_.emit(*this);
}

bool WQChooseImageView::on_draw(const Cairo::RefPtr<Cairo::Context>& context) {
    const double width = get_allocated_width(), height = get_allocated_height();
    const controls::Rect well{0.5, 0.5, width - 1, height - 1};
    controls::roundedRectanglePath(context, well, 6);
    context->set_source_rgba(0, 0, 0, 0.06);
    context->fill_preserve();
    context->set_source_rgba(0, 0, 0, has_visible_focus() ? 0.6 : 0.25);
    context->set_line_width(has_visible_focus() ? 2.0 : 1.0);
    context->stroke();
    if (image_ && image_->get_width() > 0 && image_->get_height() > 0) {
        // Scaled down to fit inside the frame, never up, and centred.
        const double inset = 6;
        const double availableWidth = std::max(0.0, width - 2 * inset), availableHeight = std::max(0.0, height - 2 * inset);
        const double scale = std::min({1.0, availableWidth / image_->get_width(), availableHeight / image_->get_height()});
        const int drawnWidth = std::max(1, int(std::lround(image_->get_width() * scale)));
        const int drawnHeight = std::max(1, int(std::lround(image_->get_height() * scale)));
        // A copy of the drawn size, made once per size: the picture itself may be far larger
        // than the well (and than the display server takes as one image).
        if (!drawn_ || drawn_->get_width() != drawnWidth || drawn_->get_height() != drawnHeight)
            drawn_ = (drawnWidth == image_->get_width() && drawnHeight == image_->get_height())
                         ? image_
                         : image_->scale_simple(drawnWidth, drawnHeight, Gdk::INTERP_BILINEAR);
        if (drawn_) {
            Gdk::Cairo::set_source_pixbuf(context, drawn_, std::floor((width - drawnWidth) / 2),
                                          std::floor((height - drawnHeight) / 2));
            context->paint();
        }
    }
    return true;
}

bool WQChooseImageView::on_button_press_event(GdkEventButton* event) {
    if (event->button == GDK_BUTTON_PRIMARY && event->type == GDK_BUTTON_PRESS && is_sensitive()) showOptions();
    return true;
}

bool WQChooseImageView::on_key_press_event(GdkEventKey* event) {
    switch (event->keyval) {
        case GDK_KEY_space:
        case GDK_KEY_KP_Space:
        case GDK_KEY_Return:
        case GDK_KEY_KP_Enter:
            showOptions();
            return true;
        default:
            return false;
    }
}

}  // namespace parlivo
