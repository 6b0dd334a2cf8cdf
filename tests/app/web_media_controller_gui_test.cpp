// The web media bridge in a real window, with a fake open panel and a fake page: what each page
// message asks of the panel, where the chosen files go by movie mode and file input, the guards
// (no window, the lock, one panel at a time), the real progress sheet's stop, and the camera laid
// over the main view with the test picture and tone: a photo and a video to the page, back, the
// lock and the window's close letting the camera go.
#include <gtest/gtest.h>
#include <gtkmm.h>

#include <sys/stat.h>

#include <cstdlib>

#include "MediaFixtures.h"
#include "RunLoop.h"
#include "foundation/MainQueue.h"
#include "foundation/NotificationCenter.h"
#include "foundation/UserDefaults.h"
#include "media/AssetExportSession.h"
#include "media/CaptureSource.h"
#include "media/WQMediaImageView.h"
#include "media/WQModalProgressWindowController.h"
#include "media/WQWebMediaController.h"
#include "settings/Keys.h"
#include "settings/NotificationNames.h"

using namespace parlivo;
using namespace mediafixtures;
using platform::PropertyList;
using Kind = WQWebMediaControllerMediaType;
using State = WQMediaViewController::State;

namespace {

class FakePage : public platform::JavaScriptEvaluator {
public:
    std::vector<std::string> scripts;
    void evaluateJavaScript(const std::string& script, Completion completion) override {
        scripts.push_back(script);
        if (completion) platform::MainQueue::async([completion] { completion({}); });
    }
};

// Records every panel shown; the test answers it as the user would.
class FakePanel : public WQOpenPanel {
public:
    struct Shown {
        Options options;
        std::shared_ptr<Gtk::Window> window;
        Completion done;
    };
    std::vector<Shown> shown;
    void beginSheet(const std::shared_ptr<Gtk::Window>& window, const Options& options, Completion done) override {
        shown.push_back({options, window, std::move(done)});
    }
    void answer(std::optional<std::vector<fs::path>> urls) {
        ASSERT_FALSE(shown.empty());
        auto done = std::move(shown.back().done);
        ASSERT_TRUE(done) << "answered twice";
        done(std::move(urls));
    }
};

// The main view controller's part: a window whose content is an overlay with the "page" in it.
class FakeParent : public WQWebMediaParent {
public:
    FakeParent() {
        window->set_default_size(800, 600);
        overlay.add(page);
        window->add(overlay);
        window->show_all();
    }
    ~FakeParent() override { window->remove(); }

    std::shared_ptr<Gtk::Window> mediaWindow() override { return windowless ? nullptr : window; }
    void addCameraView(Gtk::Widget& view) override {
        overlay.add_overlay(view);
        view.show();
    }
    void removeCameraView(Gtk::Widget& view) override { static_cast<Gtk::Container&>(overlay).remove(view); }
    void setWebViewHidden(bool hidden) override { page.set_visible(!hidden); }
    void focusWebContainer() override { ++focused; }

    bool cameraOnScreen() const { return overlay.get_children().size() > 1; }

    std::shared_ptr<Gtk::Window> window = std::make_shared<Gtk::Window>();
    Gtk::Overlay overlay;
    Gtk::Label page{"page"};
    bool windowless = false;
    int focused = 0;
};

PropertyList body(std::initializer_list<std::pair<const char*, PropertyList>> entries) {
    PropertyList dictionary = PropertyList::dictionary();
    for (const auto& [key, value] : entries) dictionary.set(key, value);
    return dictionary;
}

void setLocked(bool locked) {
    platform::UserDefaults::standard().setBool(std::string(keys::privacyLockdown), locked);
    platform::NotificationCenter::defaultCenter().post(names::privacyChanged, nullptr);
}

}  // namespace

class WebMediaControllerTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        setenv("PARLIVO_CAMERA_SOURCE", "test", 1);
        setenv("PARLIVO_MICROPHONE_SOURCE", "test", 1);
        setenv("PARLIVO_AUDIO_SINK", "fakesink", 1);
        ASSERT_TRUE(gtk_init_check(nullptr, nullptr)) << "needs a display";
        Gtk::Main::init_gtkmm_internals();
        makeHEIF(heic(), 64, 48);
        writeFile(pdf(), "%PDF-1.4\n% a document\n%%EOF\n");
        makeWithFFmpeg(movie(), {"-f", "lavfi", "-i", "testsrc=size=320x240:rate=15", "-t", "2", "-c:v", "libx264",
                                 "-preset", "ultrafast"});
    }
    static fs::path dir() { return workDir("web-media"); }
    static fs::path heic() { return dir() / "a.heic"; }
    static fs::path pdf() { return dir() / "it's.pdf"; }
    static fs::path movie() { return dir() / "b.mov"; }

    void SetUp() override {
        setLocked(false);
        platform::UserDefaults::standard().remove(std::string(keys::mediaType));
        WQWebMediaController::Environment environment;
        environment.openPanel = panel;
        environment.movieSettings = [this] {
            return WQMediaConversionChain::MovieSettings{mode, 1, std::vector<std::string>{
                                                                      std::string(platform::AssetExportSession::presetLowQuality)}};
        };
        environment.camera.movieSettings = [this] {
            return WQMediaViewController::MovieSettings{mode, 0, 0, 1, {}};
        };
        environment.camera.camera.width = 320;
        environment.camera.camera.height = 240;
        environment.camera.deliveryDelay = 0.05;
        controller = WQWebMediaController::create(std::move(environment));
        controller->parentViewController = parent;
        controller->webView = page;
    }

    void TearDown() override {
        controller.reset();
        parent.reset();
        EXPECT_TRUE(testsupport::runLoopUntil([] { return platform::livePipelineCount() == 0; }, 20));
        setLocked(false);
    }

    void post(const PropertyList& messageBody, std::string_view name = WQWebMediaController::messageName) {
        controller->didReceiveScriptMessage({std::string(name), messageBody, page});
    }

    PageCall waitForCall(std::size_t index) {
        EXPECT_TRUE(testsupport::runLoopUntil([&] { return page->scripts.size() > index; }, 120));
        if (page->scripts.size() <= index) return {};
        auto call = parsePageCall(page->scripts[index]);
        EXPECT_TRUE(call) << page->scripts[index].substr(0, 200);
        return call.value_or(PageCall{});
    }

    bool waitForCamera(State state) {
        return testsupport::runLoopUntil([&] { return controller->camera() && controller->camera()->state() == state; }, 30);
    }

    std::optional<MovieFileMode> mode = MovieFileMode::raw;
    std::shared_ptr<FakePage> page = std::make_shared<FakePage>();
    std::shared_ptr<FakePanel> panel = std::make_shared<FakePanel>();
    std::shared_ptr<FakeParent> parent = std::make_shared<FakeParent>();
    std::shared_ptr<WQWebMediaController> controller;
};

