#pragma once

#include <functional>
#include <string>

namespace parlivo {

// The buttons of the "Need help?" prompt, as its response codes.
namespace SupportAlertResponse {
inline constexpr int readFAQ = 1000;
inline constexpr int contactSupport = 1001;
inline constexpr int back = 1002;
}  // namespace SupportAlertResponse

// What the prompt's buttons do: readFAQ opens the configuration's FAQ page, contactSupport
// composes a support mail, other responses nothing. An FAQ address no program opens, and a
// support mail with no mail program to take it, are logged and handed to `notOpened` with the
// address, so the user hears of both the same way.
void handleSupportAlertResponse(int response, const std::function<void(const std::string& address)>& notOpened);

}  // namespace parlivo
