// Sonogram painting: short-time spectra by a radix-2 FFT, one column per
// pixel of time, each pixel row of frequency taking the strongest bin it
// covers (or the nearest bin where rows are finer than bins), then cairo.
#include "tools/gallery/Sonogram.h"

#include <cairo.h>
#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdio>
#include <numbers>
#include <vector>

namespace Gallery {

namespace {

constexpr int kFftSize = 4096;
constexpr int kLeft = 56, kRight = 16, kTop = 30, kBottom = 34;

void fft(std::vector<std::complex<double>>& a) {
    const size_t n = a.size();
    for (size_t i = 1, j = 0; i < n; ++i) {
        size_t bit = n >> 1;
        for (; j & bit; bit >>= 1) j ^= bit;
        j ^= bit;
        if (i < j) std::swap(a[i], a[j]);
    }
    for (size_t len = 2; len <= n; len <<= 1) {
        const double angle = -2.0 * std::numbers::pi / static_cast<double>(len);
        const std::complex<double> step(std::cos(angle), std::sin(angle));
        for (size_t i = 0; i < n; i += len) {
            std::complex<double> w(1.0, 0.0);
            for (size_t k = 0; k < len / 2; ++k) {
                const std::complex<double> u = a[i + k], v = a[i + k + len / 2] * w;
                a[i + k] = u + v;
                a[i + k + len / 2] = u - v;
                w *= step;
            }
        }
    }
}

// Dark blue through purple, red and orange to pale yellow.
void colour(double t, double& r, double& g, double& b) {
    static constexpr double stops[][3] = {
        {0.00, 0.00, 0.02}, {0.10, 0.05, 0.35}, {0.45, 0.05, 0.55},
        {0.80, 0.15, 0.30}, {0.98, 0.50, 0.05}, {1.00, 0.95, 0.65},
    };
    constexpr int last = static_cast<int>(std::size(stops)) - 1;
    t = std::clamp(t, 0.0, 1.0) * last;
    const int i = std::min(static_cast<int>(t), last - 1);
    const double f = t - i;
    r = stops[i][0] + f * (stops[i + 1][0] - stops[i][0]);
    g = stops[i][1] + f * (stops[i + 1][1] - stops[i][1]);
    b = stops[i][2] + f * (stops[i + 1][2] - stops[i][2]);
}

bool readMono(const std::string& path, std::vector<float>& mono, double& rate, std::string& error) {
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (file == nullptr) {
        error = "cannot read " + path + ": " + sf_strerror(nullptr);
        return false;
    }
    std::vector<float> frames(static_cast<size_t>(info.frames) * static_cast<size_t>(info.channels));
    const sf_count_t got = sf_readf_float(file, frames.data(), info.frames);
    sf_close(file);
    mono.assign(static_cast<size_t>(got), 0.0f);
    for (sf_count_t i = 0; i < got; ++i) {
        float sum = 0.0f;
        for (int c = 0; c < info.channels; ++c) sum += frames[static_cast<size_t>(i * info.channels + c)];
        mono[static_cast<size_t>(i)] = sum / static_cast<float>(info.channels);
    }
    rate = info.samplerate;
    if (mono.empty() || rate <= 0) {
        error = path + " holds no audio";
        return false;
    }
    return true;
}

}  // namespace

bool paintSonogram(const std::string& wavPath, const std::string& pngPath, const std::string& title,
                      const SonogramStyle& style, std::string& error) {
    std::vector<float> mono;
    double rate = 0;
    if (!readMono(wavPath, mono, rate, error)) return false;

    const int width = style.plotWidth, height = style.plotHeight;
    const double seconds = static_cast<double>(mono.size()) / rate;
    const double topHz = std::min(style.highestHz, 0.5 * rate);
    const double octaves = std::log2(topHz / style.lowestHz);
    const double binHz = rate / kFftSize;

    std::vector<double> window(kFftSize);
    double windowSum = 0;
    for (int i = 0; i < kFftSize; ++i) {
        window[static_cast<size_t>(i)] = 0.5 - 0.5 * std::cos(2.0 * std::numbers::pi * i / (kFftSize - 1));
        windowSum += window[static_cast<size_t>(i)];
    }

    // Row y (0 at the top) covers bins [rowLow[y], rowHigh[y]].
    std::vector<int> rowLow(static_cast<size_t>(height)), rowHigh(static_cast<size_t>(height));
    for (int y = 0; y < height; ++y) {
        const double hiHz = style.lowestHz * std::exp2(octaves * (height - y) / height);
        const double loHz = style.lowestHz * std::exp2(octaves * (height - y - 1) / height);
        const int lo = std::clamp(static_cast<int>(std::lround(loHz / binHz)), 1, kFftSize / 2);
        const int hi = std::clamp(static_cast<int>(std::lround(hiHz / binHz)), lo, kFftSize / 2);
        rowLow[static_cast<size_t>(y)] = lo;
        rowHigh[static_cast<size_t>(y)] = hi;
    }

    const int imageWidth = kLeft + width + kRight, imageHeight = kTop + height + kBottom;
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, imageWidth, imageHeight);
    cairo_t* cr = cairo_create(surface);
    cairo_set_source_rgb(cr, 0.96, 0.96, 0.95);
    cairo_paint(cr);

