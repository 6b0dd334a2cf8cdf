#pragma once

#include <memory>
#include <string>

#include <glibmm/extraclassinit.h>
#include <gtkmm/drawingarea.h>
#include <gtkmm/popover.h>

#include "controls/InfoButtonLogic.h"

namespace parlivo {

// A small round "?" button placed next to a setting: pointing at it (with showOnHover) or
// clicking it opens a popover to its right with an explanatory text; a second click, leaving it
// (when the hover opened it) or clicking elsewhere closes it. The circle is dimmed until the
// pointer is over it or the popover is open. Keyboard users reach it with Tab and open it with
// Space or Return; screen readers see a push button named "Help" whose description is the text.
class InfoButton : public Glib::ExtraClassInit, public Gtk::DrawingArea {
public:
    // A square button of `side` points.
    explicit InfoButton(double side = 20);
    ~InfoButton() override;

    double mainSize() const { return side_; }
    // Makes the button square: the height follows the width.
    void setFrameSize(double width, double height);

    bool showOnHover() const { return logic_.showOnHover; }
    void setShowOnHover(bool on) { logic_.showOnHover = on; }
    bool fillMode() const { return logic_.fillMode; }
    const std::string& content() const { return content_; }
    // The popover takes the text when it is first built; later changes do not reach it.
    void setContent(std::string content);

    const InfoButtonLogic& logic() const { return logic_; }
    // The popover, once built.
    Gtk::Popover* popover() const { return popover_.get(); }

    // Entry points of the pointer and the click, also for tests without a pointer.
    void mouseEntered();
    void mouseExited();
    void click();

protected:
    bool on_draw(const Cairo::RefPtr<Cairo::Context>& context) override;
    bool on_enter_notify_event(GdkEventCrossing* event) override;
    bool on_leave_notify_event(GdkEventCrossing* event) override;
    bool on_button_press_event(GdkEventButton* event) override;
    bool on_key_press_event(GdkEventKey* event) override;

private:
    static void classInit(void* gClass, void* classData);
    void run(InfoButtonLogic::PopoverCommand command, bool fromHover);
    void buildPopover();

    InfoButtonLogic logic_;
    double side_;
    std::string content_;
    static constexpr controls::Color kPrimary{0.75, 0.75, 0.75, 1.0};
    static constexpr controls::Color kSecondary{0.5, 0.5, 0.5, 1.0};
    std::unique_ptr<Gtk::Popover> popover_;
};

}  // namespace parlivo
