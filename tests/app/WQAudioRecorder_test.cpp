// Voice recording for the page: page messages in, batches of microphone samples out, through
// the test tone (audiotestsrc, 440 Hz sine at half volume) and a stand-in page.
#include <gtest/gtest.h>

#include <clocale>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <future>
#include <string>
#include <vector>

#include "RunLoop.h"
#include "foundation/MainQueue.h"
#include "foundation/NotificationCenter.h"
#include "media/CaptureSource.h"
#include "media/MicrophoneCapture.h"
#include "media/WQAudioBatcher.h"
#include "media/WQAudioPopoverItem.h"
#include "media/WQAudioRecorder.h"
#include "shell/WQWebContainerView.h"

using namespace parlivo;
using platform::PropertyList;

namespace {

struct FakePage : platform::JavaScriptEvaluator {
    std::vector<std::string> scripts;
    void evaluateJavaScript(const std::string& script, Completion completion) override {
        scripts.push_back(script);
        if (completion) platform::MainQueue::async([completion] { completion({}); });
    }
    // The batches the page received, each as its samples.
    std::vector<std::vector<double>> batches() const {
        std::vector<std::vector<double>> result;
        for (const auto& script : scripts) {
            if (!script.starts_with("wqSendAudio([") || !script.ends_with("]);")) continue;
            std::vector<double> samples;
            const std::string inner = script.substr(13, script.size() - 16);
            std::size_t at = 0;
            while (at < inner.size()) {
                std::size_t comma = inner.find(',', at);
                if (comma == std::string::npos) comma = inner.size();
                samples.push_back(std::strtod(inner.substr(at, comma - at).c_str(), nullptr));
                at = comma + 1;
            }
            result.push_back(std::move(samples));
        }
        return result;
    }
    std::size_t count(const std::string& script) const { return std::count(scripts.begin(), scripts.end(), script); }
};

platform::ScriptMessage message(PropertyList::Dictionary body) {
    return {std::string(WQAudioRecorder::messageName), PropertyList(std::move(body)), {}};
}

platform::ScriptMessage start(PropertyList rate, PropertyList size) {
    return message({{"action", "start"}, {"sampleRate", std::move(rate)}, {"bufferSize", std::move(size)}});
}

// Every capture pipeline is gone. Stopping sets a pipeline to NULL (device closed, threads
// joined) and lets go of it; a GStreamer worker thread may still hold it a moment longer, until
// its call on the pipeline returns.
bool pipelinesReleased() {
    return testsupport::runLoopUntil([] { return platform::livePipelineCount() == 0; });
}

// Everything posted to the main queue before this call has run when it returns.
void drainMainQueue() {
    bool done = false;
    platform::MainQueue::async([&] { done = true; });
    ASSERT_TRUE(testsupport::runLoopUntil([&] { return done; }));
}

// The test tone's frequency as the samples show it: sign changes per second.
double toneFrequency(const std::vector<double>& samples, double rate) {
    int changes = 0;
    for (std::size_t i = 1; i < samples.size(); ++i)
        if ((samples[i - 1] < 0) != (samples[i] < 0)) ++changes;
    return changes / 2.0 / (double(samples.size()) / rate);
}

// A popover that a delegate would never let open or close.
struct Refusing : tovak::WQPopoverTouchBarItemDelegate {
    int asked = 0;
    bool popoverCanShow(tovak::WQPopoverTouchBarItem&, const void*) override { return ++asked, false; }
    bool popoverCanDismiss(tovak::WQPopoverTouchBarItem&, const void*) override { return ++asked, false; }
};

class AudioRecorderTest : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("PARLIVO_MICROPHONE_SOURCE", "test", 1);
        page = std::make_shared<FakePage>();
        recorder = WQAudioRecorder::create();
        recorder->setWebView(page);
        auto& center = platform::NotificationCenter::defaultCenter();
        tokens.push_back(center.addObserver(WQAudioRecorder::startRecordingNotification, recorder.get(),
                                            [this](const platform::Notification&) { notifications.push_back("start"); }));
        tokens.push_back(center.addObserver(WQAudioRecorder::stopRecordingNotification, recorder.get(),
                                            [this](const platform::Notification&) { notifications.push_back("stop"); }));
        popover = std::make_shared<WQAudioPopoverItem>("voice");
        popover->setDelegate(refusing);
    }
    void TearDown() override {
        recorder.reset();
        EXPECT_TRUE(pipelinesReleased());
    }

    bool waitForBatches(std::size_t count) {
        return testsupport::runLoopUntil([&] { return page->batches().size() >= count; }, 20);
    }

    std::shared_ptr<FakePage> page;
    std::shared_ptr<WQAudioRecorder> recorder;
    std::vector<platform::ObserverToken> tokens;
    std::vector<std::string> notifications;
    std::shared_ptr<Refusing> refusing = std::make_shared<Refusing>();
    std::shared_ptr<WQAudioPopoverItem> popover;
};

}  // namespace

