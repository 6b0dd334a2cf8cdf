#include "media/WQMediaControlViews.h"

#include <atkmm/object.h>
#include <gdkmm/pixbuf.h>

#include <algorithm>

#include "ViewAnimation.h"
#include "controls/InterfaceFile.h"
#include "controls/ScreenStyle.h"
#include "foundation/Localized.h"

namespace parlivo {
namespace {

constexpr const char* kStyle = R"(
            .media-time { border: 1px solid rgba(230, 230, 230, 0.8); border-radius: 10px;
                          padding: 2px 10px; background-color: rgba(0, 0, 0, 0.25); }
            .media-time label { color: white; font-size: 17px; font-feature-settings: "tnum"; }
            .media-record-button { padding: 0; border: none; background: none; box-shadow: none;
                                   min-width: 0; min-height: 0; }
            .media-record-button:disabled { opacity: 0.45; }
        )";

void styled(Gtk::Widget& widget, const char* className) { styleWithClass(widget, kStyle, className); }

}  // namespace

// --- the time ---

WQMediaTimeTextField::WQMediaTimeTextField() : Gtk::Box(Gtk::ORIENTATION_HORIZONTAL, 0) {
    styled(*this, "media-time");
    colon_.set_text(":");
    for (Gtk::Label* label : {&tenMinutesTextField, &minutesTextField, &colon_, &tenSecondsTextField, &secondsTextField})
        pack_start(*label, Gtk::PACK_SHRINK);
    set_valign(Gtk::ALIGN_CENTER);
    resetDigits();
    show_all_children();
}

void WQMediaTimeTextField::resetDigits() {
    showDigits({"0", "0", "0", "0"});
}

void WQMediaTimeTextField::setTime(std::int64_t value, std::int32_t timescale) {
    showDigits(mediaTimeDigits(value, timescale));
}

void WQMediaTimeTextField::showDigits(const std::array<std::string, 4>& digits) {
    tenMinutesTextField.set_text(digits[0]);
    minutesTextField.set_text(digits[1]);
    tenSecondsTextField.set_text(digits[2]);
    secondsTextField.set_text(digits[3]);
}

std::string WQMediaTimeTextField::text() const {
    return tenMinutesTextField.get_text() + minutesTextField.get_text() + ":" + tenSecondsTextField.get_text() +
           secondsTextField.get_text();
}

// --- the control view ---

WQMediaControlView::WQMediaControlView() : model_(WQMediaControlModel::create()) {
    set_has_window(false);
    styled(recordButton_, "media-record-button");
    recordButton_.set_relief(Gtk::RELIEF_NONE);
    recordButton_.set_image(recordImage_);
    recordButton_.set_always_show_image(true);
    recordButton_.set_size_request(buttonSize, buttonSize);
    recordButton_.set_focus_on_click(false);
    put(recordButton_, recordButtonPositionLeft, (height - buttonSize) / 2);
    put(timeTextField_, recordButtonPositionLeft + buttonSize + 14, 0);
    recordButton_.show_all();
    timeTextField_.set_no_show_all(true);

    // Loaded: the button's place in the layout is its left place; the time starts hidden.
    model_->awakeFromNib(recordButtonPositionLeft);
    model_->setAnimator(this);
    sync();
}

WQMediaControlView::~WQMediaControlView() {
    *alive_ = false;
    model_->setAnimator(nullptr);
}

void WQMediaControlView::get_preferred_width_vfunc(int& minimum, int& natural) const {
    minimum = natural = width;
}

void WQMediaControlView::get_preferred_height_vfunc(int& minimum, int& natural) const {
    minimum = natural = height;
}

void WQMediaControlView::on_size_allocate(Gtk::Allocation& allocation) {
    set_allocation(allocation);
    model_->layout(allocation.get_width(), buttonSize);
    if (moves_ == 0) shownButtonX_ = model_->recordButtonX();
    Gtk::Allocation button(allocation.get_x() + int(shownButtonX_), allocation.get_y() + (allocation.get_height() - buttonSize) / 2,
                           buttonSize, buttonSize);
    recordButton_.size_allocate(button);
    if (timeTextField_.get_visible()) {
        int minimumWidth = 0, naturalWidth = 0, minimumHeight = 0, naturalHeight = 0;
        timeTextField_.get_preferred_width(minimumWidth, naturalWidth);
        timeTextField_.get_preferred_height(minimumHeight, naturalHeight);
        const int x = recordButtonPositionLeft + buttonSize + 14;
        Gtk::Allocation time(allocation.get_x() + x, allocation.get_y() + (allocation.get_height() - naturalHeight) / 2,
                             std::min(naturalWidth, std::max(0, allocation.get_width() - x)), naturalHeight);
        timeTextField_.size_allocate(time);
    }
}

void WQMediaControlView::setMediaType(WQMediaType type) {
    model_->setMediaType(type);
    sync();
}

