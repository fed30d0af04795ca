// The Standard MIDI File reader: timing through tempo maps and SMPTE division,
// running status, merging of tracks, skipped chunks and events, and refusal of
// malformed files (every truncation of a valid file, lying lengths, bad bytes).
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <random>
#include <ostream>
#include <string>

#include "host/MidiFile.h"
#include "tests/host/SmfBuilder.h"

using namespace TestSmf;
using Host::MidiFile;
using Host::MidiFileResult;

namespace {

// Parses from a heap block of exactly the data's size, so a sanitizer sees any overread.
MidiFileResult parseExact(const Bytes& bytes) {
    std::unique_ptr<uint8_t[]> copy(new uint8_t[bytes.size() ? bytes.size() : 1]);
    std::copy(bytes.begin(), bytes.end(), copy.get());
    return MidiFile::parse(bytes.empty() ? nullptr : copy.get(), bytes.size());
}

void expectMessage(const Host::SongEvent& e, double seconds, std::initializer_list<uint8_t> bytes) {
    EXPECT_NEAR(e.seconds, seconds, 1e-9);
    ASSERT_EQ(e.message.size, bytes.size());
    int i = 0;
    for (uint8_t b : bytes) EXPECT_EQ(e.message.bytes[i++], b) << "byte " << i - 1 << " of event at " << seconds;
}

// Format 1, 480 ticks per quarter: a conductor track halves the quarter note at
// tick 960, two note tracks play across the change.
Bytes tempoChangeSong() {
    Bytes conductor, lead, bass;
    tempo(conductor, 0, 500000);
    tempo(conductor, 960, 250000);
    endOfTrack(conductor);
    event(lead, 480, {0x90, 60, 100});
    event(lead, 960, {0x80, 60, 0});  // tick 1440
    endOfTrack(lead, 480);            // tick 1920
    event(bass, 960, {0x91, 36, 90});
    event(bass, 0, {0x81, 36, 0});
    endOfTrack(bass);
    return concat({header(1, 3, 480), track(conductor), track(lead), track(bass)});
}

}  // namespace

TEST(MidiFile, FormatZeroWithRunningStatusAtDefaultTempo) {
    Bytes body;
    event(body, 0, {0x90, 60, 100});
    event(body, 96, {62, 80});    // running status: note-on
    event(body, 96, {60, 0});     // note-on with velocity 0 is kept as it is
    event(body, 0, {0x80, 62, 64});
    endOfTrack(body, 192);
    const MidiFileResult r = parseExact(concat({header(0, 1, 96), track(body)}));
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.format, 0);
    EXPECT_EQ(r.trackCount, 1);
    EXPECT_DOUBLE_EQ(r.song.initialBpm, 120.0);
    ASSERT_EQ(r.song.events.size(), 4u);
    expectMessage(r.song.events[0], 0.0, {0x90, 60, 100});
    expectMessage(r.song.events[1], 0.5, {0x90, 62, 80});
    expectMessage(r.song.events[2], 1.0, {0x90, 60, 0});
    expectMessage(r.song.events[3], 1.0, {0x80, 62, 64});
    EXPECT_NEAR(r.song.lengthSeconds, 2.0, 1e-9);  // the end-of-track marker's delay counts
}

TEST(MidiFile, FormatOneTracksMergeAlongTheTempoMap) {
    const MidiFileResult r = parseExact(tempoChangeSong());
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.trackCount, 3);
    EXPECT_DOUBLE_EQ(r.song.initialBpm, 120.0);
    ASSERT_EQ(r.song.tempos.size(), 1u);
    EXPECT_NEAR(r.song.tempos[0].seconds, 1.0, 1e-12);
    EXPECT_NEAR(r.song.tempos[0].bpm, 240.0, 1e-9);
    ASSERT_EQ(r.song.events.size(), 4u);
    expectMessage(r.song.events[0], 0.5, {0x90, 60, 100});
    // Same tick in two tracks: the earlier track first, each track's own order kept.
    expectMessage(r.song.events[1], 1.0, {0x91, 36, 90});
    expectMessage(r.song.events[2], 1.0, {0x81, 36, 0});
    expectMessage(r.song.events[3], 1.25, {0x80, 60, 0});  // 480 ticks at 0.25 s per quarter
    EXPECT_NEAR(r.song.lengthSeconds, 1.5, 1e-9);
}

