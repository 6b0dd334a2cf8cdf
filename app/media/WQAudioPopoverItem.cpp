#include "media/WQAudioPopoverItem.h"

#include "media/WQAudioRecorder.h"

namespace parlivo {

WQAudioPopoverItem::WQAudioPopoverItem(std::string identifier) : tovak::WQPopoverTouchBarItem(std::move(identifier)) {
    auto& center = platform::NotificationCenter::defaultCenter();
    observers_.push_back(center.addObserver(WQAudioRecorder::startRecordingNotification,
                                            [this](const platform::Notification& n) { startRecording(n); }));
    observers_.push_back(center.addObserver(WQAudioRecorder::stopRecordingNotification,
                                            [this](const platform::Notification& n) { stopRecording(n); }));
}

// The tokens remove the observers.
WQAudioPopoverItem::~WQAudioPopoverItem() = default;

void WQAudioPopoverItem::startRecording(const platform::Notification&) {
    bypassingDelegate(true);
}

void WQAudioPopoverItem::stopRecording(const platform::Notification&) {
    bypassingDelegate(false);
}

void WQAudioPopoverItem::bypassingDelegate(bool show) {
    auto delegate = this->delegate();
    setDelegate(nullptr);
    if (show)
        showPopover(this);
    else
        dismissPopover(this);
    setDelegate(std::move(delegate));
}

}  // namespace parlivo
