// The in-window notification pane: collapsed at first, one record at a time with its image,
// text, buttons and progress indicator, buttons that reach their actions, collapsing with the
// last record, leaving the queue with its window; and its place in the main window.

#include <gtest/gtest.h>
#include <gtkmm/main.h>
#include <gtkmm/window.h>

#include "RunLoop.h"
#include "notifications/WQWindowNotificationSplitViewController.h"
#include "shell/WQWindowController.h"

using namespace parlivo;
using testsupport::runLoopUntil;

namespace {

class WindowNotificationPaneTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        gtk_init(nullptr, nullptr);
        Gtk::Main::init_gtkmm_internals();
    }

    void SetUp() override {
        window = std::make_unique<Gtk::Window>();
        window->set_default_size(900, 500);
        // Owned by the window, as the main window's widgets are.
        auto* layout = Gtk::manage(new Gtk::Box(Gtk::ORIENTATION_VERTICAL));
        slot = Gtk::manage(new Gtk::Box(Gtk::ORIENTATION_VERTICAL));
        auto* webContent = Gtk::manage(new Gtk::Label("web content"));
        window->add(*layout);
        layout->pack_start(*slot, Gtk::PACK_SHRINK);
        layout->pack_start(*webContent, Gtk::PACK_EXPAND_WIDGET);
        layout->show();
        slot->show();
        webContent->show();
        pane = WQWindowNotificationSplitViewController::attach(*slot, *queue);
        ASSERT_TRUE(pane);
        window->show();
    }

    void TearDown() override { window.reset(); }

    // A record whose buttons log their clicks and end it through its delegate.
    std::shared_ptr<WQWindowNotification> record(const std::string& text, std::int64_t priority, int buttons,
                                                 bool progress = false) {
        auto action = [this](std::string name, bool finish) -> WQWindowNotification::Action {
            return [this, name, finish](WQWindowNotification& n) {
                clicks.push_back(n.text + ": " + name);
                if (auto delegate = n.delegate.lock(); finish && delegate) delegate->windowNotificationDidFinish(n.shared_from_this());
            };
        };
        auto n = WQWindowNotification::create(
            text, "AppIconLarge", "Yes", action("yes", true),
            buttons >= 2 ? std::optional<std::string>("No") : std::nullopt, buttons >= 2 ? action("no", true) : WQWindowNotification::Action(),
            buttons >= 3 ? std::optional<std::string>("Later") : std::nullopt,
            buttons >= 3 ? action("later", false) : WQWindowNotification::Action(), priority);
        n->showProgress = progress;
        return n;
    }

    WQWindowNotificationViewController& view() { return pane->notificationViewController(); }

    // Waits until the pane has opened and laid out its content.
    void waitUntilShown(const std::string& text) {
        ASSERT_TRUE(runLoopUntil([&] {
            return pane->isExpanded() && pane->pane()->get_child_revealed() && view().textField->get_text() == text &&
                   view().button1->get_allocated_width() > 1;
        }));
    }

    // x of a widget in window coordinates.
    int windowX(Gtk::Widget& widget) {
        int x = 0, y = 0;
        widget.translate_coordinates(*window, 0, 0, x, y);
        return x;
    }

    std::shared_ptr<WQWindowNotificationController> queue = std::make_shared<WQWindowNotificationController>();
    std::unique_ptr<Gtk::Window> window;
    Gtk::Box* slot = nullptr;
    std::shared_ptr<WQWindowNotificationSplitViewController> pane;
    std::vector<std::string> clicks;
};

}  // namespace