    cairo_surface_flush(surface);
    unsigned char* pixels = cairo_image_surface_get_data(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    std::vector<std::complex<double>> spectrum(kFftSize);
    std::vector<double> level(kFftSize / 2 + 1);
    for (int x = 0; x < width; ++x) {
        const auto centre = static_cast<long>((x + 0.5) / width * static_cast<double>(mono.size()));
        for (int i = 0; i < kFftSize; ++i) {
            const long at = centre - kFftSize / 2 + i;
            const float sample = at >= 0 && at < static_cast<long>(mono.size()) ? mono[static_cast<size_t>(at)] : 0.0f;
            spectrum[static_cast<size_t>(i)] = window[static_cast<size_t>(i)] * sample;
        }
        fft(spectrum);
        for (size_t k = 0; k < level.size(); ++k) level[k] = 2.0 * std::abs(spectrum[k]) / windowSum;
        for (int y = 0; y < height; ++y) {
            double strongest = 0;
            for (int k = rowLow[static_cast<size_t>(y)]; k <= rowHigh[static_cast<size_t>(y)]; ++k)
                strongest = std::max(strongest, level[static_cast<size_t>(k)]);
            const double db = strongest > 0 ? 20.0 * std::log10(strongest) : style.floorDb;
            double r, g, b;
            colour((db - style.floorDb) / -style.floorDb, r, g, b);
            auto* px = reinterpret_cast<uint32_t*>(pixels + (kTop + y) * stride) + kLeft + x;
            *px = (static_cast<uint32_t>(r * 255) << 16) | (static_cast<uint32_t>(g * 255) << 8) |
                  static_cast<uint32_t>(b * 255);
        }
    }
    cairo_surface_mark_dirty(surface);

    cairo_select_font_face(cr, "Liberation Sans", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_source_rgb(cr, 0.1, 0.1, 0.1);
    cairo_set_font_size(cr, 15);
    cairo_move_to(cr, kLeft, 20);
    cairo_show_text(cr, title.c_str());
    cairo_set_font_size(cr, 11);
    cairo_set_line_width(cr, 1);
    char label[32];
    for (double hz : {50.0, 100.0, 200.0, 500.0, 1000.0, 2000.0, 5000.0, 10000.0, 20000.0}) {
        if (hz > topHz) break;
        const double y = kTop + height - height * std::log2(hz / style.lowestHz) / octaves;
        cairo_move_to(cr, kLeft - 5, y + 0.5);
        cairo_line_to(cr, kLeft, y + 0.5);
        cairo_stroke(cr);
        if (hz >= 1000) std::snprintf(label, sizeof label, "%gk", hz / 1000);
        else std::snprintf(label, sizeof label, "%g", hz);
        cairo_text_extents_t extents;
        cairo_text_extents(cr, label, &extents);
        cairo_move_to(cr, kLeft - 8 - extents.x_advance, y + 4);
        cairo_show_text(cr, label);
    }
    for (int s = 0; s <= static_cast<int>(seconds); ++s) {
        const double x = kLeft + width * s / seconds;
        cairo_move_to(cr, x + 0.5, kTop + height);
        cairo_line_to(cr, x + 0.5, kTop + height + 5);
        cairo_stroke(cr);
        std::snprintf(label, sizeof label, "%d s", s);
        cairo_move_to(cr, x - 6, kTop + height + 18);
        cairo_show_text(cr, label);
    }
    cairo_move_to(cr, 4, kTop + height + 30);
    cairo_show_text(cr, "Hz");

    cairo_destroy(cr);
    const cairo_status_t status = cairo_surface_write_to_png(surface, pngPath.c_str());
    cairo_surface_destroy(surface);
    if (status != CAIRO_STATUS_SUCCESS) {
        error = "cannot write " + pngPath + ": " + cairo_status_to_string(status);
        return false;
    }
    return true;
}

}  // namespace Gallery
