#pragma once

#include <memory>
#include <string>

#include "foundation/ObserverToken.h"

namespace platform {
class UserDefaults;
}

namespace parlivo {

class WQWindowNotification;

// Tells the user in the main window when the settings cannot be saved (no space left, a
// read-only folder): once for a run of failed writes, however often the store retries, with the
// reason. The notice goes by itself once the settings are written again; the user may also put
// it away. Made by the application at start; lives as long as it. Main thread only.
class SettingsWriteFailureNotice {
public:
    static constexpr const char* identifier = "SettingsNotSaved";
    // Above the launch-at-login reminder's 1000: lost changes matter more.
    static constexpr long priority = 2000;

    explicit SettingsWriteFailureNotice(platform::UserDefaults& defaults);
    ~SettingsWriteFailureNotice();
    SettingsWriteFailureNotice(const SettingsWriteFailureNotice&) = delete;
    SettingsWriteFailureNotice& operator=(const SettingsWriteFailureNotice&) = delete;

    // The text for a failure with `reason` (the system's words, e.g. "No space left on device").
    static std::string text(const std::string& reason);

    // The notice handed to the in-window queue for the current run of failures, if any.
    const std::shared_ptr<WQWindowNotification>& notice() const { return notice_; }

private:
    void writeFailed(const std::string& reason);
    void writeRecovered();

    std::shared_ptr<WQWindowNotification> notice_;
    platform::ObserverToken failed_;
    platform::ObserverToken recovered_;
};

}  // namespace parlivo
