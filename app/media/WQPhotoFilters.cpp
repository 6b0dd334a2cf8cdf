#include "media/WQPhotoFilters.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <latch>
#include <thread>
#include <vector>

#include "foundation/WorkQueue.h"

// The formulas are written down in docs/photo-effects.md; keep the two in step.
namespace parlivo {
namespace {

// Rec. 709 luma weights: the grey a colour has when its saturation is taken away.
constexpr double kLuma[3] = {0.2125, 0.7154, 0.0721};
constexpr int kCurveSteps = 4096;

// Workers that share a large image's rows with the thread that asked. Never destroyed, and never
// the caller's own pool, so a filter run from any queue cannot wait on itself.
platform::WorkQueue& rowPool(unsigned& threads) {
    static unsigned count = std::clamp(std::thread::hardware_concurrency(), 1u, 8u);
    static platform::WorkQueue* pool = new platform::WorkQueue("photo filters", count);
    threads = count;
    return *pool;
}

template <class Body>
void forEachRowBand(int height, std::size_t pixelsPerRow, const Body& body) {
    unsigned threads = 1;
    platform::WorkQueue& pool = rowPool(threads);
    // Small images are not worth the hand-over.
    const std::size_t pixels = std::size_t(height) * pixelsPerRow;
    const int bands = int(std::min<std::size_t>({threads + 1, std::size_t(height), pixels / 65536 + 1}));
    if (bands <= 1) {
        body(0, height);
        return;
    }
    std::latch done(bands - 1);
    for (int band = 1; band < bands; ++band) {
        const int y0 = int(std::int64_t(height) * band / bands);
        const int y1 = int(std::int64_t(height) * (band + 1) / bands);
        pool.async([&, y0, y1] {
            body(y0, y1);
            done.count_down();
        });
    }
    body(0, int(std::int64_t(height) / bands));
    done.wait();
}

struct Prepared {
    float controls[3][4];  // for byte input: the 3x3 part already divided by 255
    float effect[3][4];
    bool vignette = false;
    float vignetteScale = 0;  // intensity / (half diagonal)^2
    std::vector<float> dx2;   // per column: squared distance of the pixel centre to the middle
    std::uint8_t curve[kCurveSteps + 1];
};

double finiteOr(double value, double neutral) {
    return std::isfinite(value) ? value : neutral;
}

Prepared prepare(const WQPhotoAdjustments& given, int width, int height) {
    WQPhotoAdjustments a = given;
    a.brightness = finiteOr(a.brightness, 0);
    a.contrast = finiteOr(a.contrast, 1);
    a.saturation = finiteOr(a.saturation, 1);
    a.vignette = finiteOr(a.vignette, 0);
    if (!mediaEffect(int(a.effect))) a.effect = WQMediaEffect::none;
    Prepared p;
    const ColorMatrix controls = colorControlsMatrix(a.brightness, a.contrast, a.saturation);
    const ColorMatrix effect = effectMatrix(a.effect);
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            p.controls[i][j] = float(controls.m[i][j] / 255.0);
            p.effect[i][j] = float(effect.m[i][j]);
        }
        p.controls[i][3] = float(controls.m[i][3]);
        p.effect[i][3] = float(effect.m[i][3]);
    }
    p.vignette = a.vignette != 0;
    if (p.vignette) {
        const double halfDiagonal2 = (double(width) * width + double(height) * height) / 4.0;
        p.vignetteScale = float(a.vignette / halfDiagonal2);
        p.dx2.resize(width);
        for (int x = 0; x < width; ++x) {
            const double dx = x + 0.5 - width / 2.0;
            p.dx2[x] = float(dx * dx);
        }
    }
    for (int i = 0; i <= kCurveSteps; ++i) {
        const double y = std::clamp(effectCurve(a.effect, double(i) / kCurveSteps), 0.0, 1.0);
        p.curve[i] = std::uint8_t(std::lround(y * 255.0));
    }
    return p;
}

// Pixels are handled in chunks of a fixed size, channel by channel (structure of arrays), so the
// compiler turns the arithmetic into vector instructions; the tail of a row is padded.
constexpr int kChunk = 256;

inline void clampChunk(float* v) {
    for (int i = 0; i < kChunk; ++i) v[i] = std::min(std::max(v[i], 0.0f), 1.0f);
}

void matrixChunk(const float (&matrix)[3][4], const float* __restrict r, const float* __restrict g,
                 const float* __restrict b, float* __restrict outR, float* __restrict outG, float* __restrict outB) {
    const float m00 = matrix[0][0], m01 = matrix[0][1], m02 = matrix[0][2], m03 = matrix[0][3];
    const float m10 = matrix[1][0], m11 = matrix[1][1], m12 = matrix[1][2], m13 = matrix[1][3];
    const float m20 = matrix[2][0], m21 = matrix[2][1], m22 = matrix[2][2], m23 = matrix[2][3];
    for (int i = 0; i < kChunk; ++i) {
        outR[i] = m00 * r[i] + m01 * g[i] + m02 * b[i] + m03;
        outG[i] = m10 * r[i] + m11 * g[i] + m12 * b[i] + m13;
        outB[i] = m20 * r[i] + m21 * g[i] + m22 * b[i] + m23;
    }
    clampChunk(outR);
    clampChunk(outG);
    clampChunk(outB);
}

