#include "notifications/WQNotificationCenter.h"

// Placeholder: no panel is shown yet; every request is logged.
#include "DebugPrint.h"

namespace parlivo {

void WQNotificationCenter::didReceiveScriptMessage(const platform::ScriptMessage& message) {
    if (message.name != messageName) return;
    tovak::debugPrint(kClassName, "HTML notification panels are not available yet");
    removeNotificationPanel();
}

void WQNotificationCenter::removeNotificationPanel() { isDisplayingNotification_ = false; }

}  // namespace parlivo
