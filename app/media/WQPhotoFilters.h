#pragma once

#include <array>
#include <optional>
#include <string_view>

#include "RGBAImage.h"

namespace parlivo {

// The photo editor's image effects, in the editor's order (index = raw value).
enum class WQMediaEffect { none = 0, chrome, fade, instant, process, tonal, transfer };
inline constexpr int kMediaEffectCount = 7;
// The effect for a raw value; none for 7 or more (or below 0).
std::optional<WQMediaEffect> mediaEffect(int rawValue);
// "Default", "Chrome", "Fade", "Instant", "Process", "Tonal", "Transfer".
std::string_view mediaEffectTitle(WQMediaEffect effect);

// The editor's values. The neutral values (these defaults) leave a photo unchanged.
struct WQPhotoAdjustments {
    double brightness = 0;  // added to every channel
    double contrast = 1;    // spread around the middle grey
    double saturation = 1;  // 0 grey, 1 unchanged, above 1 more colourful
    double vignette = 0;    // darkening towards the corners: 0 none, 1 black corners
    WQMediaEffect effect = WQMediaEffect::none;
    bool operator==(const WQPhotoAdjustments&) const = default;
};

// A 3x4 colour matrix on channel values in 0...1: out = M * (r, g, b) + offset.
struct ColorMatrix {
    std::array<std::array<double, 4>, 3> m{{{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}}};

    static ColorMatrix identity() { return {}; }
    static ColorMatrix saturation(double s);
    static ColorMatrix contrast(double k);
    static ColorMatrix brightness(double b);
    static ColorMatrix gains(double r, double g, double b, double offsetR, double offsetG, double offsetB);
    // `this` applied after `first`.
    ColorMatrix after(const ColorMatrix& first) const;
    std::array<double, 3> apply(const std::array<double, 3>& c) const;
};

// The colour controls as one matrix: saturation, then brightness, then contrast.
ColorMatrix colorControlsMatrix(double brightness, double contrast, double saturation);
// An effect's matrix and its tone curve (applied to each channel after the matrix).
ColorMatrix effectMatrix(WQMediaEffect effect);
double effectCurve(WQMediaEffect effect, double x);
// The vignette's factor for the pixel at (x, y) of a width x height image.
double vignetteFactor(double intensity, int x, int y, int width, int height);

// The whole chain (docs/photo-effects.md): colour controls, vignette, effect; alpha is kept.
// `destination` is resized to the source's size. Runs on the calling thread, helped by a small
// pool of worker threads for large images.
void applyPhotoAdjustments(const tovak::RGBAImage& source, const WQPhotoAdjustments& adjustments,
                           tovak::RGBAImage& destination);

// The image scaled down (averaging the pixels each target pixel covers) to fit inside
// maxWidth x maxHeight, keeping its proportions; an image that fits is returned unchanged.
tovak::RGBAImage scaledToFit(const tovak::RGBAImage& image, int maxWidth, int maxHeight);

}  // namespace parlivo
