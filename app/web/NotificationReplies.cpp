#include "web/NotificationReplies.h"

#include "DebugPrint.h"
#include "foundation/Localized.h"
#include "foundation/Log.h"
#include "foundation/MainQueue.h"
#include "notifications/WQWindowNotification.h"
#include "web/WebClientCommands.h"

namespace parlivo {

namespace {

void debugLog(std::string_view message) { tovak::debugPrint(NotificationReplies::kClassName, message); }

NotificationReplies::KeptReply keptReply(const UserNotification& reply) {
    return {reply.identifier, reply.title, reply.response.value_or("")};
}

std::string noteText(const std::string& recipient) {
    if (recipient.empty())
        return platform::localized("NOTIFICATION_REPLY_NOT_SENT_UNNAMED",
                                   "Your reply from a notification could not be sent. Its text was copied to the clipboard.");
    return platform::localizedFormat(
        platform::localized("NOTIFICATION_REPLY_NOT_SENT",
                            "Your reply to %@ could not be sent. Its text was copied to the clipboard."),
        {recipient});
}

}  // namespace

std::shared_ptr<NotificationReplies> NotificationReplies::create(Environment environment) {
    return std::shared_ptr<NotificationReplies>(new NotificationReplies(std::move(environment)));
}

void NotificationReplies::send(const UserNotification& reply, const WebClientCommands& commands) {
    if (!reply.response || reply.identifier.empty()) return;  // nothing typed, or no chat to take it
    // Settled once: by the page's answer or by the time-out, whichever comes first.
    auto settled = std::make_shared<bool>(false);
    std::weak_ptr<NotificationReplies> weak = weak_from_this();
    auto kept = std::make_shared<KeptReply>(keptReply(reply));
    auto settle = [weak, settled, kept](bool placed, std::string_view why) {
        if (*settled) return;
        *settled = true;
        auto self = weak.lock();
        if (!self) return;
        if (placed) {
            debugLog("Reply placed in its chat");
            return;
        }
        platform::systemLog("A reply from a notification was not placed in its chat (" + std::string(why) +
                                "); it was kept for the user",
                            platform::LogLevel::notice);
        self->keep(*kept);
    };
    platform::MainQueue::after(environment_.answerTimeout, [settle] { settle(false, "no answer from the page"); });
    commands.placeReply(*reply.response, reply.identifier,
                        [settle](bool placed) { settle(placed, "the page could not confirm the chat"); });
}

void NotificationReplies::keep(const UserNotification& reply) {
    if (!reply.response) return;
    keep(keptReply(reply));
}

void NotificationReplies::keep(const KeptReply& reply) {
    if (environment_.isLocked && environment_.isLocked()) {
        held_.push_back(reply);
        return;
    }
    if (environment_.showWindow) environment_.showWindow();
    tell(reply);
}

void NotificationReplies::unlocked() {
    auto waiting = std::move(held_);
    held_.clear();
    for (const auto& reply : waiting) tell(reply);
}

void NotificationReplies::tell(const KeptReply& reply) {
    if (environment_.copyToClipboard) environment_.copyToClipboard(reply.text);
    if (environment_.presentNote) environment_.presentNote(noteFor(reply));
}

std::shared_ptr<WQWindowNotification> NotificationReplies::noteFor(const KeptReply& reply) const {
    auto copy = environment_.copyToClipboard;
    auto note = WQWindowNotification::create(
        noteText(reply.recipient), "AppIconLarge", platform::localized("NOTIFICATION_REPLY_DISMISS", "OK"),
        [](WQWindowNotification& n) {
            if (auto delegate = n.delegate.lock()) delegate->windowNotificationDidFinish(n.shared_from_this());
        },
        platform::localized("NOTIFICATION_REPLY_COPY", "Copy Again"),
        [copy, text = reply.text](WQWindowNotification&) {
            if (copy) copy(text);
        },
        std::nullopt, {}, notePriority);
    return note;
}

}  // namespace parlivo
