#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include <gtkmm/box.h>
#include <gtkmm/button.h>
#include <gtkmm/fixed.h>
#include <gtkmm/image.h>
#include <gtkmm/label.h>

#include "media/WQMediaControls.h"

namespace parlivo {

// The camera's lower controls on screen. They only show what WQMediaControlModel holds; the
// camera controller drives them.

// The recording time as mm:ss: four one-digit labels and a colon in a rounded, light frame.
class WQMediaTimeTextField : public Gtk::Box {
public:
    WQMediaTimeTextField();

    void resetDigits();
    void setTime(std::int64_t value, std::int32_t timescale);
    void showDigits(const std::array<std::string, 4>& digits);
    // What the field reads, "12:34" (ten minutes may have more than one digit).
    std::string text() const;

    Gtk::Label tenMinutesTextField, minutesTextField, tenSecondsTextField, secondsTextField;

private:
    Gtk::Label colon_;
};

// The record button and the recording time. Idle, the button sits in the middle and the time is
// hidden; while recording, the button sits at its left place and the time beside it. The moves
// and fades between the two take 0.5 s each.
class WQMediaControlView : public Gtk::Fixed, private WQMediaControlModel::Animator {
public:
    // The layout: the record button's size and its left place, the view's size.
    static constexpr int buttonSize = 56;
    static constexpr int recordButtonPositionLeft = 14;
    static constexpr int width = 220;
    static constexpr int height = 64;

    WQMediaControlView();
    ~WQMediaControlView() override;

    Gtk::Button& recordButton() { return recordButton_; }
    WQMediaTimeTextField& timeTextField() { return timeTextField_; }
    const WQMediaControlModel& model() const { return *model_; }

    void setMediaType(WQMediaType type);
    void showRecordingState();
    void showIdleState();
    void setTime(std::int64_t value, std::int32_t timescale);

    // The button's x on screen now (during a move, where the move has got to).
    double shownRecordButtonX() const { return shownButtonX_; }
    // The name of the image the record button shows.
    const std::string& recordButtonImageName() const { return imageName_; }
    bool isAnimating() const { return moves_ > 0 || fades_ > 0; }

protected:
    void on_size_allocate(Gtk::Allocation& allocation) override;
    void get_preferred_width_vfunc(int& minimum, int& natural) const override;
    void get_preferred_height_vfunc(int& minimum, int& natural) const override;

private:
    void moveRecordButton(double fromX, double toX, double duration, std::function<void()> completion) override;
    void fadeTimeField(double fromAlpha, double toAlpha, double duration, std::function<void()> completion) override;
    // Brings the widgets in line with the model (what no running animation owns).
    void sync();
    std::function<void()> thenSync(std::function<void()> completion);

    std::shared_ptr<WQMediaControlModel> model_;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
    Gtk::Button recordButton_;
    Gtk::Image recordImage_;
    WQMediaTimeTextField timeTextField_;
    std::string imageName_;
    double shownButtonX_ = recordButtonPositionLeft;
    int moves_ = 0, fades_ = 0;
};

// The translucent bar along the bottom of the camera: the control view in its horizontal
// centre at any width, the back button at its left end and the mode switch at its right end.
class WQMediaBottomView : public Gtk::Fixed {
public:
    static constexpr int height = 84;
    static constexpr int sideMargin = 18;

    WQMediaBottomView(Gtk::Widget& controlView, Gtk::Widget& leading, Gtk::Widget& trailing);

    // Where the control view sits, relative to the bar.
    double controlViewX() const { return controlViewX_; }

protected:
    void on_size_allocate(Gtk::Allocation& allocation) override;
    void get_preferred_height_vfunc(int& minimum, int& natural) const override;

private:
    Gtk::Widget& controlView_;
    Gtk::Widget& leading_;
    Gtk::Widget& trailing_;
    double controlViewX_ = 0;
};

}  // namespace parlivo
