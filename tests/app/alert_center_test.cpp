#include <gtest/gtest.h>

#include <memory>

#include "FakeJavaScriptEvaluator.h"
#include "ui/Appearance.h"
#include "web/WQAlertCenter.h"

using namespace parlivo;
using platform::PropertyList;

namespace {

// Records what would go on screen and lets the test end each alert.
class FakePresenter : public WQAlertCenter::Presenter {
public:
    struct Shown {
        WQAlertCenter::Request request;
        std::function<void(long)> done;
    };
    std::vector<Shown> shown;

    void present(const WQAlertCenter::Request& request, std::function<void(long)> done) override {
        shown.push_back({request, std::move(done)});
    }
};

class TestCenter : public WQAlertCenter {
public:
    TestCenter() : WQAlertCenter(std::string(platform::Appearance::kVibrantLight)) {}
};

struct Fixture {
    TestCenter center;
    std::shared_ptr<FakePresenter> presenter = std::make_shared<FakePresenter>();
    std::shared_ptr<FakeJavaScriptEvaluator> page = std::make_shared<FakeJavaScriptEvaluator>();

    Fixture() { center.setPresenter(presenter); }

    void post(PropertyList body, std::string name = "WQAlertHandler") {
        center.didReceiveScriptMessage(platform::ScriptMessage{std::move(name), std::move(body), page});
    }
};

PropertyList request(PropertyList id, PropertyList titles, std::string title = "Delete chat?",
                     std::string message = "This cannot be undone.") {
    return PropertyList(PropertyList::Dictionary{
        {"id", std::move(id)}, {"title", title}, {"message", message}, {"buttonTitles", std::move(titles)}});
}

PropertyList titles(std::initializer_list<PropertyList> elements) { return PropertyList(PropertyList::Array(elements)); }

}  // namespace

TEST(WQAlertCenterTest, AButtonIsAnsweredWithItsPositionInTheRequest) {
    Fixture f;
    f.post(request(7, titles({"OK", int64_t(3), "Cancel"})));
    ASSERT_EQ(f.presenter->shown.size(), 1u);
    const auto& shown = f.presenter->shown[0].request;
    EXPECT_EQ(shown.title, "Delete chat?");
    EXPECT_EQ(shown.message, "This cannot be undone.");
    EXPECT_EQ(shown.buttonTitles, (std::vector<std::string>{"OK", "Cancel"}));  // the number makes no button
    EXPECT_EQ(shown.style, WQAlertCenter::Style::informational);

    f.presenter->shown[0].done(WQAlertCenter::firstButtonResponse + 1);  // "Cancel"
    f.presenter->shown[0].done(WQAlertCenter::firstButtonResponse);      // a second end changes nothing
    EXPECT_EQ(f.page->scripts, (std::vector<std::string>{"wqAlertCenter.callback(7, 2);"}));
}

TEST(WQAlertCenterTest, AnAlertEndedWithoutAPageButtonIsAnsweredOnce) {
    struct Case {
        const char* what;
        PropertyList titles;
        long response;
    };
    const std::vector<Case> cases = {
        {"closed", titles({"OK", "Cancel"}), WQAlertCenter::dismissedResponse},
        {"a response past the buttons", titles({"OK"}), WQAlertCenter::firstButtonResponse + 1},
        {"no titles: the platform's own OK", titles({}), WQAlertCenter::firstButtonResponse},
        {"no string titles", titles({int64_t(1), PropertyList(), titles({"nested"})}), WQAlertCenter::dismissedResponse},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Fixture f;
        f.post(request(-12, c.titles));
        ASSERT_EQ(f.presenter->shown.size(), 1u);
        f.presenter->shown[0].done(c.response);
        f.presenter->shown[0].done(c.response);
        EXPECT_EQ(f.page->scripts, (std::vector<std::string>{"wqAlertCenter.callback(-12, -1);"}));
    }
}

