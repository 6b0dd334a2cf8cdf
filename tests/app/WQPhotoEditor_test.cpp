// The photo editor's logic: values, preview, back and send, and its touch bar.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "RunLoop.h"
#include "media/WQPhotoEditor.h"

using namespace parlivo;

namespace {

tovak::RGBAImage gradient(int width, int height) {
    tovak::RGBAImage image(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            std::uint8_t* p = &image.pixels[(std::size_t(y) * width + x) * 4];
            p[0] = std::uint8_t(x * 255 / std::max(1, width - 1));
            p[1] = std::uint8_t(y * 255 / std::max(1, height - 1));
            p[2] = 90;
            p[3] = 255;
        }
    return image;
}

tovak::RGBAImage edited(const tovak::RGBAImage& image, const WQPhotoAdjustments& a) {
    tovak::RGBAImage out;
    applyPhotoAdjustments(image, a, out);
    return out;
}

class PhotoEditorTest : public ::testing::Test {
protected:
    void SetUp() override {
        editor = WQPhotoEditor::create();
        editor->setPreviewHandler([this](const tovak::RGBAImage& preview) {
            ++previews;
            lastPreview = preview;
        });
        editor->setBackAction([this] { ++backs; });
        editor->setSendAction([this](std::shared_ptr<const WQEditedPhoto> photo) { sent.push_back(std::move(photo)); });
        editor->setFailureHandler([this](const std::string& message) { failures.push_back(message); });
    }
    // Waits until the preview on show is the photo edited with the editor's current values.
    bool settlesOn(const tovak::RGBAImage& photo) {
        return testsupport::runLoopUntil(
            [&] { return editor->shownPreview().pixels == edited(photo, editor->adjustments()).pixels; });
    }

    std::shared_ptr<WQPhotoEditor> editor;
    int previews = 0, backs = 0;
    tovak::RGBAImage lastPreview;
    std::vector<std::shared_ptr<const WQEditedPhoto>> sent;
    std::vector<std::string> failures;
};

}  // namespace

TEST_F(PhotoEditorTest, ValuesAreKeptWithinTheSlidersAndResetToNeutral) {
    struct Case {
        void (WQPhotoEditor::*set)(double);
        double WQPhotoAdjustments::*field;
        WQPhotoEditor::Range range;
    };
    const std::vector<Case> sliders{
        {&WQPhotoEditor::setBrightness, &WQPhotoAdjustments::brightness, WQPhotoEditor::brightnessRange},
        {&WQPhotoEditor::setContrast, &WQPhotoAdjustments::contrast, WQPhotoEditor::contrastRange},
        {&WQPhotoEditor::setSaturation, &WQPhotoAdjustments::saturation, WQPhotoEditor::saturationRange},
        {&WQPhotoEditor::setVignette, &WQPhotoAdjustments::vignette, WQPhotoEditor::vignetteRange},
    };
    for (const auto& s : sliders) {
        EXPECT_EQ(editor->adjustments().*s.field, s.range.neutral);
        (editor.get()->*s.set)(s.range.maximum + 10);
        EXPECT_EQ(editor->adjustments().*s.field, s.range.maximum);
        (editor.get()->*s.set)(s.range.minimum - 10);
        EXPECT_EQ(editor->adjustments().*s.field, s.range.minimum);
        (editor.get()->*s.set)(NAN);
        EXPECT_EQ(editor->adjustments().*s.field, s.range.minimum);
    }
    editor->setEffect(5);
    editor->setEffect(7);
    editor->setEffect(-1);
    EXPECT_EQ(editor->adjustments().effect, WQMediaEffect::tonal);
    editor->reset();
    EXPECT_EQ(editor->adjustments(), WQPhotoAdjustments{});
}

TEST_F(PhotoEditorTest, ThePreviewFollowsTheValuesAndKeepsEffectAndSlidersApart) {
    const auto photo = gradient(40, 30);
    editor->loadImage(photo);
    ASSERT_TRUE(settlesOn(photo));
    EXPECT_EQ(lastPreview.pixels, photo.pixels) << "neutral values show the photo unchanged";

    editor->setEffect(int(WQMediaEffect::tonal));
    editor->setVignette(0.8);  // a slider after the effect keeps the effect
    ASSERT_TRUE(settlesOn(photo));
    EXPECT_EQ(editor->adjustments().effect, WQMediaEffect::tonal);
    editor->setEffect(int(WQMediaEffect::fade));  // an effect keeps the slider values
    ASSERT_TRUE(settlesOn(photo));
    EXPECT_EQ(editor->adjustments().vignette, 0.8);

    // A burst of slider moves: computed a few times, not once per move, ending on the last value.
    const int before = previews;
    for (int i = 0; i <= 50; ++i) editor->setBrightness(-0.5 + i * 0.01);
    ASSERT_TRUE(settlesOn(photo));
    EXPECT_EQ(editor->adjustments().brightness, 0.0);
    EXPECT_LE(previews - before, 3);
}

