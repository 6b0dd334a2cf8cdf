// The page's "incomingMessageHandler" body as the notification code reads it: text forms of
// "title" and "body", "icon" and "id" only as text within their limits, "iconRadius" only as a
// number.

#include <gtest/gtest.h>

#include "settings/UserNotification.h"

using parlivo::IncomingMessage;
using platform::PropertyList;

TEST(IncomingMessage, ReadsThePagesBodyLikeItsTextForms) {
    struct Case {
        const char* name;
        PropertyList title, body, icon, radius, id;
        std::string expectTitle, expectBody, expectIcon;
        std::optional<double> expectRadius;
        std::string expectId;
    };
    const std::string longId(IncomingMessage::maximumIdentifierLength + 1, '1');
    const std::string maxId(IncomingMessage::maximumIdentifierLength, '1');
    const std::vector<Case> cases = {
        {"strings", "Ann", "Hi", "data:image/png;base64,AAAA", 0.5, "491701234567@c.us", "Ann", "Hi",
         "data:image/png;base64,AAAA", 0.5, "491701234567@c.us"},
        {"missing and null", {}, nullptr, {}, {}, {}, "", "", "", std::nullopt, ""},
        {"numbers and truth values", 42, 2.5, 7, 1, true, "42", "2.5", "", 1.0, ""},
        {"collections", PropertyList(PropertyList::Array{"a", 1}), PropertyList::dictionary(), PropertyList::array(),
         "0.5", PropertyList::dictionary(), "(a, 1)", "{}", "", std::nullopt, ""},
        {"a tag at its limit", "A", "B", {}, {}, maxId, "A", "B", "", std::nullopt, maxId},
        {"a tag past its limit is none", "A", "B", {}, {}, longId, "A", "B", "", std::nullopt, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        PropertyList body = PropertyList::dictionary();
        body.set("title", c.title);
        body.set("body", c.body);
        body.set("icon", c.icon);
        body.set("iconRadius", c.radius);
        body.set("id", c.id);
        const auto message = IncomingMessage::fromMessageBody(body);
        EXPECT_EQ(message.title, c.expectTitle);
        EXPECT_EQ(message.body, c.expectBody);
        EXPECT_EQ(message.icon, c.expectIcon);
        EXPECT_EQ(message.iconRadius, c.expectRadius);
        EXPECT_EQ(message.id, c.expectId);
    }
    // A body that is no dictionary gives an empty message.
    const auto empty = IncomingMessage::fromMessageBody(PropertyList("just text"));
    EXPECT_TRUE(empty.title.empty() && empty.body.empty() && empty.id.empty());
}