TEST(AudioBatcherTest, BatchesOfTheSizeWithSixDecimalsAndNoLeadingComma) {
    struct Case {
        std::uint32_t size;
        std::vector<float> samples;
        std::vector<std::string> scripts;
        std::uint32_t held;
    };
    const std::vector<Case> cases{
        {2, {0.5f, -0.25f}, {"wqSendAudio([0.500000,-0.250000]);"}, 0},
        {3, {0, 0.1f, 0.2f, 0.3f, 0.4f, 0.5f, 0.6f},
         {"wqSendAudio([0.000000,0.100000,0.200000]);", "wqSendAudio([0.300000,0.400000,0.500000]);"}, 1},
        {1, {-1, 1}, {"wqSendAudio([-1.000000]);", "wqSendAudio([1.000000]);"}, 0},
        {4, {NAN, INFINITY, -0.0000004f}, {}, 3},
        {3, {NAN, INFINITY, 1e-7f}, {"wqSendAudio([0.000000,0.000000,0.000000]);"}, 0},
    };
    for (const auto& c : cases) {
        WQAudioBatcher batcher(c.size);
        std::vector<std::string> scripts;
        std::vector<std::size_t> lastIndices;
        batcher.append(c.samples.data(), c.samples.size(), [&](std::string script, std::size_t last) {
            scripts.push_back(std::move(script));
            lastIndices.push_back(last);
        });
        EXPECT_EQ(scripts, c.scripts) << "size " << c.size;
        EXPECT_EQ(batcher.heldSamples(), c.held);
        for (std::size_t i = 0; i < lastIndices.size(); ++i) EXPECT_EQ(lastIndices[i], (i + 1) * c.size - 1);
    }
    // A reset drops what is held: the next batch holds only new samples.
    WQAudioBatcher batcher(2);
    const float first[] = {0.75f};
    const float next[] = {0.125f, 0.25f};
    std::vector<std::string> scripts;
    batcher.append(first, 1, [&](std::string s, std::size_t) { scripts.push_back(s); });
    batcher.reset(2);
    batcher.append(next, 2, [&](std::string s, std::size_t) { scripts.push_back(s); });
    EXPECT_EQ(scripts, std::vector<std::string>{"wqSendAudio([0.125000,0.250000]);"});
}

// GTK sets the process locale; the page must never see "0,5".
TEST(AudioBatcherTest, SamplesIgnoreTheProcessLocale) {
    const std::string folder = ::testing::TempDir() + "locales";
    std::filesystem::create_directories(folder);
    const std::string command = "localedef -i de_DE -f UTF-8 " + folder + "/de_DE.UTF-8 >/dev/null 2>&1";
    if (std::system(command.c_str()) != 0) GTEST_SKIP() << "cannot build a German locale here";
    setenv("LOCPATH", folder.c_str(), 1);
    const std::string previous = std::setlocale(LC_ALL, nullptr);
    if (!std::setlocale(LC_ALL, "de_DE.UTF-8")) GTEST_SKIP() << "German locale not loadable";
    std::string text;
    WQAudioBatcher::appendSample(text, -0.5f);
    std::setlocale(LC_ALL, previous.c_str());
    unsetenv("LOCPATH");
    EXPECT_EQ(text, "-0.500000");
}

TEST(AudioRecorderLimitsTest, BatchSizeIsTheTruncatedBufferSizeWithinBounds) {
    const std::vector<std::pair<double, std::uint32_t>> cases{
        {4096, 4096},  {4096.9, 4096}, {3, 128},      {0, 128},         {-5, 128},
        {1e12, 65536}, {NAN, 0},       {INFINITY, 0}, {-INFINITY, 0},
    };
    for (auto [bufferSize, expected] : cases)
        EXPECT_EQ(WQAudioRecorder::batchSizeFor(bufferSize), expected) << bufferSize;
}

