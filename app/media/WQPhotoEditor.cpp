#include "media/WQPhotoEditor.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "DebugPrint.h"
#include "JPEGEncoding.h"
#include "WQApplicationInfo.h"
#include "foundation/Localized.h"
#include "foundation/MainQueue.h"
#include "foundation/WorkQueue.h"

namespace parlivo {
namespace {

// The class name of the editor in the debug log.
constexpr std::string_view kClassName = "WQMediaImageView";

std::optional<double> within(double value, WQPhotoEditor::Range range) {
    if (!std::isfinite(value)) return std::nullopt;
    return std::clamp(value, range.minimum, range.maximum);
}

}  // namespace

const WQPhotoEditor::Identifiers& WQPhotoEditor::identifiers() {
    static const Identifiers ids = [] {
        const std::string b = tovak::WQApplicationInfo::bundleIdentifier();
        return Identifiers{b + ".mediaImageView", b + ".mediaImageViewTouchBar.back",
                           b + ".mediaImageViewTouchBar.send"};
    }();
    return ids;
}

std::shared_ptr<WQPhotoEditor> WQPhotoEditor::create() {
    struct Made : WQPhotoEditor {};
    return std::make_shared<Made>();
}

WQPhotoEditor::~WQPhotoEditor() {
    if (auto& bar = currentTouchBar(); bar && bar->delegate() == this) bar->setDelegate(nullptr);
}

void WQPhotoEditor::loadImage(tovak::RGBAImage photo) {
    ++generation_;
    preview_.reset();
    targets_.clear();
    if (!photo.isValid()) {
        source_.reset();
        shown_ = {};
        if (previewHandler_) previewHandler_(shown_);
        return;
    }
    source_ = std::make_shared<const tovak::RGBAImage>(std::move(photo));
    // Scaling a large photo takes a while: off the main thread, then the first preview. The
    // pictures the first runs write into are made there too: fresh memory of a preview's size
    // costs far more than a run on a busy machine (the system maps and clears it page by page).
    platform::WorkQueue::global().async([weak = weak_from_this(), source = source_, generation = generation_] {
        auto preview = std::make_shared<const tovak::RGBAImage>(
            scaledToFit(*source, previewMaximumSize, previewMaximumSize));
        std::vector<tovak::RGBAImage> targets;
        for (int i = 0; i < 2; ++i) targets.emplace_back(preview->width, preview->height);
        platform::MainQueue::async([weak, generation, preview, targets = std::move(targets)]() mutable {
            auto self = weak.lock();
            if (!self || generation != self->generation_) return;
            self->preview_ = preview;
            for (auto& target : targets) self->keepTarget(std::move(target));
            self->scheduleRender();
        });
    });
}

void WQPhotoEditor::setBrightness(double value) {
    if (auto v = within(value, brightnessRange)) {
        auto a = adjustments_;
        a.brightness = *v;
        change(a);
    }
}

void WQPhotoEditor::setContrast(double value) {
    if (auto v = within(value, contrastRange)) {
        auto a = adjustments_;
        a.contrast = *v;
        change(a);
    }
}

void WQPhotoEditor::setSaturation(double value) {
    if (auto v = within(value, saturationRange)) {
        auto a = adjustments_;
        a.saturation = *v;
        change(a);
    }
}

void WQPhotoEditor::setVignette(double value) {
    if (auto v = within(value, vignetteRange)) {
        auto a = adjustments_;
        a.vignette = *v;
        change(a);
    }
}

void WQPhotoEditor::setEffect(int rawValue) {
    if (auto effect = mediaEffect(rawValue)) {
        auto a = adjustments_;
        a.effect = *effect;
        change(a);
    }
}

void WQPhotoEditor::reset() {
    change(WQPhotoAdjustments{});
}

void WQPhotoEditor::change(WQPhotoAdjustments adjustments) {
    if (adjustments == adjustments_) return;
    adjustments_ = adjustments;
    scheduleRender();
}

void WQPhotoEditor::scheduleRender() {
    if (!preview_) return;  // the load's own render follows
    if (rendering_) {
        renderAgain_ = true;
        return;
    }
    rendering_ = true;
    platform::WorkQueue::global().async([weak = weak_from_this(), preview = preview_, adjustments = adjustments_,
                                         generation = generation_, result = takeTarget()]() mutable {
        applyPhotoAdjustments(*preview, adjustments, result);
        platform::MainQueue::async([weak, generation, result = std::move(result)]() mutable {
            if (auto self = weak.lock()) self->renderFinished(generation, std::move(result));
        });
    });
}

void WQPhotoEditor::renderFinished(unsigned generation, tovak::RGBAImage preview) {
    rendering_ = false;
    if (generation == generation_) {
        std::swap(shown_, preview);
        if (previewHandler_) previewHandler_(shown_);
    }
    // The picture no longer on show (or a run for an earlier photo) serves a later run.
    keepTarget(std::move(preview));
    if (std::exchange(renderAgain_, false)) scheduleRender();
}

tovak::RGBAImage WQPhotoEditor::takeTarget() {
    if (targets_.empty()) return {};
    tovak::RGBAImage target = std::move(targets_.back());
    targets_.pop_back();
    return target;
}

void WQPhotoEditor::keepTarget(tovak::RGBAImage image) {
    if (!preview_ || !image.isValid() || image.width != preview_->width || image.height != preview_->height) return;
    if (targets_.size() < 2) targets_.push_back(std::move(image));
}

void WQPhotoEditor::buttonClicked(const std::string& identifier) {
    if (identifier == "back") {
        if (auto action = backAction_) action();
    } else if (identifier == "send") {
        send();
    }
}

void WQPhotoEditor::send() {
    if (!sendAction_ || sending_) return;
    if (!source_) {
        auto action = sendAction_;
        action(nullptr);
        return;
    }
    sending_ = true;
    platform::WorkQueue::global().async([weak = weak_from_this(), source = source_, adjustments = adjustments_] {
        auto photo = std::make_shared<WQEditedPhoto>();
        applyPhotoAdjustments(*source, adjustments, photo->image);
        if (auto jpeg = tovak::getJPEGDataWithQuality(photo->image, jpegQuality)) photo->jpegData = std::move(*jpeg);
        platform::MainQueue::async([weak, photo] {
            if (auto self = weak.lock()) self->sendFinished(photo);
        });
    });
}

void WQPhotoEditor::sendFinished(std::shared_ptr<WQEditedPhoto> photo) {
    sending_ = false;
    if (photo->jpegData.empty()) {
        // An empty file must never reach the chat as if it were the photo.
        tovak::debugPrint(kClassName, "Could not encode the edited photo");
        if (failureHandler_)
            failureHandler_(platform::localized("PHOTO_EDITOR_SEND_FAILED", "The photo could not be prepared for sending."));
        return;
    }
    if (auto action = sendAction_) action(std::move(photo));
}

std::shared_ptr<platform::TouchBar> WQPhotoEditor::makeTouchBar() {
    tovak::debugPrint(kClassName, "Make TouchBar!");
    auto bar = std::make_shared<platform::TouchBar>();
    bar->setDelegate(this);
    const Identifiers& id = identifiers();
    bar->setCustomizationIdentifier(id.touchBar);
    bar->setDefaultItemIdentifiers({id.back, std::string(platform::touchbar::kFlexibleSpace), id.send});
    return bar;
}

std::shared_ptr<platform::TouchBarItem> WQPhotoEditor::makeItemForIdentifier(platform::TouchBar&,
                                                                            const std::string& identifier) {
    const Identifiers& id = identifiers();
    std::string image, buttonIdentifier;
    if (identifier == id.back) {
        image = "NSImageNameTouchBarGoBackTemplate";
        buttonIdentifier = "back";
    } else if (identifier == id.send) {
        image = "NSImageNameTouchBarGoForwardTemplate";
        buttonIdentifier = "send";
    } else {
        return nullptr;
    }
    auto button = std::make_shared<platform::TouchBarButton>(
        "", image, [weak = weak_from_this()](platform::TouchBarButton& sender) {
            if (auto self = weak.lock(); self && sender.identifier()) self->buttonClicked(*sender.identifier());
        });
    button->setIdentifier(buttonIdentifier);
    auto item = std::make_shared<platform::CustomTouchBarItem>(identifier);
    item->setView(button);
    return item;
}

}  // namespace parlivo
