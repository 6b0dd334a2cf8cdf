#include "settings/UserNotification.h"

#include "StringExtensions.h"
#include "foundation/Log.h"

namespace parlivo {

namespace {

// The standard textual description of a page value, as a notification shows it. Nesting beyond
// a few levels is not worth reading and is left out.
std::string textForm(const platform::PropertyList& value, int depth = 0) {
    using Type = platform::PropertyList::Type;
    if (depth > 16) return "...";
    switch (value.type()) {
    case Type::string:
        return *value.asString();
    case Type::integer:
        return tovak::jsNumber(*value.asInt());
    case Type::real:
        return tovak::jsNumber(*value.asReal());
    case Type::boolean:
        return *value.asBool() ? "1" : "0";
    case Type::array: {
        std::string text = "(";
        for (const auto& element : *value.asArray()) text += (text.size() > 1 ? ", " : "") + textForm(element, depth + 1);
        return text + ")";
    }
    case Type::dictionary: {
        std::string text = "{";
        for (const auto& [key, element] : *value.asDictionary())
            text += (text.size() > 1 ? "; " : "") + key + " = " + textForm(element, depth + 1);
        return text + "}";
    }
    default:
        return {};
    }
}

}  // namespace

IncomingMessage IncomingMessage::fromMessageBody(const platform::PropertyList& body) {
    IncomingMessage message;
    if (!body.isDictionary()) return message;
    message.title = textForm(body["title"]);
    message.body = textForm(body["body"]);
    if (const std::string* icon = body["icon"].asString()) {
        if (icon->size() <= maximumIconLength)
            message.icon = *icon;
        else
            platform::systemLog("A sender picture of the page was too large and is left out", platform::LogLevel::notice);
    }
    message.iconRadius = body["iconRadius"].asReal();
    if (const std::string* id = body["id"].asString()) {
        if (id->size() <= maximumIdentifierLength)
            message.id = *id;
        else
            platform::systemLog("A message of the page named no valid chat; its notification opens no chat",
                                platform::LogLevel::notice);
    }
    return message;
}

}  // namespace parlivo
