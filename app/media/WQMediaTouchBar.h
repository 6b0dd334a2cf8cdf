#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ui/TouchBar.h"

namespace parlivo {

// A touch-bar item showing a segmented control (the camera's mode selector), kept as a model
// like the other items: segment images, the selected segment (-1 for none), enabled, and an
// action that a selection by the user runs.
class TouchBarSegmentedItem : public platform::TouchBarItem {
public:
    using Action = std::function<void(TouchBarSegmentedItem& sender)>;

    TouchBarSegmentedItem(std::string identifier, std::vector<std::string> segmentImages, Action action);

    const std::vector<std::string>& segmentImages() const { return images_; }
    int selectedSegment() const { return selected_; }
    // Selection made in code: the action does not run.
    void setSelectedSegment(int segment);
    bool isEnabled() const { return enabled_; }
    void setEnabled(bool on) { enabled_ = on; }

    // What a tap on a segment does: selects it and runs the action, when the control is enabled.
    // Returns whether it ran.
    bool tapSegment(int segment);

private:
    std::vector<std::string> images_;
    int selected_ = -1;
    bool enabled_ = true;
    Action action_;
};

// What the camera's touch bar needs of the camera controller.
class WQMediaTouchBarHost {
public:
    virtual ~WQMediaTouchBarHost() = default;
    virtual bool isRecording() const = 0;
    // The record action (take a photo or start / stop a recording, by the stored mode).
    virtual void recordAction() = 0;
    virtual void backAction() = 0;
    // Applies the stored mode to the controls (and drops this bar so it is built again).
    virtual void applyMediaType() = 0;
};

// The camera's touch bar: back, the take-photo button (photo mode) or the record / stop button
// (video mode), and the mode selector. Built from scratch on every request, from the stored
// mode and the host's recording state; the host drops it (setTouchBar(nullptr)) when either
// changes. Main thread only.
class WQMediaTouchBar : public platform::TouchBarProvider, public platform::TouchBarDelegate {
public:
    struct Identifiers {
        std::string touchBar, back, takePhoto, recording, type;
    };
    // The bundle identifier followed by ".mediaViewControllerTouchBar" and ".back",
    // ".takePhoto", ".recording" and ".type" after that.
    static const Identifiers& identifiers();

    static constexpr std::string_view cameraImage = "WQMediaViewControllerTouchBarCamera";

    // The host is not owned and must outlive the bar or clear it with setHost(nullptr).
    explicit WQMediaTouchBar(WQMediaTouchBarHost* host) : host_(host) {}
    ~WQMediaTouchBar() override;
    void setHost(WQMediaTouchBarHost* host) { host_ = host; }

    std::shared_ptr<platform::TouchBarItem> makeItemForIdentifier(platform::TouchBar& touchBar,
                                                                  const std::string& identifier) override;
    // The three buttons' action: told apart by the sender's identifier; others are ignored.
    void touchBarButtonClicked(platform::TouchBarButton* sender);
    // The selector's action: 0 stores video, 1 photo (then the host applies it); else nothing.
    void touchBarSelectionChanged(int selectedSegment);

protected:
    std::shared_ptr<platform::TouchBar> makeTouchBar() override;

private:
    bool recording() const { return host_ && host_->isRecording(); }
    std::shared_ptr<platform::CustomTouchBarItem> button(const std::string& identifier, std::string image);

    WQMediaTouchBarHost* host_;
};

}  // namespace parlivo
