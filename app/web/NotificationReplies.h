#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "settings/UserNotification.h"

namespace parlivo {

class WebClientCommands;
class WQWindowNotification;

// Replies the user typed into desktop notifications. The page places each one in the chat of the
// notification it answers and says whether it could; the program never guesses a chat. A reply
// the page did not place (it no longer knows the notification, it reloaded, its function is
// missing or failed, no answer in time), and one that came while the program was locked, is kept
// for the user: the window comes up, a note in it says whose reply did not go, and the text goes
// to the clipboard. While locked the note waits for the unlock, so nothing shows over the lock
// screen. Nothing is dropped silently. Main thread; free of any toolkit.
class NotificationReplies : public std::enable_shared_from_this<NotificationReplies> {
public:
    static constexpr std::string_view kClassName = "ViewController";
    // Longer than the page takes at most (it gives up on its own after a few seconds), so that a
    // reply the page is still placing is never also reported as kept.
    static constexpr double answerTimeout = 15.0;
    // The in-window note's priority: above the launch-at-login reminder.
    static constexpr std::int64_t notePriority = 2000;

    struct Environment {
        std::function<void(const std::string& text)> copyToClipboard;
        std::function<void()> showWindow;
        std::function<void(const std::shared_ptr<WQWindowNotification>& note)> presentNote;
        std::function<bool()> isLocked;
        double answerTimeout = NotificationReplies::answerTimeout;
    };

    // What was kept, and whose chat it was meant for (the notification's title: the sender).
    struct KeptReply {
        std::string chatTag;
        std::string recipient;
        std::string text;
    };

    static std::shared_ptr<NotificationReplies> create(Environment environment);

    // Asks the page to place `reply` (a replied notification) in its chat; kept when it does not.
    void send(const UserNotification& reply, const WebClientCommands& commands);
    // Keeps `reply` for the user: told now, or after the unlock while the program is locked.
    void keep(const UserNotification& reply);
    void keep(const KeptReply& reply);
    // The lock was released: the user hears of every reply kept meanwhile.
    void unlocked();

    // Kept while locked, not yet told.
    const std::vector<KeptReply>& held() const { return held_; }

    // The note that tells the user about `reply`; its second button copies the text again.
    std::shared_ptr<WQWindowNotification> noteFor(const KeptReply& reply) const;

private:
    explicit NotificationReplies(Environment environment) : environment_(std::move(environment)) {}
    void tell(const KeptReply& reply);

    Environment environment_;
    std::vector<KeptReply> held_;
};

}  // namespace parlivo
