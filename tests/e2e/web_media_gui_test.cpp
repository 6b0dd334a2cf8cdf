// The page's media requests in the real program against the stand-in page: a file input's
// request goes through GTK's file chooser to the desktop portal (a fake one on the test's bus,
// which "chooses" a real file) and the file comes back to the page as a data URL; a voice
// recording from the test tone reaches the page in batches; the camera request lays the camera
// over the window, and what the user takes with it (pressed through the accessibility bus, as a
// click does) reaches the page: a photo through the photo editor, a video stopped by the user or
// by the configured length limit. Leaving the camera sends nothing and lets it go.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include <gdk-pixbuf/gdk-pixbuf.h>

#include "Accessibility.h"
#include "FakeFileChooserPortal.h"
#include "RunLoop.h"
#include "Standin.h"
#include "WQBase64DataConverter.h"
#include "system/Crypto.h"

namespace fs = std::filesystem;
using platform::PropertyList;
using testsupport::Accessibility;
using testsupport::FakeFileChooserPortal;
using testsupport::HostedProgram;
using testsupport::PageRecord;
using testsupport::ProgramHome;
using testsupport::StandinServer;

namespace {

PropertyList body(std::initializer_list<std::pair<const char*, PropertyList>> entries) {
    PropertyList dictionary = PropertyList::dictionary();
    for (const auto& [key, value] : entries) dictionary.set(key, value);
    return dictionary;
}

// The camera's controls as a screen reader sees them.
bool isButton(const Accessibility::Element& e, std::string_view name) {
    return e.showing && e.role == "push button" && e.name == name;
}
bool isModeSwitch(const Accessibility::Element& e) { return e.showing && e.role == "check box" && e.name == "Photo Mode"; }

// The stand-in configuration; the page at the folder's address: the program takes a page address
// with a file extension for a download.
std::map<std::string, PropertyList> configuration(std::map<std::string, PropertyList> values = {}) {
    values.emplace("PageURL", PropertyList("https://127.0.0.1:0/"));
    return values;
}

class WebMedia : public ::testing::Test {
protected:
    explicit WebMedia(std::map<std::string, PropertyList> values = configuration())
        : server(StandinServer::Options{std::move(values), {}, {}, {}, {}}) {}

    void SetUp() override {
        ASSERT_TRUE(server.ok()) << server.error();
        portal = FakeFileChooserPortal::start();
        ASSERT_TRUE(portal) << "no session bus, or the portal's name is taken";
        directory = testsupport::makeTemporaryDirectory("web-media");
        startProgram();
    }
    void startProgram() {
        HostedProgram::Options options{{"-de"},
                                       {{"GTK_USE_PORTAL", "1"},
                                        {"PARLIVO_CAMERA_SOURCE", "test"},
                                        {"PARLIVO_MICROPHONE_SOURCE", "test"},
                                        {"PARLIVO_AUDIO_SINK", "fakesink"}},
                                       {}};
        const size_t from = server.mark();
        // Settings of its own: the camera starts in its first-run mode (video).
        program = HostedProgram::parlivo(server, home.options(options));
        ASSERT_TRUE(program->process().started()) << program->process().startError();
        ASSERT_TRUE(server.waitForEvent("didStartup", 120, from)) << program->output();
    }
    // Quits the program and starts it again on the same settings.
    void restartProgram() {
        a11y_.reset();
        ASSERT_EQ(program->stop(), 0) << program->output();
        startProgram();
    }
    void TearDown() override {
        a11y_.reset();
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

    Accessibility& a11y() {
        if (!a11y_) a11y_ = std::make_unique<Accessibility>(program->pid());
        return *a11y_;
    }

    // The page asks for the camera; true once its picture runs.
    bool openCamera(std::optional<std::string> id) {
        const size_t lines = program->process().lines().size();
        PropertyList message = body({{"action", "startCamera"}});
        if (id) message.set("id", *id);
        post("WQWebMediaHandler", message);
        return program->process().waitForLineAfter(lines, "WQMediaViewController ===> Camera running", 60) >= 0;
    }

    // Presses the camera's (or the photo editor's) button named `name`.
    bool press(std::string_view name) {
        return a11y().activate([name](const Accessibility::Element& e) { return isButton(e, name); }, 60);
    }

    // The camera has left the window: none of its controls shows any more.
    bool cameraGone() {
        return a11y().waitUntilGone([](const Accessibility::Element& e) {
            return isModeSwitch(e) || isButton(e, "Record Video") || isButton(e, "Take Photo") ||
                   isButton(e, "Stop Recording") || isButton(e, "Send");
        }, 60);
    }

    // The one camera result the page got in `call` (its data URLs at argument `urls`), written to
    // a file of the test's; empty when there is none of that type.
    fs::path resultFile(const PageRecord& call, size_t urls, std::string_view mimeType, std::string_view name) {
        const auto& list = call.args()[urls];
        EXPECT_EQ(list.size(), 1u) << call.json.substr(0, 200);
        const std::string url = list.size() ? list[0].stringOr() : std::string();
        if (url.rfind("data:" + std::string(mimeType) + ";base64,", 0) != 0) {
            ADD_FAILURE() << "not a " << mimeType << " data URL: " << url.substr(0, 80);
            return {};
        }
        const auto bytes = tovak::WQBase64DataConverter().base64ToData(url);
        if (!bytes || bytes->empty()) {
            ADD_FAILURE() << "the data URL does not decode";
            return {};
        }
        const fs::path file = directory / name;
        std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char*>(bytes->data()), std::streamsize(bytes->size()));
        return file;
    }

