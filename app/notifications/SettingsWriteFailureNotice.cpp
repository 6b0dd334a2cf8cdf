#include "notifications/SettingsWriteFailureNotice.h"

#include "WQApplicationInfo.h"
#include "foundation/Localized.h"
#include "foundation/NotificationCenter.h"
#include "foundation/UserDefaults.h"
#include "notifications/WQWindowNotification.h"

namespace parlivo {

SettingsWriteFailureNotice::SettingsWriteFailureNotice(platform::UserDefaults& defaults) {
    auto& center = platform::NotificationCenter::defaultCenter();
    failed_ = center.addObserver(platform::UserDefaults::writeFailedNotification, &defaults,
                                 [this](const platform::Notification& notification) {
                                     const auto* reason = notification.info<std::string>("reason");
                                     writeFailed(reason ? *reason : std::string());
                                 });
    recovered_ = center.addObserver(platform::UserDefaults::writeRecoveredNotification, &defaults,
                                    [this](const platform::Notification&) { writeRecovered(); });
}

SettingsWriteFailureNotice::~SettingsWriteFailureNotice() = default;

std::string SettingsWriteFailureNotice::text(const std::string& reason) {
    return platform::localizedFormat(
        platform::localized(
            "SETTINGS_NOT_SAVED",
            "%@ cannot save your settings (%@). Your changes are kept and saved as soon as that works again."),
        {tovak::WQApplicationInfo::applicationName(),
         reason.empty() ? platform::localized("SETTINGS_NOT_SAVED_UNKNOWN", "unknown error") : reason});
}

void SettingsWriteFailureNotice::writeFailed(const std::string& reason) {
    // The store says so once for a run of failures; one notice for it, even if put away.
    if (notice_) return;
    notice_ = WQWindowNotification::create(
        text(reason), "AppIconLarge", platform::localized("SETTINGS_NOT_SAVED_OK", "OK"),
        [](WQWindowNotification& notification) {
            if (auto queue = notification.delegate.lock()) queue->windowNotificationDidFinish(notification.shared_from_this());
        },
        std::nullopt, {}, std::nullopt, {}, priority);
    notice_->identifier = identifier;
    WQWindowNotificationController::shared().addNotification(notice_);
}

void SettingsWriteFailureNotice::writeRecovered() {
    if (!notice_) return;
    // Written again: the notice has nothing left to say.
    WQWindowNotificationController::shared().windowNotificationDidFinish(notice_);
    notice_.reset();
}

}  // namespace parlivo
