// The photo editor's view: its controls drive the editor, the preview shows, send and back work
// from the screen, and a photo that cannot be sent says so.
#include <gtest/gtest.h>
#include <gtkmm.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>

#include "RunLoop.h"
#include "media/WQMediaImageView.h"

using namespace parlivo;

namespace {

tovak::RGBAImage photo(int width, int height) {
    tovak::RGBAImage image(width, height);
    for (std::size_t i = 0; i < image.pixels.size(); i += 4) {
        image.pixels[i] = 200, image.pixels[i + 1] = 120, image.pixels[i + 2] = 40, image.pixels[i + 3] = 255;
    }
    return image;
}

class MediaImageViewTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        ASSERT_TRUE(gtk_init_check(nullptr, nullptr)) << "needs a display";
        Gtk::Main::init_gtkmm_internals();
    }
    void SetUp() override {
        view = WQMediaImageView::create();
        window = std::make_unique<Gtk::Window>();
        window->set_default_size(800, 600);
        window->add(view->view());
        window->show_all();
        view->setBackAction([this] { ++backs; });
        view->setSendAction([this](std::shared_ptr<const WQEditedPhoto> p) { sent.push_back(std::move(p)); });
    }
    void TearDown() override {
        window->remove();
        view.reset();
        window.reset();
    }

    // How far the colour the view draws now at the photo's middle lies from the pixel at the
    // middle of `picture` (the largest difference of the three channels).
    int drawnMiddleDiffersFrom(const tovak::RGBAImage& picture) {
        // Laid out first, as the window's next frame would do: GTK draws nothing with a size
        // change still pending (the status line below the panel, a slider's value).
        gtk_container_check_resize(GTK_CONTAINER(window->gobj()));
        auto& widget = view->view();
        const int width = widget.get_allocated_width(), height = widget.get_allocated_height();
        auto surface = Cairo::ImageSurface::create(Cairo::FORMAT_RGB24, width, height);
        gtk_widget_draw(widget.gobj(), Cairo::Context::create(surface)->cobj());
        surface->flush();
        // The photo is centred above the 60-pixel strip under it.
        const std::uint32_t drawn = reinterpret_cast<const std::uint32_t*>(
            surface->get_data() + std::size_t((height - 60) / 2) * surface->get_stride())[width / 2];
        const std::uint8_t* middle =
            &picture.pixels[(std::size_t(picture.height / 2) * picture.width + picture.width / 2) * 4];
        int worst = 0;
        for (int channel = 0; channel < 3; ++channel)
            worst = std::max(worst, std::abs(int((drawn >> (16 - 8 * channel)) & 0xff) - int(middle[channel])));
        return worst;
    }

    std::shared_ptr<WQMediaImageView> view;
    std::unique_ptr<Gtk::Window> window;
    int backs = 0;
    std::vector<std::shared_ptr<const WQEditedPhoto>> sent;
};

}  // namespace

TEST_F(MediaImageViewTest, ControlsStartNeutralAndDriveTheEditor) {
    EXPECT_EQ(view->effectPopUpButton().get_active_text(), "Default");
    std::vector<std::string> titles;
    auto model = view->effectPopUpButton().get_model();
    for (const auto& row : model->children()) {
        Glib::ustring title;
        row.get_value(0, title);
        titles.push_back(title);
    }
    EXPECT_EQ(titles, (std::vector<std::string>{"Default", "Chrome", "Fade", "Instant", "Process", "Tonal", "Transfer"}));
    EXPECT_EQ(view->brightnessSlider().get_value(), 0);
    EXPECT_EQ(view->contrastSlider().get_value(), 1);
    EXPECT_EQ(view->saturationSlider().get_value(), 1);
    EXPECT_EQ(view->vignetteSlider().get_value(), 0);
    EXPECT_EQ(view->backButton().get_name(), "back");
    EXPECT_EQ(view->sendButton().get_name(), "send");

    view->loadImage(photo(64, 48));
    ASSERT_TRUE(testsupport::runLoopUntil([&] { return view->editor()->shownPreview().isValid(); }));
    view->saturationSlider().set_value(0);
    view->vignetteSlider().set_value(0.5);
    view->effectPopUpButton().set_active(5);
    EXPECT_EQ(view->editor()->adjustments(), (WQPhotoAdjustments{0, 1, 0, 0.5, WQMediaEffect::tonal}));
    tovak::RGBAImage expected;
    applyPhotoAdjustments(photo(64, 48), view->editor()->adjustments(), expected);
    ASSERT_TRUE(testsupport::runLoopUntil([&] { return view->editor()->shownPreview().pixels == expected.pixels; }));
    EXPECT_EQ(view->shownImage().pixels, expected.pixels);
    EXPECT_LE(drawnMiddleDiffersFrom(expected), 2);
    // Later previews are written over the picture on screen: it follows them all the same.
    view->brightnessSlider().set_value(0.25);
    applyPhotoAdjustments(photo(64, 48), view->editor()->adjustments(), expected);
    ASSERT_TRUE(testsupport::runLoopUntil([&] { return view->editor()->shownPreview().pixels == expected.pixels; }));
    EXPECT_EQ(view->shownImage().pixels, expected.pixels);
    EXPECT_EQ(view->shownImage().width, 64);
    // And so does what is drawn, not a picture kept from before.
    EXPECT_LE(drawnMiddleDiffersFrom(expected), 2);

    view->backButton().clicked();
    EXPECT_EQ(backs, 1);
    view->sendButton().clicked();
    ASSERT_TRUE(testsupport::runLoopUntil([&] { return !sent.empty(); }));
    ASSERT_TRUE(sent[0]);
    EXPECT_EQ(sent[0]->image.pixels, expected.pixels);
}

TEST_F(MediaImageViewTest, APhotoThatCannotBeSentIsSaidOnScreen) {
    view->loadImage(photo(70000, 1));
    view->sendButton().clicked();
    ASSERT_TRUE(testsupport::runLoopUntil([&] { return view->statusLabel().get_visible(); }, 20));
    EXPECT_EQ(view->statusLabel().get_text(), "The photo could not be prepared for sending.");
    EXPECT_TRUE(sent.empty());
}