TEST_F(WebMediaControllerTest, EachMessageOpensThePanelItAsksFor) {
    struct Case {
        std::string name;
        PropertyList body;
        std::optional<std::vector<std::string>> allowed;  // none: no panel
        bool multiple = false;
        std::optional<std::string> id;                   // lastFileInputId afterwards
    };
    const std::vector<Case> cases{
        {"no kinds: photos and videos", body({{"action", "openFile"}, {"id", "f1"}, {"multiple", true}}),
         std::vector<std::string>{"public.image", "public.movie"}, true, "f1"},
        {"a document: no types", body({{"action", "openFile"}, {"id", "f1"}, {"multiple", false}, {"document", true}}),
         std::vector<std::string>{}, false, "f1"},
        {"the document replaces the others",
         body({{"action", "openFile"}, {"id", "f1"}, {"multiple", 1}, {"photo", true}, {"document", 1}}),
         std::vector<std::string>{}, true, "f1"},
        {"video only", body({{"action", "openFile"}, {"id", "f1"}, {"multiple", 0}, {"video", true}, {"photo", "yes"}}),
         std::vector<std::string>{"public.movie"}, false, "f1"},
        {"given types replace the kinds",
         body({{"action", "openFile"}, {"id", "f1"}, {"multiple", true}, {"video", true}, {"utiType", "public.pdf"}}),
         std::vector<std::string>{"public.pdf"}, true, "f1"},
        {"split at commas only",
         body({{"action", "openFile"}, {"id", "f1"}, {"multiple", true}, {"utiType", "public.png, public.jpeg,"}}),
         std::vector<std::string>{"public.png", " public.jpeg", ""}, true, "f1"},
        {"MIME types after the given types",
         body({{"action", "openFile"}, {"id", "f1"}, {"multiple", true}, {"utiType", "public.plain-text"},
               {"mimeType", "image/png,application/pdf"}}),
         std::vector<std::string>{"public.plain-text", "public.png", "com.adobe.pdf"}, true, "f1"},
        {"no id", body({{"action", "openFile"}, {"multiple", true}}), std::nullopt, false, std::nullopt},
        {"an id that is no string", body({{"action", "openFile"}, {"id", 7}, {"multiple", true}}), std::nullopt, false,
         std::nullopt},
        {"no multiple", body({{"action", "openFile"}, {"id", "f1"}}), std::nullopt, false, "f1"},
        {"a multiple that is no boolean", body({{"action", "openFile"}, {"id", "f1"}, {"multiple", 2}}), std::nullopt,
         false, "f1"},
        {"another action still sets the id", body({{"action", "somethingElse"}, {"id", "x9"}}), std::nullopt, false,
         "x9"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        controller->lastFileInputId = "before";
        const std::size_t before = panel->shown.size();
        post(c.body);
        EXPECT_EQ(controller->lastFileInputId, c.id);
        if (!c.allowed) {
            EXPECT_EQ(panel->shown.size(), before);
            continue;
        }
        ASSERT_EQ(panel->shown.size(), before + 1);
        const auto& shown = panel->shown.back();
        EXPECT_EQ(shown.options.allowedFileTypes, *c.allowed);
        EXPECT_EQ(shown.options.allowsMultipleSelection, c.multiple);
        EXPECT_FALSE(shown.options.allowsOtherFileTypes);
        EXPECT_TRUE(shown.options.canChooseFiles);
        EXPECT_FALSE(shown.options.canChooseDirectories);
        EXPECT_EQ(shown.window, parent->window);
        panel->answer(std::nullopt);
    }

    // Not for us, or no action: nothing at all, not even the id.
    controller->lastFileInputId = "kept";
    post(body({{"action", "openFile"}, {"id", "f2"}, {"multiple", true}}), "otherHandler");
    post(body({{"id", "f2"}, {"multiple", true}}));
    post(body({{"action", 3}, {"id", "f2"}}));
    post(PropertyList("openFile"));
    EXPECT_EQ(controller->lastFileInputId, "kept");
    // A cancelled panel sends nothing.
    platform::MainQueue::async([] {});
    testsupport::drainMainQueue();
    EXPECT_TRUE(page->scripts.empty());
}

// The chosen files go to the input the panel was opened for, in one call, converted only in the
// movie mode avFoundation; the menu's panel (no input) drops them into the chat.
TEST_F(WebMediaControllerTest, ChosenFilesGoToTheirInputByTheMovieMode) {
    mode = MovieFileMode::raw;
    post(body({{"action", "openFile"}, {"id", "in'put"}, {"multiple", true}}));
    post(body({{"action", "somethingElse"}, {"id", "later"}}));  // the panel keeps its own input
    panel->answer(std::vector<fs::path>{heic(), pdf()});
    PageCall call = waitForCall(0);
    EXPECT_EQ(call.function, "wqOpenFileURLsWithID");
    EXPECT_EQ(call.id, "in'put");
    ASSERT_EQ(call.dataURLs.size(), 2u);
    EXPECT_EQ(decodeDataURL(call.dataURLs[0])->first, "image/heic") << "sent as it is";
    EXPECT_EQ(decodeDataURL(call.dataURLs[0])->second, readFile(heic()));
    EXPECT_EQ(decodeDataURL(call.dataURLs[1])->second, readFile(pdf()));
    EXPECT_EQ(call.names, (std::vector<std::string>{"a.heic", "it's.pdf"}));
    EXPECT_NE(page->scripts[0].find(R"('in\u0027put')"), std::string::npos) << "the id is escaped";

    mode = MovieFileMode::avFoundation;
    controller->showOpenPanel(std::nullopt, {Kind::photo}, {}, true);  // the menu's image command
    EXPECT_EQ(panel->shown.back().options.allowedFileTypes, std::vector<std::string>{"public.image"});
    panel->answer(std::vector<fs::path>{heic()});
    call = waitForCall(1);
    EXPECT_EQ(call.function, "wqDropFileURLs");
    ASSERT_EQ(call.dataURLs.size(), 1u);
    EXPECT_EQ(decodeDataURL(call.dataURLs[0])->first, "image/jpeg") << "converted";
    EXPECT_EQ(call.names, std::vector<std::string>{"a.jpg"});
}

// What a chooser (or a portal) may hand back besides plain files: a pipe that no one writes, a
// folder, a file that is gone. None of them stalls or breaks the answer; the plain files reach the
// input, in either movie mode. A link the user chose in the chooser is the file it points to.
TEST_F(WebMediaControllerTest, ChosenItemsThatAreNoPlainFilesAreLeftOut) {
    const fs::path fifo = dir() / "pipe.pdf", folder = dir() / "folder.pdf", link = dir() / "link.pdf";
    std::error_code ignored;
    fs::remove(fifo, ignored);
    fs::remove(link, ignored);
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    fs::create_directories(folder);
    fs::create_symlink(pdf(), link);
    const std::vector<fs::path> chosen{fifo, folder, link, dir() / "gone.pdf", pdf()};
    std::size_t index = 0;
    for (auto movieMode : {MovieFileMode::raw, MovieFileMode::avFoundation}) {
        SCOPED_TRACE(int(movieMode));
        mode = movieMode;
        post(body({{"action", "openFile"}, {"id", "f1"}, {"multiple", true}, {"document", true}}));
        panel->answer(chosen);
        const PageCall call = waitForCall(index++);
        EXPECT_EQ(call.id, "f1");
        ASSERT_EQ(call.dataURLs.size(), 2u);
        EXPECT_EQ(decodeDataURL(call.dataURLs[0])->second, readFile(pdf()));
        EXPECT_EQ(decodeDataURL(call.dataURLs[1])->second, readFile(pdf()));
        EXPECT_EQ(call.names, (std::vector<std::string>{"link.pdf", "it's.pdf"}));
    }
}

TEST_F(WebMediaControllerTest, NoPanelOrCameraWithoutAWindowOrBehindTheLock) {
    const auto openFile = body({{"action", "openFile"}, {"id", "f1"}, {"multiple", true}});
    parent->windowless = true;
    post(openFile);
    EXPECT_TRUE(panel->shown.empty());
    parent->windowless = false;

    // One panel at a time: a second request while one waits is dropped.
    post(openFile);
    post(openFile);
    controller->showOpenPanel(std::nullopt, {Kind::video}, {}, true);
    ASSERT_EQ(panel->shown.size(), 1u);
    EXPECT_TRUE(controller->isShowingOpenPanel());

    // The lock came while the panel was up: the answer is dropped.
    setLocked(true);
    panel->answer(std::vector<fs::path>{pdf()});
    EXPECT_FALSE(controller->isShowingOpenPanel());
    post(openFile);
    post(body({{"action", "startCamera"}, {"id", "c1"}}));
    controller->showCamera({Kind::photo, Kind::video});
    EXPECT_EQ(panel->shown.size(), 1u);
    EXPECT_FALSE(controller->camera());
    EXPECT_FALSE(parent->cameraOnScreen());

    // Unlocked, the next request goes through, and it is the first thing the page hears.
    setLocked(false);
    post(openFile);
    ASSERT_EQ(panel->shown.size(), 2u);
    panel->answer(std::vector<fs::path>{pdf()});
    const PageCall call = waitForCall(0);
    EXPECT_EQ(page->scripts.size(), 1u);
    EXPECT_EQ(call.names, std::vector<std::string>{"it's.pdf"});
}

// Stop on the real progress sheet over the window ends the request: nothing of it reaches the
// page, and the next request is the next thing the page hears.
TEST_F(WebMediaControllerTest, StopOnTheProgressSheetSendsNothing) {
    mode = MovieFileMode::avFoundation;
    post(body({{"action", "openFile"}, {"id", "f1"}, {"multiple", true}}));
    panel->answer(std::vector<fs::path>{movie(), pdf()});
    // The sheet over the window (it is destroyed once it closes: looked up afresh each time).
    auto findSheet = [&]() -> Gtk::Dialog* {
        for (Gtk::Window* window : Gtk::Window::list_toplevels())
            if (auto* dialog = dynamic_cast<Gtk::Dialog*>(window);
                dialog && dialog->get_visible() && dialog->get_transient_for() == parent->window.get())
                return dialog;
        return nullptr;
    };
    ASSERT_TRUE(testsupport::runLoopUntil([&] { return findSheet() != nullptr; }));
    Gtk::Dialog* sheet = findSheet();
    Gtk::Button* stop = nullptr;
    for (Gtk::Widget* child : sheet->get_action_area()->get_children())
        if (auto* button = dynamic_cast<Gtk::Button*>(child)) stop = button;
    ASSERT_TRUE(stop);
    stop->clicked();
    ASSERT_TRUE(testsupport::runLoopUntil([&] { return findSheet() == nullptr; }));

    post(body({{"action", "openFile"}, {"id", "f2"}, {"multiple", true}}));
    panel->answer(std::vector<fs::path>{pdf()});
    const PageCall call = waitForCall(0);
    EXPECT_EQ(call.id, "f2");
    EXPECT_EQ(page->scripts.size(), 1u);
    EXPECT_FALSE(controller->conversionChain()->isBusy());
}

TEST_F(WebMediaControllerTest, ACameraPhotoAndVideoReachThePage) {
    storeMediaType(WQMediaType::photo);
    post(body({{"action", "startCamera"}, {"id", "c7"}, {"photo", true}}));
    auto camera = controller->camera();
    ASSERT_TRUE(camera);
    EXPECT_TRUE(parent->cameraOnScreen());
    EXPECT_FALSE(parent->page.get_visible()) << "the page is hidden under the camera";
    // A second request while the camera is up keeps the one on screen.
    post(body({{"action", "startCamera"}, {"id", "c7"}}));
    EXPECT_EQ(controller->camera(), camera);

    ASSERT_TRUE(waitForCamera(State::ready));
    camera->recordButton().clicked();
    ASSERT_TRUE(waitForCamera(State::editing));
    camera->photoEditor()->sendButton().clicked();
    PageCall call = waitForCall(0);
    EXPECT_EQ(call.function, "wqOpenFileURLsWithID");
    EXPECT_EQ(call.id, "c7");
    ASSERT_EQ(call.dataURLs.size(), 1u);
    auto photo = decodeDataURL(call.dataURLs[0]);
    EXPECT_EQ(photo->first, "image/jpeg");
    EXPECT_EQ(jpegSize(photo->second), (std::pair{320, 240}));
    EXPECT_EQ(call.names, std::vector<std::string>{"unknown.jpeg"});
    // The camera is gone, the page back and focused, the input answered.
    EXPECT_FALSE(controller->camera());
    EXPECT_FALSE(parent->cameraOnScreen());
    EXPECT_TRUE(parent->page.get_visible());
    EXPECT_EQ(parent->focused, 1);
    EXPECT_FALSE(controller->lastFileInputId);
    camera.reset();
    EXPECT_TRUE(testsupport::runLoopUntil([] { return platform::livePipelineCount() == 0; }));

    // From the menu, with no input waiting: a recording goes as a drop without names.
    storeMediaType(WQMediaType::video);
    controller->showCamera({Kind::photo, Kind::video});
    camera = controller->camera();
    ASSERT_TRUE(camera && waitForCamera(State::ready));
    camera->recordButton().clicked();
    ASSERT_TRUE(testsupport::runLoopUntil([&] { return camera->session().recordedDuration() > 0.5; }, 20));
    camera->recordButton().clicked();
    call = waitForCall(1);
    EXPECT_EQ(call.function, "wqDropFileURLs");
    EXPECT_FALSE(call.hasNames);
    ASSERT_EQ(call.dataURLs.size(), 1u);
    auto video = decodeDataURL(call.dataURLs[0]);
    EXPECT_EQ(video->first, "video/mp4");
    const std::string brand = majorBrand(video->second);
    EXPECT_TRUE(brand == "isom" || brand == "mp42") << brand;
    EXPECT_FALSE(controller->camera());
    EXPECT_EQ(parent->focused, 2);
}

// Back, the lock and the window going away each close the camera: nothing is sent, the page
// comes back and every capture pipeline is let go.
TEST_F(WebMediaControllerTest, TheCameraIsLetGoOnBackTheLockAndTheWindowsClose) {
    const std::vector<std::pair<std::string, std::function<void()>>> ends{
        {"back", [&] { controller->camera()->backButton().clicked(); }},
        {"the lock", [&] { setLocked(true); }},
        {"the window's close", [&] { parent->window->hide(); }},
    };
    for (const auto& [name, end] : ends) {
        SCOPED_TRACE(name);
        setLocked(false);
        parent->window->show();
        post(body({{"action", "startCamera"}, {"id", "c1"}}));
        ASSERT_TRUE(waitForCamera(State::ready));
        EXPECT_GT(platform::livePipelineCount(), 0);
        end();
        ASSERT_TRUE(testsupport::runLoopUntil([&] { return !controller->camera(); }));
        EXPECT_FALSE(parent->cameraOnScreen());
        EXPECT_TRUE(parent->page.get_visible());
        EXPECT_FALSE(controller->lastFileInputId);
        EXPECT_TRUE(testsupport::runLoopUntil([] { return platform::livePipelineCount() == 0; }));
    }
    testsupport::drainMainQueue();
    EXPECT_TRUE(page->scripts.empty());
}
