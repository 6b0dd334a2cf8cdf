// The page's alerts end to end: the request shows a GTK dialog over the main window, the user
// presses one of its buttons (through the accessibility bus, as a click does, or the keyboard),
// and the page hears which one, exactly once.
#include "WebHostRun.h"

using namespace e2e;

namespace {

bool isAlert(const Accessibility::Element& e) { return e.showing && (e.role == "alert" || e.role == "dialog"); }

}  // namespace

TEST(WebHostAlerts, EachAlertIsAnsweredOnceWithThePressedButton) {
    WebHostRun run;
    ASSERT_TRUE(run.start());
    auto& server = run.server;
    auto& a11y = run.accessibility();

    struct Case {
        const char* what;
        int64_t id;
        PropertyList buttons;
        const char* press;  // the button to press; empty: Escape
        int64_t index;      // the answer's index
    };
    const Case cases[] = {
        {"a title that made no button still counts", 7, list({"OK", 3, "Cancel"}), "Cancel", 2},
        {"the first button", 8, list({"Delete_all", "Keep"}), "Delete_all", 0},
        {"no button of the page's: the platform's OK", 9, PropertyList::array(), "OK", -1},
        {"closed with Escape", 10, list({"Stay"}), "", -1},
        {"only non-texts: the platform's OK", 11, list({1, PropertyList()}), "OK", -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const size_t from = server.mark();
        server.post("WQAlertHandler", dictionary({{"id", c.id},
                                                  {"title", "Title <b>\"" + std::to_string(c.id) + "\"</b>"},
                                                  {"message", "Line one\nline two"},
                                                  {"buttonTitles", c.buttons}}));
        // The page's texts as plain text, no markup.
        ASSERT_TRUE(a11y.waitFor(Accessibility::named("label", "Title <b>\"" + std::to_string(c.id) + "\"</b>")))
            << a11y.describe();
        if (*c.press) {
            ASSERT_TRUE(a11y.press(c.press)) << a11y.describe();
        } else {
            // The dialog has the keyboard: it was presented over the main window.
            ASSERT_EQ(std::system("xdotool key Escape"), 0);
        }
        auto answer = server.waitForCall("wqAlertCenter.callback", 30, from);
        ASSERT_TRUE(answer) << run.program->output();
        EXPECT_EQ(answer->args(), list({c.id, c.index}));
        EXPECT_TRUE(a11y.waitUntilGone(isAlert)) << a11y.describe();
        run.roundTrip();
        EXPECT_EQ(run.calls("wqAlertCenter.callback", from).size(), 1u);
    }

    // Requests that are no requests show nothing and get no answer.
    const size_t from = server.mark();
    server.post("WQAlertHandler", dictionary({{"id", "1"}, {"title", "t"}, {"message", "m"}, {"buttonTitles", list({"OK"})}}));
    server.post("WQAlertHandler", dictionary({{"id", 2}, {"title", "t"}, {"buttonTitles", list({"OK"})}}));
    server.post("WQAlertHandler", dictionary({{"id", 3}, {"title", "t"}, {"message", "m"}, {"buttonTitles", "OK"}}));
    PropertyList::Array many;
    for (int i = 0; i < 17; ++i) many.push_back("B" + std::to_string(i));
    server.post("WQAlertHandler", dictionary({{"id", 4}, {"title", "t"}, {"message", "m"}, {"buttonTitles", PropertyList(many)}}));
    run.roundTrip();
    EXPECT_FALSE(a11y.waitFor(isAlert, 0)) << a11y.describe();
    EXPECT_TRUE(run.calls("wqAlertCenter.callback", from).empty());
    EXPECT_EQ(run.stop(), 0);
}
