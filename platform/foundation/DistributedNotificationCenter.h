#pragma once

#include <functional>
#include <memory>
#include <string>

#include "ObserverToken.h"

namespace platform {

// Notifications between programs of the same user: the D-Bus signal
// net.vantreo.DistributedNotification.Post(s name, s object) at /net/vantreo/DistributedNotification,
// broadcast on the session bus. Observers run on the main loop. Without a session bus, posts are
// dropped and observers never fire (logged once).
class DistributedNotificationCenter {
public:
    using Block = std::function<void(const std::string& name, const std::string& object)>;

    static DistributedNotificationCenter& defaultCenter();

    [[nodiscard]] ObserverToken addObserver(const std::string& name, Block block);
    // Returns false when the signal could not be sent (no bus, or text that is not UTF-8).
    bool post(const std::string& name, const std::string& object);

    static constexpr const char* kInterface = "net.vantreo.DistributedNotification";
    static constexpr const char* kPath = "/net/vantreo/DistributedNotification";
    static constexpr const char* kMember = "Post";

private:
    DistributedNotificationCenter();
    struct Connection;
    std::shared_ptr<Connection> connection_;
};

}  // namespace platform
