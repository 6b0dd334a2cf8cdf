#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "media/WQMediaType.h"

namespace parlivo {

// The logic of the camera's lower controls, without a view: the recording time's four digits,
// the bottom bar's centring and the control view's two looks (idle: record button centred, time
// hidden; recording: button at its left place, time shown). The views draw what these hold.

// The four digit fields of a recording time (ten minutes, minutes, ten seconds, seconds), for a
// time of `value / timescale` seconds rounded to whole seconds (halves away from zero). The ten
// minutes are not limited to one digit. A time that is not a finite, non-negative number of
// seconds (a timescale of 0, a negative or an enormous value) shows 0 0 : 0 0.
std::array<std::string, 4> mediaTimeDigits(std::int64_t value, std::int32_t timescale);

// The x origin that centres a child of `childWidth` in a parent of `parentWidth` (the bottom bar
// centres the control view, the control view its idle record button).
double centredX(double parentWidth, double childWidth);

// The control view's state machine. Animations are the view's: the model tells its animator
// where a property goes and over how long, and the animator calls the completion when it has
// arrived. The model's own values are the end values, set at once.
class WQMediaControlModel : public std::enable_shared_from_this<WQMediaControlModel> {
public:
    static constexpr double animationDuration = 0.5;
    static constexpr std::string_view videoImage = "videoButtonRed";
    static constexpr std::string_view photoImage = "imageButtonRed";
    static constexpr std::string_view stopImage = "videoButtonStop";

    class Animator {
    public:
        virtual ~Animator() = default;
        // Puts the record button at `fromX` at once and moves it to `toX`.
        virtual void moveRecordButton(double fromX, double toX, double duration, std::function<void()> completion) = 0;
        // Sets the time field's opacity to `fromAlpha` at once and fades it to `toAlpha`.
        virtual void fadeTimeField(double fromAlpha, double toAlpha, double duration,
                                   std::function<void()> completion) = 0;
    };

    // Where the looks stand. The time field is hidden exactly in `idle` and `movingToCentre`.
    enum class Phase { idle, movingLeft, fadingIn, recording, fadingOut, movingToCentre };

    static std::shared_ptr<WQMediaControlModel> create();

    // Not owned; the view that owns the model clears it before it goes. Without an animator every
    // change completes at once.
    void setAnimator(Animator* animator) { animator_ = animator; }

    // The view was loaded: the record button's x there is its left place; the time is hidden.
    void awakeFromNib(double recordButtonX);
    // A layout pass: while idle the record button is centred again.
    void layout(double viewWidth, double recordButtonWidth);

    void setMediaType(WQMediaType type);
    void showRecordingState();
    void showTimeField();
    void showIdleState();
    void centerRecordButton();

    void resetDigits();
    void setTime(std::int64_t value, std::int32_t timescale);

    Phase phase() const { return phase_; }
    bool timeFieldHidden() const { return phase_ == Phase::idle || phase_ == Phase::movingToCentre; }
    double timeFieldAlpha() const { return timeFieldAlpha_; }
    double recordButtonX() const { return recordButtonX_; }
    const std::optional<double>& recordButtonPositionLeft() const { return positionLeft_; }
    const std::string& recordButtonImage() const { return image_; }
    const std::array<std::string, 4>& digits() const { return digits_; }

private:
    WQMediaControlModel() = default;
    double centred() const { return centredX(viewWidth_, buttonWidth_); }
    double left() const { return positionLeft_.value_or(recordButtonX_); }
    void moveButton(double from, double to, std::function<void()> then);
    void fadeTime(double to, std::function<void()> then);
    // A completion for the current change only: one begun later makes it do nothing.
    std::function<void()> ifStillCurrent(std::function<void(WQMediaControlModel&)> then);

    Animator* animator_ = nullptr;
    Phase phase_ = Phase::idle;
    unsigned change_ = 0;
    double viewWidth_ = 0, buttonWidth_ = 0;
    double recordButtonX_ = 0;
    std::optional<double> positionLeft_;
    double timeFieldAlpha_ = 1;
    std::string image_{videoImage};
    std::array<std::string, 4> digits_{"0", "0", "0", "0"};
};

}  // namespace parlivo
