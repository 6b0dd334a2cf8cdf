#include "NotificationCenter.h"

#include <algorithm>

namespace platform {

NotificationCenter& NotificationCenter::defaultCenter() {
    static NotificationCenter* center = new NotificationCenter;  // lives until exit
    return *center;
}

ObserverToken NotificationCenter::addObserver(std::string_view name, const void* object, Block block) {
    auto observer = std::make_shared<Observer>(Observer{std::string(name), object, std::move(block)});
    {
        std::lock_guard lock(state_->mutex);
        state_->observers.push_back(observer);
    }
    std::weak_ptr<State> weakState = state_;
    std::weak_ptr<Observer> weakObserver = observer;
    return ObserverToken([weakState, weakObserver] {
        auto state = weakState.lock();
        auto observer = weakObserver.lock();
        if (!state || !observer) return;
        std::lock_guard lock(state->mutex);
        observer->removed = true;
        std::erase(state->observers, observer);
    });
}

void NotificationCenter::post(std::string_view name, const void* object, UserInfo userInfo) {
    Notification notification{std::string(name), object, std::move(userInfo)};
    std::vector<std::shared_ptr<Observer>> matching;
    {
        std::lock_guard lock(state_->mutex);
        for (const auto& o : state_->observers)
            if ((o->name.empty() || o->name == name) && (!o->object || o->object == object))
                matching.push_back(o);
    }
    for (const auto& o : matching) {
        bool removed;
        {
            std::lock_guard lock(state_->mutex);
            removed = o->removed;
        }
        if (!removed && o->block) o->block(notification);
    }
}

}  // namespace platform
