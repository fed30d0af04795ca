// Measurements the suites make on rendered audio: tone magnitude by Goertzel
// filter, RMS and peak levels, zero-crossing frequency estimates and a plain
// FFT magnitude spectrum for broadband checks.
#pragma once

#include <vector>

namespace TestSupport {

// Amplitude of the sinusoid at `frequency` in x (a full-scale sine reads 1.0),
// measured with a Hann window to keep leakage from neighbouring partials low.
double toneAmplitude(const float* x, int count, double frequency, double sampleRate);

double rms(const float* x, int count);
double peak(const float* x, int count);
inline double toDb(double amplitude) { return amplitude > 0 ? 20.0 * __builtin_log10(amplitude) : -400.0; }

// Fundamental estimated from interpolated upward zero crossings (for clean periodic signals).
double zeroCrossingFrequency(const float* x, int count, double sampleRate);

// Hann-windowed magnitude spectrum of the first power-of-two samples of x,
// normalised so a full-scale sine's bin reads about 1.0. Bin k is k*sampleRate/N.
std::vector<double> magnitudeSpectrum(const float* x, int count, int* fftSizeOut = nullptr);

bool allFinite(const float* x, int count);

}  // namespace TestSupport
