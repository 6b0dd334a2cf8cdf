// The modal progress sheet as a real dialog over a window: its lines, its progress bar, its
// stop button (and Escape) running the stop action while the sheet stays; the window host's
// sheets and messages; and a conversion stopped with the real button sending nothing.
#include <gtest/gtest.h>
#include <gtkmm/main.h>

#include <cmath>
#include <limits>

#include "MediaFixtures.h"
#include "RunLoop.h"
#include "media/AssetExportSession.h"
#include "media/WQMediaConversionChain.h"
#include "media/WQModalProgressWindowController.h"

using namespace mediafixtures;
using parlivo::WQMediaConversionWindowHost;
using parlivo::WQModalProgressWindowController;

namespace {

class ModalProgressSheetTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        gtk_init(nullptr, nullptr);
        Gtk::Main::init_gtkmm_internals();
    }
    void SetUp() override {
        parent.set_title("Parlivo");
        parent.show();
    }
    Gtk::Window parent;
};

// Records the sheets it makes, so the test can press their buttons.
class RecordingHost : public WQMediaConversionWindowHost {
public:
    using WQMediaConversionWindowHost::WQMediaConversionWindowHost;
    std::vector<std::shared_ptr<WQModalProgressWindowController>> sheets;
    std::shared_ptr<parlivo::WQModalProgressSheet> makeProgressSheet(const std::string& title,
                                                                    const std::optional<std::string>& subTitle,
                                                                    std::function<void()> stopAction) override {
        auto sheet = WQMediaConversionWindowHost::makeProgressSheet(title, subTitle, std::move(stopAction));
        sheets.push_back(std::dynamic_pointer_cast<WQModalProgressWindowController>(sheet));
        return sheet;
    }
};

class CollectingPage : public platform::JavaScriptEvaluator {
public:
    std::vector<std::string> scripts;
    void evaluateJavaScript(const std::string& script, Completion) override { scripts.push_back(script); }
};

}  // namespace

TEST_F(ModalProgressSheetTest, LinesAndProgressFollowWhatTheSheetWasGiven) {
    struct Case {
        std::optional<std::string> title, subTitle;
        std::string shownTitle;
        bool subtitleShown;
    };
    const Case cases[] = {
        {"Converting Video", "holiday.mov", "Converting Video", true},
        {"Converting Video", std::nullopt, "Converting Video", false},
        {"Converting Video", "", "Converting Video", true},  // an empty line, not a hidden one
        {std::nullopt, std::nullopt, "Loading ...", false},
    };
    for (const auto& c : cases) {
        auto sheet = WQModalProgressWindowController::create(c.title, c.subTitle, nullptr, &parent);
        ASSERT_TRUE(sheet->window());
        sheet->beginSheet();
        EXPECT_EQ(sheet->labelTextField()->get_text(), c.shownTitle);
        EXPECT_EQ(sheet->subtitleTextField()->get_visible(), c.subtitleShown);
        if (c.subtitleShown) {
            EXPECT_EQ(sheet->subtitleTextField()->get_text(), *c.subTitle);
        }
        // Loading the window again gives the same state.
        sheet->windowDidLoad();
        EXPECT_EQ(sheet->labelTextField()->get_text(), c.shownTitle);
        EXPECT_EQ(sheet->subtitleTextField()->get_visible(), c.subtitleShown);
    }

    auto sheet = WQModalProgressWindowController::create("Converting Video", std::nullopt, nullptr, &parent);
    for (auto [reported, shown] : {std::pair{0.35, 0.35}, std::pair{1.0, 1.0}, std::pair{-1.0, 0.0},
                                   std::pair{7.0, 1.0}, std::pair{std::nan(""), 0.0}}) {
        sheet->progressDidChange(reported);
        EXPECT_DOUBLE_EQ(sheet->progressIndicator()->get_fraction(), shown) << reported;
    }
}

