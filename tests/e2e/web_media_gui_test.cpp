// The page's media requests in the real program against the stand-in page: a file input's
// request goes through GTK's file chooser to the desktop portal (a fake one on the test's bus,
// which "chooses" a real file) and the file comes back to the page as a data URL; a voice
// recording from the test tone reaches the page in batches; the camera request lays the camera
// over the window.
#include <gtest/gtest.h>

#include <filesystem>
#include <cmath>
#include <fstream>
#include <string>

#include "FakeFileChooserPortal.h"
#include "Standin.h"
#include "system/Crypto.h"

namespace fs = std::filesystem;
using platform::PropertyList;
using testsupport::FakeFileChooserPortal;
using testsupport::HostedProgram;
using testsupport::StandinServer;

namespace {

PropertyList body(std::initializer_list<std::pair<const char*, PropertyList>> entries) {
    PropertyList dictionary = PropertyList::dictionary();
    for (const auto& [key, value] : entries) dictionary.set(key, value);
    return dictionary;
}

class WebMedia : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(server.ok()) << server.error();
        portal = FakeFileChooserPortal::start();
        ASSERT_TRUE(portal) << "no session bus, or the portal's name is taken";
        directory = testsupport::makeTemporaryDirectory("web-media");
        HostedProgram::Options options{{"-de"},
                                       {{"GTK_USE_PORTAL", "1"},
                                        {"PARLIVO_CAMERA_SOURCE", "test"},
                                        {"PARLIVO_MICROPHONE_SOURCE", "test"},
                                        {"PARLIVO_AUDIO_SINK", "fakesink"}}};
        program = HostedProgram::parlivo(server, options);
        ASSERT_TRUE(program->process().started()) << program->process().startError();
        ASSERT_TRUE(server.waitForEvent("didStartup", 120)) << program->output();
    }
    void TearDown() override {
        if (program) {
            EXPECT_EQ(program->stop(), 0) << program->output();
        }
        program.reset();
        std::error_code ignored;
        if (!directory.empty()) fs::remove_all(directory, ignored);
    }

    // Posts on the page and waits until the page has done it.
    void post(std::string_view handler, const PropertyList& message) {
        const auto command = server.post(handler, message);
        const auto done = server.waitForCommand(command);
        ASSERT_TRUE(done);
        ASSERT_EQ(done->type, "posted") << done->json;
    }

    // The page at the folder's address: the program takes a page address with a file extension
    // for a download.
    StandinServer server{StandinServer::Options{{{"PageURL", PropertyList("https://127.0.0.1:0/")}}, {}, {}, {}}};
    std::unique_ptr<FakeFileChooserPortal> portal;
    std::unique_ptr<HostedProgram> program;
    fs::path directory;
};

}  // namespace

// The page's attach button: the portal is asked for a modal chooser over the window with the
// input's types and several files; what the "user" picks reaches the page in one call for that
// input, unchanged in the configuration's movie mode (ffmpeg), with its name. Cancel sends nothing.
TEST_F(WebMedia, AFileChosenInThePortalReachesThePageInput) {
    const fs::path file = directory / "it's a note.txt";
    const std::string contents = "A note for the chat\n";
    std::ofstream(file) << contents;

    portal->answerNextWith(std::nullopt);
    size_t from = server.mark();
    post("WQWebMediaHandler", body({{"action", "openFile"}, {"id", "cancelled"}, {"multiple", false}, {"mimeType", "text/plain"}}));
    ASSERT_TRUE(portal->waitForRequests(1)) << program->output();

    portal->answerNextWith(std::vector<fs::path>{file});
    post("WQWebMediaHandler", body({{"action", "openFile"}, {"id", "in\"put'1"}, {"multiple", true}, {"mimeType", "text/plain"}}));
    ASSERT_TRUE(portal->waitForRequests(2)) << program->output();
    const auto request = portal->requests()[1];
    EXPECT_EQ(request.parentWindow.rfind("x11:", 0), 0u) << request.parentWindow;
    EXPECT_TRUE(request.modal);
    EXPECT_TRUE(request.multiple);
    EXPECT_FALSE(request.directory);
    ASSERT_FALSE(request.filters.empty());
    bool plainText = false;
    for (const auto& [kind, rule] : request.filters.front().second) plainText |= kind == 1 && rule == "text/plain";
    EXPECT_TRUE(plainText);
    EXPECT_FALSE(portal->requests()[0].multiple);

    const auto call = server.waitForCall("wqOpenFileURLsWithID", 60, from);
    ASSERT_TRUE(call) << program->output();
    ASSERT_EQ(call->args().size(), 3u);
    EXPECT_EQ(call->args()[0].stringOr(), "in\"put'1");
    ASSERT_EQ(call->args()[1].size(), 1u);
    const std::vector<uint8_t> bytes(contents.begin(), contents.end());
    EXPECT_EQ(call->args()[1][0].stringOr(), "data:text/plain;base64," + platform::Crypto::base64(bytes));
    EXPECT_EQ(call->args()[2][0].stringOr(), "it's a note.txt");
    // The cancelled request's input heard nothing; this call is the only one.
    EXPECT_EQ(server.calls("wqOpenFileURLsWithID", from).size(), 1u);
    EXPECT_TRUE(server.calls("wqDropFileURLs", from).empty());
}

