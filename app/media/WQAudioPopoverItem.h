#pragma once

#include <string>
#include <vector>

#include "WQPopoverTouchBarItem.h"
#include "foundation/NotificationCenter.h"
#include "foundation/ObserverToken.h"

namespace parlivo {

// The voice message's pop-over item on the main window's touch bar. Its delegate refuses to
// open it on a tap (the tap asks the page to record instead); the recorder's start and stop
// notifications, from any recorder, open and close it without asking the delegate.
class WQAudioPopoverItem : public tovak::WQPopoverTouchBarItem {
public:
    explicit WQAudioPopoverItem(std::string identifier);
    ~WQAudioPopoverItem() override;

    void startRecording(const platform::Notification& notification);
    void stopRecording(const platform::Notification& notification);

private:
    void bypassingDelegate(bool show);

    std::vector<platform::ObserverToken> observers_;
};

}  // namespace parlivo
