#pragma once

#include "Error.h"

#include <cassert>
#include <type_traits>
#include <utility>
#include <variant>

namespace platform {

// A failure on its way into an Expected: `return failure(Error{...});`.
struct Failure {
    Error error;
};

inline Failure failure(Error error) {
    return Failure{std::move(error)};
}
inline Failure failure(std::string domain, long code, std::string message) {
    return Failure{Error{std::move(domain), code, std::move(message)}};
}

// The result of a platform call that can fail: either a T or the Error that says why not.
// Test it before use (`if (auto r = call()) use(*r); else log(r.error().message);`); value()
// and error() on the wrong side are programming errors.
template <typename T>
class [[nodiscard]] Expected {
public:
    Expected(const T& value) : state_(std::in_place_index<0>, value) {}
    Expected(T&& value) : state_(std::in_place_index<0>, std::move(value)) {}
    // Any value T can be made from (a string literal for a string, a path for an optional).
    template <typename U>
        requires(std::is_constructible_v<T, U &&> && !std::is_same_v<std::remove_cvref_t<U>, T> &&
                 !std::is_same_v<std::remove_cvref_t<U>, Failure> &&
                 !std::is_same_v<std::remove_cvref_t<U>, Expected>)
    Expected(U&& value) : state_(std::in_place_index<0>, T(std::forward<U>(value))) {}
    Expected(Failure failure) : state_(std::in_place_index<1>, std::move(failure.error)) {}

    bool has_value() const { return state_.index() == 0; }
    explicit operator bool() const { return has_value(); }

    T& value() & {
        assert(has_value());
        return std::get<0>(state_);
    }
    const T& value() const& {
        assert(has_value());
        return std::get<0>(state_);
    }
    T&& value() && {
        assert(has_value());
        return std::get<0>(std::move(state_));
    }
    T& operator*() & { return value(); }
    const T& operator*() const& { return value(); }
    T&& operator*() && { return std::move(*this).value(); }
    T* operator->() { return &value(); }
    const T* operator->() const { return &value(); }

    template <typename U>
    T value_or(U&& fallback) const& {
        return has_value() ? value() : static_cast<T>(std::forward<U>(fallback));
    }
    template <typename U>
    T value_or(U&& fallback) && {
        return has_value() ? std::move(*this).value() : static_cast<T>(std::forward<U>(fallback));
    }

    const Error& error() const {
        assert(!has_value());
        return std::get<1>(state_);
    }

private:
    std::variant<T, Error> state_;
};

// A call that only succeeds or fails. `return {};` is success.
template <>
class [[nodiscard]] Expected<void> {
public:
    Expected() = default;
    Expected(Failure failure) : error_(std::move(failure.error)), failed_(true) {}

    bool has_value() const { return !failed_; }
    explicit operator bool() const { return has_value(); }

    const Error& error() const {
        assert(failed_);
        return error_;
    }

private:
    Error error_;
    bool failed_ = false;
};

}  // namespace platform
