#pragma once

#include <functional>
#include <utility>

namespace platform {

// Keeps an observation alive: the observer is removed when the token is reset or destroyed.
class ObserverToken {
public:
    ObserverToken() = default;
    explicit ObserverToken(std::function<void()> remover) : remover_(std::move(remover)) {}
    ~ObserverToken() { reset(); }
    ObserverToken(ObserverToken&& other) noexcept : remover_(std::exchange(other.remover_, nullptr)) {}
    ObserverToken& operator=(ObserverToken&& other) noexcept {
        if (this != &other) {
            reset();
            remover_ = std::exchange(other.remover_, nullptr);
        }
        return *this;
    }
    ObserverToken(const ObserverToken&) = delete;
    ObserverToken& operator=(const ObserverToken&) = delete;

    void reset() {
        if (auto remover = std::exchange(remover_, nullptr)) remover();
    }
    explicit operator bool() const { return static_cast<bool>(remover_); }

private:
    std::function<void()> remover_;
};

}  // namespace platform
