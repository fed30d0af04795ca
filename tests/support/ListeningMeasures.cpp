// Listening measurements on rendered takes; loudness and peaks come from
// libebur128, the windowed levels are plain RMS and peak arithmetic.
#include "tests/support/ListeningMeasures.h"

#include <ebur128.h>

#include <algorithm>
#include <cmath>
#include <memory>

namespace TestSupport {

namespace {

double toDbOrFloor(double amplitude, double floorDb) {
    return amplitude > 0.0 ? std::max(20.0 * std::log10(amplitude), floorDb) : floorDb;
}

double peakOf(const std::vector<float>& left, const std::vector<float>& right, int64_t from, int64_t to) {
    from = std::max<int64_t>(from, 0);
    to = std::min<int64_t>(to, static_cast<int64_t>(left.size()));
    double peak = 0.0;
    for (int64_t i = from; i < to; ++i) {
        const auto k = static_cast<size_t>(i);
        peak = std::max({peak, std::fabs(static_cast<double>(left[k])), std::fabs(static_cast<double>(right[k]))});
    }
    return peak;
}

}  // namespace

Loudness measureLoudness(const std::vector<float>& left, const std::vector<float>& right, int64_t frames,
                         double sampleRate) {
    Loudness result;
    frames = std::min<int64_t>(frames, static_cast<int64_t>(std::min(left.size(), right.size())));
    std::unique_ptr<ebur128_state, void (*)(ebur128_state*)> state(
        ebur128_init(2, static_cast<unsigned long>(sampleRate), EBUR128_MODE_I | EBUR128_MODE_TRUE_PEAK),
        [](ebur128_state* s) { ebur128_destroy(&s); });
    if (!state || frames <= 0) return result;
    // libebur128 takes interleaved frames; feed it a second at a time.
    const auto chunk = static_cast<int64_t>(sampleRate);
    std::vector<float> interleaved(static_cast<size_t>(2 * chunk));
    for (int64_t start = 0; start < frames; start += chunk) {
        const int64_t n = std::min(chunk, frames - start);
        for (int64_t i = 0; i < n; ++i) {
            interleaved[static_cast<size_t>(2 * i)] = left[static_cast<size_t>(start + i)];
            interleaved[static_cast<size_t>(2 * i + 1)] = right[static_cast<size_t>(start + i)];
        }
        ebur128_add_frames_float(state.get(), interleaved.data(), static_cast<size_t>(n));
    }
    double lufs = 0.0;
    if (ebur128_loudness_global(state.get(), &lufs) == EBUR128_SUCCESS && std::isfinite(lufs))
        result.integratedLufs = lufs;
    double truePeak = 0.0, samplePeak = 0.0;
    for (unsigned channel = 0; channel < 2; ++channel) {
        double p = 0.0;
        if (ebur128_true_peak(state.get(), channel, &p) == EBUR128_SUCCESS) truePeak = std::max(truePeak, p);
        if (ebur128_sample_peak(state.get(), channel, &p) == EBUR128_SUCCESS) samplePeak = std::max(samplePeak, p);
    }
    result.truePeakDb = toDbOrFloor(truePeak, -1000.0);
    result.samplePeakDb = toDbOrFloor(samplePeak, -1000.0);
    return result;
}

double levelDb(const std::vector<float>& left, const std::vector<float>& right, int64_t from, int64_t count) {
    from = std::max<int64_t>(from, 0);
    const int64_t to = std::min<int64_t>(from + count, static_cast<int64_t>(std::min(left.size(), right.size())));
    if (to <= from) return -400.0;
    double sum = 0.0;
    for (int64_t i = from; i < to; ++i) {
        const double l = left[static_cast<size_t>(i)], r = right[static_cast<size_t>(i)];
        sum += l * l + r * r;
    }
    const double meanSquare = sum / (2.0 * static_cast<double>(to - from));
    return meanSquare > 0.0 ? std::max(10.0 * std::log10(meanSquare), -400.0) : -400.0;
}

Tail measureTail(const std::vector<float>& left, const std::vector<float>& right, int64_t releaseFrame,
                 double sampleRate) {
    Tail tail;
    const auto halfWindow = static_cast<int64_t>(0.25 * sampleRate);
    tail.at1sDb = levelDb(left, right, releaseFrame + static_cast<int64_t>(sampleRate) - halfWindow, 2 * halfWindow);
    tail.at10sDb =
        levelDb(left, right, releaseFrame + static_cast<int64_t>(10.0 * sampleRate) - halfWindow, 2 * halfWindow);
    const auto step = static_cast<int64_t>(0.05 * sampleRate);
    const auto end = static_cast<int64_t>(std::min(left.size(), right.size()));
    int64_t lastLoud = releaseFrame;
    for (int64_t at = releaseFrame; at + step <= end; at += step)
        if (levelDb(left, right, at, step) > kTailFloorDb) lastLoud = at + step;
    tail.seconds = static_cast<double>(lastLoud - releaseFrame) / sampleRate;
    return tail;
}

double onsetExcessDb(const std::vector<float>& left, const std::vector<float>& right, int64_t noteOnFrame,
                     double sampleRate) {
    const auto early = noteOnFrame + static_cast<int64_t>(0.020 * sampleRate);
    const auto late = noteOnFrame + static_cast<int64_t>(0.300 * sampleRate);
    const double first = peakOf(left, right, noteOnFrame, early);
    const double body = peakOf(left, right, early, late);
    return toDbOrFloor(first, -400.0) - toDbOrFloor(body, -400.0);
}

}  // namespace TestSupport
