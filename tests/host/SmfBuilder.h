// Builds Standard MIDI File bytes for the reader's tests: header and track
// chunks with explicit bytes, so a test can also write lengths that lie.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

namespace TestSmf {

using Bytes = std::vector<uint8_t>;

inline void put32(Bytes& b, uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) b.push_back(static_cast<uint8_t>(v >> shift));
}
inline void put16(Bytes& b, uint32_t v) {
    b.push_back(static_cast<uint8_t>(v >> 8));
    b.push_back(static_cast<uint8_t>(v));
}
inline void putVlq(Bytes& b, uint32_t v) {
    uint8_t groups[5];
    int n = 0;
    do {
        groups[n++] = v & 0x7f;
        v >>= 7;
    } while (v != 0);
    while (n > 1) b.push_back(groups[--n] | 0x80);
    b.push_back(groups[0]);
}
inline Bytes header(uint32_t format, uint32_t tracks, uint32_t division) {
    Bytes b{'M', 'T', 'h', 'd'};
    put32(b, 6);
    put16(b, format);
    put16(b, tracks);
    put16(b, division);
    return b;
}
// A track chunk around `body`; declaredLength < 0 means the true length.
inline Bytes track(const Bytes& body, long declaredLength = -1) {
    Bytes b{'M', 'T', 'r', 'k'};
    put32(b, declaredLength < 0 ? static_cast<uint32_t>(body.size()) : static_cast<uint32_t>(declaredLength));
    b.insert(b.end(), body.begin(), body.end());
    return b;
}
inline Bytes concat(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
}
// Track-body helpers.
inline void event(Bytes& body, uint32_t delta, std::initializer_list<uint8_t> bytes) {
    putVlq(body, delta);
    body.insert(body.end(), bytes);
}
inline void tempo(Bytes& body, uint32_t delta, uint32_t microsPerQuarter) {
    event(body, delta, {0xff, 0x51, 0x03, uint8_t(microsPerQuarter >> 16), uint8_t(microsPerQuarter >> 8),
                        uint8_t(microsPerQuarter)});
}
inline void endOfTrack(Bytes& body, uint32_t delta = 0) { event(body, delta, {0xff, 0x2f, 0x00}); }

}  // namespace TestSmf
