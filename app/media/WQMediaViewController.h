#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "WQTempFile.h"
#include "config/DynamicData.h"
#include "media/CameraSession.h"
#include "media/FFmpegWrapper.h"
#include "media/WQMediaConversionChain.h"
#include "media/WQMediaTouchBar.h"
#include "media/WQMediaType.h"
#include "media/WQMediaViewControllerDelegate.h"

namespace Gtk {
class Widget;
class Button;
class Label;
class MessageDialog;
}  // namespace Gtk

namespace platform {
class Timer;
class Sound;
}  // namespace platform

namespace parlivo {

class QORSwitch;
class WQMediaControlView;
class WQMediaBottomView;
class WQMediaImageView;

// The camera over the main window: a live picture from the default camera, a still photo that
// goes through the photo editor before it is sent, or a video recorded within the
// configuration's limits and then handed over as it is, remuxed into MP4 by ffmpeg or
// transcoded by the video converter, as the configuration's movie mode says. The result goes to
// the delegate (didTakePhoto / didRecordVideo), which takes the camera off the window.
//
// The controller owns its widget tree (view()); whoever shows the camera lays it over its own
// view. The camera starts when the view first comes on screen (the live picture's widget must
// sit in a window by then). Every camera and microphone resource is let go when the camera is
// left (back, a result), when its view leaves the screen (its window hidden or closed) and when
// the controller goes. Nothing here waits on the main thread: the device check, the camera's
// start, the remux and the transcode all answer later on the main thread. Main thread only.
class WQMediaViewController : public WQMediaTouchBarHost, public std::enable_shared_from_this<WQMediaViewController> {
public:
    static constexpr std::string_view kClassName = "WQMediaViewController";

    enum class State {
        starting,     // the camera is being looked for and started
        error,        // it could not be: only back leaves
        ready,        // live picture; a photo or a recording can be made
        takingPhoto,  // waiting for the still picture
        editing,      // the photo editor is on show, the camera stopped
        recording,
        finishing,    // the recording is being remuxed, converted or about to be handed over
        delivered,    // a result (or back) went to the delegate; the camera is stopped
    };

    // The configuration's movie values.
    struct MovieSettings {
        std::optional<MovieFileMode> mode;
        std::optional<std::int64_t> maximumFileSize;  // bytes
        std::optional<std::int64_t> maximumLength;    // seconds
        std::optional<std::int64_t> targetFileSize;   // bytes, for the transcode
        std::optional<std::vector<std::string>> exportPresets;
    };

    // What the camera works with; every member has a default.
    struct Environment {
        // The queue every transcode of the program goes through (they share one video
        // converter, on which a new export cancels the running one). Null: one of its own.
        std::shared_ptr<WQMediaConversionChain> conversionChain;
        // Null: the remote configuration's values.
        std::function<MovieSettings()> movieSettings;
        // How the remux runs ffmpeg.
        FFmpegWrapper::Configuration ffmpeg;
        platform::CameraSession::Options camera;
        // Null: CameraSession::checkAvailability.
        std::function<void(std::function<void(const platform::CaptureAvailability&)>)> checkAvailability;
        // How long a finished raw or remuxed recording waits before it is handed over.
        double deliveryDelay = 1.0;
    };

    static std::shared_ptr<WQMediaViewController> create();
    static std::shared_ptr<WQMediaViewController> create(Environment environment);
    ~WQMediaViewController() override;
    WQMediaViewController(const WQMediaViewController&) = delete;
    WQMediaViewController& operator=(const WQMediaViewController&) = delete;

    // The camera's widget tree, owned by the controller.
    Gtk::Widget& view();
    // Not owned: the receiver keeps the camera, not the other way round.
    void setDelegate(std::weak_ptr<WQMediaViewControllerDelegate> delegate) { delegate_ = std::move(delegate); }

    // The camera came on screen: it takes the keyboard focus, so its touch bar is the one shown.
    void viewDidAppear();

    // The on-screen controls' actions.
    void recordButtonClicked() { recordAction(); }
    void photoVideoSwitched();
    void backButtonClicked() { backAction(); }

    // WQMediaTouchBarHost: the record action takes a photo or starts / stops a recording, by the
    // stored mode; back leaves the camera (didTakePhoto with no photo).
    bool isRecording() const override;
    void recordAction() override;
    void backAction() override;
    void applyMediaType() override;

    // The camera's touch bar (back, take photo or record, the mode selector).
    WQMediaTouchBar& mediaTouchBar() { return touchBar_; }

    // For whoever watches the camera (tests).
    State state() const { return state_; }
    platform::CameraSession& session() { return *session_; }
    Gtk::Button& recordButton();
    Gtk::Button& backButton();
    QORSwitch& photoVideoSwitch();
    Gtk::Label& statusTextField();
    WQMediaControlView& controlView();
    // The photo editor while it is on show.
    const std::shared_ptr<WQMediaImageView>& photoEditor() const { return editor_; }
    // The "Recording limit reached" alerts on screen, oldest first (they stay until dismissed,
    // also after the camera has gone).
    static const std::vector<std::unique_ptr<Gtk::MessageDialog>>& recordingLimitAlerts();

private:
    struct Views;

    explicit WQMediaViewController(Environment environment);
    void viewDidLoad();
    MovieSettings movieSettings() const;

    void setupCaptureSession();
    void availabilityChecked(const platform::CaptureAvailability& availability);
    void startSession();
    void sessionStarted(const platform::Expected<void>& started);
    void showCameraError(const std::string& reason);
    void sessionFailed(const std::string& reason);

    void takePhoto();
    void stillFrameArrived(std::optional<platform::VideoFrame> frame);
    void showPhotoEditor(tovak::RGBAImage image);
    void closePhotoEditor();

    void toggleRecording();
    void startRecording();
    void recordingStarted();
    void timerTick();
    void finishRecording(const platform::RecordingResult& result);
    void remux(std::shared_ptr<tovak::WQTempFile> recording, bool limitReached);
    void convert(std::shared_ptr<tovak::WQTempFile> recording, bool limitReached);
    void scheduleDelivery(std::shared_ptr<tovak::WQTempFile> file, bool limitReached);
    void deliverRecordedVideo(std::shared_ptr<tovak::WQTempFile> file, bool limitReached);
    void returnToReady();
    void showRecordingLimitAlert();

    // Lets go of the camera and everything in flight; the state becomes `delivered`.
    void closeCamera();
    void fadeSideControls(bool in);
    void setStatus(const std::string& text, bool notice);
    void updateControls();

    Environment environment_;
    std::unique_ptr<Views> views_;
    std::shared_ptr<platform::CameraSession> session_;
    std::weak_ptr<WQMediaViewControllerDelegate> delegate_;
    WQMediaTouchBar touchBar_{this};
    State state_ = State::starting;
    bool loaded_ = false;
    bool stopRecordingByUser_ = false;
    bool canRecord_ = true;
    std::string recordingUnavailable_;
    bool notice_ = false;  // the status line says something while the picture runs
    unsigned sideFade_ = 0;   // which fade of back and the switch is current
    unsigned finishing_ = 0;  // which finishing work is current; later ones make earlier ones void
    std::shared_ptr<tovak::WQTempFile> currentRecordingTempFile_;
    std::shared_ptr<platform::Timer> movieFileOutputTimer_;
    std::shared_ptr<platform::Timer> deliveryTimer_;
    std::shared_ptr<platform::Sound> shutter_;
    std::shared_ptr<WQMediaImageView> editor_;
};

}  // namespace parlivo
