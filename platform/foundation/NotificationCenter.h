#pragma once

#include <any>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "ObserverToken.h"

namespace platform {

using UserInfo = std::map<std::string, std::any>;

struct Notification {
    std::string name;
    const void* object = nullptr;  // the sender, compared by identity
    UserInfo userInfo;

    // The user-info value under `key` when it holds a T.
    template <typename T>
    const T* info(const std::string& key) const {
        auto it = userInfo.find(key);
        return it == userInfo.end() ? nullptr : std::any_cast<T>(&it->second);
    }
};

// In-process notifications with string names. Observers run synchronously on the posting
// thread, in the order they were added. An observer may add or remove observers (itself
// included) while it runs; one removed during a post is not called afterwards.
class NotificationCenter {
public:
    using Block = std::function<void(const Notification&)>;

    static NotificationCenter& defaultCenter();

    // Observes `name` (every name when empty) from `object` (any sender when null).
    [[nodiscard]] ObserverToken addObserver(std::string_view name, const void* object, Block block);
    [[nodiscard]] ObserverToken addObserver(std::string_view name, Block block) {
        return addObserver(name, nullptr, std::move(block));
    }

    void post(std::string_view name, const void* object = nullptr, UserInfo userInfo = {});

private:
    struct Observer {
        std::string name;
        const void* object;
        Block block;
        bool removed = false;
    };
    struct State {
        std::mutex mutex;
        std::vector<std::shared_ptr<Observer>> observers;
    };
    // Shared with the tokens, so a token may outlive its centre.
    std::shared_ptr<State> state_ = std::make_shared<State>();
};

}  // namespace platform
