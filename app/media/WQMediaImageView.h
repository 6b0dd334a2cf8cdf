#pragma once

#include <memory>

#include "media/WQPhotoEditor.h"

namespace Gtk {
class Widget;
class Scale;
class ComboBoxText;
class Button;
class Label;
}  // namespace Gtk

namespace parlivo {

// The photo editor's view: the photo (scaled to fit, above a 60-pixel strip), a panel over it with
// the brightness, contrast, saturation and vignette sliders, the effect pop-up, and back and send
// buttons (identifiers "back" and "send"). Everything it does goes through its WQPhotoEditor;
// the view only shows. Main thread only; needs a display.
class WQMediaImageView {
public:
    static std::shared_ptr<WQMediaImageView> create();
    virtual ~WQMediaImageView() = default;

    // The widget tree (owned by the view).
    virtual Gtk::Widget& view() = 0;
    virtual const std::shared_ptr<WQPhotoEditor>& editor() const = 0;

    void setBackAction(WQPhotoEditor::BackAction action) { editor()->setBackAction(std::move(action)); }
    void setSendAction(WQPhotoEditor::SendAction action) { editor()->setSendAction(std::move(action)); }
    void loadImage(tovak::RGBAImage photo) { editor()->loadImage(std::move(photo)); }
    // The editor came on screen: it takes the keyboard focus, so its touch bar is the one shown.
    virtual void viewDidAppear() = 0;

    // The controls, for whoever drives the view (tests).
    virtual Gtk::Scale& brightnessSlider() = 0;
    virtual Gtk::Scale& contrastSlider() = 0;
    virtual Gtk::Scale& saturationSlider() = 0;
    virtual Gtk::Scale& vignetteSlider() = 0;
    virtual Gtk::ComboBoxText& effectPopUpButton() = 0;
    virtual Gtk::Button& backButton() = 0;
    virtual Gtk::Button& sendButton() = 0;
    // Where a failure to send is said.
    virtual Gtk::Label& statusLabel() = 0;
    // The picture on screen (empty before the first preview).
    virtual tovak::RGBAImage shownImage() const = 0;
};

}  // namespace parlivo
