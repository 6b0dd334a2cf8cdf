// The photo editor's view drawing itself on the main thread, with a 12-megapixel photo open
// (its preview is 1600 pixels wide) in a 1200 x 900 window:
//   WholeRedraw   the whole view drawn again, as when the window is uncovered
//   PanelRedraw   only the panel's part drawn again, as each slider move asks (the photo under
//                 the panel is drawn again with it)
// Needs a display (run it under xvfb-run); without one it is skipped.
#include <benchmark/benchmark.h>
#include <gtkmm.h>

#include <chrono>
#include <cstdint>

#include "media/WQMediaImageView.h"

namespace {

using namespace parlivo;

struct OpenPhoto {
    std::shared_ptr<WQMediaImageView> view;
    std::unique_ptr<Gtk::OffscreenWindow> window;
    bool ok = false;

    OpenPhoto() {
        if (!gtk_init_check(nullptr, nullptr)) return;
        Gtk::Main::init_gtkmm_internals();
        view = WQMediaImageView::create();
        window = std::make_unique<Gtk::OffscreenWindow>();
        view->view().set_size_request(1200, 900);
        window->add(view->view());
        window->show_all();
        tovak::RGBAImage photo(4032, 3024);
        std::uint32_t noise = 12345;
        for (std::size_t i = 0; i < photo.pixels.size(); i += 4) {
            noise = noise * 1664525u + 1013904223u;
            photo.pixels[i] = std::uint8_t(i / 4 % 4032 * 255 / 4032);
            photo.pixels[i + 1] = std::uint8_t(noise >> 24);
            photo.pixels[i + 2] = 90;
            photo.pixels[i + 3] = 255;
        }
        view->loadImage(std::move(photo));
        const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (!view->editor()->shownPreview().isValid() && std::chrono::steady_clock::now() < giveUp)
            g_main_context_iteration(nullptr, TRUE);
        // Laid out at the window's size, not yet at 1 x 1.
        const auto laidOut = [this] {
            return view->view().get_allocated_width() == 1200 && view->view().get_allocated_height() == 900;
        };
        while (!laidOut() && std::chrono::steady_clock::now() < giveUp) g_main_context_iteration(nullptr, FALSE);
        ok = view->editor()->shownPreview().isValid() && laidOut();
    }
};

OpenPhoto& openPhoto() {
    static OpenPhoto open;
    return open;
}

void draw(benchmark::State& state, bool panelOnly) {
    auto& open = openPhoto();
    if (!open.ok) return state.SkipWithError("no display, or the photo did not open");
    auto& widget = open.view->view();
    const int width = widget.get_allocated_width(), height = widget.get_allocated_height();
    auto surface = Cairo::ImageSurface::create(Cairo::FORMAT_RGB24, width, height);
    for (auto _ : state) {
        auto cr = Cairo::Context::create(surface);
        if (panelOnly) {
            // The panel: centred at the bottom, about 420 x 200 pixels.
            cr->rectangle(width / 2.0 - 210, height - 210, 420, 200);
            cr->clip();
        }
        gtk_widget_draw(widget.gobj(), cr->cobj());
        surface->flush();
        benchmark::DoNotOptimize(surface->get_data());
    }
}

void WholeRedraw(benchmark::State& state) { draw(state, false); }
void PanelRedraw(benchmark::State& state) { draw(state, true); }

BENCHMARK(WholeRedraw)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(1);
BENCHMARK(PanelRedraw)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(1);

}  // namespace

BENCHMARK_MAIN();
