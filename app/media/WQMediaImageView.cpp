#include "media/WQMediaImageView.h"

#include <atkmm/object.h>
#include <gtkmm.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "foundation/Localized.h"

namespace parlivo {
namespace {

// The strip below the photo that the panel's lower part covers.
constexpr int kBottomStrip = 60;

class ImageArea : public Gtk::DrawingArea {
public:
    void setImage(Glib::RefPtr<Gdk::Pixbuf> image) {
        image_ = std::move(image);
        surfaceStale_ = true;
        queue_draw();
    }
    const Glib::RefPtr<Gdk::Pixbuf>& image() const { return image_; }
    // Shows the editor's preview. It is written over the picture on show when that has its size
    // and nothing else holds it: a new picture of a preview's size is fresh memory, which the
    // system maps and clears page by page (slowly on a busy machine, and here on the main thread).
    void showPreview(const tovak::RGBAImage& preview) {
        if (!preview.isValid()) return setImage({});
        if (!image_ || image_->get_width() != preview.width || image_->get_height() != preview.height ||
            !image_->get_has_alpha() || image_->get_n_channels() != 4 || image_->get_bits_per_sample() != 8 ||
            G_OBJECT(image_->gobj())->ref_count != 1)
            return setImage(preview.toPixbuf());
        std::uint8_t* target = image_->get_pixels();
        const std::size_t stride = std::size_t(image_->get_rowstride()), row = std::size_t(preview.width) * 4;
        for (int y = 0; y < preview.height; ++y)
            std::memcpy(target + std::size_t(y) * stride, preview.pixels.data() + std::size_t(y) * row, row);
        surfaceStale_ = true;
        queue_draw();
    }

protected:
    // Scaled proportionally up or down to fit above the bottom strip, centred, on a dark ground.
    bool on_draw(const Cairo::RefPtr<Cairo::Context>& cr) override {
        const double width = get_allocated_width(), height = get_allocated_height() - kBottomStrip;
        cr->set_source_rgb(0.1, 0.1, 0.1);
        cr->paint();
        if (!image_ || width <= 0 || height <= 0) return true;
        const double scale = std::min(width / image_->get_width(), height / image_->get_height());
        const int shownWidth = std::max(1, int(std::lround(image_->get_width() * scale)));
        const int shownHeight = std::max(1, int(std::lround(image_->get_height() * scale)));
        cr->set_source(scaledSurface(shownWidth, shownHeight), std::round((width - shownWidth) / 2),
                       std::round((height - shownHeight) / 2));
        cr->paint();
        return true;
    }

private:
    // The picture as cairo draws it (premultiplied ARGB, or RGB when opaque), made again only when the picture
    // changed: a redraw for anything else (the panel over it follows every slider move, the
    // window is uncovered) paints from it instead of converting the whole picture each time.
    // Its memory is kept while the picture keeps its size.
    // The picture scaled to the size it is shown at, made again when the picture or that size
    // changed: a redraw is then a copy, not a filtered scaling of the whole picture.
    const Cairo::RefPtr<Cairo::ImageSurface>& scaledSurface(int width, int height) {
        if (!surfaceStale_ && scaled_ && scaled_->get_width() == width && scaled_->get_height() == height)
            return scaled_;
        const auto& picture = surface();
        if (!scaled_ || scaled_->get_width() != width || scaled_->get_height() != height ||
            scaled_->get_format() != picture->get_format())
            scaled_ = Cairo::ImageSurface::create(picture->get_format(), width, height);
        auto context = Cairo::Context::create(scaled_);
        context->set_operator(Cairo::OPERATOR_SOURCE);
        context->scale(double(width) / picture->get_width(), double(height) / picture->get_height());
        context->set_source(picture, 0, 0);
        context->paint();
        return scaled_;
    }

