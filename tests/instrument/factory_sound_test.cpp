// The factory bank as heard: every named program plays its preview phrase
// through the built instrument and is measured. Each must be audible, stay
// under full scale at velocity 100 and stay finite; no two may share a
// spectral shape; the basses must sit well below the leads in brightness.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "tests/instrument/sound_rig.h"
#include "tests/support/AudioAnalysis.h"
#include "tools/gallery/Phrases.h"

using namespace SoundRig;

namespace {

constexpr int kNamedCount = Gallery::kPreviewProgramCount;
constexpr double kSecondsPerBeat = 60.0 / Gallery::kPhraseBpm;
constexpr int64_t kPhraseFrames = static_cast<int64_t>(Gallery::kPhraseBeats * kSecondsPerBeat * kRate);
// A second of tail lets releases and echoes count as part of the sound.
constexpr int64_t kTakeFrames = kPhraseFrames + static_cast<int64_t>(kRate);

constexpr int kFftSize = 2048;
constexpr int kHop = 1024;
// Shape bands: a third of an octave wide, from 50 Hz to about 16 kHz.
constexpr int kBands = 25;
constexpr double kLowestBandHz = 50.0;
// Band levels are taken relative to the sound's loudest band and floored here,
// so bands that hold nothing but numerical dust do not count as differences.
constexpr double kBandFloorDb = -60.0;
// Shapes are compared as the RMS of their band-by-band difference in dB. The
// same program cut into other host blocks differs by far less than a tenth of
// this; two designs this close would be told apart only by ear at best.
constexpr double kDistinctMarginDb = 2.0;

struct Heard {
    std::string name;
    Take take;
    std::vector<double> bandDb;  // long-term spectrum shape, dB per band, relative to the loudest band
    double centroidHz = 0;
};

Take renderPreview(int program, std::string* name = nullptr, int hostBlock = 512) {
    Rig rig(kRate, program);
    if (name != nullptr) *name = rig.plugin().programName();
    rig.plugin().transport().setTempo(Gallery::kPhraseBpm);
    // The instrument polls the host tempo about every 100 ms.
    rig.settle(static_cast<int64_t>(0.25 * kRate));
    Score score;
    for (const Gallery::PhraseNote& n : Gallery::phraseNotes(Gallery::phraseFor(program))) {
        const auto on = static_cast<int64_t>(n.beat * kSecondsPerBeat * kRate);
        const auto off = static_cast<int64_t>((n.beat + n.length) * kSecondsPerBeat * kRate);
        score.noteOn(on, n.note, Gallery::kPhraseVelocity).noteOff(off, n.note);
    }
    return rig.play(score, kTakeFrames, hostBlock);
}

// Mean power spectrum of the mono mix over the whole take (Hann frames).
std::vector<double> longTermPower(const Take& take) {
    std::vector<float> mono(take.left.size());
    for (size_t i = 0; i < mono.size(); ++i) mono[i] = 0.5f * (take.left[i] + take.right[i]);
    std::vector<double> power(kFftSize / 2 + 1, 0.0);
    int frames = 0;
    for (size_t start = 0; start + kFftSize <= mono.size(); start += kHop, ++frames) {
        const std::vector<double> mag = TestSupport::magnitudeSpectrum(mono.data() + start, kFftSize);
        for (size_t k = 0; k < power.size(); ++k) power[k] += mag[k] * mag[k];
    }
    for (double& p : power) p /= std::max(frames, 1);
    return power;
}

std::vector<double> bandShape(const std::vector<double>& power) {
    const double binHz = kRate / kFftSize;
    std::vector<double> bands(kBands, 1e-30);
    for (size_t k = 1; k < power.size(); ++k) {
        const double octaves = std::log2(static_cast<double>(k) * binHz / kLowestBandHz);
        const int band = static_cast<int>(std::floor(octaves * 3.0));
        if (band >= 0 && band < kBands) bands[static_cast<size_t>(band)] += power[k];
    }
    const double loudest = *std::max_element(bands.begin(), bands.end());
    for (double& b : bands) b = std::max(10.0 * std::log10(b / loudest), kBandFloorDb);
    return bands;
}

double centroid(const std::vector<double>& power) {
    double weighted = 0, total = 0;
    for (size_t k = 1; k < power.size(); ++k) {
        weighted += static_cast<double>(k) * kRate / kFftSize * power[k];
        total += power[k];
    }
    return total > 0 ? weighted / total : 0;
}

double shapeDistance(const std::vector<double>& a, const std::vector<double>& b) {
    double sum = 0;
    for (size_t i = 0; i < a.size(); ++i) sum += (a[i] - b[i]) * (a[i] - b[i]);
    return std::sqrt(sum / static_cast<double>(a.size()));
}

bool nameHas(const std::string& name, const std::string& word) {
    std::string lower = name;
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return lower.find(word) != std::string::npos;
}

Heard listen(int program) {
    Heard h;
    h.take = renderPreview(program, &h.name);
    const std::vector<double> power = longTermPower(h.take);
    h.bandDb = bandShape(power);
    h.centroidHz = centroid(power);
    return h;
}

// Each program is rendered at most once per run; ctest runs every case in a
// process of its own, so a case renders only the programs it looks at.
const Heard& heard(int program) {
    static std::map<int, Heard> cache;
    auto found = cache.find(program);
    if (found == cache.end()) found = cache.emplace(program, listen(program)).first;
    return found->second;
}

class FactorySound : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string why = missingPlugin();
        if (!why.empty()) GTEST_SKIP() << why;
    }
};

