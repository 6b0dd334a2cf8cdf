// The camera's lower controls and its touch bar, as tables of states and steps.
#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "foundation/UserDefaults.h"
#include "media/WQMediaControls.h"
#include "media/WQMediaTouchBar.h"
#include "media/WQMediaType.h"
#include "settings/Keys.h"

using namespace parlivo;
using Phase = WQMediaControlModel::Phase;

namespace {

using Digits = std::array<std::string, 4>;

// Animations wait here until the test lets them finish, first begun first.
struct FakeAnimator : WQMediaControlModel::Animator {
    struct Animation {
        std::string kind;
        double from, to, duration;
        std::function<void()> completion;
    };
    std::deque<Animation> running;
    std::vector<std::string> log;
    void moveRecordButton(double from, double to, double duration, std::function<void()> completion) override {
        running.push_back({"move", from, to, duration, std::move(completion)});
        log.push_back("move " + std::to_string(int(from)) + "->" + std::to_string(int(to)));
    }
    void fadeTimeField(double from, double to, double duration, std::function<void()> completion) override {
        running.push_back({"fade", from, to, duration, std::move(completion)});
        log.push_back("fade " + std::to_string(int(from)) + "->" + std::to_string(int(to)));
    }
    void finishOne() {
        ASSERT_FALSE(running.empty());
        auto animation = std::move(running.front());
        running.pop_front();
        EXPECT_EQ(animation.duration, 0.5);
        if (animation.completion) animation.completion();
    }
};

struct FakeHost : WQMediaTouchBarHost {
    bool recording = false;
    int records = 0, backs = 0, applies = 0;
    WQMediaTouchBar* bar = nullptr;
    bool isRecording() const override { return recording; }
    void recordAction() override { ++records; }
    void backAction() override { ++backs; }
    void applyMediaType() override {
        ++applies;
        if (bar) bar->setTouchBar(nullptr);  // as the camera does: the bar is built again
    }
};

}  // namespace

TEST(MediaTimeTest, DigitsOfARecordingTime) {
    struct Case {
        std::int64_t value;
        std::int32_t timescale;
        Digits digits;
    };
    const std::vector<Case> cases{
        {0, 1, {"0", "0", "0", "0"}},
        {1, 1, {"0", "0", "0", "1"}},
        {59999, 1000, {"0", "1", "0", "0"}},   // 59.999 s rounds to a minute
        {7544, 10, {"1", "2", "3", "4"}},      // 754.4 s: 12:34
        {7545, 10, {"1", "2", "3", "5"}},      // 754.5 s rounds up: 12:35
        {6000, 1, {"10", "0", "0", "0"}},      // 100 minutes: two digits of ten minutes
        {5, 10, {"0", "0", "0", "1"}},         // half a second, away from zero
        {-10, -1, {"0", "0", "1", "0"}},
        {1, 0, {"0", "0", "0", "0"}},          // no timescale: not a time
        {-5, 1, {"0", "0", "0", "0"}},         // negative: not a recording time
        {std::numeric_limits<std::int64_t>::max(), 1, {"0", "0", "0", "0"}},
        {std::numeric_limits<std::int64_t>::max(), 1000000000, {"15372286", "7", "1", "7"}},  // 9223372037 s
    };
    for (const auto& c : cases) EXPECT_EQ(mediaTimeDigits(c.value, c.timescale), c.digits) << c.value << "/" << c.timescale;
}

TEST(MediaBottomViewTest, KeepsTheControlViewCentredAtAnyWidth) {
    const std::vector<std::array<double, 3>> cases{{300, 100, 100}, {301, 100, 100.5}, {100, 300, -100}, {0, 0, 0}};
    for (auto [parent, child, x] : cases) EXPECT_EQ(centredX(parent, child), x);
}

