// Reads any bytes as a keyed archive with the strict reader, allowing the classes the program
// uses. Any bytes give a tree or a reason, never a crash.
#include "foundation/KeyedArchive.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using platform::KeyedArchive;
    static const KeyedArchive::ReadOptions options = [] {
        KeyedArchive::ReadOptions o;
        o.allowedClasses = {"NSArray",  "NSMutableArray",  "NSDictionary", "NSMutableDictionary", "NSString",
                            "NSMutableString", "NSURL", "NSDate", "NSAttributedString"};
        o.classNames = {{"TextPatch", "TextPatch"}};
        return o;
    }();
    auto decoded = KeyedArchive::read(std::string_view(reinterpret_cast<const char*>(data), size), options);
    if (!decoded) {
        if (decoded.error().message.empty()) std::abort();  // every failure says why
        return 0;
    }
    (void)decoded->absoluteURL();
    // The writer must cope with whatever the reader produced, and its output must read.
    const auto written = KeyedArchive::write(*decoded);
    if (!written.empty()) (void)KeyedArchive::read(written, options);
    return 0;
}