    // The photo in `file` decoded: its size and the largest difference between two colour
    // channels of one pixel (about 0 for a grey picture). Width 0 when it does not decode.
    struct Decoded {
        int width = 0, height = 0, colour = 0;
    };
    static Decoded decode(const fs::path& file) {
        Decoded decoded;
        GError* error = nullptr;
        GdkPixbuf* image = gdk_pixbuf_new_from_file(file.c_str(), &error);
        if (!image) {
            ADD_FAILURE() << "the photo does not decode: " << (error ? error->message : "");
            g_clear_error(&error);
            return decoded;
        }
        decoded.width = gdk_pixbuf_get_width(image);
        decoded.height = gdk_pixbuf_get_height(image);
        const int channels = gdk_pixbuf_get_n_channels(image), stride = gdk_pixbuf_get_rowstride(image);
        const guchar* pixels = gdk_pixbuf_read_pixels(image);
        for (int y = 0; y < decoded.height; ++y) {
            for (int x = 0; x < decoded.width; ++x) {
                const guchar* p = pixels + y * stride + x * channels;
                decoded.colour = std::max({decoded.colour, std::abs(p[0] - p[1]), std::abs(p[1] - p[2]), std::abs(p[0] - p[2])});
            }
        }
        g_object_unref(image);
        return decoded;
    }

    // What ffprobe reads of a video file: "key=value" lines of its streams and its format.
    static std::string probe(const fs::path& file) {
        const std::string command = "ffprobe -v error -show_entries stream=codec_type,width,height "
                                    "-show_entries format=format_name,duration -of default=noprint_wrappers=1 '" +
                                    file.string() + "' 2>&1";
        std::string output;
        if (FILE* pipe = popen(command.c_str(), "r")) {
            char buffer[256];
            while (fgets(buffer, sizeof buffer, pipe)) output += buffer;
            pclose(pipe);
        }
        return output;
    }
    static double probedDuration(const std::string& probe) {
        const auto at = probe.find("duration=");
        return at == std::string::npos ? -1 : std::atof(probe.c_str() + at + 9);
    }