TEST(MidiFile, SteadyTempoKeepsBeatsWhereTheyWere) {
    const MidiFileResult r = parseExact(tempoChangeSong());
    ASSERT_TRUE(r.ok) << r.error;
    const Host::Song steady = r.song.withSteadyTempo(60.0);  // one beat per second
    ASSERT_EQ(steady.events.size(), 4u);
    EXPECT_TRUE(steady.tempos.empty());
    EXPECT_DOUBLE_EQ(steady.initialBpm, 60.0);
    EXPECT_NEAR(steady.events[0].seconds, 1.0, 1e-9);
    EXPECT_NEAR(steady.events[1].seconds, 2.0, 1e-9);
    EXPECT_NEAR(steady.events[3].seconds, 3.0, 1e-9);
    EXPECT_NEAR(steady.lengthSeconds, 4.0, 1e-9);
}

TEST(MidiFile, TimelineRoundsToFramesAndKeepsTempoChanges) {
    const MidiFileResult r = parseExact(tempoChangeSong());
    ASSERT_TRUE(r.ok) << r.error;
    const Host::Timeline t = r.song.toTimeline(44100.0);
    ASSERT_EQ(t.events.size(), 4u);
    EXPECT_EQ(t.events[0].frame, 22050);
    EXPECT_EQ(t.events[3].frame, 55125);
    ASSERT_EQ(t.tempos.size(), 1u);
    EXPECT_EQ(t.tempos[0].frame, 44100);
}

TEST(MidiFile, OneDataByteMessagesAndSkippedEvents) {
    Bytes body;
    event(body, 0, {0xc0, 5});
    event(body, 10, {7});                                  // running status program change
    event(body, 0, {0xf0, 0x03, 0x7e, 0x01, 0xf7});        // system exclusive, skipped
    event(body, 0, {0xff, 0x03, 0x04, 'L', 'e', 'a', 'd'}); // track name, skipped
    event(body, 0, {0xd0, 64});                            // channel pressure
    event(body, 0, {0xe0, 0x00, 0x40});                    // pitch bend centre
    endOfTrack(body);
    const Bytes unknownChunk = {'X', 'y', 'z', 'w', 0, 0, 0, 2, 0xaa, 0xbb};
    const MidiFileResult r = parseExact(concat({header(0, 1, 10), unknownChunk, track(body)}));
    ASSERT_TRUE(r.ok) << r.error;
    ASSERT_EQ(r.song.events.size(), 4u);
    expectMessage(r.song.events[0], 0.0, {0xc0, 5});
    expectMessage(r.song.events[1], 0.5, {0xc0, 7});
    expectMessage(r.song.events[2], 0.5, {0xd0, 64});
    expectMessage(r.song.events[3], 0.5, {0xe0, 0x00, 0x40});
}

TEST(MidiFile, SmpteDivisionCountsTicksPerSecond) {
    Bytes body;
    event(body, 500, {0x90, 64, 90});
    event(body, 250, {0x80, 64, 0});
    tempo(body, 0, 1000000);  // tempo has no effect on SMPTE time
    event(body, 250, {0x90, 65, 90});
    endOfTrack(body);
    const uint32_t division = (uint32_t(uint8_t(-25)) << 8) | 40;  // 25 fps, 40 ticks per frame
    const MidiFileResult r = parseExact(concat({header(0, 1, division), track(body)}));
    ASSERT_TRUE(r.ok) << r.error;
    ASSERT_EQ(r.song.events.size(), 3u);
    EXPECT_NEAR(r.song.events[0].seconds, 0.5, 1e-12);
    EXPECT_NEAR(r.song.events[1].seconds, 0.75, 1e-12);
    EXPECT_NEAR(r.song.events[2].seconds, 1.0, 1e-12);
}

