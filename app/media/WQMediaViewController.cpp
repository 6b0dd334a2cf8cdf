#include "media/WQMediaViewController.h"

#include <atkmm/object.h>
#include <gtkmm.h>

#include <array>
#include <cmath>

#include "DebugPrint.h"
#include "ViewAnimation.h"
#include "WQApplicationInfo.h"
#include "controls/QORSwitch.h"
#include "controls/ScreenStyle.h"
#include "foundation/Bundle.h"
#include "foundation/Localized.h"
#include "foundation/MainQueue.h"
#include "foundation/Timer.h"
#include "media/Sound.h"
#include "media/WQMediaControlViews.h"
#include "media/WQMediaImageView.h"

namespace parlivo {
namespace {

void log(std::string_view message) { tovak::debugPrint(WQMediaViewController::kClassName, message); }

// Capture presets a camera can be asked for. The session itself always runs at the medium size;
// the mode's preset is only checked, and a name we do not know is one no camera supports.
bool supportsPreset(const std::string& preset) {
    static const std::array<std::string_view, 14> known{
        "AVCaptureSessionPresetPhoto",         "AVCaptureSessionPresetHigh",
        "AVCaptureSessionPresetMedium",        "AVCaptureSessionPresetLow",
        "AVCaptureSessionPreset320x240",       "AVCaptureSessionPreset352x288",
        "AVCaptureSessionPreset640x480",       "AVCaptureSessionPreset960x540",
        "AVCaptureSessionPreset1280x720",      "AVCaptureSessionPreset1920x1080",
        "AVCaptureSessionPreset3840x2160",     "AVCaptureSessionPresetiFrame960x540",
        "AVCaptureSessionPresetiFrame1280x720", "AVCaptureSessionPresetInputPriority"};
    if (preset.empty()) return true;  // the configuration names none: nothing to check
    for (auto name : known)
        if (name == preset) return true;
    return false;
}

constexpr const char* kStyle = R"(
            .camera-ground { background-color: #555555; }
            .camera-bottom { background-color: rgba(24, 24, 24, 0.62); }
            .camera-status { color: white; font-size: 15px; text-shadow: 0 1px 2px rgba(0, 0, 0, 0.8); }
            .camera-bottom button, .camera-bottom button label, .camera-bottom image { color: white; }
        )";

void styled(Gtk::Widget& widget, const char* className) { styleWithClass(widget, kStyle, className); }

std::vector<std::unique_ptr<Gtk::MessageDialog>>& limitAlerts() {
    static auto* alerts = new std::vector<std::unique_ptr<Gtk::MessageDialog>>();
    return *alerts;
}

// Held by a transcode request of the conversion chain, which lets go of it when the request
// has ended: delivered, failed, stopped on the sheet, or dropped.
struct RequestEndGuard {
    std::function<void()> ended;
    ~RequestEndGuard() {
        if (ended) ended();
    }
};

std::uint64_t positive(const std::optional<std::int64_t>& value) {
    return value && *value > 0 ? std::uint64_t(*value) : 0;
}

}  // namespace

struct WQMediaViewController::Views {
    Gtk::Overlay root;
    Gtk::EventBox ground;  // the camera's dark ground, behind the live picture
    GtkWidget* preview = nullptr;  // the session's widget; the session owns it
    Gtk::Label status;
    WQMediaControlView controlView;
    Gtk::Button back;
    Gtk::Box switchBox{Gtk::ORIENTATION_HORIZONTAL, 6};
    Gtk::Image videoIcon, photoIcon;
    QORSwitch photoVideoSwitch;
    Gtk::EventBox bottomGround;
    WQMediaBottomView bottom{controlView, back, switchBox};
    std::vector<sigc::connection> connections;