TEST_F(PhotoEditorTest, APreviewIsScaledDownAndANewPhotoReplacesTheOldOnesRenders) {
    editor->loadImage(gradient(3200, 40));
    const auto second = gradient(20, 10);
    editor->loadImage(second);  // the first photo's preview must never show up after this
    ASSERT_TRUE(settlesOn(second));
    const int shownSecond = previews;
    const auto third = gradient(3200, 40);
    editor->loadImage(third);
    ASSERT_TRUE(testsupport::runLoopUntil([&] { return previews > shownSecond; }));
    EXPECT_EQ(lastPreview.width, 1600);
    EXPECT_EQ(lastPreview.height, 20);
    // Steps write into pictures kept from earlier runs: none of the earlier photo's size shows up.
    for (double value : {0.3, -0.2, 0.1}) {
        editor->setBrightness(value);
        ASSERT_TRUE(settlesOn(scaledToFit(third, 1600, 1600)));
        EXPECT_EQ(lastPreview.width, 1600);
    }
    editor->loadImage(tovak::RGBAImage());
    EXPECT_FALSE(editor->hasImage());
    EXPECT_FALSE(lastPreview.isValid());
}

TEST_F(PhotoEditorTest, SendHandsOverTheFullSizeEditedPhotoWithItsJPEG) {
    const auto photo = gradient(2000, 12);
    editor->loadImage(photo);
    editor->setSaturation(0);
    editor->buttonClicked("send");
    editor->buttonClicked("send");  // pressed again while the first is being prepared: ignored
    ASSERT_TRUE(testsupport::runLoopUntil([&] { return !sent.empty() && !editor->isSending(); }));
    ASSERT_EQ(sent.size(), 1u);
    ASSERT_TRUE(sent[0]);
    EXPECT_EQ(sent[0]->image.width, 2000);
    EXPECT_EQ(sent[0]->image.height, 12);
    EXPECT_EQ(sent[0]->image.pixels, edited(photo, editor->adjustments()).pixels);
    ASSERT_GT(sent[0]->jpegData.size(), 2u);
    EXPECT_EQ(sent[0]->jpegData[0], 0xFF);
    EXPECT_EQ(sent[0]->jpegData[1], 0xD8);
    EXPECT_TRUE(failures.empty());
}

TEST_F(PhotoEditorTest, APhotoThatCannotBeEncodedSendsNothingAndSaysSo) {
    editor->loadImage(gradient(70000, 1));  // wider than JPEG allows
    editor->buttonClicked("send");
    ASSERT_TRUE(testsupport::runLoopUntil([&] { return !failures.empty(); }, 20));
    EXPECT_TRUE(sent.empty());
    EXPECT_FALSE(editor->isSending());
    EXPECT_EQ(failures[0], "The photo could not be prepared for sending.");
}

TEST_F(PhotoEditorTest, BackSendAndOtherButtonsWithAndWithoutPhotoOrActions) {
    editor->buttonClicked("send");  // before a photo: the action receives nothing
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0], nullptr);
    editor->buttonClicked("back");
    editor->buttonClicked("forward");
    editor->buttonClicked("");
    EXPECT_EQ(backs, 1);
    EXPECT_EQ(sent.size(), 1u);
    editor->setBackAction(nullptr);
    editor->setSendAction(nullptr);
    editor->loadImage(gradient(4, 4));
    editor->buttonClicked("back");
    editor->buttonClicked("send");
    EXPECT_FALSE(editor->isSending());
}

TEST_F(PhotoEditorTest, TouchBarButtonsDoWhatTheScreenButtonsDo) {
    const auto& id = WQPhotoEditor::identifiers();
    EXPECT_TRUE(id.touchBar.ends_with(".mediaImageView"));
    EXPECT_TRUE(id.back.ends_with(".mediaImageViewTouchBar.back"));
    EXPECT_TRUE(id.send.ends_with(".mediaImageViewTouchBar.send"));
    auto bar = editor->touchBar();
    ASSERT_TRUE(bar);
    EXPECT_EQ(bar->customizationIdentifier(), id.touchBar);
    EXPECT_EQ(bar->defaultItemIdentifiers(),
              (std::vector<std::string>{id.back, std::string(platform::touchbar::kFlexibleSpace), id.send}));
    auto back = std::dynamic_pointer_cast<platform::CustomTouchBarItem>(bar->itemForIdentifier(id.back));
    auto send = std::dynamic_pointer_cast<platform::CustomTouchBarItem>(bar->itemForIdentifier(id.send));
    ASSERT_TRUE(back && send);
    EXPECT_EQ(back->view()->imageName(), "NSImageNameTouchBarGoBackTemplate");
    EXPECT_EQ(send->view()->imageName(), "NSImageNameTouchBarGoForwardTemplate");
    EXPECT_EQ(back->view()->title(), "");
    EXPECT_FALSE(bar->itemForIdentifier("something.else"));

    const auto photo = gradient(8, 8);
    editor->loadImage(photo);
    editor->setContrast(2);
    back->view()->press();
    EXPECT_EQ(backs, 1);
    send->view()->press();
    ASSERT_TRUE(testsupport::runLoopUntil([&] { return !sent.empty(); }));
    ASSERT_TRUE(sent[0]);
    EXPECT_EQ(sent[0]->image.pixels, edited(photo, editor->adjustments()).pixels);
}