TEST_F(ModalProgressSheetTest, StopRunsTheActionEveryTimeAndTheSheetStaysUntilEnded) {
    int stops = 0;
    auto sheet = WQModalProgressWindowController::create("Converting Video", "a.mov", [&] { ++stops; }, &parent);
    sheet->beginSheet();
    Gtk::Dialog& dialog = *sheet->window();
    ASSERT_TRUE(testsupport::runLoopUntil([&] { return dialog.get_mapped(); }));
    EXPECT_TRUE(dialog.get_modal());
    EXPECT_EQ(dialog.get_transient_for(), &parent);

    sheet->stopButton()->clicked();
    sheet->stopButton()->clicked();
    EXPECT_EQ(stops, 2);
    EXPECT_TRUE(dialog.get_visible());

    // Escape (the dialog's close) asks to stop as well; the dialog is not destroyed.
    GdkEventAny event{};
    event.type = GDK_DELETE;
    event.window = dialog.get_window()->gobj();
    dialog.event(reinterpret_cast<GdkEvent*>(&event));
    EXPECT_EQ(stops, 3);
    EXPECT_TRUE(dialog.get_visible());

    sheet->endSheet();
    EXPECT_FALSE(dialog.get_visible());
    sheet->endSheet();  // harmless twice

    // Without a stop action the button does nothing.
    auto quiet = WQModalProgressWindowController::create("Converting Video", std::nullopt, nullptr, &parent);
    quiet->stopButton()->clicked();
}

TEST_F(ModalProgressSheetTest, TheWindowHostShowsSheetsAndMessagesOverItsWindow) {
    WQMediaConversionWindowHost windowless(nullptr);
    EXPECT_FALSE(windowless.makeProgressSheet("Converting Video", std::nullopt, [] {}));

    WQMediaConversionWindowHost host(&parent);
    auto sheet = std::dynamic_pointer_cast<WQModalProgressWindowController>(
        host.makeProgressSheet("Converting Video", "b.mov", [] {}));
    ASSERT_TRUE(sheet && sheet->window());
    EXPECT_EQ(sheet->window()->get_transient_for(), &parent);
    EXPECT_FALSE(sheet->window()->get_visible());  // made, not begun

    host.presentMessage("“big.mov” is too large to send.", "Files sent this way can be up to 100 MB each.");
    ASSERT_EQ(host.messages().size(), 1u);
    Gtk::MessageDialog& message = *host.messages().front();
    EXPECT_TRUE(message.get_visible());
    EXPECT_EQ(message.get_transient_for(), &parent);
    EXPECT_EQ(message.property_text().get_value(), "“big.mov” is too large to send.");
    EXPECT_EQ(message.property_secondary_text().get_value(), "Files sent this way can be up to 100 MB each.");
    message.response(Gtk::RESPONSE_OK);
    EXPECT_TRUE(host.messages().empty());
}

TEST_F(ModalProgressSheetTest, TheRealStopButtonEndsAConversionWithNothingSent) {
    const fs::path movie = workDir("progress-sheet") / "long.mov";
    makeWithFFmpeg(movie, {"-f", "lavfi", "-i", "testsrc=size=640x480:rate=25", "-t", "20", "-c:v", "libx264",
                           "-preset", "ultrafast"});
    const fs::path note = workDir("progress-sheet") / "note.txt";
    writeFile(note, "after the movie");

    auto host = std::make_shared<RecordingHost>(&parent);
    auto page = std::make_shared<CollectingPage>();
    auto chain = parlivo::WQMediaConversionChain::create(nullptr);
    chain->setHost(host);
    chain->setWebView(page);
    chain->movieSettings = [] {
        return parlivo::WQMediaConversionChain::MovieSettings{
            parlivo::MovieFileMode::avFoundation, 1,
            std::vector<std::string>{std::string(platform::AssetExportSession::presetHighestQuality)}};
    };
    chain->convertNextFile({movie}, std::nullopt);
    chain->sendFiles({note}, std::nullopt);

    ASSERT_EQ(host->sheets.size(), 1u);
    auto sheet = host->sheets.front();
    ASSERT_TRUE(testsupport::runLoopUntil([&] { return sheet->window()->get_mapped(); }));
    EXPECT_EQ(sheet->subtitleTextField()->get_text(), "long.mov");
    sheet->stopButton()->clicked();

    ASSERT_TRUE(testsupport::runLoopUntil([&] { return !page->scripts.empty(); }, 60));
    EXPECT_FALSE(sheet->window()->get_visible());
    ASSERT_EQ(page->scripts.size(), 1u);
    const auto call = parsePageCall(page->scripts[0]);
    ASSERT_TRUE(call);
    EXPECT_EQ(call->names, std::vector<std::string>{"note.txt"});
}
