// Standard MIDI File reader. A bounded byte cursor does every read; tracks are
// decoded into tick-stamped events, merged stably (tick, then track, then
// order within the track) and converted to seconds along the tempo map.
#include "host/MidiFile.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <vector>

namespace Host {

namespace {

// The longest track or file we accept; anything larger is surely not a song.
constexpr size_t kMaxFileBytes = 64u << 20;

class Cursor {
public:
    Cursor(const uint8_t* data, size_t size, size_t base) : data(data), size(size), base(base) {}

    size_t remaining() const { return size - pos; }
    size_t offset() const { return base + pos; }  // from the start of the file
    bool atEnd() const { return pos >= size; }

    bool byte(uint8_t& out) {
        if (pos >= size) return false;
        out = data[pos++];
        return true;
    }
    bool peek(uint8_t& out) const {
        if (pos >= size) return false;
        out = data[pos];
        return true;
    }
    bool u16(uint32_t& out) {
        if (remaining() < 2) return false;
        out = (uint32_t(data[pos]) << 8) | data[pos + 1];
        pos += 2;
        return true;
    }
    bool u32(uint32_t& out) {
        if (remaining() < 4) return false;
        out = (uint32_t(data[pos]) << 24) | (uint32_t(data[pos + 1]) << 16) | (uint32_t(data[pos + 2]) << 8) |
              data[pos + 3];
        pos += 4;
        return true;
    }
    // Variable-length quantity: at most four bytes (28 bits), as the format allows.
    bool vlq(uint32_t& out) {
        out = 0;
        for (int i = 0; i < 4; ++i) {
            uint8_t b;
            if (!byte(b)) return false;
            out = (out << 7) | (b & 0x7f);
            if (!(b & 0x80)) return true;
        }
        return false;
    }
    bool skip(size_t n) {
        if (remaining() < n) return false;
        pos += n;
        return true;
    }
    const uint8_t* here() const { return data + pos; }

private:
    const uint8_t* data;
    size_t size;
    size_t base;
    size_t pos = 0;
};

struct TickEvent {
    uint64_t tick;
    int track;
    int order;
    bool isTempo;
    uint32_t microsPerQuarter;
    MidiMessage message;
};

std::string at(const std::string& what, size_t offset) {
    return what + " at byte " + std::to_string(offset);
}

int dataBytesFor(uint8_t status) {
    switch (status & 0xf0) {
        case 0xc0:
        case 0xd0: return 1;
        default: return 2;
    }
}

// Decodes one MTrk chunk; returns an empty string or the error.
std::string readTrack(Cursor track, int trackIndex, std::vector<TickEvent>& out, uint64_t& endTick) {
    uint64_t tick = 0;
    uint8_t running = 0;
    int order = 0;
    while (!track.atEnd()) {
        const size_t eventStart = track.offset();
        uint32_t delta;
        if (!track.vlq(delta)) return at("truncated or overlong delta time", eventStart);
        tick += delta;
        uint8_t first;
        if (!track.byte(first)) return at("missing event after delta time", eventStart);

        if (first == 0xff) {
            uint8_t type;
            uint32_t length;
            if (!track.byte(type) || !track.vlq(length)) return at("truncated meta event", eventStart);
            if (track.remaining() < length) return at("meta event longer than its track", eventStart);
            const uint8_t* body = track.here();
            track.skip(length);
            running = 0;  // meta events cancel running status
            if (type == 0x2f) {
                endTick = tick;
                return {};
            }
            if (type == 0x51) {
                if (length != 3) return at("tempo event with length " + std::to_string(length), eventStart);
                const uint32_t micros = (uint32_t(body[0]) << 16) | (uint32_t(body[1]) << 8) | body[2];
                if (micros == 0) return at("tempo of zero microseconds per quarter note", eventStart);
                out.push_back({tick, trackIndex, order++, true, micros, {}});
            }
            continue;
        }
        if (first == 0xf0 || first == 0xf7) {
            uint32_t length;
            if (!track.vlq(length)) return at("truncated system-exclusive length", eventStart);
            if (!track.skip(length)) return at("system-exclusive event longer than its track", eventStart);
            running = 0;
            continue;
        }
        if (first > 0xf0) return at("system message not allowed in a file", eventStart);

        MidiMessage message;
        uint8_t status;
        int have = 0;
        if (first & 0x80) {
            status = first;
        } else {
            if (running == 0) return at("data byte without a status (no running status)", eventStart);
            status = running;
            message.bytes[1] = first;
            have = 1;
        }
        running = status;
        message.bytes[0] = status;
        const int needed = dataBytesFor(status);
        for (int i = have; i < needed; ++i) {
            uint8_t b;
            if (!track.byte(b)) return at("truncated channel message", eventStart);
            if (b & 0x80) return at("status byte where a data byte belongs", eventStart);
            message.bytes[1 + i] = b;
        }
        message.size = static_cast<uint8_t>(1 + needed);
        out.push_back({tick, trackIndex, order++, false, 0, message});
    }
    endTick = tick;  // tolerated: a track that ends without its end-of-track marker
    return {};
}

}  // namespace

MidiFileResult MidiFile::parse(const uint8_t* data, size_t size) {
    MidiFileResult result;
    auto fail = [&](std::string message) {
        result.ok = false;
        result.error = std::move(message);
        result.song = {};
        return result;
    };
    if (data == nullptr && size > 0) return fail("no data");
    if (size > kMaxFileBytes) return fail("file larger than " + std::to_string(kMaxFileBytes) + " bytes");

    Cursor file(data, size, 0);
    if (size < 14 || std::string(reinterpret_cast<const char*>(data), 4) != "MThd")
        return fail("not a Standard MIDI File (no MThd header)");
    file.skip(4);
    uint32_t headerLength = 0, format = 0, declaredTracks = 0, division = 0;
    file.u32(headerLength);
    if (headerLength < 6) return fail("header chunk shorter than 6 bytes");
    if (file.remaining() < headerLength) return fail("header chunk longer than the file");
    file.u16(format);
    file.u16(declaredTracks);
    file.u16(division);
    file.skip(headerLength - 6);
    if (format > 1) return fail("MIDI file format " + std::to_string(format) + " is not supported (only 0 and 1)");
    if (declaredTracks == 0) return fail("file declares no tracks");
    if (format == 0 && declaredTracks != 1)
        return fail("format 0 file declares " + std::to_string(declaredTracks) + " tracks");

    // Seconds per tick: fixed for SMPTE division, tempo-dependent for metrical.
    const bool smpte = (division & 0x8000) != 0;
    double smpteSecondsPerTick = 0.0;
    if (smpte) {
        const int framesPerSecond = -static_cast<int8_t>(division >> 8);
        const int ticksPerFrame = division & 0xff;
        if (framesPerSecond <= 0 || ticksPerFrame == 0) return fail("invalid SMPTE time division");
        const double fps = framesPerSecond == 29 ? 30000.0 / 1001.0 : framesPerSecond;
        smpteSecondsPerTick = 1.0 / (fps * ticksPerFrame);
    } else if (division == 0) {
        return fail("time division of zero ticks per quarter note");
    }

    std::vector<TickEvent> events;
    uint64_t lastTick = 0;
    int tracksRead = 0;
    while (tracksRead < static_cast<int>(declaredTracks) && !file.atEnd()) {
        const size_t chunkStart = file.offset();
        if (file.remaining() < 8) return fail(at("truncated chunk header", chunkStart));
        const std::string type(reinterpret_cast<const char*>(file.here()), 4);
        file.skip(4);
        uint32_t length = 0;
        file.u32(length);
        if (file.remaining() < length) return fail(at("chunk longer than the file", chunkStart));
        if (type == "MTrk") {
            uint64_t endTick = 0;
            const std::string error = readTrack(Cursor(file.here(), length, file.offset()), tracksRead, events, endTick);
            if (!error.empty()) return fail("track " + std::to_string(tracksRead + 1) + ": " + error);
            lastTick = std::max(lastTick, endTick);
            ++tracksRead;
        }
        file.skip(length);  // unknown chunk types are skipped, as the format asks
    }
    if (tracksRead < static_cast<int>(declaredTracks))
        return fail("file declares " + std::to_string(declaredTracks) + " tracks but holds " +
                    std::to_string(tracksRead));

    std::stable_sort(events.begin(), events.end(), [](const TickEvent& a, const TickEvent& b) {
        if (a.tick != b.tick) return a.tick < b.tick;
        if (a.track != b.track) return a.track < b.track;
        return a.order < b.order;
    });

    // Walk the merged list once, integrating the tempo map.
    const double ticksPerQuarter = smpte ? 0.0 : double(division);
    double microsPerQuarter = 60e6 / kDefaultBpm;
    uint64_t segmentTick = 0;
    double segmentSeconds = 0.0;
    auto secondsAt = [&](uint64_t tick) {
        const double ticks = double(tick - segmentTick);
        return segmentSeconds +
               (smpte ? ticks * smpteSecondsPerTick : ticks * microsPerQuarter * 1e-6 / ticksPerQuarter);
    };

    Song& song = result.song;
    song.initialBpm = kDefaultBpm;
    for (const TickEvent& e : events) {
        const double seconds = secondsAt(e.tick);
        if (e.isTempo) {
            const double bpm = 60e6 / e.microsPerQuarter;
            if (seconds == 0.0 && song.tempos.empty()) {
                song.initialBpm = bpm;
            } else {
                song.tempos.push_back({seconds, bpm});
            }
            segmentTick = e.tick;
            segmentSeconds = seconds;
            microsPerQuarter = e.microsPerQuarter;
        } else {
            song.events.push_back({seconds, e.message});
        }
    }
    song.lengthSeconds = secondsAt(lastTick);  // every track's end lies at or after its events

    result.ok = true;
    result.format = static_cast<int>(format);
    result.trackCount = tracksRead;
    return result;
}

MidiFileResult MidiFile::read(const std::string& path) {
    auto failure = [](std::string message) {
        MidiFileResult result;
        result.error = std::move(message);
        return result;
    };
    std::ifstream in(path, std::ios::binary);
    if (!in) return failure("cannot open " + path);
    in.seekg(0, std::ios::end);
    const std::streamoff length = in.tellg();
    in.seekg(0, std::ios::beg);
    if (length < 0 || static_cast<uint64_t>(length) > kMaxFileBytes)
        return failure(path + ": not a readable file of at most " + std::to_string(kMaxFileBytes) + " bytes");
    std::vector<uint8_t> bytes(static_cast<size_t>(length));
    in.read(reinterpret_cast<char*>(bytes.data()), length);
    if (!in) return failure("cannot read " + path);
    MidiFileResult result = parse(bytes.data(), bytes.size());
    if (!result.ok) result.error = path + ": " + result.error;
    return result;
}

}  // namespace Host