TEST_F(AudioRecorderTest, PageStartsAndStopsRecordingAndTheBatchesFollowItsRateAndSize) {
    recorder->didReceiveScriptMessage(start(8000, 1024));
    EXPECT_EQ(notifications, std::vector<std::string>{"start"});
    EXPECT_TRUE(popover->isPopoverShown()) << "the start notification opens the popover, bypassing the delegate";
    EXPECT_EQ(popover->delegate(), refusing) << "the delegate is put back";
    EXPECT_EQ(refusing->asked, 0);
    ASSERT_TRUE(recorder->isRecording());
    ASSERT_TRUE(waitForBatches(3));
    for (const auto& batch : page->batches()) {
        ASSERT_EQ(batch.size(), 1024u);
        for (double sample : batch) ASSERT_LE(std::abs(sample), 0.5 + 1e-6);
    }
    EXPECT_NEAR(toneFrequency(page->batches()[1], 8000), 440, 20);

    // A new rate while recording: the capture follows it, and the new batch size applies.
    recorder->didReceiveScriptMessage(start(48000, 4096));
    EXPECT_EQ(recorder->sampleRate(), 48000);
    const std::size_t before = page->batches().size();
    ASSERT_TRUE(waitForBatches(before + 2));
    drainMainQueue();
    const auto batches = page->batches();
    const auto& last = batches.back();
    ASSERT_EQ(last.size(), 4096u);
    EXPECT_NEAR(toneFrequency(last, 48000), 440, 20) << "at the old rate the tone would read 2640 Hz";

    recorder->didReceiveScriptMessage(message({{"action", "stop"}}));
    EXPECT_EQ(notifications, (std::vector<std::string>{"start", "start", "stop"}));
    EXPECT_FALSE(popover->isPopoverShown());
    EXPECT_EQ(refusing->asked, 0);
    EXPECT_FALSE(recorder->isRecording());
    EXPECT_TRUE(pipelinesReleased()) << "the microphone is released at stop";
    drainMainQueue();
    const std::size_t afterStop = page->scripts.size();
    drainMainQueue();
    EXPECT_EQ(page->scripts.size(), afterStop);
    EXPECT_EQ(page->count("wqStopAudioRecording(false);"), 0u);
}

// Everything the microphone heard from the page's start command on reaches the page: the
// samples sent, counted against the time from the command to the capture of the last one sent.
// The capture is readied when the recorder gets its page (as the program gives it one at
// start), so the start itself costs no more than building the pipeline; a start that loads
// GStreamer first, or a capture that drops buffers, comes short by far more than the margin.
TEST_F(AudioRecorderTest, NoSampleIsMissingFromThePageStartCommandOn) {
    ASSERT_EQ(platform::MicrophoneCapture::prepare().wait_until(testsupport::deadlineAfter(30)),
              std::future_status::ready);
    constexpr double rate = 16000;
    constexpr std::size_t size = 1024, batches = 16;  // about a second
    std::vector<std::int64_t> lastSampleTimes;
    recorder->setBatchDeliveryObserver([&](std::int64_t at) { lastSampleTimes.push_back(at); });
    const auto asked = std::chrono::steady_clock::now().time_since_epoch();
    recorder->didReceiveScriptMessage(start(rate, size));
    ASSERT_TRUE(testsupport::runLoopUntil([&] { return lastSampleTimes.size() >= batches; }, 20));

    const double heard = double(lastSampleTimes[batches - 1] - std::chrono::nanoseconds(asked).count()) / 1e9;
    const double due = heard * rate, sent = double(batches * size);
    // A generous margin for building and starting the pipeline on a busy machine.
    EXPECT_GE(sent, due - 0.1 * testsupport::timeScale() * rate) << "samples from the start command on are missing";
}

TEST_F(AudioRecorderTest, EveryStartBeginsWithAnEmptyBatch) {
    // Capture buffers of 142 samples (a seventh of the batch's duration, rounded) against
    // batches of 997: whenever the first batch arrives, samples of the next one are already held.
    recorder->didReceiveScriptMessage(start(8000, 997));
    ASSERT_TRUE(waitForBatches(1));
    const auto firstOfFirstRecording = page->batches().front();
    recorder->didReceiveScriptMessage(message({{"action", "stop"}}));
    drainMainQueue();
    page->scripts.clear();
    recorder->didReceiveScriptMessage(start(8000, 997));
    ASSERT_TRUE(waitForBatches(1));
    // A fresh tone from its start, like the first recording's; held samples of the last
    // recording would lead instead.
    EXPECT_EQ(page->batches().front(), firstOfFirstRecording);
}

