#include "tests/support/AudioAnalysis.h"

#include <cmath>
#include <complex>
#include <numbers>

namespace TestSupport {

double toneAmplitude(const float* x, int count, double frequency, double sampleRate) {
    const double w = 2.0 * std::numbers::pi * frequency / sampleRate;
    std::complex<double> acc = 0.0;
    double windowSum = 0.0;
    for (int i = 0; i < count; ++i) {
        const double hann = 0.5 - 0.5 * std::cos(2.0 * std::numbers::pi * i / (count - 1));
        acc += hann * static_cast<double>(x[i]) * std::polar(1.0, -w * i);
        windowSum += hann;
    }
    return 2.0 * std::abs(acc) / windowSum;
}

double rms(const float* x, int count) {
    double sum = 0.0;
    for (int i = 0; i < count; ++i) sum += static_cast<double>(x[i]) * x[i];
    return count > 0 ? std::sqrt(sum / count) : 0.0;
}

double peak(const float* x, int count) {
    double p = 0.0;
    for (int i = 0; i < count; ++i) p = std::max(p, std::fabs(static_cast<double>(x[i])));
    return p;
}

double zeroCrossingFrequency(const float* x, int count, double sampleRate) {
    double first = -1.0, last = -1.0;
    int crossings = 0;
    for (int i = 1; i < count; ++i) {
        if (x[i - 1] < 0.0f && x[i] >= 0.0f) {
            const double t = (i - 1) + x[i - 1] / static_cast<double>(x[i - 1] - x[i]);
            if (first < 0.0) first = t; else ++crossings;
            last = t;
        }
    }
    if (crossings == 0) return 0.0;
    return crossings * sampleRate / (last - first);
}

namespace {
void fft(std::vector<std::complex<double>>& a) {
    const size_t n = a.size();
    for (size_t i = 1, j = 0; i < n; ++i) {
        size_t bit = n >> 1;
        for (; j & bit; bit >>= 1) j ^= bit;
        j ^= bit;
        if (i < j) std::swap(a[i], a[j]);
    }
    for (size_t len = 2; len <= n; len <<= 1) {
        const auto wl = std::polar(1.0, -2.0 * std::numbers::pi / static_cast<double>(len));
        for (size_t i = 0; i < n; i += len) {
            std::complex<double> w = 1.0;
            for (size_t k = 0; k < len / 2; ++k) {
                const auto u = a[i + k], v = a[i + k + len / 2] * w;
                a[i + k] = u + v;
                a[i + k + len / 2] = u - v;
                w *= wl;
            }
        }
    }
}
}  // namespace

std::vector<double> magnitudeSpectrum(const float* x, int count, int* fftSizeOut) {
    int n = 1;
    while (n * 2 <= count) n *= 2;
    std::vector<std::complex<double>> a(static_cast<size_t>(n));
    double windowSum = 0.0;
    for (int i = 0; i < n; ++i) {
        const double hann = 0.5 - 0.5 * std::cos(2.0 * std::numbers::pi * i / (n - 1));
        a[static_cast<size_t>(i)] = hann * x[i];
        windowSum += hann;
    }
    fft(a);
    std::vector<double> mag(static_cast<size_t>(n / 2 + 1));
    for (size_t k = 0; k < mag.size(); ++k) mag[k] = 2.0 * std::abs(a[k]) / windowSum;
    if (fftSizeOut != nullptr) *fftSizeOut = n;
    return mag;
}

bool allFinite(const float* x, int count) {
    for (int i = 0; i < count; ++i)
        if (!std::isfinite(x[i])) return false;
    return true;
}

}  // namespace TestSupport
