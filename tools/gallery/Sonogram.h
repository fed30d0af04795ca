// A sonogram picture of a sound file: Hann-windowed short-time spectra of
// the mono mix on a logarithmic frequency axis (30 Hz to 20 kHz), levels in
// dB full scale from -100 to 0 on a dark-to-bright colour scale, with time
// and frequency ticks and a title, written as a PNG file.
#pragma once

#include <string>

namespace Gallery {

struct SonogramStyle {
    int plotWidth = 800;   // pixels of time axis
    int plotHeight = 300;  // pixels of frequency axis
    double lowestHz = 30.0;
    double highestHz = 20000.0;
    double floorDb = -100.0;
};

// Reads `wavPath`, paints its sonogram titled `title` into `pngPath`.
// On failure returns false and says why in `error`.
bool paintSonogram(const std::string& wavPath, const std::string& pngPath, const std::string& title,
                      const SonogramStyle& style, std::string& error);

}  // namespace Gallery