void WQMediaControlView::showRecordingState() {
    model_->showRecordingState();
    sync();
}

void WQMediaControlView::showIdleState() {
    model_->showIdleState();
    sync();
}

void WQMediaControlView::setTime(std::int64_t value, std::int32_t timescale) {
    model_->setTime(value, timescale);
    timeTextField_.showDigits(model_->digits());
}

void WQMediaControlView::moveRecordButton(double fromX, double toX, double duration, std::function<void()> completion) {
    ++moves_;
    shownButtonX_ = fromX;
    queue_allocate();
    std::weak_ptr<bool> alive = alive_;
    tovak::ViewAnimation::run(
        G_OBJECT(recordButton_.gobj()), duration,
        [this, alive, fromX, toX](double progress) {
            if (alive.expired()) return;
            shownButtonX_ = fromX + (toX - fromX) * progress;
            queue_allocate();
        },
        [this, alive, completion = thenSync(std::move(completion))] {
            if (alive.expired()) return;
            --moves_;
            completion();
        });
}

void WQMediaControlView::fadeTimeField(double fromAlpha, double toAlpha, double duration, std::function<void()> completion) {
    ++fades_;
    timeTextField_.set_opacity(fromAlpha);
    timeTextField_.show();
    std::weak_ptr<bool> alive = alive_;
    tovak::ViewAnimation::run(
        G_OBJECT(timeTextField_.gobj()), duration,
        [this, alive, fromAlpha, toAlpha](double progress) {
            if (alive.expired()) return;
            timeTextField_.set_opacity(fromAlpha + (toAlpha - fromAlpha) * progress);
        },
        [this, alive, completion = thenSync(std::move(completion))] {
            if (alive.expired()) return;
            --fades_;
            completion();
        });
}

std::function<void()> WQMediaControlView::thenSync(std::function<void()> completion) {
    return [this, alive = std::weak_ptr<bool>(alive_), completion = std::move(completion)] {
        if (completion) completion();
        if (!alive.expired()) sync();
    };
}

void WQMediaControlView::sync() {
    if (imageName_ != model_->recordButtonImage()) {
        imageName_ = model_->recordButtonImage();
        recordImage_.set(resourceImage(imageName_, WQMediaControlView::buttonSize));
        // The button shows only a picture: screen readers (and tests driving the program) need
        // its name.
        const bool photo = imageName_ == WQMediaControlModel::photoImage;
        const bool stop = imageName_ == WQMediaControlModel::stopImage;
        recordButton_.get_accessible()->set_name(
            photo  ? platform::localized("CAMERA_TAKE_PHOTO", "Take Photo")
            : stop ? platform::localized("CAMERA_STOP_RECORDING", "Stop Recording")
                   : platform::localized("CAMERA_RECORD_VIDEO", "Record Video"));
    }
    timeTextField_.showDigits(model_->digits());
    if (model_->timeFieldHidden()) {
        if (fades_ == 0) timeTextField_.hide();
    } else {
        timeTextField_.show();
        if (fades_ == 0) timeTextField_.set_opacity(model_->timeFieldAlpha());
    }
    if (moves_ == 0 && shownButtonX_ != model_->recordButtonX()) {
        shownButtonX_ = model_->recordButtonX();
        queue_allocate();
    }
}

// --- the bottom bar ---

WQMediaBottomView::WQMediaBottomView(Gtk::Widget& controlView, Gtk::Widget& leading, Gtk::Widget& trailing)
    : controlView_(controlView), leading_(leading), trailing_(trailing) {
    set_has_window(false);
    put(leading_, 0, 0);
    put(controlView_, 0, 0);
    put(trailing_, 0, 0);
}

void WQMediaBottomView::get_preferred_height_vfunc(int& minimum, int& natural) const {
    minimum = natural = height;
}

void WQMediaBottomView::on_size_allocate(Gtk::Allocation& allocation) {
    set_allocation(allocation);
    auto place = [&](Gtk::Widget& child, double x) {
        int minimumWidth = 0, width = 0, minimumHeight = 0, childHeight = 0;
        child.get_preferred_width(minimumWidth, width);
        child.get_preferred_height(minimumHeight, childHeight);
        Gtk::Allocation at(allocation.get_x() + int(x), allocation.get_y() + (allocation.get_height() - childHeight) / 2,
                           width, childHeight);
        child.size_allocate(at);
        return width;
    };
    int minimum = 0, controlWidth = 0;
    controlView_.get_preferred_width(minimum, controlWidth);
    controlViewX_ = centredX(allocation.get_width(), controlWidth);
    place(controlView_, controlViewX_);
    place(leading_, sideMargin);
    int trailingWidth = 0;
    trailing_.get_preferred_width(minimum, trailingWidth);
    place(trailing_, allocation.get_width() - sideMargin - trailingWidth);
}

}  // namespace parlivo