    ~Views() {
        disconnect();
        // The bar's children are older than the bar: they leave it before it goes.
        bottom.remove(controlView);
        bottom.remove(back);
        bottom.remove(switchBox);
    }
    void disconnect() {
        for (auto& connection : connections) connection.disconnect();
        connections.clear();
    }
};

const std::vector<std::unique_ptr<Gtk::MessageDialog>>& WQMediaViewController::recordingLimitAlerts() {
    return limitAlerts();
}

std::shared_ptr<WQMediaViewController> WQMediaViewController::create() {
    return create(Environment());
}

std::shared_ptr<WQMediaViewController> WQMediaViewController::create(Environment environment) {
    auto controller = std::shared_ptr<WQMediaViewController>(new WQMediaViewController(std::move(environment)));
    std::weak_ptr<WQMediaViewController> weak = controller;
    auto& views = *controller->views_;
    views.connections.push_back(views.root.signal_map().connect([weak] {
        auto self = weak.lock();
        if (!self) return;
        if (!self->loaded_) self->viewDidLoad();
        self->viewDidAppear();
    }));
    // Hidden or closed with its window: the camera is let go at once, as by back.
    views.connections.push_back(views.root.signal_unmap().connect([weak] {
        if (auto self = weak.lock(); self && self->loaded_) self->backAction();
    }));
    views.connections.push_back(views.controlView.recordButton().signal_clicked().connect([weak] {
        if (auto self = weak.lock()) self->recordButtonClicked();
    }));
    views.connections.push_back(views.back.signal_clicked().connect([weak] {
        if (auto self = weak.lock()) self->backButtonClicked();
    }));
    views.connections.push_back(views.photoVideoSwitch.signalAction().connect([weak](QORSwitch&) {
        if (auto self = weak.lock()) self->photoVideoSwitched();
    }));
    controller->session_->setFailureHandler([weak](const std::string& reason) {
        if (auto self = weak.lock()) self->sessionFailed(reason);
    });
    return controller;
}

WQMediaViewController::WQMediaViewController(Environment environment)
    : environment_(std::move(environment)), views_(std::make_unique<Views>()) {
    if (!environment_.conversionChain)
        environment_.conversionChain = WQMediaConversionChain::create(tovak::WQVideoConverter::create());
    session_ = platform::CameraSession::create(environment_.camera);
    if (auto path = platform::Bundle::main().pathForResource("shutter", "wav"))
        shutter_ = platform::Sound::contentsOfFile(*path);

    Views& v = *views_;
    styled(v.ground, "camera-ground");
    v.ground.set_hexpand(true);
    v.ground.set_vexpand(true);
    v.root.add(v.ground);
    if ((v.preview = session_->previewWidget())) {
        gtk_widget_set_hexpand(v.preview, TRUE);
        gtk_widget_set_vexpand(v.preview, TRUE);
        gtk_container_add(GTK_CONTAINER(v.ground.gobj()), v.preview);
    }

    styled(v.status, "camera-status");
    v.status.set_halign(Gtk::ALIGN_CENTER);
    v.status.set_valign(Gtk::ALIGN_CENTER);
    v.status.set_justify(Gtk::JUSTIFY_CENTER);
    v.status.set_line_wrap(true);
    v.status.set_no_show_all(true);
    v.root.add_overlay(v.status);

    v.back.set_image_from_icon_name("go-previous-symbolic");
    v.back.set_label(platform::localized("CAMERA_BACK", "Back"));
    v.back.set_always_show_image(true);
    v.back.set_relief(Gtk::RELIEF_NONE);
    v.back.set_focus_on_click(false);
    v.videoIcon.set_from_icon_name("camera-video-symbolic", Gtk::ICON_SIZE_BUTTON);
    v.photoIcon.set_from_icon_name("camera-photo-symbolic", Gtk::ICON_SIZE_BUTTON);
    v.photoVideoSwitch.set_valign(Gtk::ALIGN_CENTER);
    // Between two icons it is plain to the eye; a screen reader needs what it switches: on is
    // photo mode.
    v.photoVideoSwitch.get_accessible()->set_name(platform::localized("CAMERA_PHOTO_MODE", "Photo Mode"));
    v.switchBox.pack_start(v.videoIcon, Gtk::PACK_SHRINK);
    v.switchBox.pack_start(v.photoVideoSwitch, Gtk::PACK_SHRINK);
    v.switchBox.pack_start(v.photoIcon, Gtk::PACK_SHRINK);
    styled(v.bottomGround, "camera-bottom");
    v.bottomGround.add(v.bottom);
    v.bottomGround.set_valign(Gtk::ALIGN_END);
    v.bottomGround.set_hexpand(true);
    v.root.add_overlay(v.bottomGround);
    v.root.set_can_focus(true);
    v.root.show_all();
}

WQMediaViewController::~WQMediaViewController() {
    touchBar_.setHost(nullptr);
    ++finishing_;
    views_->disconnect();
    session_->setFailureHandler(nullptr);
    session_->stop();
    if (views_->preview) gtk_container_remove(GTK_CONTAINER(views_->ground.gobj()), views_->preview);
    if (editor_) static_cast<Gtk::Container&>(views_->root).remove(editor_->view());
}

Gtk::Widget& WQMediaViewController::view() { return views_->root; }
Gtk::Button& WQMediaViewController::recordButton() { return views_->controlView.recordButton(); }
Gtk::Button& WQMediaViewController::backButton() { return views_->back; }
QORSwitch& WQMediaViewController::photoVideoSwitch() { return views_->photoVideoSwitch; }
Gtk::Label& WQMediaViewController::statusTextField() { return views_->status; }
WQMediaControlView& WQMediaViewController::controlView() { return views_->controlView; }

WQMediaViewController::MovieSettings WQMediaViewController::movieSettings() const {
    if (environment_.movieSettings) return environment_.movieSettings();
    auto& configuration = DynamicData::shared();
    return {configuration.movieFileMode(), configuration.movieMaximumFileSize(), configuration.movieMaximumLength(),
            configuration.movieTargetFileSize(), configuration.movieExportPresets()};
}

// --- set-up ---

void WQMediaViewController::viewDidLoad() {
    loaded_ = true;
    views_->photoVideoSwitch.setChecked(storedMediaType() == WQMediaType::photo);
    setStatus(platform::localized("STARTING_LIVE_PREVIEW", "Starting live preview"), false);
    setupCaptureSession();
    applyMediaType();
}

void WQMediaViewController::viewDidAppear() {
    auto* top = views_->root.get_toplevel();
    if (top && top->get_is_toplevel()) views_->root.grab_focus();
}

void WQMediaViewController::setupCaptureSession() {
    state_ = State::starting;
    updateControls();
    std::weak_ptr<WQMediaViewController> weak = weak_from_this();
    auto completion = [weak](const platform::CaptureAvailability& availability) {
        if (auto self = weak.lock()) self->availabilityChecked(availability);
    };
    if (environment_.checkAvailability)
        environment_.checkAvailability(completion);
    else
        platform::CameraSession::checkAvailability(completion);
}

void WQMediaViewController::availabilityChecked(const platform::CaptureAvailability& availability) {
    if (state_ != State::starting) return;  // left meanwhile
    if (!availability.camera || !availability.microphone) {
        log("Could not find devices");
        return showCameraError(availability.message);
    }
    if (!supportsPreset(sessionPreset(storedMediaType()))) {
        log("Device not compatible with preset");
        return showCameraError({});
    }
    canRecord_ = availability.recording;
    recordingUnavailable_ = availability.recordingMessage;
    startSession();
}

void WQMediaViewController::startSession() {
    std::weak_ptr<WQMediaViewController> weak = weak_from_this();
    session_->start([weak](platform::Expected<void> started) {
        if (auto self = weak.lock()) self->sessionStarted(started);
    });
}

void WQMediaViewController::sessionStarted(const platform::Expected<void>& started) {
    if (state_ != State::starting) return;
    if (!started) {
        log("Could not create inputs: " + started.error().message);
        return showCameraError(started.error().message);
    }
    // Without the encoders no video can be made: the record button stays off in video mode
    // (and says why) rather than failing when it is pressed.
    if (!canRecord_) log("Could not add movie file output to stream");
    state_ = State::ready;
    log("Camera running");
    applyMediaType();
}

void WQMediaViewController::showCameraError(const std::string& reason) {
    state_ = State::error;
    std::string text = platform::localized("CAMERA_ERROR", "Could not connect to camera");
    if (!reason.empty()) text += "\n" + reason;
    setStatus(text, true);
}

void WQMediaViewController::sessionFailed(const std::string& reason) {
    if (state_ == State::delivered) return;
    log("Camera failed: " + reason);
    showCameraError(reason);
}

// --- mode and controls ---

void WQMediaViewController::photoVideoSwitched() {
    storeMediaType(views_->photoVideoSwitch.checked() ? WQMediaType::photo : WQMediaType::video);
    applyMediaType();
}

void WQMediaViewController::applyMediaType() {
    const WQMediaType mode = storedMediaType();
    views_->controlView.setMediaType(mode);
    views_->photoVideoSwitch.setChecked(mode == WQMediaType::photo);
    touchBar_.setTouchBar(nullptr);  // built again, for this mode and recording state
    if (!canRecord_ && state_ == State::ready) {
        if (mode == WQMediaType::video)
            setStatus(recordingUnavailable_, true);
        else if (notice_ && views_->status.get_text() == recordingUnavailable_)
            setStatus(recordingUnavailable_, false);
    }
    updateControls();
}

bool WQMediaViewController::isRecording() const { return session_->isRecording(); }

void WQMediaViewController::setStatus(const std::string& text, bool notice) {
    views_->status.set_text(text);
    notice_ = notice;
    updateControls();
}

void WQMediaViewController::updateControls() {
    const bool videoBlocked = !canRecord_ && storedMediaType() == WQMediaType::video;
    views_->controlView.recordButton().set_sensitive((state_ == State::ready && !videoBlocked) ||
                                                     state_ == State::recording);
    views_->photoVideoSwitch.set_sensitive(state_ == State::ready);
    // The photo editor covers the camera: what lies under it must not be reached by the keyboard
    // or a screen reader either (back there would leave the camera behind the editor's back).
    const bool covered = state_ == State::editing;
    views_->bottomGround.set_visible(!covered);
    // The status line lies under the live picture: it shows while there is none, and for what
    // the user must read.
    views_->status.set_visible(!covered && (!session_->isRunning() || state_ == State::error || notice_));
}

void WQMediaViewController::fadeSideControls(bool in) {
    // A later fade takes over from an earlier one still running.
    const unsigned generation = ++sideFade_;
    std::weak_ptr<WQMediaViewController> weak = weak_from_this();
    for (Gtk::Widget* widget : {static_cast<Gtk::Widget*>(&views_->back), static_cast<Gtk::Widget*>(&views_->switchBox)}) {
        const double from = widget->get_visible() ? widget->get_opacity() : 0.0;
        const double to = in ? 1.0 : 0.0;
        widget->show();
        tovak::ViewAnimation::run(
            G_OBJECT(widget->gobj()), 1.0,
            [weak, widget, generation, from, to](double progress) {
                auto self = weak.lock();
                if (self && generation == self->sideFade_) widget->set_opacity(from + (to - from) * progress);
            },
            [weak, widget, generation, in] {
                auto self = weak.lock();
                if (self && generation == self->sideFade_ && !in) widget->hide();
            });
    }
}

// --- the record action ---

void WQMediaViewController::recordAction() {
    if (state_ == State::recording) {
        setStatus(platform::localized("CAMERA_LOADING", "Loading"), false);
        toggleRecording();
        return;
    }
    // Starting, failed, busy or done: the on-screen button is off then; the touch bar's does
    // nothing.
    if (state_ != State::ready) return;
    setStatus(platform::localized("CAMERA_LOADING", "Loading"), false);
    if (storedMediaType() == WQMediaType::photo) {
        takePhoto();
    } else if (!canRecord_) {
        applyMediaType();  // says again why not
    } else {
        toggleRecording();
    }
}

// --- photos ---

void WQMediaViewController::takePhoto() {
    log("Take picture");
    if (!session_->isRunning()) return;
    if (shutter_) {
        shutter_->stop();
        shutter_->play();
    }
    state_ = State::takingPhoto;
    updateControls();
    std::weak_ptr<WQMediaViewController> weak = weak_from_this();
    session_->captureStillFrame([weak](std::optional<platform::VideoFrame> frame) {
        if (auto self = weak.lock()) self->stillFrameArrived(std::move(frame));
    });
}

void WQMediaViewController::stillFrameArrived(std::optional<platform::VideoFrame> frame) {
    if (state_ != State::takingPhoto) return;
    tovak::RGBAImage image;
    if (frame) {
        image.width = frame->width;
        image.height = frame->height;
        image.pixels = std::move(frame->rgba);
    }
    if (!image.isValid()) {
        log("Could not record image: No Buffer");
        state_ = session_->isRunning() ? State::ready : State::error;
        updateControls();
        return;
    }
    showPhotoEditor(std::move(image));
}

void WQMediaViewController::showPhotoEditor(tovak::RGBAImage image) {
    // The picture freezes, and the camera is let go while the photo is edited.
    session_->stop();
    state_ = State::editing;
    editor_ = WQMediaImageView::create();
    std::weak_ptr<WQMediaViewController> weak = weak_from_this();
    editor_->setBackAction([weak] {
        if (auto self = weak.lock()) self->closePhotoEditor();
    });
    editor_->setSendAction([weak](std::shared_ptr<const WQEditedPhoto> photo) {
        auto self = weak.lock();
        if (!self || self->state_ != State::editing) return;
        self->state_ = State::delivered;
        ++self->finishing_;
        if (auto delegate = self->delegate_.lock()) delegate->didTakePhoto(*self, std::move(photo));
    });
    views_->root.add_overlay(editor_->view());
    editor_->view().show_all();
    editor_->loadImage(std::move(image));
    editor_->viewDidAppear();
    updateControls();
}

void WQMediaViewController::closePhotoEditor() {
    if (state_ != State::editing || !editor_) return;
    static_cast<Gtk::Container&>(views_->root).remove(editor_->view());
    // This runs inside the editor's own back action: it goes once that has returned.
    platform::MainQueue::async([editor = std::move(editor_)] {});
    state_ = State::starting;
    updateControls();
    startSession();
    viewDidAppear();
}

// --- videos ---

void WQMediaViewController::toggleRecording() {
    if (session_->isRecording()) {
        log("Stop recording");
        stopRecordingByUser_ = true;
        session_->stopRecording();
        fadeSideControls(true);
    } else {
        startRecording();
    }
}

void WQMediaViewController::startRecording() {
    stopRecordingByUser_ = false;
    fadeSideControls(false);
    views_->controlView.showRecordingState();
    if (movieFileOutputTimer_) movieFileOutputTimer_->invalidate();
    movieFileOutputTimer_.reset();
    currentRecordingTempFile_ = std::make_shared<tovak::WQTempFile>("mp4");
    log("Start recording");

    const MovieSettings settings = movieSettings();
    platform::RecordingLimits limits;
    limits.maximumDuration = double(positive(settings.maximumLength));
    limits.maximumFileSize = positive(settings.maximumFileSize);
    std::weak_ptr<WQMediaViewController> weak = weak_from_this();
    const auto started = session_->startRecording(
        currentRecordingTempFile_->url(), limits,
        [weak] {
            if (auto self = weak.lock()) self->recordingStarted();
        },
        [weak](const platform::RecordingResult& result) {
            if (auto self = weak.lock()) self->finishRecording(result);
        });
    if (!started) {
        log("Could not start recording: " + started.error().message);
        views_->controlView.showIdleState();
        fadeSideControls(true);
        setStatus(platform::localized("CAMERA_RECORDING_FAILED", "The video could not be recorded."), true);
        return;
    }
    state_ = State::recording;
    updateControls();
}

void WQMediaViewController::recordingStarted() {
    if (state_ != State::recording) return;
    log("Did start recording");
    applyMediaType();
    std::weak_ptr<WQMediaViewController> weak = weak_from_this();
    movieFileOutputTimer_ = platform::Timer::scheduled(1.0, true, [weak](platform::Timer&) {
        if (auto self = weak.lock()) self->timerTick();
    });
    // The time reads 00:01 at once; each tick then shows the recorded duration.
    platform::MainQueue::async([weak] {
        if (auto self = weak.lock(); self && self->state_ == State::recording) self->views_->controlView.setTime(1, 1);
    });
}

void WQMediaViewController::timerTick() {
    views_->controlView.setTime(std::int64_t(std::llround(session_->recordedDuration() * 1000)), 1000);
}

void WQMediaViewController::finishRecording(const platform::RecordingResult& result) {
    log("Did finish recording!");
    if (movieFileOutputTimer_) movieFileOutputTimer_->invalidate();
    movieFileOutputTimer_.reset();
    views_->controlView.showIdleState();
    if (state_ == State::delivered) return;
    // A recording that ended by itself left back and the switch faded out.
    if (!stopRecordingByUser_) fadeSideControls(true);
    if (state_ != State::recording) {  // the camera failed meanwhile
        applyMediaType();
        return;
    }
    auto recording = currentRecordingTempFile_;
    switch (result.end) {
        case platform::RecordingEnd::failed:
            log("Recording failed: " + result.error);
            state_ = State::ready;
            setStatus(platform::localized("CAMERA_RECORDING_FAILED", "The video could not be recorded."), true);
            applyMediaType();
            return;
        case platform::RecordingEnd::interrupted:
            log("Recording interrupted: " + result.error);
            state_ = session_->isRunning() ? State::ready : State::error;
            applyMediaType();
            return;
        default:
            break;
    }
    // Only the output's own stop at a limit is one; errors have been dealt with above.
    const bool limitReached =
        result.end == platform::RecordingEnd::durationLimit || result.end == platform::RecordingEnd::fileSizeLimit;
    state_ = State::finishing;
    applyMediaType();
    const auto mode = movieSettings().mode;
    if (mode == MovieFileMode::fFmpeg)
        remux(std::move(recording), limitReached);
    else if (mode == MovieFileMode::avFoundation)
        convert(std::move(recording), limitReached);
    else
        scheduleDelivery(std::move(recording), limitReached);  // raw, or no mode configured
}

void WQMediaViewController::remux(std::shared_ptr<tovak::WQTempFile> recording, bool limitReached) {
    const unsigned ticket = ++finishing_;
    auto output = std::make_shared<tovak::WQTempFile>("mp4");
    std::weak_ptr<WQMediaViewController> weak = weak_from_this();
    FFmpegWrapper::create(environment_.ffmpeg)
        ->remuxMedia(recording->url(), output->url(), [weak, ticket, recording, output, limitReached](bool success) {
            auto self = weak.lock();
            if (!self || ticket != self->finishing_) return;
            if (!success) {
                log("FFMPEG FAIL!");
                return self->returnToReady();
            }
            self->scheduleDelivery(output, limitReached);
        });
}

void WQMediaViewController::convert(std::shared_ptr<tovak::WQTempFile> recording, bool limitReached) {
    const auto settings = movieSettings();
    if (!settings.targetFileSize || *settings.targetFileSize < 0) {
        // Nothing to convert towards: the recording (already an MP4 within the limits) goes.
        log("No target size: the recording goes as it is");
        return scheduleDelivery(std::move(recording), limitReached);
    }
    const unsigned ticket = ++finishing_;
    std::weak_ptr<WQMediaViewController> weak = weak_from_this();
    auto guard = std::make_shared<RequestEndGuard>();
    guard->ended = [weak, ticket] {
        auto self = weak.lock();
        if (!self || ticket != self->finishing_ || self->state_ != State::finishing) return;
        log("Conversion stopped");
        self->returnToReady();
    };
    // Through the chain's queue: the converter is shared, and a new export on it would cancel
    // one that runs for a file the user dropped.
    environment_.conversionChain->convertNextFile(
        {recording->url()},
        [weak, ticket, limitReached](WQMediaConversionChain::URLs urls, WQMediaConversionChain::TempFiles tempFiles) {
            auto self = weak.lock();
            if (!self || ticket != self->finishing_) return;
            if (!tempFiles.empty() && !urls.empty() && urls.front() == tempFiles.front()->url()) {
                self->deliverRecordedVideo(tempFiles.front(), limitReached);
            } else {
                log("Conversion failed");
                self->returnToReady();
            }
        },
        {recording, guard}, {tovak::WQVideoConverter::OutputFileType::mp4, false});
}

void WQMediaViewController::scheduleDelivery(std::shared_ptr<tovak::WQTempFile> file, bool limitReached) {
    // The file is taken now: a recording made meanwhile does not take its place, and back lets
    // go of it with the timer.
    state_ = State::finishing;
    updateControls();
    const unsigned ticket = ++finishing_;
    std::weak_ptr<WQMediaViewController> weak = weak_from_this();
    deliveryTimer_ = platform::Timer::scheduled(
        environment_.deliveryDelay, false, [weak, ticket, file = std::move(file), limitReached](platform::Timer&) {
            // In a task of its own: the delegate may let go of the camera, and with it this timer.
            platform::MainQueue::async([weak, ticket, file, limitReached] {
                auto self = weak.lock();
                if (self && ticket == self->finishing_) self->deliverRecordedVideo(file, limitReached);
            });
        });
}

void WQMediaViewController::deliverRecordedVideo(std::shared_ptr<tovak::WQTempFile> file, bool limitReached) {
    if (state_ != State::finishing) return;
    if (limitReached) showRecordingLimitAlert();
    auto self = shared_from_this();  // the delegate may let go of the camera
    state_ = State::delivered;
    ++finishing_;
    if (auto delegate = delegate_.lock()) delegate->didRecordVideo(*this, std::move(file));
    session_->stop();
    updateControls();
}

void WQMediaViewController::returnToReady() {
    state_ = session_->isRunning() ? State::ready : State::error;
    applyMediaType();
}

void WQMediaViewController::showRecordingLimitAlert() {
    auto alert = std::make_unique<Gtk::MessageDialog>(
        platform::localized("CAMERA_RECORDING_LIMIT_HEADER", "Recording limit reached"), false, Gtk::MESSAGE_WARNING,
        Gtk::BUTTONS_OK, true);
    alert->set_secondary_text(
        platform::localizedFormat(platform::localized("CAMERA_RECORDING_LIMIT_BODY",
                                   "It is only possible to send video files of a certain maximum length and file size "
                                   "over the %@ service.\n\nAfter the recording limit is reached, %@ will "
                                   "automatically stop the recording."),
               {"WhatsApp", tovak::WQApplicationInfo::applicationName()}));
    if (auto* top = dynamic_cast<Gtk::Window*>(views_->root.get_toplevel()); top && top->get_is_toplevel())
        alert->set_transient_for(*top);
    Gtk::MessageDialog* shown = alert.get();
    // Dismissed: it goes in a later task, not inside its own signal.
    shown->signal_response().connect([shown](int) {
        shown->hide();
        platform::MainQueue::async([shown] {
            auto& alerts = limitAlerts();
            std::erase_if(alerts, [shown](const auto& a) { return a.get() == shown; });
        });
    });
    limitAlerts().push_back(std::move(alert));
    shown->show();
}

// --- leaving ---

void WQMediaViewController::backAction() {
    if (state_ == State::delivered) return;
    closeCamera();
    // The delegate takes the camera off the window: in a task of its own, never inside the
    // press of a button that goes with it.
    std::weak_ptr<WQMediaViewController> weak = weak_from_this();
    platform::MainQueue::async([weak] {
        auto self = weak.lock();
        if (!self) return;
        if (auto delegate = self->delegate_.lock()) delegate->didTakePhoto(*self, nullptr);
    });
}

void WQMediaViewController::closeCamera() {
    state_ = State::delivered;
    ++finishing_;  // a remux, conversion or delivery still under way comes to nothing
    if (deliveryTimer_) deliveryTimer_->invalidate();
    deliveryTimer_.reset();
    if (movieFileOutputTimer_) movieFileOutputTimer_->invalidate();
    movieFileOutputTimer_.reset();
    session_->stop();
    updateControls();
}

}  // namespace parlivo