TEST_F(WindowNotificationPaneTest, ShowsOneRecordAtATimeAndCollapsesAfterTheLast) {
    EXPECT_FALSE(pane->isExpanded());
    EXPECT_EQ(queue->viewDelegate().get(), pane.get());
    EXPECT_EQ(slot->get_children().front(), pane->pane());

    queue->addNotification(record("Launch at login?", 1000, 3, true));
    queue->addNotification(record("Less urgent", 5, 1, true));
    waitUntilShown("Launch at login?");
    EXPECT_TRUE(view().imageView->get_pixbuf());
    EXPECT_EQ(view().button1->get_label(), "Yes");
    EXPECT_EQ(view().button2->get_label(), "No");
    EXPECT_EQ(view().button3->get_label(), "Later");
    for (auto* button : {view().button1, view().button2, view().button3}) EXPECT_TRUE(button->get_visible());
    EXPECT_TRUE(view().progressIndicator->get_visible());
    EXPECT_TRUE(view().progressIndicator->property_active());
    // The buttons read from the right: the first is rightmost; the indicator sits left of them.
    EXPECT_LT(windowX(*view().button3), windowX(*view().button2));
    EXPECT_LT(windowX(*view().button2), windowX(*view().button1));
    EXPECT_EQ(windowX(*view().progressIndicator), windowX(*view().button3) - 18);

    // A button without an end keeps the record; one that ends it brings up the next.
    view().button3->clicked();
    EXPECT_EQ(view().textField->get_text(), "Launch at login?");
    view().button1->clicked();
    waitUntilShown("Less urgent");
    EXPECT_TRUE(view().button1->get_visible());
    EXPECT_FALSE(view().button2->get_visible());
    EXPECT_FALSE(view().button3->get_visible());
    // Laid out again without the hidden buttons: the indicator moves next to the first.
    EXPECT_TRUE(runLoopUntil([&] { return windowX(*view().progressIndicator) == windowX(*view().button1) - 18; }));

    view().button1->clicked();
    ASSERT_TRUE(runLoopUntil([&] { return !pane->isExpanded(); }));
    // Closed, the pane still holds the last record until the next one.
    EXPECT_EQ(view().textField->get_text(), "Less urgent");
    EXPECT_EQ(clicks, (std::vector<std::string>{"Launch at login?: later", "Launch at login?: yes", "Less urgent: yes"}));
}

TEST_F(WindowNotificationPaneTest, EachButtonReachesItsOwnActionAndAMissingOneDoesNothing) {
    auto prompt = record("Choose", 10, 3);
    queue->addNotification(prompt);
    waitUntilShown("Choose");
    view().button3->clicked();
    view().button2->clicked();  // ends it
    ASSERT_TRUE(runLoopUntil([&] { return !pane->isExpanded(); }));
    EXPECT_EQ(clicks, (std::vector<std::string>{"Choose: later", "Choose: no"}));

    // A record without a second action: its button (shown with a title) does nothing.
    auto partial = WQWindowNotification::create("Partial", "AppIconLarge", "OK", [this](WQWindowNotification&) {
        clicks.push_back("partial ok");
    }, std::string("Other"), nullptr, std::nullopt, nullptr, 10);
    queue->addNotification(partial);
    waitUntilShown("Partial");
    view().button2->clicked();
    view().button1->clicked();
    EXPECT_EQ(clicks.back(), "partial ok");
    EXPECT_EQ(clicks.size(), 3u);
}

TEST_F(WindowNotificationPaneTest, APaneThatGoesAwayLeavesTheQueue) {
    queue->addNotification(record("Waiting", 10, 1));
    waitUntilShown("Waiting");
    std::weak_ptr<WQWindowNotificationSplitViewController> weak = pane;
    pane.reset();
    window.reset();  // destroys the pane's widgets
    EXPECT_FALSE(queue->viewDelegate());
    EXPECT_TRUE(weak.expired());
    EXPECT_EQ(queue->notificationQueue().size(), 1u);  // the record waits for the next window
}

TEST(MainWindowNotificationPane, SitsAboveTheWebContainerAndShowsTheSharedQueue) {
    gtk_init(nullptr, nullptr);
    Gtk::Main::init_gtkmm_internals();
    auto controller = WQWindowController::instantiate(nullptr);
    ASSERT_TRUE(controller);
    auto& queue = WQWindowNotificationController::shared();
    auto display = std::dynamic_pointer_cast<WQWindowNotificationSplitViewController>(queue.viewDelegate());
    ASSERT_TRUE(display);

    auto* content = controller->contentView();
    auto* layout = dynamic_cast<Gtk::Box*>(content->get_parent());
    ASSERT_TRUE(layout);
    const auto children = layout->get_children();
    const auto at = std::find(children.begin(), children.end(), content);
    ASSERT_NE(at, children.begin());
    auto* slot = dynamic_cast<Gtk::Box*>(*(at - 1));
    ASSERT_TRUE(slot);
    EXPECT_EQ(slot->get_children().front(), display->pane());

    controller->makeKeyAndOrderFront();
    auto prompt = WQWindowNotification::create("Hello", "AppIconLarge", "OK", [](WQWindowNotification& n) {
        n.delegate.lock()->windowNotificationDidFinish(n.shared_from_this());
    }, std::nullopt, nullptr, std::nullopt, nullptr, 1);
    queue.addNotification(prompt);
    ASSERT_TRUE(runLoopUntil([&] { return display->isExpanded(); }));
    display->notificationViewController().button1->clicked();
    ASSERT_TRUE(runLoopUntil([&] { return !display->isExpanded(); }));

    controller->destroyWindow();
    EXPECT_FALSE(queue.viewDelegate());
}
