// The page's own microphone and camera with the real program and WebKit's stand-in capture
// devices: the first request asks the user in a dialog of the program's; an agreement lets the
// page record and is kept across a restart, a refusal is kept too; sub-frames, other origins and
// the page's wish for the location are refused without a question.
#include "DesktopSession.h"
#include "LoopbackHTTPServer.h"
#include "WebHostRun.h"

using namespace e2e;

namespace {

bool isQuestion(const Accessibility::Element& e) {
    return e.showing && (e.role == "alert" || e.role == "dialog") && e.name == "Microphone and Camera";
}

class PagePermissions : public ::testing::Test {
protected:
    void SetUp() override {
        windowManager = startWindowManager();
        ASSERT_TRUE(windowManager) << "openbox did not start";
    }

    // Starts the program with the stand-in capture devices; its window active, since WebKit gives
    // the microphone and camera only to a page that has the focus.
    void launch() {
        run.program.reset();
        ASSERT_TRUE(run.start({{"-de"}, {}, {{"ParlivoMockCaptureDevices", true}}}));
        const std::string window = run.mainWindow();
        ASSERT_FALSE(window.empty()) << run.program->output();
        ASSERT_TRUE(activate(window)) << run.program->output();
    }

    // What the page recorded for the request `tag`.
    PageRecord media(const std::string& tag, size_t from, const char* type = "media") {
        auto record = run.server.waitFor(
            [&](const PageRecord& r) { return r.type == type && r["tag"].stringOr() == tag; }, 60, from);
        if (!record) {
            ADD_FAILURE() << "no " << type << " record for " << tag << "\n" << run.program->output();
            return {};
        }
        return *record;
    }

    size_t outputMark() { return run.program->process().lines().size(); }
    bool logged(size_t from, const std::string& text) { return lineAfter(*run.program, from, text, 30) >= 0; }

    std::unique_ptr<testsupport::HostedProgram> windowManager;
    WebHostRun run;
};

}  // namespace

TEST_F(PagePermissions, TheUsersAnswerIsAskedOnceAndKeptAcrossARestart) {
    launch();
    auto& a11y = run.accessibility();

    // The first wish for the microphone asks; agreed, the page records from it.
    size_t from = run.server.mark();
    run.eval("Standin.media({audio: true}, 'first')");
    ASSERT_TRUE(a11y.waitFor(isQuestion)) << a11y.describe() << run.program->output();
    ASSERT_TRUE(a11y.press("Allow", "Microphone and Camera")) << a11y.describe();
    auto granted = media("first", from);
    EXPECT_EQ(granted["state"].stringOr(), "granted") << granted.json;
    EXPECT_EQ(granted["kinds"], list({"audio"})) << granted.json;
    EXPECT_GT(granted["recordedBytes"].asInt().value_or(0), 0) << granted.json;
    EXPECT_EQ(run.home.waitForSetting("pageMicrophoneAllowed", true)["pageMicrophoneAllowed"], PropertyList(true));

    // The camera refused: denied now and from now on, without a second question.
    from = run.server.mark();
    run.eval("Standin.media({video: true}, 'camera')");
    ASSERT_TRUE(a11y.waitFor(isQuestion)) << a11y.describe();
    ASSERT_TRUE(a11y.press("Don't Allow", "Microphone and Camera")) << a11y.describe();
    EXPECT_EQ(media("camera", from)["state"].stringOr(), "denied");
    EXPECT_EQ(run.home.waitForSetting("pageCameraAllowed", false)["pageCameraAllowed"], PropertyList(false));
    from = run.server.mark();
    run.eval("Standin.media({audio: true, video: true}, 'both')");
    EXPECT_EQ(media("both", from)["state"].stringOr(), "denied");
    EXPECT_FALSE(a11y.waitFor(isQuestion, 0));

    // After a restart the microphone is the page's without a question.
    EXPECT_EQ(run.stop(), 0);
    launch();
    size_t line = outputMark();
    from = run.server.mark();
    run.eval("Standin.media({audio: true}, 'again')");
    auto again = media("again", from);
    EXPECT_EQ(again["state"].stringOr(), "granted") << again.json;
    EXPECT_TRUE(logged(line, "Permission microphone for " + run.server.origin() + "/: allowed (agreed before)"))
        << run.program->output();
    EXPECT_FALSE(run.accessibility().waitFor(isQuestion, 0));
    EXPECT_EQ(run.stop(), 0);
}

TEST_F(PagePermissions, FramesOtherOriginsAndTheLocationAreRefusedWithoutAQuestion) {
    // Agreed before: whatever is refused here is refused for where it comes from.
    run.home.writeSettings(dictionary({{"pageMicrophoneAllowed", true}, {"pageCameraAllowed", true}}));
    launch();

    size_t from = run.server.mark();
    run.eval("Standin.mediaInFrame({audio: true}, 'frame')");
    auto frame = media("frame", from);
    EXPECT_EQ(frame["state"].stringOr(), "denied") << frame.json;
    EXPECT_EQ(frame["error"].stringOr(), "NotAllowedError") << frame.json;

    size_t line = outputMark();
    from = run.server.mark();
    run.eval("Standin.location('where')");
    EXPECT_EQ(media("where", from, "location")["state"].stringOr(), "denied");
    EXPECT_TRUE(logged(line, "Permission geolocation for " + run.server.origin() + "/: denied (never allowed)"))
        << run.program->output();

    // A page of another origin in the main frame asks and reports back to the stand-in server.
    testsupport::LoopbackHTTPServer other;
    const std::string report = "fetch('" + run.server.origin() +
                               "/__standin/records', {method: 'POST', mode: 'no-cors', body: JSON.stringify({seq: 1, "
                               "type: 'media', tag: 'other', state: s}) + '\\n', headers: {'Content-Type': 'text/plain'}})";
    other.route("/", {testsupport::LoopbackHTTPServer::response(
                         "200 OK",
                         "<!DOCTYPE html><script>navigator.mediaDevices.getUserMedia({audio: true}).then("
                         "function () { return 'granted'; }, function (e) { return 'denied'; }).then(function (s) { " +
                             report + "; });</script>",
                         "Content-Type: text/html\r\n")});
    line = outputMark();
    from = run.server.mark();
    run.server.eval("location.href = " + js(other.url("/")));
    EXPECT_EQ(media("other", from)["state"].stringOr(), "denied");
    EXPECT_TRUE(logged(line, "Permission microphone for " + other.url("/") + ": denied (not the page's own origin)"))
        << run.program->output();
    EXPECT_FALSE(run.accessibility().waitFor(isQuestion, 0));
    EXPECT_EQ(run.stop(), 0);
}