class EveryNamedProgram : public FactorySound, public ::testing::WithParamInterface<int> {};

TEST_P(EveryNamedProgram, PlaysItsPhraseAudiblyUnderFullScaleAndFinite) {
    const Heard& h = heard(GetParam());
    for (const std::vector<float>* channel : {&h.take.left, &h.take.right}) {
        const auto n = static_cast<int>(channel->size());
        ASSERT_TRUE(TestSupport::allFinite(channel->data(), n)) << h.name;
        EXPECT_GT(TestSupport::toDb(TestSupport::rms(channel->data(), n)), -40.0) << h.name;
        EXPECT_LE(TestSupport::peak(channel->data(), n), 1.0) << h.name;
    }
}

INSTANTIATE_TEST_SUITE_P(Bank, EveryNamedProgram, testing::Range(0, kNamedCount));

TEST_F(FactorySound, NoTwoNamedProgramsShareASpectralShape) {
    for (int p = 0; p < kNamedCount; ++p) {
        for (int q = p + 1; q < kNamedCount; ++q) {
            const Heard& a = heard(p);
            const Heard& b = heard(q);
            EXPECT_GT(shapeDistance(a.bandDb, b.bandDb), kDistinctMarginDb) << p << " " << a.name << " / " << q
                                                                             << " " << b.name;
        }
    }
}

TEST_F(FactorySound, OneProgramInOtherHostBlocksStaysFarInsideTheMargin) {
    // The margin means something only if the same sound, cut into other host
    // blocks (so events and modulators land on other sub-block edges), lands
    // close to itself; the busiest, most modulated programs are the test.
    for (int program : {0, 15, 23, 38}) {
        const Take again = renderPreview(program, nullptr, 96);
        const double d = shapeDistance(bandShape(longTermPower(again)), heard(program).bandDb);
        EXPECT_LT(d, kDistinctMarginDb / 4) << program << ": " << d << " dB";
    }
}

TEST_F(FactorySound, BassesAreFarDarkerThanLeads) {
    std::vector<double> basses, leads;
    for (int p = 0; p < kNamedCount; ++p) {
        const Heard& h = heard(p);
        if (nameHas(h.name, "bass")) {
            EXPECT_EQ(Gallery::phraseFor(p), Gallery::PhraseKind::Bass) << h.name;
            basses.push_back(h.centroidHz);
        }
        if (nameHas(h.name, "lead")) {
            EXPECT_EQ(Gallery::phraseFor(p), Gallery::PhraseKind::Lead) << h.name;
            leads.push_back(h.centroidHz);
        }
    }
    ASSERT_GE(basses.size(), 10u);
    ASSERT_GE(leads.size(), 5u);
    const double brightestBass = *std::max_element(basses.begin(), basses.end());
    const double darkestLead = *std::min_element(leads.begin(), leads.end());
    // Well below: the brightest bass under half the darkest lead's centroid.
    EXPECT_LT(brightestBass, 0.5 * darkestLead) << brightestBass << " Hz vs " << darkestLead << " Hz";
}

TEST(PreviewPhrases, FitTwoBarsInTheirRegisters) {
    using enum Gallery::PhraseKind;
    struct Register {
        Gallery::PhraseKind kind;
        int lowest, highest;
    };
    // Basses under C3, leads and keys around C4-C5, hits and long notes low to middle.
    for (const Register& r : {Register{Bass, 24, 47}, Register{Lead, 60, 84}, Register{Keys, 55, 84},
                              Register{Hits, 33, 55}, Register{Long, 43, 67}}) {
        const auto notes = Gallery::phraseNotes(r.kind);
        ASSERT_FALSE(notes.empty()) << Gallery::phraseName(r.kind);
        for (const Gallery::PhraseNote& n : notes) {
            EXPECT_GE(n.note, r.lowest) << Gallery::phraseName(r.kind);
            EXPECT_LE(n.note, r.highest) << Gallery::phraseName(r.kind);
            EXPECT_GE(n.beat, 0.0);
            EXPECT_GT(n.length, 0.0);
            EXPECT_LE(n.beat + n.length, Gallery::kPhraseBeats) << Gallery::phraseName(r.kind);
        }
    }
}

}  // namespace
