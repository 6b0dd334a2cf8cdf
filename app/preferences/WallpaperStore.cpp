#include "preferences/WallpaperStore.h"

#include <memory>

#include "JPEGEncoding.h"
#include "RGBAImage.h"
#include "foundation/Log.h"
#include "foundation/MainQueue.h"
#include "foundation/WorkQueue.h"
#include "settings/Trellik.h"

namespace parlivo {

namespace {
constexpr double kWallpaperQuality = 0.95;
}

void storeWallpaper(Trellik& trellik, Glib::RefPtr<const Gdk::Pixbuf> image, std::function<void(bool)> done) {
    if (!image) {
        trellik.setWallpaper(std::nullopt);
        if (done) platform::MainQueue::async([done = std::move(done)] { done(true); });
        return;
    }
    // A plain copy of the pixels crosses to the worker; the pixbuf and its wrapper stay here.
    auto pixels = std::make_shared<tovak::RGBAImage>(tovak::RGBAImage::fromPixbuf(image));
    platform::WorkQueue::global().async([&trellik, pixels, done = std::move(done)]() mutable {
        auto jpeg = tovak::getJPEGDataWithQuality(*pixels, kWallpaperQuality);
        platform::MainQueue::async([&trellik, jpeg = std::move(jpeg), done = std::move(done)] {
            if (jpeg) {
                trellik.setWallpaper(jpeg);
            } else {
                platform::systemLog("The chosen wallpaper could not be converted to JPEG; the previous one is kept",
                                    platform::LogLevel::warning);
            }
            if (done) done(jpeg.has_value());
        });
    });
}

}  // namespace parlivo
