#pragma once

#include <functional>

#include <gdkmm/pixbuf.h>

namespace parlivo {

class Trellik;

// Stores the picture chosen in the wallpaper well: as JPEG at quality 0.95, encoded on a
// worker, handed to Trellik::setWallpaper on the main queue; no picture removes the stored
// wallpaper. A picture that cannot be encoded leaves the old wallpaper file as it was (and is
// logged) rather than deleting it. The latest call wins: a choice whose encoding finishes
// after a later call (a newer picture, or a removal) is dropped, so the file ends as the user
// last chose. `done` (optional) runs on the main queue with whether the stored wallpaper now
// matches this choice (false for a failed or superseded one). The settings model must outlive
// the encoding (the shared one does). Main thread.
void storeWallpaper(Trellik& trellik, Glib::RefPtr<const Gdk::Pixbuf> image, std::function<void(bool)> done = {});

}  // namespace parlivo