TEST(WQAlertCenterTest, MalformedOrOversizedRequestsShowNothing) {
    PropertyList deep = titles({"OK"});
    for (int i = 0; i < 200; ++i) deep = titles({deep});
    std::vector<PropertyList> manyButtons(WQAlertCenter::maximumButtonCount + 1, PropertyList("B"));
    const std::string invalidUTF8 = "\xff\xfe";

    const std::vector<PropertyList> bodies = {
        PropertyList("not a dictionary"),
        titles({request(1, titles({"OK"}))}),
        request("7", titles({"OK"})),     // id as a string
        request(1.5, titles({"OK"})),     // not an integer
        request(true, titles({"OK"})),
        request(1, PropertyList("OK")),   // titles not an array
        request(1, PropertyList(PropertyList::Dictionary{{"0", PropertyList("OK")}})),
        PropertyList(PropertyList::Dictionary{{"id", 1}, {"title", "t"}, {"buttonTitles", titles({"OK"})}}),
        PropertyList(PropertyList::Dictionary{{"id", 1}, {"title", 2}, {"message", "m"}, {"buttonTitles", titles({})}}),
        request(1, titles({"OK"}), std::string(WQAlertCenter::maximumTitleSize + 1, 't')),
        request(1, titles({"OK"}), "t", std::string(WQAlertCenter::maximumMessageSize + 1, 'm')),
        request(1, titles({PropertyList(std::string(WQAlertCenter::maximumButtonTitleSize + 1, 'b'))})),
        request(1, PropertyList(PropertyList::Array(manyButtons))),
        request(1, titles({"OK"}), invalidUTF8),
        deep,
    };
    Fixture f;
    for (const auto& body : bodies) f.post(body);
    f.post(request(1, titles({"OK"})), "WQAlertHandlerX");
    EXPECT_TRUE(f.presenter->shown.empty());

    // A nested array among the titles is only an element that makes no button.
    f.post(request(2, titles({deep, "Fine"})));
    ASSERT_EQ(f.presenter->shown.size(), 1u);
    f.presenter->shown[0].done(WQAlertCenter::firstButtonResponse);
    EXPECT_EQ(f.page->scripts, (std::vector<std::string>{"wqAlertCenter.callback(2, 1);"}));
}

TEST(WQAlertCenterTest, TheAnswerGoesToTheRequestingPageWhileItExists) {
    Fixture f;
    f.post(request(1, titles({"OK"})));
    f.post(request(2, titles({"OK"})));
    f.presenter->shown[1].done(WQAlertCenter::firstButtonResponse);
    f.page.reset();  // the web view goes away while the first alert is open
    f.presenter->shown[0].done(WQAlertCenter::firstButtonResponse);  // nothing to answer, nothing breaks
    SUCCEED();
}

TEST(WQAlertCenterTest, AlertsTakeTheCurrentAppearanceAndWindow) {
    Fixture f;
    f.post(request(1, titles({"OK"})));
    f.center.setAppearance(std::string(platform::Appearance::kVibrantDark));
    f.post(request(2, titles({"OK"})));
    ASSERT_EQ(f.presenter->shown.size(), 2u);
    EXPECT_EQ(f.presenter->shown[0].request.appearance, platform::Appearance::kVibrantLight);
    EXPECT_EQ(f.presenter->shown[1].request.appearance, platform::Appearance::kVibrantDark);

    // Native alerts of the program itself: their own style, and the dismissed action.
    int pressed = 0, dismissed = 0;
    f.center.showAlert("Title", "Text", {{"Go", [&] { ++pressed; }}}, WQAlertCenter::Style::warning,
                       [&] { ++dismissed; });
    EXPECT_EQ(f.presenter->shown[2].request.style, WQAlertCenter::Style::warning);
    f.presenter->shown[2].done(WQAlertCenter::dismissedResponse);
    EXPECT_EQ(pressed, 0);
    EXPECT_EQ(dismissed, 1);
}
