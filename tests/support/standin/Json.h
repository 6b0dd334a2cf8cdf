#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "foundation/PropertyList.h"

namespace testsupport {

// JSON texts to and from property-list values, for the stand-in page's road: integers stay
// integers, other numbers become reals, null stays null. Data and dates have no JSON form and
// are written as null.
std::optional<platform::PropertyList> parseJSON(std::string_view text, std::string* error = nullptr);
std::string toJSON(const platform::PropertyList& value);
// A text as a JSON string literal (quotes included).
std::string jsonString(std::string_view text);

}  // namespace testsupport
