// morvelith-sonogram IN.wav OUT.png [TITLE]: paints the sonogram of a
// sound file as a PNG picture (see Sonogram.h for what it shows).
#include <cstdio>
#include <string>

#include "tools/gallery/Sonogram.h"

int main(int argc, char** argv) {
    if (argc < 3 || argc > 4) {
        std::fprintf(stderr, "Usage: morvelith-sonogram IN.wav OUT.png [TITLE]\n");
        return 2;
    }
    std::string error;
    if (!Gallery::paintSonogram(argv[1], argv[2], argc == 4 ? argv[3] : argv[1], {}, error)) {
        std::fprintf(stderr, "morvelith-sonogram: %s\n", error.c_str());
        return 1;
    }
    return 0;
}