// A voice message: the page starts recording with its rate and batch size, batches of that size
// come from the test tone, and stop ends them.
TEST_F(WebMedia, AVoiceRecordingReachesThePage) {
    const size_t from = server.mark();
    post("audioRecordHandler", body({{"action", "start"}, {"sampleRate", 16000}, {"bufferSize", 1024}}));
    const auto batch = server.waitForCall("wqSendAudio", 60, from);
    ASSERT_TRUE(batch) << program->output();
    ASSERT_EQ(batch->args().size(), 1u);
    ASSERT_EQ(batch->args()[0].size(), 1024u);
    bool sound = false;
    for (size_t i = 0; i < batch->args()[0].size(); ++i) {
        const double sample = batch->args()[0][i].asReal().value_or(2);
        ASSERT_LE(std::abs(sample), 1.0);
        sound |= sample != 0;
    }
    EXPECT_TRUE(sound) << "the test tone is no silence";
    EXPECT_TRUE(program->waitForOutput("Recording at 16000 Hz")) << program->output();

    post("audioRecordHandler", body({{"action", "stop"}}));
    // The page hears the end of the recording only after the last batch: a start that follows
    // begins again (its log line is the marker that the stop was handled first).
    const size_t lines = program->process().lines().size();
    post("audioRecordHandler", body({{"action", "start"}, {"sampleRate", 8000}, {"bufferSize", 256}}));
    EXPECT_GE(program->process().waitForLineAfter(lines, "Recording at 8000 Hz", 60), 0) << program->output();
    const auto next = server.waitFor(
        [](const auto& record) { return record.type == "call" && record.name == "wqSendAudio" && record.args()[0].size() == 256; },
        60, from);
    EXPECT_TRUE(next) << program->output();
    post("audioRecordHandler", body({{"action", "stop"}}));
}

// The camera button: the camera is laid over the window and its capture runs from the test
// picture; nothing reaches the page until the user takes something.
TEST_F(WebMedia, TheCameraRequestOpensTheCamera) {
    const size_t from = server.mark();
    size_t lines = program->process().lines().size();
    post("WQWebMediaHandler", body({{"action", "startCamera"}, {"id", "c1"}}));
    ASSERT_GE(program->process().waitForLineAfter(lines, "WQWebMediaController ===> Camera on screen", 60), 0)
        << program->output();
    EXPECT_GE(program->process().waitForLineAfter(lines, "WQMediaViewController ===> Camera running", 60), 0)
        << program->output();

    // One camera at a time: a second request keeps the one on screen.
    lines = program->process().lines().size();
    post("WQWebMediaHandler", body({{"action", "startCamera"}, {"id", "c2"}}));
    EXPECT_GE(program->process().waitForLineAfter(lines, "The camera is on screen already", 60), 0) << program->output();
    EXPECT_TRUE(server.calls("wqOpenFileURLsWithID", from).empty());
    EXPECT_TRUE(server.calls("wqDropFileURLs", from).empty());
}
