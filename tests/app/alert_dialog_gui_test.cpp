#include <gtest/gtest.h>

#include <gtkmm.h>

#include <memory>

#include "FakeJavaScriptEvaluator.h"
#include "RunLoop.h"
#include "foundation/NotificationCenter.h"
#include "foundation/UserDefaults.h"
#include "settings/Keys.h"
#include "settings/NotificationNames.h"
#include "ui/Appearance.h"
#include "web/WQAlertCenter.h"
#include "web/WQAlertDialog.h"

using namespace parlivo;
using platform::PropertyList;

namespace {

class TestCenter : public WQAlertCenter {
public:
    explicit TestCenter(std::string appearance) : WQAlertCenter(std::move(appearance)) {
        setPresenter(makeAlertDialogPresenter());
    }
};

class AlertDialogTest : public testing::Test {
protected:
    static void SetUpTestSuite() {
        gtk_init(nullptr, nullptr);
        Gtk::Main::init_gtkmm_internals();
    }

    std::shared_ptr<FakeJavaScriptEvaluator> page = std::make_shared<FakeJavaScriptEvaluator>();

    void post(WQAlertCenter& center, int64_t id, PropertyList::Array titles) {
        center.didReceiveScriptMessage(platform::ScriptMessage{
            "WQAlertHandler",
            PropertyList(PropertyList::Dictionary{{"id", id},
                                                  {"title", "Leave group?"},
                                                  {"message", "You can <b>rejoin</b> later."},
                                                  {"buttonTitles", PropertyList(std::move(titles))}}),
            page});
    }

    static std::vector<Gtk::MessageDialog*> visibleAlerts() {
        std::vector<Gtk::MessageDialog*> found;
        for (auto* window : Gtk::Window::list_toplevels())
            if (auto* dialog = dynamic_cast<Gtk::MessageDialog*>(window); dialog && dialog->get_visible())
                found.push_back(dialog);
        return found;
    }
    // The alert on screen, once it is there.
    static Gtk::MessageDialog* openAlert() {
        testsupport::runLoopUntil([&] { return !visibleAlerts().empty(); });
        const auto found = visibleAlerts();
        return found.size() == 1 ? found[0] : nullptr;
    }
    static bool alertGone() {
        return testsupport::runLoopUntil([] { return visibleAlerts().empty(); });
    }

    static std::vector<Gtk::Button*> buttons(Gtk::MessageDialog& dialog) {
        std::vector<Gtk::Button*> result;
        for (auto* child : dialog.get_action_area()->get_children())
            if (auto* button = dynamic_cast<Gtk::Button*>(child)) result.push_back(button);
        return result;
    }

    bool answered(const std::string& script) {
        return testsupport::runLoopUntil([&] { return !page->scripts.empty(); }) &&
               page->scripts == std::vector<std::string>{script};
    }
};

}  // namespace

TEST_F(AlertDialogTest, SitsOnTheWindowAndAnswersThePressedButton) {
    auto window = std::make_shared<Gtk::Window>();
    window->show();
    TestCenter center{std::string(platform::Appearance::kVibrantDark)};
    center.setWindow(window);
    post(center, 4, {"Leave_Now", PropertyList(int64_t(0)), "Cancel"});

    Gtk::MessageDialog* dialog = openAlert();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->get_transient_for(), window.get());
    EXPECT_TRUE(dialog->get_modal());
    EXPECT_EQ(dialog->property_text().get_value(), "Leave group?");
    EXPECT_EQ(dialog->property_secondary_text().get_value(), "You can <b>rejoin</b> later.");
    EXPECT_FALSE(dialog->property_secondary_use_markup().get_value());
    EXPECT_TRUE(dialog->get_style_context()->has_class("parlivo-dark"));
    const auto shown = buttons(*dialog);
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[0]->get_label(), "Leave_Now");
    EXPECT_FALSE(shown[0]->get_use_underline());  // the page's underscore is no mnemonic
    EXPECT_EQ(shown[1]->get_label(), "Cancel");

    shown[1]->clicked();
    EXPECT_TRUE(answered("wqAlertCenter.callback(4, 2);"));
    EXPECT_TRUE(alertGone());
}

TEST_F(AlertDialogTest, EscapeEndsTheAlertWithTheNoButtonAnswer) {
    auto window = std::make_shared<Gtk::Window>();
    window->show();
    TestCenter center{std::string(platform::Appearance::kVibrantLight)};
    center.setWindow(window);
    post(center, 5, {"OK"});
    Gtk::MessageDialog* dialog = openAlert();
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(dialog->get_style_context()->has_class("parlivo-light"));
    g_signal_emit_by_name(dialog->gobj(), "close");  // what the Escape key does
    EXPECT_TRUE(answered("wqAlertCenter.callback(5, -1);"));
    EXPECT_TRUE(alertGone());
}

TEST_F(AlertDialogTest, WithoutAWindowItIsAFreeDialogThatDoesNotHoldTheLoop) {
    TestCenter center{std::string(platform::Appearance::kVibrantLight)};
    post(center, 6, {});  // no titles: the platform's own OK
    Gtk::MessageDialog* dialog = openAlert();  // reached only because present() returned
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->get_transient_for(), nullptr);
    EXPECT_FALSE(dialog->get_modal());
    const auto shown = buttons(*dialog);
    ASSERT_EQ(shown.size(), 1u);
    shown[0]->clicked();
    EXPECT_TRUE(answered("wqAlertCenter.callback(6, -1);"));
    EXPECT_TRUE(alertGone());
}

// The privacy lock engages while an alert is open (the user went idle): the alert steps aside,
// unanswered, and one the page asks for meanwhile waits; both come once the lock is released.
TEST_F(AlertDialogTest, BehindThePrivacyLockNoAlertShowsAndNoneIsAnswered) {
    auto setLocked = [](bool locked) {  // as the settings model does it
        platform::UserDefaults::standard().setBool(std::string(keys::privacyLockdown), locked);
        platform::NotificationCenter::defaultCenter().post(names::privacyChanged);
    };
    auto window = std::make_shared<Gtk::Window>();
    window->show();
    TestCenter center{std::string(platform::Appearance::kVibrantLight)};
    center.setWindow(window);
    post(center, 7, {"Stay"});
    Gtk::MessageDialog* first = openAlert();
    ASSERT_NE(first, nullptr);

    setLocked(true);
    EXPECT_TRUE(alertGone());
    post(center, 8, {"OK"});
    ASSERT_TRUE(testsupport::drainIdleWork());
    EXPECT_TRUE(visibleAlerts().empty());
    EXPECT_TRUE(page->scripts.empty()) << "nothing is answered behind the lock";

    setLocked(false);
    ASSERT_TRUE(testsupport::runLoopUntil([] { return visibleAlerts().size() == 2; }));
    buttons(*first)[0]->clicked();
    EXPECT_TRUE(answered("wqAlertCenter.callback(7, 0);"));
    Gtk::MessageDialog* second = openAlert();
    ASSERT_NE(second, nullptr);
    EXPECT_NE(second, first);
    buttons(*second)[0]->clicked();
    ASSERT_TRUE(testsupport::runLoopUntil([&] { return page->scripts.size() == 2; }));
    EXPECT_EQ(page->scripts[1], "wqAlertCenter.callback(8, 0);");
    EXPECT_TRUE(alertGone());
}
