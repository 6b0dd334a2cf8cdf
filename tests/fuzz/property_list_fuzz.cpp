// Parses any bytes as a property list (XML or binary, detected from the bytes). A value that
// parses must also serialize and parse again.
#include "foundation/PropertyList.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using platform::PropertyList;
    auto value = PropertyList::parse(std::string_view(reinterpret_cast<const char*>(data), size));
    if (!value) return 0;
    (void)(*value)["key"][0].asString();
    const auto binary = value->toBinary();
    const std::string xml = value->toXml();
    // Only nulls have no written form, and parse never makes one.
    if (binary.empty() || xml.empty() || !PropertyList::parse(binary) || !PropertyList::parse(xml)) std::abort();
    return 0;
}