    // The program's capture threads now: GStreamer names each streaming thread after its
    // source ("camera:src", "microphone:src").
    std::vector<std::string> captureThreads() const {
        std::vector<std::string> names;
        std::error_code error;
        for (const auto& task : fs::directory_iterator("/proc/" + std::to_string(program->pid()) + "/task", error)) {
            std::string name;
            std::getline(std::ifstream(task.path() / "comm"), name);
            if (name.rfind("camera:", 0) == 0 || name.rfind("microphone:", 0) == 0) names.push_back(name);
        }
        return names;
    }
    std::string threadList() const {
        std::string text;
        for (const auto& name : captureThreads()) text += name + " ";
        return text;
    }
    // Waits (bounded) until the program has capture threads or has none; whether it came to that.
    bool waitForCaptureThreads(bool running) {
        for (const auto deadline = testsupport::deadlineAfter(30); std::chrono::steady_clock::now() < deadline;) {
            if (captureThreads().empty() != running) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return captureThreads().empty() != running;
    }

    // A round trip through the program: whatever it was about to send the page has been sent.
    void roundTrip() {
        const size_t from = server.mark();
        server.post("eventHandler", "didInit");
        EXPECT_TRUE(server.waitForCall("wqInit.didFinishNativeInit", 60, from)) << program->output();
    }

    StandinServer server;
    ProgramHome home;
    std::unique_ptr<FakeFileChooserPortal> portal;
    std::unique_ptr<HostedProgram> program;
    fs::path directory;

private:
    std::unique_ptr<Accessibility> a11y_;
};

// Videos stop by themselves after two seconds.
class WebMediaShortVideos : public WebMedia {
protected:
    WebMediaShortVideos() : WebMedia(configuration({{"MovieMaximumLength", PropertyList(int64_t(2))}})) {}
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
    // The portal's answer and the page's next message reach the program on separate channels:
    // the next chooser can open only once the program has heard this one close.
    ASSERT_TRUE(program->waitForOutput("Open panel cancelled")) << program->output();

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

// The shutter in photo mode: the picture goes into the photo editor over the camera, and Send
// hands it to the input that asked for the camera as a JPEG of the camera picture's size (the
// test source, 640 x 480); the camera leaves the window.
TEST_F(WebMedia, APhotoTakenWithTheCameraReachesThePageInput) {
    const size_t from = server.mark();
    ASSERT_TRUE(openCamera("p'1")) << program->output();
    // The first run's mode is video; the switch turns it to photo.
    ASSERT_TRUE(a11y().waitFor([](const auto& e) { return isButton(e, "Record Video"); }, 60)) << a11y().describe();
    ASSERT_TRUE(a11y().activate(isModeSwitch, 60)) << a11y().describe();
    ASSERT_TRUE(press("Take Photo")) << a11y().describe();
    ASSERT_TRUE(a11y().waitFor([](const auto& e) { return isButton(e, "Send"); }, 60)) << a11y().describe();
    // Nothing goes before the user sends it.
    roundTrip();
    EXPECT_TRUE(server.calls("wqOpenFileURLsWithID", from).empty());

    ASSERT_TRUE(press("Send")) << a11y().describe();
    const auto call = server.waitForCall("wqOpenFileURLsWithID", 60, from);
    ASSERT_TRUE(call) << program->output();
    ASSERT_EQ(call->args().size(), 3u);
    EXPECT_EQ(call->args()[0].stringOr(), "p'1");
    const fs::path photo = resultFile(*call, 1, "image/jpeg", "photo.jpg");
    ASSERT_FALSE(photo.empty());
    const Decoded decoded = decode(photo);
    EXPECT_EQ(decoded.width, 640);
    EXPECT_EQ(decoded.height, 480);
    EXPECT_GT(decoded.colour, 100) << "the test picture's colour bars";
    EXPECT_TRUE(cameraGone()) << a11y().describe();
    EXPECT_TRUE(waitForCaptureThreads(false)) << "the camera was not let go: " << threadList();
    roundTrip();
    EXPECT_EQ(server.calls("wqOpenFileURLsWithID", from).size(), 1u);
    EXPECT_TRUE(server.calls("wqDropFileURLs", from).empty());
}

// Record and stop in video mode: the recording, remuxed by ffmpeg (the configuration's movie
// mode), reaches the input that asked for the camera as an MP4 with a video stream of the
// picture's size and the microphone's sound. A recording the user stopped shows no limit alert.
TEST_F(WebMedia, AVideoRecordedWithTheCameraReachesThePageInput) {
    const size_t from = server.mark();
    ASSERT_TRUE(openCamera("v1")) << program->output();
    const size_t lines = program->process().lines().size();
    ASSERT_TRUE(press("Record Video")) << a11y().describe();
    ASSERT_GE(program->process().waitForLineAfter(lines, "Did start recording", 60), 0) << program->output();
    ASSERT_TRUE(press("Stop Recording")) << a11y().describe();

    const auto call = server.waitForCall("wqOpenFileURLsWithID", 60, from);
    ASSERT_TRUE(call) << program->output();
    ASSERT_EQ(call->args().size(), 3u);
    EXPECT_EQ(call->args()[0].stringOr(), "v1");
    const fs::path video = resultFile(*call, 1, "video/mp4", "video.mp4");
    ASSERT_FALSE(video.empty());
    const std::string probed = probe(video);
    EXPECT_NE(probed.find("codec_type=video"), std::string::npos) << probed;
    EXPECT_NE(probed.find("codec_type=audio"), std::string::npos) << "the microphone's sound\n" << probed;
    EXPECT_NE(probed.find("width=640"), std::string::npos) << probed;
    EXPECT_NE(probed.find("height=480"), std::string::npos) << probed;
    EXPECT_NE(probed.find("mp4"), std::string::npos) << probed;
    EXPECT_GT(probedDuration(probed), 0) << probed;
    EXPECT_TRUE(cameraGone()) << a11y().describe();
    EXPECT_TRUE(waitForCaptureThreads(false)) << "the camera was not let go: " << threadList();
    EXPECT_FALSE(a11y().waitFor(Accessibility::named("label", "Recording limit reached"), 0)) << a11y().describe();
    roundTrip();
    EXPECT_EQ(server.calls("wqOpenFileURLsWithID", from).size(), 1u);
    EXPECT_TRUE(server.calls("wqDropFileURLs", from).empty());
}

// A recording left running stops at the configured length by itself; the limit alert says so
// over the window, and the video goes into the chat (the request named no input): one data URL
// and no names.
TEST_F(WebMediaShortVideos, AVideoStoppedByTheLengthLimitReachesTheChat) {
    const size_t from = server.mark();
    ASSERT_TRUE(openCamera(std::nullopt)) << program->output();
    ASSERT_TRUE(press("Record Video")) << a11y().describe();

    const auto call = server.waitForCall("wqDropFileURLs", 60, from);
    ASSERT_TRUE(call) << program->output();
    EXPECT_EQ(call->args().size(), 1u);
    const fs::path video = resultFile(*call, 0, "video/mp4", "video.mp4");
    ASSERT_FALSE(video.empty());
    const std::string probed = probe(video);
    EXPECT_NE(probed.find("codec_type=video"), std::string::npos) << probed;
    EXPECT_NEAR(probedDuration(probed), 2.0, 0.5) << probed;

    ASSERT_TRUE(a11y().waitFor(Accessibility::named("label", "Recording limit reached"), 60)) << a11y().describe();
    EXPECT_TRUE(a11y().waitFor(Accessibility::containing("label", "maximum length and file size over the WhatsApp service."), 0))
        << a11y().describe();
    EXPECT_TRUE(a11y().waitFor(
        Accessibility::containing("label", "After the recording limit is reached, Parlivo for WhatsApp will automatically stop"), 0))
        << a11y().describe();
    ASSERT_TRUE(a11y().press("OK")) << a11y().describe();
    EXPECT_TRUE(a11y().waitUntilGone(Accessibility::named("label", "Recording limit reached"), 60)) << a11y().describe();
    EXPECT_TRUE(cameraGone()) << a11y().describe();
    EXPECT_TRUE(waitForCaptureThreads(false)) << "the camera was not let go: " << threadList();
    roundTrip();
    EXPECT_EQ(server.calls("wqDropFileURLs", from).size(), 1u);
    EXPECT_TRUE(server.calls("wqOpenFileURLsWithID", from).empty());
}

// Back leaves the camera and sends nothing, from the live picture and after a photo was
// abandoned in the editor (whose back returns to the live picture); each time the camera is let
// go (its capture threads end), so the next request opens it again, and a photo taken then goes to
// that request's input.
TEST_F(WebMedia, LeavingTheCameraSendsNothingAndLetsItGo) {
    const size_t from = server.mark();
    ASSERT_TRUE(openCamera("b1")) << program->output();
    ASSERT_TRUE(waitForCaptureThreads(true)) << "no capture thread seen";
    ASSERT_TRUE(press("Back")) << a11y().describe();
    EXPECT_TRUE(cameraGone()) << a11y().describe();
    EXPECT_TRUE(waitForCaptureThreads(false)) << "the camera was not let go: " << threadList();

    ASSERT_TRUE(openCamera("b2")) << "the camera was not let go\n" << program->output();
    ASSERT_TRUE(a11y().activate(isModeSwitch, 60)) << a11y().describe();
    ASSERT_TRUE(press("Take Photo")) << a11y().describe();
    ASSERT_TRUE(a11y().waitFor([](const auto& e) { return isButton(e, "Send"); }, 60)) << a11y().describe();
    // The picture is frozen in the editor: the camera is let go meanwhile.
    EXPECT_TRUE(waitForCaptureThreads(false)) << "the camera runs under the editor: " << threadList();
    size_t lines = program->process().lines().size();
    ASSERT_TRUE(press("Back")) << a11y().describe();  // the editor's: the one that shows
    ASSERT_GE(program->process().waitForLineAfter(lines, "WQMediaViewController ===> Camera running", 60), 0)
        << program->output();
    EXPECT_TRUE(a11y().waitUntilGone([](const auto& e) { return isButton(e, "Send"); }, 60)) << a11y().describe();
    EXPECT_TRUE(waitForCaptureThreads(true)) << "the camera did not start again";
    ASSERT_TRUE(press("Back")) << a11y().describe();
    EXPECT_TRUE(cameraGone()) << a11y().describe();
    EXPECT_TRUE(waitForCaptureThreads(false)) << "the camera was not let go: " << threadList();
    roundTrip();
    EXPECT_TRUE(server.calls("wqOpenFileURLsWithID", from).empty());
    EXPECT_TRUE(server.calls("wqDropFileURLs", from).empty());

    // The mode was kept: the shutter is there at once.
    ASSERT_TRUE(openCamera("b3")) << "the camera was not let go\n" << program->output();
    ASSERT_TRUE(press("Take Photo")) << a11y().describe();
    ASSERT_TRUE(press("Send")) << a11y().describe();
    const auto call = server.waitForCall("wqOpenFileURLsWithID", 60, from);
    ASSERT_TRUE(call) << program->output();
    EXPECT_EQ(call->args()[0].stringOr(), "b3");
    EXPECT_FALSE(resultFile(*call, 1, "image/jpeg", "photo.jpg").empty());
}

// The camera's mode is the user's choice and survives a restart: photo chosen once, the next
// run's camera opens with the shutter; video chosen again, with the record button.
TEST_F(WebMedia, TheCameraModeSurvivesARestart) {
    ASSERT_TRUE(openCamera("m1")) << program->output();
    ASSERT_TRUE(a11y().activate(isModeSwitch, 60)) << a11y().describe();
    ASSERT_TRUE(a11y().waitFor([](const auto& e) { return isButton(e, "Take Photo"); }, 60)) << a11y().describe();
    ASSERT_NO_FATAL_FAILURE(restartProgram());

    ASSERT_TRUE(openCamera("m2")) << program->output();
    ASSERT_TRUE(a11y().waitFor([](const auto& e) { return isButton(e, "Take Photo"); }, 60)) << a11y().describe();
    ASSERT_TRUE(a11y().activate(isModeSwitch, 60)) << a11y().describe();
    ASSERT_TRUE(a11y().waitFor([](const auto& e) { return isButton(e, "Record Video"); }, 60)) << a11y().describe();
    ASSERT_NO_FATAL_FAILURE(restartProgram());

    ASSERT_TRUE(openCamera("m3")) << program->output();
    EXPECT_TRUE(a11y().waitFor([](const auto& e) { return isButton(e, "Record Video"); }, 60)) << a11y().describe();
}

// The photo goes as edited: with the editor's saturation slider (found by its name, as a screen
// reader finds it) turned down to none, the page gets a grey picture. Asked for without an input,
// it goes into the chat: one data URL and no names.
TEST_F(WebMedia, ThePhotoGoesAsEditedInTheEditor) {
    const size_t from = server.mark();
    ASSERT_TRUE(openCamera(std::nullopt)) << program->output();
    ASSERT_TRUE(a11y().activate(isModeSwitch, 60)) << a11y().describe();
    ASSERT_TRUE(press("Take Photo")) << a11y().describe();
    ASSERT_TRUE(a11y().setValue(Accessibility::named("slider", "Saturation"), 0, 60)) << a11y().describe();
    ASSERT_TRUE(press("Send")) << a11y().describe();

    const auto call = server.waitForCall("wqDropFileURLs", 60, from);
    ASSERT_TRUE(call) << program->output();
    EXPECT_EQ(call->args().size(), 1u);
    const fs::path photo = resultFile(*call, 0, "image/jpeg", "photo.jpg");
    ASSERT_FALSE(photo.empty());
    const Decoded decoded = decode(photo);
    EXPECT_EQ(decoded.width, 640);
    EXPECT_LE(decoded.colour, 12) << "sent as shown in the editor: no colour left";
}
