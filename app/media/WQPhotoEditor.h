#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "RGBAImage.h"
#include "media/WQPhotoFilters.h"
#include "ui/TouchBar.h"

namespace parlivo {

// What the editor sends: the edited photo at the photo's own pixel size, and its JPEG bytes
// (quality WQPhotoEditor::jpegQuality), which the receiver can hand on as they are.
struct WQEditedPhoto {
    tovak::RGBAImage image;
    std::vector<std::uint8_t> jpegData;
};

// The photo editor's logic, without a view: the photo, the four slider values and the effect,
// the preview the view shows, back and send, and the editor's touch bar.
//
// The preview (the photo scaled to fit previewMaximumSize) is recomputed off the main thread
// after every change; changes that arrive meanwhile are folded into the next run, so the view
// follows a slider without stutter. Every run writes into a picture of the preview's size that
// is already in memory: two are made with the preview when a photo is loaded, and a picture
// that is no longer on show is written again, so no step (the first included) waits for fresh
// memory. The full-size photo is computed only when it is sent, also
// off the main thread. A photo that cannot be encoded is not sent: the failure handler says so.
// Main thread only; handlers run on the main thread.
class WQPhotoEditor : public platform::TouchBarProvider,
                      public platform::TouchBarDelegate,
                      public std::enable_shared_from_this<WQPhotoEditor> {
public:
    static constexpr int previewMaximumSize = 1600;
    static constexpr double jpegQuality = 0.95;

    // The sliders' ranges and their neutral (starting) values.
    struct Range {
        double minimum, maximum, neutral;
    };
    static constexpr Range brightnessRange{-0.5, 0.5, 0};
    static constexpr Range contrastRange{0.25, 2, 1};
    static constexpr Range saturationRange{0, 2, 1};
    static constexpr Range vignetteRange{0, 1, 0};

    // The touch bar's identifiers: the bundle identifier followed by ".mediaImageView",
    // ".mediaImageViewTouchBar.back" and ".mediaImageViewTouchBar.send".
    struct Identifiers {
        std::string touchBar, back, send;
    };
    static const Identifiers& identifiers();

    using BackAction = std::function<void()>;
    // Receives the edited photo, or null when send was pressed before a photo was loaded.
    using SendAction = std::function<void(std::shared_ptr<const WQEditedPhoto> photo)>;

    static std::shared_ptr<WQPhotoEditor> create();
    ~WQPhotoEditor() override;

    void setBackAction(BackAction action) { backAction_ = std::move(action); }
    void setSendAction(SendAction action) { sendAction_ = std::move(action); }
    // The view's picture: each new preview of the edited photo (empty when there is no photo).
    void setPreviewHandler(std::function<void(const tovak::RGBAImage& preview)> handler) {
        previewHandler_ = std::move(handler);
    }
    // A user-visible message when the photo could not be sent.
    void setFailureHandler(std::function<void(const std::string& message)> handler) {
        failureHandler_ = std::move(handler);
    }

    // Takes the photo and shows it with the current values. An empty or malformed image leaves
    // the editor without a photo.
    void loadImage(tovak::RGBAImage photo);
    bool hasImage() const { return source_ != nullptr; }
    // The preview on show now (empty before the first one is ready).
    const tovak::RGBAImage& shownPreview() const { return shown_; }

    const WQPhotoAdjustments& adjustments() const { return adjustments_; }
    // Values outside a slider's range are limited to it; values that are not numbers and effect
    // raw values of 7 or more are ignored.
    void setBrightness(double value);
    void setContrast(double value);
    void setSaturation(double value);
    void setVignette(double value);
    void setEffect(int rawValue);
    // Every slider back to its neutral value and the effect to "Default".
    void reset();

    // The on-screen and touch-bar buttons: "back" runs the back action, "send" sends; other
    // identifiers do nothing.
    void buttonClicked(const std::string& identifier);
    // True from a send until its photo was handed over (or failed); a send meanwhile is ignored.
    bool isSending() const { return sending_; }

    std::shared_ptr<platform::TouchBarItem> makeItemForIdentifier(platform::TouchBar& touchBar,
                                                                  const std::string& identifier) override;

protected:
    WQPhotoEditor() = default;
    std::shared_ptr<platform::TouchBar> makeTouchBar() override;

private:
    void change(WQPhotoAdjustments adjustments);
    void scheduleRender();
    void renderFinished(unsigned generation, tovak::RGBAImage preview);
    // The next run's target: a kept picture of the preview's size when there is one.
    tovak::RGBAImage takeTarget();
    // Keeps a picture for a later run when it has the preview's size (at most two are kept).
    void keepTarget(tovak::RGBAImage image);
    void send();
    void sendFinished(std::shared_ptr<WQEditedPhoto> photo);

    BackAction backAction_;
    SendAction sendAction_;
    std::function<void(const tovak::RGBAImage&)> previewHandler_;
    std::function<void(const std::string&)> failureHandler_;

    WQPhotoAdjustments adjustments_;
    std::shared_ptr<const tovak::RGBAImage> source_;
    std::shared_ptr<const tovak::RGBAImage> preview_;
    tovak::RGBAImage shown_;
    std::vector<tovak::RGBAImage> targets_;  // pictures of the preview's size, for the next runs
    unsigned generation_ = 0;
    bool rendering_ = false;
    bool renderAgain_ = false;
    bool sending_ = false;
};

}  // namespace parlivo