void filterRows(const Prepared& p, const std::uint8_t* in, std::uint8_t* out, int width, int height, int y0, int y1) {
    alignas(32) float r[kChunk], g[kChunk], b[kChunk], r1[kChunk], g1[kChunk], b1[kChunk], dx2[kChunk];
    alignas(32) int index[3][kChunk];
    for (int y = y0; y < y1; ++y) {
        const std::uint8_t* row = in + std::size_t(y) * width * 4;
        std::uint8_t* target = out + std::size_t(y) * width * 4;
        const double dy = y + 0.5 - height / 2.0;
        const float dy2 = float(dy * dy);
        for (int x0 = 0; x0 < width; x0 += kChunk) {
            const int n = std::min(kChunk, width - x0);
            const std::uint8_t* s = row + std::size_t(x0) * 4;
            for (int i = 0; i < n; ++i) {
                r[i] = s[i * 4];
                g[i] = s[i * 4 + 1];
                b[i] = s[i * 4 + 2];
            }
            for (int i = n; i < kChunk; ++i) r[i] = g[i] = b[i] = 0;
            matrixChunk(p.controls, r, g, b, r1, g1, b1);
            if (p.vignette) {
                for (int i = 0; i < n; ++i) dx2[i] = p.dx2[x0 + i];
                for (int i = n; i < kChunk; ++i) dx2[i] = 0;
                for (int i = 0; i < kChunk; ++i) {
                    const float m = 1.0f - p.vignetteScale * (dx2[i] + dy2);
                    r1[i] *= m;
                    g1[i] *= m;
                    b1[i] *= m;
                }
                clampChunk(r1);
                clampChunk(g1);
                clampChunk(b1);
            }
            matrixChunk(p.effect, r1, g1, b1, r, g, b);
            for (int i = 0; i < kChunk; ++i) {
                index[0][i] = int(r[i] * kCurveSteps + 0.5f);
                index[1][i] = int(g[i] * kCurveSteps + 0.5f);
                index[2][i] = int(b[i] * kCurveSteps + 0.5f);
            }
            std::uint8_t* d = target + std::size_t(x0) * 4;
            for (int i = 0; i < n; ++i) {
                d[i * 4] = p.curve[index[0][i]];
                d[i * 4 + 1] = p.curve[index[1][i]];
                d[i * 4 + 2] = p.curve[index[2][i]];
                d[i * 4 + 3] = s[i * 4 + 3];
            }
        }
    }
}

}  // namespace

std::optional<WQMediaEffect> mediaEffect(int rawValue) {
    if (rawValue < 0 || rawValue >= kMediaEffectCount) return std::nullopt;
    return WQMediaEffect(rawValue);
}

std::string_view mediaEffectTitle(WQMediaEffect effect) {
    static constexpr std::string_view titles[kMediaEffectCount] = {"Default", "Chrome",  "Fade",    "Instant",
                                                                   "Process", "Tonal", "Transfer"};
    return titles[int(effect)];
}

ColorMatrix ColorMatrix::saturation(double s) {
    ColorMatrix result;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) result.m[i][j] = (1 - s) * kLuma[j] + (i == j ? s : 0);
    return result;
}

ColorMatrix ColorMatrix::contrast(double k) {
    ColorMatrix result;
    for (int i = 0; i < 3; ++i) {
        result.m[i][i] = k;
        result.m[i][3] = 0.5 * (1 - k);
    }
    return result;
}

ColorMatrix ColorMatrix::brightness(double b) {
    ColorMatrix result;
    for (int i = 0; i < 3; ++i) result.m[i][3] = b;
    return result;
}

ColorMatrix ColorMatrix::gains(double r, double g, double b, double offsetR, double offsetG, double offsetB) {
    ColorMatrix result;
    const double gain[3] = {r, g, b};
    const double offset[3] = {offsetR, offsetG, offsetB};
    for (int i = 0; i < 3; ++i) {
        result.m[i][i] = gain[i];
        result.m[i][3] = offset[i];
    }
    return result;
}

ColorMatrix ColorMatrix::after(const ColorMatrix& first) const {
    ColorMatrix result;
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 4; ++j) {
            double sum = j == 3 ? m[i][3] : 0;
            for (int k = 0; k < 3; ++k) sum += m[i][k] * first.m[k][j];
            result.m[i][j] = sum;
        }
    }
    return result;
}

std::array<double, 3> ColorMatrix::apply(const std::array<double, 3>& c) const {
    std::array<double, 3> out{};
    for (int i = 0; i < 3; ++i) out[i] = m[i][0] * c[0] + m[i][1] * c[1] + m[i][2] * c[2] + m[i][3];
    return out;
}

ColorMatrix colorControlsMatrix(double brightness, double contrast, double saturation) {
    return ColorMatrix::contrast(contrast).after(ColorMatrix::brightness(brightness).after(ColorMatrix::saturation(saturation)));
}

