// A chat message as the page posts it becomes a desktop notification's texts: any body (here
// read from property-list bytes, or the bytes as one text) gives a message whose tag is within
// its limit, and texts for the server that are valid UTF-8, cut to length and, for servers
// that read markup, free of raw markup.
#include <glib.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "foundation/PropertyList.h"
#include "settings/UserNotification.h"
#include "ui/UserNotificationCenter.h"

namespace {

using platform::UserNotificationCenter;

void checkText(const std::string& text, std::size_t maximumCharacters) {
    if (!g_utf8_validate(text.data(), static_cast<gssize>(text.size()), nullptr)) std::abort();
    if (static_cast<std::size_t>(g_utf8_strlen(text.c_str(), -1)) > maximumCharacters) std::abort();
}

void checkMarkup(const std::string& text) {
    if (!g_utf8_validate(text.data(), static_cast<gssize>(text.size()), nullptr)) std::abort();
    if (text.find('<') != std::string::npos || text.find('>') != std::string::npos) std::abort();
    // Every ampersand starts an entity.
    for (std::size_t at = text.find('&'); at != std::string::npos; at = text.find('&', at + 1))
        if (text.find(';', at) == std::string::npos) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    platform::PropertyList body;
    if (auto parsed = platform::PropertyList::parse(bytes)) {
        body = *parsed;
    } else {
        body = platform::PropertyList::dictionary();
        body.set("title", bytes.substr(0, size / 2));
        body.set("body", bytes.substr(size / 2));
        body.set("id", bytes.substr(0, 40));
    }
    const auto message = parlivo::IncomingMessage::fromMessageBody(body);
    if (message.id.size() > parlivo::IncomingMessage::maximumIdentifierLength) std::abort();
    if (message.icon.size() > parlivo::IncomingMessage::maximumIconLength) std::abort();

    checkText(UserNotificationCenter::summaryText(message.title), UserNotificationCenter::maximumTitleLength);
    checkText(UserNotificationCenter::bodyText(message.body, false), UserNotificationCenter::maximumBodyLength);
    checkMarkup(UserNotificationCenter::bodyText(message.body, true));
    return 0;
}