// Each case: steps on a model loaded with its button at x 20, laid out 300 wide with a
// 60-point button (centre 120), and the state it ends in.
TEST(MediaControlModelTest, LooksAndTheirTransitions) {
    struct Expected {
        Phase phase;
        bool hidden;
        double buttonX;
        std::string image;
        double alpha;
        std::vector<std::string> animations;
    };
    struct Case {
        std::string name;
        std::function<void(WQMediaControlModel&, FakeAnimator&)> steps;
        Expected expected;
    };
    const std::vector<Case> cases{
        {"loaded: idle, centred", [](auto&, auto&) {}, {Phase::idle, true, 120, "videoButtonRed", 1, {}}},
        {"photo mode while idle",
         [](auto& m, auto&) { m.setMediaType(WQMediaType::photo); },
         {Phase::idle, true, 120, "imageButtonRed", 1, {}}},
        {"recording starts: button moves left, then the time fades in",
         [](auto& m, auto& a) {
             m.showRecordingState();
             a.finishOne();
         },
         {Phase::fadingIn, false, 20, "videoButtonStop", 1, {"move 120->20", "fade 0->1"}}},
        {"recording, then the mode and a resize change nothing",
         [](auto& m, auto& a) {
             m.showRecordingState();
             a.finishOne();
             a.finishOne();
             m.setMediaType(WQMediaType::photo);
             m.layout(500, 60);
         },
         {Phase::recording, false, 20, "videoButtonStop", 1, {"move 120->20", "fade 0->1"}}},
        {"recording again while recording: digits and image only",
         [](auto& m, auto& a) {
             m.showRecordingState();
             a.finishOne();
             a.finishOne();
             m.showRecordingState();
         },
         {Phase::recording, false, 20, "videoButtonStop", 1, {"move 120->20", "fade 0->1"}}},
        {"recording ends: the time fades out, image at once, button still left",
         [](auto& m, auto& a) {
             m.showRecordingState();
             a.finishOne();
             a.finishOne();
             m.showIdleState();
             m.layout(300, 60);
         },
         {Phase::fadingOut, false, 20, "videoButtonRed", 0, {"move 120->20", "fade 0->1", "fade 1->0"}}},
        {"recording ends: then the button returns to the centre",
         [](auto& m, auto& a) {
             m.showRecordingState();
             a.finishOne();
             a.finishOne();
             m.showIdleState();
             a.finishOne();
             a.finishOne();
         },
         {Phase::idle, true, 120, "videoButtonRed", 0, {"move 120->20", "fade 0->1", "fade 1->0", "move 20->120"}}},
        {"idle again while idle in photo mode: only digits and the video image",
         [](auto& m, auto&) {
             m.setMediaType(WQMediaType::photo);
             m.showIdleState();
         },
         {Phase::idle, true, 120, "videoButtonRed", 1, {}}},
        {"stopped while the button still moves left: no fade-in afterwards",
         [](auto& m, auto& a) {
             m.showRecordingState();
             m.showIdleState();
             a.finishOne();  // the move left: outdated, starts nothing
             a.finishOne();  // the fade out
             a.finishOne();  // the move to the centre
         },
         {Phase::idle, true, 120, "videoButtonRed", 0, {"move 120->20", "fade 0->0", "move 20->120"}}},
        {"recording again while the time fades out: it comes back",
         [](auto& m, auto& a) {
             m.showRecordingState();
             a.finishOne();
             a.finishOne();
             m.showIdleState();
             m.showRecordingState();
             a.finishOne();  // the fade out: outdated, the button stays left
             a.finishOne();  // the fade in again
         },
         {Phase::recording, false, 20, "videoButtonStop", 1,
          {"move 120->20", "fade 0->1", "fade 1->0", "fade 0->1"}}},
        {"a resize while idle re-centres",
         [](auto& m, auto&) { m.layout(500, 60); },
         {Phase::idle, true, 220, "videoButtonRed", 1, {}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto model = WQMediaControlModel::create();
        FakeAnimator animator;
        model->setAnimator(&animator);
        model->awakeFromNib(20);
        model->layout(300, 60);
        model->setTime(7544, 10);
        c.steps(*model, animator);
        EXPECT_EQ(model->phase(), c.expected.phase);
        EXPECT_EQ(model->timeFieldHidden(), c.expected.hidden);
        EXPECT_EQ(model->recordButtonX(), c.expected.buttonX);
        EXPECT_EQ(model->recordButtonImage(), c.expected.image);
        EXPECT_EQ(model->timeFieldAlpha(), c.expected.alpha);
        EXPECT_EQ(animator.log, c.expected.animations);
        EXPECT_TRUE(animator.running.empty() || c.expected.phase != Phase::idle);
        EXPECT_EQ(model->recordButtonPositionLeft(), 20);
        // Every look change resets the digits; only the loaded model still shows its time.
        if (!animator.log.empty()) {
            EXPECT_EQ(model->digits(), (Digits{"0", "0", "0", "0"}));
        }
    }
}

TEST(MediaControlModelTest, WithoutAnAnimatorEveryChangeCompletesAtOnce) {
    auto model = WQMediaControlModel::create();
    model->awakeFromNib(10);
    model->layout(200, 40);
    model->showRecordingState();
    EXPECT_EQ(model->phase(), Phase::recording);
    EXPECT_EQ(model->recordButtonX(), 10);
    model->setTime(61, 1);
    EXPECT_EQ(model->digits(), (Digits{"0", "1", "0", "1"}));
    model->showIdleState();
    EXPECT_EQ(model->phase(), Phase::idle);
    EXPECT_EQ(model->recordButtonX(), 80);
    EXPECT_EQ(model->digits(), (Digits{"0", "0", "0", "0"}));
}

TEST(MediaTypeTest, StoredModeWithVideoForAbsentOrUnknownValues) {
    auto& defaults = platform::UserDefaults::standard();
    const std::string key(keys::mediaType);
    defaults.remove(key);
    EXPECT_EQ(storedMediaType(), WQMediaType::video);
    for (auto [stored, mode] : std::vector<std::pair<std::int64_t, WQMediaType>>{
             {1, WQMediaType::photo}, {0, WQMediaType::video}, {2, WQMediaType::video}, {-1, WQMediaType::video}}) {
        defaults.setInteger(key, stored);
        EXPECT_EQ(storedMediaType(), mode) << stored;
    }
    storeMediaType(WQMediaType::photo);
    EXPECT_EQ(defaults.integerForKey(key), 1);
    EXPECT_EQ(sessionPreset(WQMediaType::photo), "AVCaptureSessionPresetPhoto");
}

class MediaTouchBarTest : public ::testing::Test {
protected:
    void SetUp() override {
        platform::UserDefaults::standard().remove(std::string(keys::mediaType));
        host.bar = &bar;
    }
    std::shared_ptr<platform::CustomTouchBarItem> button(const std::string& identifier) {
        return std::dynamic_pointer_cast<platform::CustomTouchBarItem>(bar.touchBar()->itemForIdentifier(identifier));
    }
    std::shared_ptr<TouchBarSegmentedItem> selector() {
        return std::dynamic_pointer_cast<TouchBarSegmentedItem>(bar.touchBar()->itemForIdentifier(id.type));
    }

    const WQMediaTouchBar::Identifiers& id = WQMediaTouchBar::identifiers();
    FakeHost host;
    WQMediaTouchBar bar{&host};
};

TEST_F(MediaTouchBarTest, ItemsFollowTheModeAndTheRecordingState) {
    struct Case {
        std::string name;
        WQMediaType mode;
        bool recording;
        std::string middle, middleImage;
        bool backEnabled;
        int segment;
        bool selectorEnabled;
    };
    const std::vector<Case> cases{
        {"idle, video", WQMediaType::video, false, id.recording, "NSImageNameTouchBarRecordStartTemplate", true, 0, true},
        {"idle, photo", WQMediaType::photo, false, id.takePhoto, "WQMediaViewControllerTouchBarCamera", true, 1, true},
        {"recording", WQMediaType::video, true, id.recording, "NSImageNameTouchBarRecordStopTemplate", false, 0, false},
    };
    const std::string space(platform::touchbar::kFlexibleSpace);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        storeMediaType(c.mode);
        host.recording = c.recording;
        bar.setTouchBar(nullptr);
        auto made = bar.touchBar();
        ASSERT_TRUE(made);
        EXPECT_EQ(made->customizationIdentifier(), id.touchBar);
        EXPECT_EQ(made->defaultItemIdentifiers(), (std::vector<std::string>{id.back, space, c.middle, space, id.type}));
        EXPECT_EQ(made->items().size(), 3u);
        auto middle = button(c.middle);
        ASSERT_TRUE(middle);
        EXPECT_EQ(middle->view()->imageName(), c.middleImage);
        EXPECT_EQ(middle->view()->title(), "");
        EXPECT_EQ(middle->view()->bezelColor(), (platform::TouchBarColor{1, 0, 0, 1}));
        EXPECT_EQ(middle->view()->imageIsTemplate(), c.middle == id.takePhoto);
        EXPECT_EQ(button(id.back)->view()->imageName(), "NSImageNameTouchBarGoBackTemplate");
        EXPECT_EQ(button(id.back)->view()->isEnabled(), c.backEnabled);
        auto mode = selector();
        ASSERT_TRUE(mode);
        EXPECT_EQ(mode->segmentImages(), (std::vector<std::string>{"NSImageNameTouchBarCommunicationVideoTemplate",
                                                                   "WQMediaViewControllerTouchBarCamera"}));
        EXPECT_EQ(mode->selectedSegment(), c.segment);
        EXPECT_EQ(mode->isEnabled(), c.selectorEnabled);
        EXPECT_FALSE(made->itemForIdentifier("something.else"));
    }
    EXPECT_TRUE(id.touchBar.ends_with(".mediaViewControllerTouchBar"));
    EXPECT_TRUE(id.type.ends_with(".mediaViewControllerTouchBar.type"));
}

TEST_F(MediaTouchBarTest, PressesAndSelections) {
    // Either middle button runs the record action; the stored mode decides what it does.
    button(id.recording)->view()->press();
    bar.touchBarButtonClicked(button(id.recording)->view().get());
    EXPECT_EQ(host.records, 2);
    platform::TouchBarButton stray("", "");
    bar.touchBarButtonClicked(&stray);  // no identifier
    stray.setIdentifier(std::string("other"));
    bar.touchBarButtonClicked(&stray);
    bar.touchBarButtonClicked(nullptr);
    EXPECT_EQ(host.records, 2);
    EXPECT_EQ(host.backs, 0);
    button(id.back)->view()->press();
    EXPECT_EQ(host.backs, 1);

    // Choosing photo stores it and has the host apply it; the rebuilt bar shows take-photo.
    ASSERT_TRUE(selector()->tapSegment(1));
    EXPECT_EQ(storedMediaType(), WQMediaType::photo);
    EXPECT_EQ(host.applies, 1);
    EXPECT_TRUE(button(id.takePhoto));
    button(id.takePhoto)->view()->press();
    EXPECT_EQ(host.records, 3);

    // No segment selected: nothing stored, nothing applied.
    bar.touchBarSelectionChanged(-1);
    bar.touchBarSelectionChanged(2);
    EXPECT_EQ(storedMediaType(), WQMediaType::photo);
    EXPECT_EQ(host.applies, 1);

    // While recording, back and the selector do nothing when tapped.
    host.recording = true;
    bar.setTouchBar(nullptr);
    EXPECT_FALSE(button(id.back)->view()->press());
    EXPECT_FALSE(selector()->tapSegment(0));
    EXPECT_EQ(storedMediaType(), WQMediaType::photo);
    EXPECT_EQ(host.backs, 1);
}