ColorMatrix effectMatrix(WQMediaEffect effect) {
    using M = ColorMatrix;
    switch (effect) {
        case WQMediaEffect::none:
            return M::identity();
        case WQMediaEffect::chrome:
            return M::contrast(1.1).after(M::saturation(1.4));
        case WQMediaEffect::fade:
            return M::gains(0.8, 0.8, 0.8, 0.1, 0.1, 0.1).after(M::saturation(0.65));
        case WQMediaEffect::instant:
            return M::gains(1.02, 0.97, 0.82, 0.04, 0.03, 0.07).after(M::saturation(0.85));
        case WQMediaEffect::process:
            return M::contrast(1.1).after(M::gains(0.92, 1.0, 1.06, 0.0, 0.02, 0.05).after(M::saturation(1.1)));
        case WQMediaEffect::tonal:
            return M::saturation(0);
        case WQMediaEffect::transfer:
            return M::gains(1.06, 1.0, 0.86, 0.02, 0.01, 0.04).after(M::saturation(1.1));
    }
    return M::identity();
}

double effectCurve(WQMediaEffect effect, double x) {
    switch (effect) {
        case WQMediaEffect::instant:
            return std::pow(x, 0.9);
        case WQMediaEffect::tonal:
            return 0.5 * x + 0.5 * (3 * x * x - 2 * x * x * x);
        case WQMediaEffect::transfer:
            return std::pow(x, 1.1);
        default:
            return x;
    }
}

double vignetteFactor(double intensity, int x, int y, int width, int height) {
    const double dx = x + 0.5 - width / 2.0;
    const double dy = y + 0.5 - height / 2.0;
    const double halfDiagonal2 = (double(width) * width + double(height) * height) / 4.0;
    return 1 - intensity * (dx * dx + dy * dy) / halfDiagonal2;
}

void applyPhotoAdjustments(const tovak::RGBAImage& source, const WQPhotoAdjustments& adjustments,
                           tovak::RGBAImage& destination) {
    if (!source.isValid()) {
        destination = {};
        return;
    }
    if (destination.width != source.width || destination.height != source.height || !destination.isValid())
        destination = tovak::RGBAImage(source.width, source.height);
    const Prepared prepared = prepare(adjustments, source.width, source.height);
    const std::uint8_t* in = source.pixels.data();
    std::uint8_t* out = destination.pixels.data();
    const int width = source.width, height = source.height;
    forEachRowBand(height, std::size_t(width),
                   [&](int y0, int y1) { filterRows(prepared, in, out, width, height, y0, y1); });
}

tovak::RGBAImage scaledToFit(const tovak::RGBAImage& image, int maxWidth, int maxHeight) {
    if (!image.isValid() || maxWidth <= 0 || maxHeight <= 0) return image;
    if (image.width <= maxWidth && image.height <= maxHeight) return image;
    const double scale = std::min(double(maxWidth) / image.width, double(maxHeight) / image.height);
    const int width = std::max(1, int(std::lround(image.width * scale)));
    const int height = std::max(1, int(std::lround(image.height * scale)));
    tovak::RGBAImage result(width, height);
    // Each target pixel averages the source block it covers (integer bounds, at least 1x1).
    std::vector<int> x0(width + 1);
    for (int x = 0; x <= width; ++x) x0[x] = int(std::int64_t(x) * image.width / width);
    forEachRowBand(height, std::size_t(image.width) * (image.height / height + 1), [&](int ty0, int ty1) {
        std::vector<std::uint64_t> sums(std::size_t(width) * 4);
        for (int ty = ty0; ty < ty1; ++ty) {
            const int sy0 = int(std::int64_t(ty) * image.height / height);
            const int sy1 = std::max(sy0 + 1, int(std::int64_t(ty + 1) * image.height / height));
            std::fill(sums.begin(), sums.end(), 0);
            for (int sy = sy0; sy < sy1; ++sy) {
                const std::uint8_t* row = image.pixels.data() + std::size_t(sy) * image.width * 4;
                for (int tx = 0; tx < width; ++tx) {
                    const int sx1 = std::max(x0[tx] + 1, x0[tx + 1]);
                    std::uint64_t* sum = &sums[std::size_t(tx) * 4];
                    for (int sx = x0[tx]; sx < sx1; ++sx)
                        for (int c = 0; c < 4; ++c) sum[c] += row[std::size_t(sx) * 4 + c];
                }
            }
            std::uint8_t* out = result.pixels.data() + std::size_t(ty) * width * 4;
            for (int tx = 0; tx < width; ++tx) {
                const std::uint64_t count = std::uint64_t(sy1 - sy0) * std::uint64_t(std::max(x0[tx] + 1, x0[tx + 1]) - x0[tx]);
                for (int c = 0; c < 4; ++c) out[tx * 4 + c] = std::uint8_t((sums[std::size_t(tx) * 4 + c] + count / 2) / count);
            }
        }
    });
    return result;
}

}  // namespace parlivo
