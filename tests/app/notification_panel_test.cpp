// The HTML notification panel's rules that need no display: which "minSize" names a size, how a
// resize is kept within the work area, the answer's script and the URLs a panel may load.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "notifications/WQNotificationCenter.h"

using namespace parlivo::notificationpanel;
using platform::PropertyList;

TEST(NotificationPanelRules, MinSizeNeedsTwoPositiveNumbers) {
    using Array = PropertyList::Array;
    const double nan = std::numeric_limits<double>::quiet_NaN();
    struct Case {
        const char* what;
        PropertyList minSize;
        std::optional<Size> expected;
    } cases[] = {
        {"integers", Array{800, 600}, Size{800, 600}},
        {"reals, extra elements ignored", Array{640.5, 480.0, "x"}, Size{640.5, 480}},
        {"absent", PropertyList(), std::nullopt},
        {"not an array", PropertyList("800x600"), std::nullopt},
        {"one number", Array{800}, std::nullopt},
        {"empty", Array{}, std::nullopt},
        {"a string first", Array{"800", 600}, std::nullopt},
        {"a Boolean second", Array{800, true}, std::nullopt},
        {"zero", Array{0, 600}, std::nullopt},
        {"negative", Array{800, -1}, std::nullopt},
        {"not a number", Array{nan, 600}, std::nullopt},
        {"infinite", Array{800, std::numeric_limits<double>::infinity()}, std::nullopt},
    };
    for (const auto& c : cases) EXPECT_EQ(requestedSize(c.minSize), c.expected) << c.what;
}

TEST(NotificationPanelRules, AResizeStaysWithinTheWorkArea) {
    const Rect area{0, 30, 1600, 970};  // a top panel of 30
    struct Case {
        const char* what;
        Rect current;
        Size size;
        Rect expected;
    } cases[] = {
        {"fits: the corner stays", {100, 100, 900, 600}, {800, 600}, {100, 100, 800, 600}},
        {"grows past the right edge: moved back in", {1000, 100, 400, 300}, {800, 600}, {800, 100, 800, 600}},
        {"grows past the bottom: moved up", {100, 700, 400, 300}, {800, 600}, {100, 400, 800, 600}},
        {"larger than the work area: the work area", {200, 200, 400, 300}, {5000, 4000}, {0, 30, 1600, 970}},
        {"outside to the top left: brought in", {-50, 0, 400, 300}, {400, 300}, {0, 30, 400, 300}},
    };
    for (const auto& c : cases) EXPECT_EQ(fitIntoWorkArea(c.current, c.size, area), c.expected) << c.what;
}

TEST(NotificationPanelRules, TheAnswerIsEscapedIntoTheCallbackAndOnlyWebPagesLoad) {
    EXPECT_EQ(callbackScript(7, "ok"), "wqNotificationCenter.callback(7, 'ok');");
    EXPECT_EQ(callbackScript(-3, "it's \"q\"\\\n</script>"),
              R"(wqNotificationCenter.callback(-3, 'it\u0027s \"q\"\\\n\u003c\/script>');)");

    for (const char* url : {"https://web.example.org/panel", "http://127.0.0.1:8080/x.html?a=1"}) EXPECT_TRUE(isPanelURL(url)) << url;
    for (const char* url : {"", "not a url", "/relative", "file:///etc/passwd", "javascript:alert(1)",
                            "data:text/html,<p>x</p>", "https://"})
        EXPECT_FALSE(isPanelURL(url)) << url;
}