TEST(MidiFile, TrackWithoutEndMarkerIsAccepted) {
    Bytes body;
    event(body, 0, {0x90, 60, 100});
    event(body, 48, {0x80, 60, 0});
    const MidiFileResult r = parseExact(concat({header(0, 1, 96), track(body)}));
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.song.events.size(), 2u);
    EXPECT_NEAR(r.song.lengthSeconds, 0.25, 1e-12);
}

TEST(MidiFile, ReadReportsAMissingFileByName) {
    const MidiFileResult r = MidiFile::read("/nonexistent/dir/song.mid");
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.error.find("/nonexistent/dir/song.mid"), std::string::npos) << r.error;
}

TEST(MidiFile, ReadParsesAFileFromDisk) {
    const Bytes bytes = tempoChangeSong();
    char path[] = "/tmp/morvelith_midi_XXXXXX";
    const int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    FILE* f = fdopen(fd, "wb");
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
    const MidiFileResult r = MidiFile::read(path);
    std::remove(path);
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.song.events.size(), 4u);
}

// --- malformed input -----------------------------------------------------------

struct Malformed {
    const char* name;
    Bytes bytes;
    const char* expectedError;
};
void PrintTo(const Malformed& c, std::ostream* os) { *os << c.name; }


class MidiFileMalformed : public ::testing::TestWithParam<Malformed> {};

TEST_P(MidiFileMalformed, IsRefusedWithItsReason) {
    const MidiFileResult r = parseExact(GetParam().bytes);
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.error.find(GetParam().expectedError), std::string::npos) << "error was: " << r.error;
    EXPECT_TRUE(r.song.events.empty());
}

namespace {

Bytes oneTrack(std::initializer_list<uint8_t> body) { return concat({header(0, 1, 96), track(Bytes(body))}); }

std::vector<Malformed> malformedFiles() {
    Bytes shortHeader{'M', 'T', 'h', 'd'};
    put32(shortHeader, 4);
    put32(shortHeader, 0);
    put32(shortHeader, 0);
    Bytes lyingHeader{'M', 'T', 'h', 'd'};
    put32(lyingHeader, 600);
    put32(lyingHeader, 0x00000001);
    put16(lyingHeader, 96);
    return {
        {"Empty", {}, "not a Standard MIDI File"},
        {"WrongMagic", concat({{'R', 'I', 'F', 'F'}, Bytes(10, 0)}), "not a Standard MIDI File"},
        {"HeaderTooShort", shortHeader, "shorter than 6"},
        {"HeaderLongerThanFile", lyingHeader, "header chunk longer"},
        {"FormatTwo", concat({header(2, 1, 96), track({0x00, 0xff, 0x2f, 0x00})}), "format 2"},
        {"NoTracks", header(1, 0, 96), "no tracks"},
        {"FormatZeroWithTwoTracks", header(0, 2, 96), "format 0 file declares 2"},
        {"ZeroDivision", concat({header(0, 1, 0), track({0x00, 0xff, 0x2f, 0x00})}), "time division of zero"},
        {"BadSmpteDivision", concat({header(0, 1, 0x8000), track({0x00, 0xff, 0x2f, 0x00})}), "SMPTE"},
        {"TrackLongerThanFile", concat({header(0, 1, 96), track({0x00, 0x90, 60, 100}, 400)}), "chunk longer than the file"},
        {"MissingTrack", concat({header(1, 2, 96), track({0x00, 0xff, 0x2f, 0x00})}), "declares 2 tracks but holds 1"},
        {"TruncatedChunkHeader", concat({header(0, 1, 96), {'M', 'T', 'r'}}), "truncated chunk header"},
        {"TruncatedDelta", oneTrack({0x81}), "delta time"},
        {"OverlongDelta", oneTrack({0x80, 0x80, 0x80, 0x80, 0x00, 0x90, 60, 100}), "overlong delta"},
        {"DataWithoutStatus", oneTrack({0x00, 60, 100}), "no running status"},
        {"RunningStatusCancelledByMeta", oneTrack({0x00, 0x90, 60, 100, 0x00, 0xff, 0x01, 0x00, 0x00, 62, 90}),
         "no running status"},
        {"TruncatedChannelMessage", oneTrack({0x00, 0x90, 60}), "truncated channel message"},
        {"StatusInsideMessage", oneTrack({0x00, 0x90, 0x90, 60, 100}), "status byte where a data byte belongs"},
        {"MetaLongerThanTrack", oneTrack({0x00, 0xff, 0x01, 0x50, 'a'}), "meta event longer"},
        {"MetaLengthTruncated", oneTrack({0x00, 0xff, 0x01, 0x81}), "truncated meta event"},
        {"SysexLongerThanTrack", oneTrack({0x00, 0xf0, 0x40, 0x01}), "system-exclusive event longer"},
        {"TempoOfWrongLength", oneTrack({0x00, 0xff, 0x51, 0x02, 0x07, 0xa1}), "tempo event with length 2"},
        {"TempoOfZero", oneTrack({0x00, 0xff, 0x51, 0x03, 0x00, 0x00, 0x00}), "tempo of zero"},
        {"RealtimeByteInFile", oneTrack({0x00, 0xf8}), "system message not allowed"},
        {"MissingEventAfterDelta", oneTrack({0x00}), "missing event"},
    };
}

}  // namespace

