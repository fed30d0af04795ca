// The listening bench: rendering a score through the hosted plug-in, and the
// measurements the sound suites share.
#include "tests/instrument/sound_rig.h"

#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <stdexcept>

#include "tests/support/AudioAnalysis.h"

#ifndef MORVELITH_PLUGIN_PATH
#define MORVELITH_PLUGIN_PATH ""
#endif

namespace SoundRig {

std::string missingPlugin() {
    const std::string path = MORVELITH_PLUGIN_PATH;
    struct stat info {};
    if (path.empty()) return "this tree defines no morvelith plug-in target";
    if (stat(path.c_str(), &info) != 0) return path + " has not been built";
    return {};
}

namespace {
Host::MidiMessage message(uint8_t status, int data1, int data2) {
    Host::MidiMessage m;
    m.bytes[0] = status;
    m.bytes[1] = static_cast<uint8_t>(data1 & 0x7F);
    m.bytes[2] = static_cast<uint8_t>(data2 & 0x7F);
    m.size = 3;
    return m;
}
}  // namespace

Score& Score::noteOn(int64_t frame, int note, int velocity) {
    midi.push_back({frame, message(0x90, note, velocity)});
    return *this;
}

Score& Score::noteOff(int64_t frame, int note) {
    midi.push_back({frame, message(0x80, note, 0)});
    return *this;
}

Score& Score::bend(int64_t frame, int value) {
    midi.push_back({frame, message(0xE0, value & 0x7F, (value >> 7) & 0x7F)});
    return *this;
}

Score& Score::controller(int64_t frame, int number, int value) {
    midi.push_back({frame, message(0xB0, number, value)});
    return *this;
}

Score& Score::at(int64_t frame, std::function<void(Host::HostedPlugin&)> action) {
    steps.push_back({frame, std::move(action)});
    return *this;
}

Score& Score::parameter(int64_t frame, int index, float value) {
    return at(frame, [index, value](Host::HostedPlugin& p) { p.setParameter(index, value); });
}

Score& Score::program(int64_t frame, int number) {
    return at(frame, [number](Host::HostedPlugin& p) { p.selectProgram(number); });
}

Score& Score::tempo(int64_t frame, double bpm) {
    return at(frame, [bpm](Host::HostedPlugin& p) { p.transport().setTempo(bpm); });
}

Rig::Rig(double sampleRate, int program, int block) : rate(sampleRate), maxBlock(block) {
    const std::string why = missingPlugin();
    if (!why.empty()) throw std::runtime_error(why);
    instance = std::make_unique<Host::HostedPlugin>(std::string(MORVELITH_PLUGIN_PATH));
    instance->open({sampleRate, block, program});
    // The program change fades out and in over 10 ms; let it finish.
    settle(2048);
}

void Rig::set(int index, float value) {
    instance->setParameter(index, value);
    settle();
}

void Rig::set(std::initializer_list<std::pair<int, float>> values) {
    for (const auto& [index, value] : values) instance->setParameter(index, value);
    settle();
}

void Rig::settle(int64_t frames) { play(Score{}, frames); }

Take Rig::play(const Score& score, int64_t frames, int block) {
    block = std::min(block, maxBlock);
    std::vector<Score::Event> events = score.events();
    std::stable_sort(events.begin(), events.end(), [](const auto& a, const auto& b) { return a.frame < b.frame; });
    std::vector<const Score::Action*> actions;
    for (const auto& a : score.actions()) actions.push_back(&a);
    std::stable_sort(actions.begin(), actions.end(), [](const auto* a, const auto* b) { return a->frame < b->frame; });

    Take take;
    take.left.resize(static_cast<size_t>(frames));
    take.right.resize(static_cast<size_t>(frames));
    std::vector<float> left(static_cast<size_t>(block)), right(static_cast<size_t>(block));
    float* outputs[2] = {left.data(), right.data()};
    std::vector<Host::BlockEvent> blockEvents;
    size_t nextEvent = 0, nextAction = 0;
    int64_t position = 0;
    while (position < frames) {
        while (nextAction < actions.size() && actions[nextAction]->frame <= position)
            actions[nextAction++]->run(*instance);
        int64_t end = std::min(position + block, frames);
        if (nextAction < actions.size()) end = std::min(end, actions[nextAction]->frame);
        blockEvents.clear();
        while (nextEvent < events.size() && events[nextEvent].frame < end) {
            const auto& e = events[nextEvent++];
            blockEvents.push_back({static_cast<int>(std::max<int64_t>(e.frame - position, 0)), e.message});
        }
        const int n = static_cast<int>(end - position);
        instance->processBlock(blockEvents.data(), static_cast<int>(blockEvents.size()), nullptr, outputs, n);
        std::copy_n(left.data(), n, take.left.begin() + position);
        std::copy_n(right.data(), n, take.right.begin() + position);
        position = end;
    }
    return take;
}

double strongestFrequency(const std::vector<float>& x, int64_t begin, int64_t count, double sampleRate, double lo,
                          double hi) {
    int n = 0;
    const float* data = x.data() + begin;
    const std::vector<double> spectrum = TestSupport::magnitudeSpectrum(data, static_cast<int>(count), &n);
    const double binHz = sampleRate / n;
    size_t best = 0;
    for (size_t k = 1; k + 1 < spectrum.size(); ++k) {
        const double f = static_cast<double>(k) * binHz;
        if (f < lo || f > hi) continue;
        if (best == 0 || spectrum[k] > spectrum[best]) best = k;
    }
    if (best == 0) return 0.0;
    // The Hann main lobe is four bins wide; the peak lies within a bin of the largest one.
    double a = (static_cast<double>(best) - 1.0) * binHz, b = (static_cast<double>(best) + 1.0) * binHz;
    const double golden = (std::sqrt(5.0) - 1.0) / 2.0;
    auto magnitude = [&](double f) { return TestSupport::toneAmplitude(data, n, f, sampleRate); };
    double c = b - golden * (b - a), d = a + golden * (b - a);
    double fc = magnitude(c), fd = magnitude(d);
    while (b - a > 1e-4 * binHz) {
        if (fc > fd) {
            b = d, d = c, fd = fc;
            c = b - golden * (b - a);
            fc = magnitude(c);
        } else {
            a = c, c = d, fc = fd;
            d = a + golden * (b - a);
            fd = magnitude(d);
        }
    }
    return 0.5 * (a + b);
}

double windowRms(const std::vector<float>& x, int64_t begin, int64_t count) {
    return TestSupport::rms(x.data() + begin, static_cast<int>(count));
}

int64_t onset(const std::vector<float>& x, int64_t from, float threshold) {
    for (int64_t i = std::max<int64_t>(from, 0); i < static_cast<int64_t>(x.size()); ++i)
        if (std::fabs(x[static_cast<size_t>(i)]) > threshold) return i;
    return -1;
}

std::vector<double> harmonics(const std::vector<float>& x, int64_t begin, int64_t length, double f, double sampleRate,
                              int count) {
    std::vector<double> out;
    for (int h = 1; h <= count; ++h)
        out.push_back(TestSupport::toneAmplitude(x.data() + begin, static_cast<int>(length), h * f, sampleRate));
    return out;
}

double noteHz(int note) { return 440.0 * std::pow(2.0, (note - 69) / 12.0); }

}  // namespace SoundRig
