#include "preferences/WallpaperStore.h"

#include <cstdint>
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
// The latest call (main thread only). The file is one per user, so the count is per process.
std::uint64_t latestRequest = 0;
}  // namespace

void storeWallpaper(Trellik& trellik, Glib::RefPtr<const Gdk::Pixbuf> image, std::function<void(bool)> done) {
    const std::uint64_t request = ++latestRequest;
    if (!image) {
        trellik.setWallpaper(std::nullopt);
        if (done) platform::MainQueue::async([done = std::move(done)] { done(true); });
        return;
    }
    // A plain copy of the pixels crosses to the worker; the pixbuf and its wrapper stay here.
    auto pixels = std::make_shared<tovak::RGBAImage>(tovak::RGBAImage::fromPixbuf(image));
    platform::WorkQueue::global().async([&trellik, pixels, request, done = std::move(done)]() mutable {
        auto jpeg = tovak::getJPEGDataWithQuality(*pixels, kWallpaperQuality);
        platform::MainQueue::async([&trellik, request, jpeg = std::move(jpeg), done = std::move(done)] {
            if (request != latestRequest) {
                // The user chose again while this one was encoded: theirs is the later choice.
                if (done) done(false);
                return;
            }
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