INSTANTIATE_TEST_SUITE_P(Files, MidiFileMalformed, ::testing::ValuesIn(malformedFiles()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(MidiFileRobustness, EveryTruncationOfAValidFileIsRefusedOrShorter) {
    const Bytes whole = tempoChangeSong();
    const MidiFileResult full = parseExact(whole);
    ASSERT_TRUE(full.ok);
    for (size_t length = 0; length < whole.size(); ++length) {
        const Bytes prefix(whole.begin(), whole.begin() + static_cast<long>(length));
        const MidiFileResult r = parseExact(prefix);
        // The last chunk's declared length always runs past a cut, so no prefix is accepted.
        EXPECT_FALSE(r.ok) << "prefix of " << length << " bytes was accepted";
        EXPECT_FALSE(r.error.empty()) << length;
    }
}

TEST(MidiFileRobustness, RandomCorruptionNeverYieldsImpossibleMessages) {
    const Bytes whole = tempoChangeSong();
    std::mt19937 random(20261208);
    int accepted = 0;
    for (int trial = 0; trial < 3000; ++trial) {
        Bytes corrupt = whole;
        const int flips = 1 + static_cast<int>(random() % 4);
        for (int f = 0; f < flips; ++f) corrupt[random() % corrupt.size()] = static_cast<uint8_t>(random());
        const MidiFileResult r = parseExact(corrupt);
        if (!r.ok) {
            EXPECT_FALSE(r.error.empty());
            continue;
        }
        ++accepted;
        for (const Host::SongEvent& e : r.song.events) {
            ASSERT_GE(e.message.bytes[0], 0x80);
            ASSERT_LT(e.message.bytes[0], 0xf0);
            ASSERT_TRUE(e.message.size == 2 || e.message.size == 3);
            for (int i = 1; i < e.message.size; ++i) ASSERT_LT(e.message.bytes[i], 0x80);
            ASSERT_GE(e.seconds, 0.0);
        }
        for (size_t i = 1; i < r.song.events.size(); ++i)
            ASSERT_LE(r.song.events[i - 1].seconds, r.song.events[i].seconds);
    }
    // Some corruptions only change note numbers or times; the check above must have run.
    EXPECT_GT(accepted, 0);
}
