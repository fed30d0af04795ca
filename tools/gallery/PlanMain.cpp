// morvelith-gallery-plan: writes the five preview phrases as Standard MIDI
// Files (format 0, with their tempo) into a folder and prints, one line per
// factory program 0..75, its number, the phrase it is previewed with and the
// name the plug-in gives it, separated by tabs.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <fstream>
#include <string>
#include <vector>

#include "host/HostedPlugin.h"
#include "tools/gallery/Phrases.h"

namespace {

constexpr int kTicksPerBeat = 480;

void putBigEndian(std::vector<uint8_t>& out, uint32_t value, int bytes) {
    for (int i = bytes - 1; i >= 0; --i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

void putVariableLength(std::vector<uint8_t>& out, uint32_t value) {
    uint8_t bytes[5];
    int count = 0;
    do {
        bytes[count++] = static_cast<uint8_t>(value & 0x7f);
        value >>= 7;
    } while (value != 0);
    while (count > 1) out.push_back(static_cast<uint8_t>(bytes[--count] | 0x80));
    out.push_back(bytes[0]);
}

struct TimedMessage {
    uint32_t tick;
    int order;  // note-offs before note-ons at the same tick, so repeated notes restart
    uint8_t status, data1, data2;
};

std::vector<uint8_t> phraseFile(Gallery::PhraseKind kind) {
    std::vector<TimedMessage> messages;
    for (const Gallery::PhraseNote& n : Gallery::phraseNotes(kind)) {
        const auto on = static_cast<uint32_t>(n.beat * kTicksPerBeat + 0.5);
        const auto off = static_cast<uint32_t>((n.beat + n.length) * kTicksPerBeat + 0.5);
        messages.push_back({on, 1, 0x90, static_cast<uint8_t>(n.note), Gallery::kPhraseVelocity});
        messages.push_back({off, 0, 0x80, static_cast<uint8_t>(n.note), 0});
    }
    std::stable_sort(messages.begin(), messages.end(), [](const TimedMessage& a, const TimedMessage& b) {
        return a.tick != b.tick ? a.tick < b.tick : a.order < b.order;
    });

    std::vector<uint8_t> track;
    putVariableLength(track, 0);
    track.insert(track.end(), {0xff, 0x51, 0x03});
    putBigEndian(track, static_cast<uint32_t>(60000000.0 / Gallery::kPhraseBpm + 0.5), 3);
    uint32_t now = 0;
    for (const TimedMessage& m : messages) {
        putVariableLength(track, m.tick - now);
        now = m.tick;
        track.insert(track.end(), {m.status, m.data1, m.data2});
    }
    putVariableLength(track, 0);
    track.insert(track.end(), {0xff, 0x2f, 0x00});

    std::vector<uint8_t> file = {'M', 'T', 'h', 'd'};
    putBigEndian(file, 6, 4);
    putBigEndian(file, 0, 2);  // format 0
    putBigEndian(file, 1, 2);  // one track
    putBigEndian(file, kTicksPerBeat, 2);
    file.insert(file.end(), {'M', 'T', 'r', 'k'});
    putBigEndian(file, static_cast<uint32_t>(track.size()), 4);
    file.insert(file.end(), track.begin(), track.end());
    return file;
}

int usage() {
    std::fprintf(stderr, "Usage: morvelith-gallery-plan --plugin PATH --midi-dir DIR\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    std::string plugin, midiDir;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--plugin" && i + 1 < argc) plugin = argv[++i];
        else if (arg == "--midi-dir" && i + 1 < argc) midiDir = argv[++i];
        else return usage();
    }
    if (plugin.empty() || midiDir.empty()) return usage();

    using enum Gallery::PhraseKind;
    for (Gallery::PhraseKind kind : {Bass, Lead, Keys, Hits, Long}) {
        const std::string path = midiDir + "/" + Gallery::phraseName(kind) + ".mid";
        const std::vector<uint8_t> bytes = phraseFile(kind);
        std::ofstream out(path, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        if (!out) {
            std::fprintf(stderr, "morvelith-gallery-plan: cannot write %s\n", path.c_str());
            return 1;
        }
    }

    try {
        Host::HostedPlugin instance(plugin);
        instance.openOnly();
        for (int p = 0; p < Gallery::kPreviewProgramCount && p < instance.numPrograms(); ++p) {
            std::string name;
            if (!instance.programNameIndexed(p, name)) {
                instance.selectProgram(p);
                name = instance.programName();
            }
            std::printf("%d\t%s\t%s\n", p, Gallery::phraseName(Gallery::phraseFor(p)), name.c_str());
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "morvelith-gallery-plan: %s\n", e.what());
        return 1;
    }
    return 0;
}
