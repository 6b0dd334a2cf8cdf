#include "media/WQMediaControls.h"

#include <cmath>

namespace parlivo {

std::array<std::string, 4> mediaTimeDigits(std::int64_t value, std::int32_t timescale) {
    if (timescale == 0) return {"0", "0", "0", "0"};
    const double seconds = std::round(double(value) / double(timescale));
    // Beyond this a whole number of seconds no longer fits.
    if (!std::isfinite(seconds) || seconds < 0 || seconds >= 9.0e18) return {"0", "0", "0", "0"};
    const auto whole = std::int64_t(seconds);
    return {std::to_string(whole / 600), std::to_string((whole / 60) % 10), std::to_string((whole % 60) / 10),
            std::to_string(whole % 10)};
}

double centredX(double parentWidth, double childWidth) {
    return parentWidth * 0.5 - childWidth * 0.5;
}

std::shared_ptr<WQMediaControlModel> WQMediaControlModel::create() {
    return std::shared_ptr<WQMediaControlModel>(new WQMediaControlModel());
}

void WQMediaControlModel::awakeFromNib(double recordButtonX) {
    recordButtonX_ = recordButtonX;
    positionLeft_ = recordButtonX;
    phase_ = Phase::idle;
}

void WQMediaControlModel::layout(double viewWidth, double recordButtonWidth) {
    viewWidth_ = viewWidth;
    buttonWidth_ = recordButtonWidth;
    if (timeFieldHidden()) recordButtonX_ = centred();
}

void WQMediaControlModel::setMediaType(WQMediaType type) {
    if (!timeFieldHidden()) return;  // the stop image stays while a time is on show
    image_ = type == WQMediaType::photo ? photoImage : videoImage;
}

void WQMediaControlModel::showRecordingState() {
    resetDigits();
    image_ = stopImage;
    showTimeField();
}

void WQMediaControlModel::showTimeField() {
    if (timeFieldHidden()) {
        ++change_;
        timeFieldAlpha_ = 0;
        phase_ = Phase::movingLeft;
        moveButton(centred(), left(), ifStillCurrent([](WQMediaControlModel& self) {
                       self.phase_ = Phase::fadingIn;
                       self.fadeTime(1, self.ifStillCurrent([](WQMediaControlModel& s) { s.phase_ = Phase::recording; }));
                   }));
    } else if (phase_ == Phase::fadingOut) {
        // Recording again before the time had gone: bring it back where it is.
        ++change_;
        phase_ = Phase::fadingIn;
        fadeTime(1, ifStillCurrent([](WQMediaControlModel& self) { self.phase_ = Phase::recording; }));
    }
}

void WQMediaControlModel::showIdleState() {
    resetDigits();
    if (!timeFieldHidden() && phase_ != Phase::fadingOut) {
        ++change_;
        phase_ = Phase::fadingOut;
        fadeTime(0, ifStillCurrent([](WQMediaControlModel& self) { self.centerRecordButton(); }));
    }
    image_ = videoImage;
}

void WQMediaControlModel::centerRecordButton() {
    ++change_;
    phase_ = Phase::movingToCentre;
    moveButton(left(), centred(), ifStillCurrent([](WQMediaControlModel& self) { self.phase_ = Phase::idle; }));
}

void WQMediaControlModel::resetDigits() {
    digits_ = {"0", "0", "0", "0"};
}

void WQMediaControlModel::setTime(std::int64_t value, std::int32_t timescale) {
    digits_ = mediaTimeDigits(value, timescale);
}

void WQMediaControlModel::moveButton(double from, double to, std::function<void()> then) {
    recordButtonX_ = to;
    if (animator_)
        animator_->moveRecordButton(from, to, animationDuration, std::move(then));
    else
        then();
}

void WQMediaControlModel::fadeTime(double to, std::function<void()> then) {
    const double from = timeFieldAlpha_;
    timeFieldAlpha_ = to;
    if (animator_)
        animator_->fadeTimeField(from, to, animationDuration, std::move(then));
    else
        then();
}

std::function<void()> WQMediaControlModel::ifStillCurrent(std::function<void(WQMediaControlModel&)> then) {
    return [weak = weak_from_this(), change = change_, then = std::move(then)] {
        auto self = weak.lock();
        if (self && self->change_ == change) then(*self);
    };
}

}  // namespace parlivo
