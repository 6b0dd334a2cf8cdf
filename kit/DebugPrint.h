#pragma once

#include <concepts>
#include <string_view>

namespace tovak {

// The one debug log of the program: "TypeName ===> message" on standard output, and only
// while WQDebugController::sharedInstance().debug() is on. Each line is written whole, so
// lines from several threads do not interleave. `typeName` is the logging class's own name:
// a class that logs gives it as `static constexpr std::string_view kClassName` and, when
// subclasses should log under their own name, as a virtual className().
void debugPrint(std::string_view typeName, std::string_view message);

// The object's own class name, for classes with className().
template <class T>
    requires requires(const T& object) {
        { object.className() } -> std::convertible_to<std::string_view>;
    }
void debugPrint(const T& object, std::string_view message) {
    debugPrint(std::string_view(object.className()), message);
}

}  // namespace tovak