    const Cairo::RefPtr<Cairo::ImageSurface>& surface() {
        if (!surfaceStale_) return surface_;
        surfaceStale_ = false;
        const int width = image_->get_width(), height = image_->get_height();
        const int channels = image_->get_n_channels();
        const bool alpha = image_->get_has_alpha() && channels == 4;
        const std::uint8_t* source = image_->get_pixels();
        const std::size_t sourceStride = std::size_t(image_->get_rowstride());
        // A photo is opaque: said so, cairo copies where it would blend.
        bool opaque = true;
        for (int y = 0; alpha && opaque && y < height; ++y) {
            const std::uint8_t* in = source + std::size_t(y) * sourceStride + 3;
            for (int x = 0; x < width; ++x, in += 4) opaque &= *in == 255;
        }
        const auto format = opaque ? Cairo::FORMAT_RGB24 : Cairo::FORMAT_ARGB32;
        if (!surface_ || surface_->get_width() != width || surface_->get_height() != height ||
            surface_->get_format() != format)
            surface_ = Cairo::ImageSurface::create(format, width, height);
        surface_->flush();
        std::uint8_t* target = surface_->get_data();
        const std::size_t targetStride = std::size_t(surface_->get_stride());
        // c * a / 255, rounded, as GDK premultiplies.
        const auto premultiplied = [](unsigned c, unsigned a) {
            const unsigned t = c * a + 0x80;
            return ((t >> 8) + t) >> 8;
        };
        for (int y = 0; y < height; ++y) {
            const std::uint8_t* in = source + std::size_t(y) * sourceStride;
            auto* out = reinterpret_cast<std::uint32_t*>(target + std::size_t(y) * targetStride);
            for (int x = 0; x < width; ++x, in += channels) {
                const unsigned a = alpha ? in[3] : 255;
                out[x] = a << 24 | premultiplied(in[0], a) << 16 | premultiplied(in[1], a) << 8 | premultiplied(in[2], a);
            }
        }
        surface_->mark_dirty();
        return surface_;
    }

    Glib::RefPtr<Gdk::Pixbuf> image_;
    Cairo::RefPtr<Cairo::ImageSurface> surface_, scaled_;
    bool surfaceStale_ = true;
};

class View final : public WQMediaImageView {
public:
    View() : editor_(WQPhotoEditor::create()) {
        root_.add(image_);
        image_.set_hexpand(true);
        image_.set_vexpand(true);

        frame_.set_valign(Gtk::ALIGN_END);
        frame_.set_halign(Gtk::ALIGN_CENTER);
        frame_.set_margin_bottom(8);
        frame_.get_style_context()->add_class("osd");
        frame_.add(panel_);
        panel_.set_row_spacing(4);
        panel_.set_column_spacing(12);
        panel_.set_margin_start(14);
        panel_.set_margin_end(14);
        panel_.set_margin_top(10);
        panel_.set_margin_bottom(10);
        addSlider(0, "PHOTO_EDITOR_BRIGHTNESS", "Brightness", brightness_, WQPhotoEditor::brightnessRange,
                  [this](double v) { editor_->setBrightness(v); });
        addSlider(1, "PHOTO_EDITOR_CONTRAST", "Contrast", contrast_, WQPhotoEditor::contrastRange,
                  [this](double v) { editor_->setContrast(v); });
        addSlider(2, "PHOTO_EDITOR_SATURATION", "Saturation", saturation_, WQPhotoEditor::saturationRange,
                  [this](double v) { editor_->setSaturation(v); });
        addSlider(3, "PHOTO_EDITOR_VIGNETTE", "Vignette", vignette_, WQPhotoEditor::vignetteRange,
                  [this](double v) { editor_->setVignette(v); });

        for (int raw = 0; raw < kMediaEffectCount; ++raw)
            effects_.append(std::string(mediaEffectTitle(*mediaEffect(raw))));
        effects_.set_active(0);
        effects_.signal_changed().connect([this] { editor_->setEffect(effects_.get_active_row_number()); });

        back_.set_label(platform::localized("PHOTO_EDITOR_BACK", "Back"));
        back_.set_name("back");
        send_.set_label(platform::localized("PHOTO_EDITOR_SEND", "Send"));
        send_.set_name("send");
        send_.get_style_context()->add_class("suggested-action");
        for (Gtk::Button* button : {&back_, &send_})
            button->signal_clicked().connect([this, button] { editor_->buttonClicked(button->get_name()); });
        buttons_.set_spacing(8);
        buttons_.pack_start(back_, Gtk::PACK_SHRINK);
        buttons_.pack_start(effects_, Gtk::PACK_EXPAND_WIDGET);
        buttons_.pack_start(send_, Gtk::PACK_SHRINK);
        panel_.attach(buttons_, 0, 4, 2, 1);
        status_.get_style_context()->add_class("error");
        status_.set_no_show_all(true);
        panel_.attach(status_, 0, 5, 2, 1);
        root_.add_overlay(frame_);
        root_.set_can_focus(true);

        editor_->setPreviewHandler([this](const tovak::RGBAImage& preview) { image_.showPreview(preview); });
        editor_->setFailureHandler([this](const std::string& message) {
            status_.set_text(message);
            status_.show();
        });
        root_.show_all();
    }

