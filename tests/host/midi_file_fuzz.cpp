// libFuzzer entry for the Standard MIDI File reader: any bytes must parse or
// be refused without a read past the data; what is accepted must hold only
// channel messages with data bytes, in time order, at finite non-negative times.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "host/MidiFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const Host::MidiFileResult result = Host::MidiFile::parse(data, size);
    if (!result.ok) {
        if (result.error.empty()) std::abort();
        return 0;
    }
    double previous = 0.0;
    for (const Host::SongEvent& e : result.song.events) {
        const uint8_t status = e.message.bytes[0];
        if (status < 0x80 || status >= 0xf0) std::abort();
        if (e.message.size < 2 || e.message.size > 3) std::abort();
        for (int i = 1; i < e.message.size; ++i)
            if (e.message.bytes[i] >= 0x80) std::abort();
        if (!std::isfinite(e.seconds) || e.seconds < previous) std::abort();
        previous = e.seconds;
    }
    if (!std::isfinite(result.song.lengthSeconds) || result.song.lengthSeconds < previous) std::abort();
    for (const Host::SongTempo& t : result.song.tempos)
        if (!std::isfinite(t.seconds) || !(t.bpm > 0.0) || !std::isfinite(t.bpm)) std::abort();
    return 0;
}
