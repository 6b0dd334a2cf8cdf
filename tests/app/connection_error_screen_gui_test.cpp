#include <gtest/gtest.h>

#include <gtkmm.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "FakeMailProgram.h"
#include "RunLoop.h"
#include "config/DynamicData.h"
#include "config/DynamicDataErrorViewController.h"
#include "WidgetLookup.h"

using namespace parlivo;
namespace fs = std::filesystem;

namespace {

class ConnectionErrorScreenTest : public testing::Test {
protected:
    static void SetUpTestSuite() {
        gtk_init(nullptr, nullptr);
        Gtk::Main::init_gtkmm_internals();
    }
};

}  // namespace

TEST_F(ConnectionErrorScreenTest, ShowsTheLatestFailureEachTimeItAppears) {
    auto& data = DynamicData::shared();
    data.error = platform::Error{platform::URLErrorDomain, platform::URLErrorCode::secureConnectionFailed, "TLS"};
    auto controller = DynamicDataErrorViewController::create();
    Gtk::Window window;
    window.add(controller->view());
    window.show();
    ASSERT_TRUE(testsupport::runLoopUntil([&] { return controller->view().get_mapped(); }));

    auto* header = testsupport::findWidget<Gtk::Label>(controller->view(), "errorHeaderTextField");
    auto* body = testsupport::findWidget<Gtk::Label>(controller->view(), "errorBodyTextField");
    ASSERT_TRUE(header && body);
    EXPECT_EQ(header->get_text(), DynamicDataErrorViewController::headerText());
    EXPECT_EQ(body->get_text(), DynamicDataErrorViewController::bodyText(data.error));

    // A new failure while the screen is away: shown when it comes back.
    controller->view().hide();
    data.error = platform::Error{platform::URLErrorDomain, platform::URLErrorCode::notConnectedToInternet, "off"};
    controller->view().show();
    ASSERT_TRUE(testsupport::runLoopUntil([&] { return controller->view().get_mapped(); }));
    EXPECT_EQ(body->get_text(), DynamicDataErrorViewController::bodyText(data.error));
    data.error.reset();
}

TEST_F(ConnectionErrorScreenTest, TheButtonsRetryAndWriteToSupport) {
    const fs::path record = testsupport::installFakeMailProgram();
    auto& data = DynamicData::shared();
    data.errorDescription = "Error DD01";
    data.error = platform::Error{platform::URLErrorDomain, -1004, "Could not connect to server"};

    auto controller = DynamicDataErrorViewController::create();
    Gtk::Window window;
    window.add(controller->view());
    window.show();
    auto* tryAgain = testsupport::findWidget<Gtk::Button>(controller->view(), "tryAgainButton");
    auto* support = testsupport::findWidget<Gtk::Button>(controller->view(), "supportButton");
    ASSERT_TRUE(tryAgain && support);
    EXPECT_EQ(tryAgain->get_label(), "Try Again");
    EXPECT_EQ(support->get_label(), "Contact Support");

    tryAgain->clicked();  // no action yet: nothing happens
    int retries = 0;
    controller->setTryAgainAction([&] { ++retries; });
    tryAgain->clicked();
    EXPECT_EQ(retries, 1);

    support->clicked();
    ASSERT_TRUE(testsupport::runLoopUntil([&] { return fs::exists(record); }, 10));
    std::stringstream uri;
    uri << std::ifstream(record).rdbuf();
    EXPECT_EQ(uri.str().rfind("mailto:support@vantreo.net?subject=Parlivo%20for%20WhatsApp%20connection%20problem"
                              "&body=Add%20your%20personal%20message%20here",
                              0),
              0u)
        << uri.str();
    EXPECT_NE(uri.str().find("Optional%28%22Error%20DD01%22%29%0D%0A---%0D%0AOptional%28Error%20Domain%3DNSURLErrorDomain"
                             "%20Code%3D-1004"),
              std::string::npos)
        << uri.str();

    // The controller goes while the window still holds its view: the view leaves with it.
    controller.reset();
    EXPECT_EQ(window.get_child(), nullptr);
}
