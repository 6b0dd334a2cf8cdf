#pragma once

#include <memory>
#include <string>
#include <vector>

namespace testsupport {

class FakeBusService;

// A tray host's StatusNotifierWatcher (org.kde.StatusNotifierWatcher at /StatusNotifierWatcher)
// on the session bus: records the items that register with it.
class FakeStatusNotifierWatcher {
public:
    // Null when there is no session bus or the name is taken.
    static std::unique_ptr<FakeStatusNotifierWatcher> start();
    ~FakeStatusNotifierWatcher();  // leaves the bus, as a tray host that ends

    // The services that called RegisterStatusNotifierItem, in order.
    std::vector<std::string> registeredItems() const;

    // Where a host reaches a registered item: its bus name and object path.
    struct Registration {
        std::string busName;
        std::string path;
    };
    std::vector<Registration> registrations() const;

    // From now on, answers RegisterStatusNotifierItem with an error (a host that will not take
    // the item).
    void refuseItems();

    struct State;

private:
    FakeStatusNotifierWatcher() = default;
    std::shared_ptr<State> state_;
    std::unique_ptr<FakeBusService> service_;
};

}  // namespace testsupport
