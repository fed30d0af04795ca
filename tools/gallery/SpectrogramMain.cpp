// morvelith-spectrogram IN.wav OUT.png [TITLE]: paints the spectrogram of a
// sound file as a PNG picture (see Spectrogram.h for what it shows).
#include <cstdio>
#include <string>

#include "tools/gallery/Spectrogram.h"

int main(int argc, char** argv) {
    if (argc < 3 || argc > 4) {
        std::fprintf(stderr, "Usage: morvelith-spectrogram IN.wav OUT.png [TITLE]\n");
        return 2;
    }
    std::string error;
    if (!Gallery::paintSpectrogram(argv[1], argv[2], argc == 4 ? argv[3] : argv[1], {}, error)) {
        std::fprintf(stderr, "morvelith-spectrogram: %s\n", error.c_str());
        return 1;
    }
    return 0;
}