    ~View() override {
        // The editor may outlive the view through work in flight: it must not call back into it.
        editor_->setPreviewHandler(nullptr);
        editor_->setFailureHandler(nullptr);
    }

    Gtk::Widget& view() override { return root_; }
    const std::shared_ptr<WQPhotoEditor>& editor() const override { return editor_; }
    void viewDidAppear() override {
        if (root_.get_toplevel() && root_.get_toplevel()->get_is_toplevel()) root_.grab_focus();
    }
    Gtk::Scale& brightnessSlider() override { return brightness_; }
    Gtk::Scale& contrastSlider() override { return contrast_; }
    Gtk::Scale& saturationSlider() override { return saturation_; }
    Gtk::Scale& vignetteSlider() override { return vignette_; }
    Gtk::ComboBoxText& effectPopUpButton() override { return effects_; }
    Gtk::Button& backButton() override { return back_; }
    Gtk::Button& sendButton() override { return send_; }
    Gtk::Label& statusLabel() override { return status_; }
    tovak::RGBAImage shownImage() const override { return tovak::RGBAImage::fromPixbuf(image_.image()); }

private:
    void addSlider(int row, const char* key, const char* english, Gtk::Scale& slider, WQPhotoEditor::Range range,
                   std::function<void(double)> apply) {
        const std::string name = platform::localized(key, english);
        auto* label = Gtk::make_managed<Gtk::Label>(name);
        label->set_halign(Gtk::ALIGN_END);
        // The label beside the slider is only seen: screen readers need the slider's own name.
        slider.get_accessible()->set_name(name);
        slider.set_range(range.minimum, range.maximum);
        slider.set_increments((range.maximum - range.minimum) / 100, (range.maximum - range.minimum) / 10);
        slider.set_value(range.neutral);
        slider.set_draw_value(false);
        slider.set_size_request(280, -1);
        slider.set_hexpand(true);
        slider.signal_value_changed().connect([&slider, apply = std::move(apply)] { apply(slider.get_value()); });
        panel_.attach(*label, 0, row, 1, 1);
        panel_.attach(slider, 1, row, 1, 1);
    }

    std::shared_ptr<WQPhotoEditor> editor_;
    Gtk::Overlay root_;
    ImageArea image_;
    Gtk::EventBox frame_;
    Gtk::Grid panel_;
    Gtk::Scale brightness_{Gtk::ORIENTATION_HORIZONTAL}, contrast_{Gtk::ORIENTATION_HORIZONTAL},
        saturation_{Gtk::ORIENTATION_HORIZONTAL}, vignette_{Gtk::ORIENTATION_HORIZONTAL};
    Gtk::ComboBoxText effects_;
    Gtk::Box buttons_{Gtk::ORIENTATION_HORIZONTAL};
    Gtk::Button back_, send_;
    Gtk::Label status_;
};

}  // namespace

std::shared_ptr<WQMediaImageView> WQMediaImageView::create() {
    return std::make_shared<View>();
}

}  // namespace parlivo