TEST_F(AudioRecorderTest, StartsThatCannotRecordCloseThePopoverAndTellThePageNothingWasRecorded) {
    const std::vector<std::pair<PropertyList, PropertyList>> refused{
        {PropertyList(), 1024},          {"48000", 1024},   {NAN, 1024},     {INFINITY, 1024}, {0, 1024},
        {-48000, 1024},                  {999.4, 1024},     {1e7, 1024},     {48000, PropertyList()},
        {48000, PropertyList("4096")},   {48000, NAN},      {48000, -INFINITY},
    };
    for (const auto& [rate, size] : refused) {
        notifications.clear();
        page->scripts.clear();
        recorder->didReceiveScriptMessage(start(rate, size));
        EXPECT_EQ(notifications, (std::vector<std::string>{"start", "stop"})) << rate.toXml() << size.toXml();
        EXPECT_FALSE(popover->isPopoverShown());
        EXPECT_EQ(page->scripts, std::vector<std::string>{"wqStopAudioRecording(false);"});
        EXPECT_FALSE(recorder->isRecording());
    }

    // No microphone on the machine: the same.
    setenv("PARLIVO_MICROPHONE_SOURCE", "none", 1);
    notifications.clear();
    page->scripts.clear();
    recorder->didReceiveScriptMessage(start(48000, 4096));
    EXPECT_EQ(notifications, (std::vector<std::string>{"start", "stop"}));
    EXPECT_EQ(page->scripts, std::vector<std::string>{"wqStopAudioRecording(false);"});
    EXPECT_FALSE(recorder->isRecording());
    EXPECT_EQ(platform::livePipelineCount(), 0);

    // Other names, bodies and actions are ignored.
    notifications.clear();
    recorder->didReceiveScriptMessage({"otherHandler", PropertyList(PropertyList::Dictionary{{"action", "start"}}), {}});
    recorder->didReceiveScriptMessage({std::string(WQAudioRecorder::messageName), PropertyList("start"), {}});
    recorder->didReceiveScriptMessage(message({{"action", 7}}));
    recorder->didReceiveScriptMessage(message({{"action", "pause"}}));
    EXPECT_TRUE(notifications.empty());
}

TEST_F(AudioRecorderTest, ARecorderThatGoesWhileRecordingReleasesTheMicrophoneAndSendsNothingMore) {
    recorder->didReceiveScriptMessage(start(48000, 128));
    ASSERT_TRUE(waitForBatches(1));
    EXPECT_EQ(platform::livePipelineCount(), 1);
    recorder.reset();
    EXPECT_TRUE(pipelinesReleased());
    const std::size_t sent = page->scripts.size();
    drainMainQueue();  // batches already on their way are dropped
    EXPECT_EQ(page->scripts.size(), sent);
}

TEST_F(AudioRecorderTest, BatchesForAPageThatIsGoneAreDropped) {
    std::vector<std::int64_t> delivered;
    recorder->setBatchDeliveryObserver([&](std::int64_t at) { delivered.push_back(at); });
    recorder->didReceiveScriptMessage(start(48000, 128));
    ASSERT_TRUE(testsupport::runLoopUntil([&] { return !delivered.empty(); }));
    EXPECT_GT(delivered.front(), 0) << "the last sample's capture time is known";
    page.reset();
    const std::size_t count = delivered.size();
    drainMainQueue();
    EXPECT_TRUE(recorder->isRecording());
    EXPECT_EQ(delivered.size(), count);
}

TEST(AudioPopoverItemTest, StopWithoutStartDismissesAndAGoneItemStopsObserving) {
    const int marker = 0;
    auto item = std::make_unique<WQAudioPopoverItem>("voice");
    auto refusing = std::make_shared<Refusing>();
    item->setDelegate(refusing);
    auto& center = platform::NotificationCenter::defaultCenter();
    center.post(WQAudioRecorder::stopRecordingNotification, &marker);
    EXPECT_EQ(item->dismissCount(), 1);
    EXPECT_FALSE(item->isPopoverShown());
    center.post(WQAudioRecorder::startRecordingNotification, &marker);  // from any recorder
    EXPECT_TRUE(item->isPopoverShown());
    // A tap still asks the delegate, which refuses.
    item->dismissPopover(nullptr);
    EXPECT_TRUE(item->isPopoverShown());
    EXPECT_EQ(refusing->asked, 1);
    item.reset();
    center.post(WQAudioRecorder::startRecordingNotification, &marker);  // must not reach the gone item
}

// The main window's voice item: a tap asks the page to record instead of opening; the
// recorder's start opens it, its stop closes it.
TEST(AudioPopoverItemTest, TheMainBarVoiceItemFollowsTheRecorder) {
    auto view = std::make_shared<WQWebContainerView>();
    auto item = std::dynamic_pointer_cast<WQAudioPopoverItem>(
        view->touchBar()->itemForIdentifier(WQWebContainerView::identifiers().recordVoiceMessagePopover));
    ASSERT_TRUE(item);
    item->showPopover(nullptr);
    EXPECT_FALSE(item->isPopoverShown());
    auto page = std::make_shared<FakePage>();
    auto recorder = WQAudioRecorder::create();
    recorder->setWebView(page);
    setenv("PARLIVO_MICROPHONE_SOURCE", "test", 1);
    recorder->recordWithSampleRate(48000, 4096);
    EXPECT_TRUE(item->isPopoverShown());
    recorder->stopRecording();
    EXPECT_FALSE(item->isPopoverShown());
}
