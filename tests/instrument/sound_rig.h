// The listening bench of the instrument's sound suites: the built plug-in
// loaded through the host library, a short score of MIDI, parameter, program,
// tempo and lifecycle actions at exact frames, and the measurements the suites
// take on what it renders (fundamental, windowed levels, onsets).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "host/HostedPlugin.h"
#include "instrument/ParameterIndex.h"

namespace SoundRig {

inline constexpr double kRate = 44100.0;
// Programs 76 to 80 of the factory bank hold exactly the parameter defaults.
inline constexpr int kDefaultsProgram = 76;
// Control paths run at one eighth of the audio rate.
inline constexpr int kControlPeriod = 8;

// Empty when the plug-in is built; otherwise why the suites must skip.
std::string missingPlugin();

// Stereo audio of one rendering.
struct Take {
    std::vector<float> left;
    std::vector<float> right;
    int64_t frames() const { return static_cast<int64_t>(left.size()); }
};

// What happens during a rendering, at frames counted from its start. Actions
// (parameter changes, program changes, tempo, suspend/resume) run between host
// blocks: a block always ends where the next action is due.
class Score {
public:
    Score& noteOn(int64_t frame, int note, int velocity = 100);
    Score& noteOff(int64_t frame, int note);
    // 14-bit bend value: 0 fully down, 8192 centre, 16383 fully up.
    Score& bend(int64_t frame, int value);
    Score& controller(int64_t frame, int number, int value);
    Score& at(int64_t frame, std::function<void(Host::HostedPlugin&)> action);
    Score& parameter(int64_t frame, int index, float value);
    Score& program(int64_t frame, int program);
    Score& tempo(int64_t frame, double bpm);

    struct Event {
        int64_t frame;
        Host::MidiMessage message;
    };
    struct Action {
        int64_t frame;
        std::function<void(Host::HostedPlugin&)> run;
    };
    const std::vector<Event>& events() const { return midi; }
    const std::vector<Action>& actions() const { return steps; }

private:
    std::vector<Event> midi;
    std::vector<Action> steps;
};

// One opened and resumed instance at a chosen rate and program.
class Rig {
public:
    explicit Rig(double sampleRate = kRate, int program = kDefaultsProgram, int maxBlock = 1024);

    Host::HostedPlugin& plugin() { return *instance; }
    double sampleRate() const { return rate; }

    // Sets parameters through the host entry and renders a short silent block
    // so the control queue is drained before the caller goes on.
    void set(int index, float value);
    void set(std::initializer_list<std::pair<int, float>> values);
    void settle(int64_t frames = 256);

    // Renders `frames` frames in host blocks of at most `block` frames.
    Take play(const Score& score, int64_t frames, int block = 256);

private:
    std::unique_ptr<Host::HostedPlugin> instance;
    double rate;
    int maxBlock;
};

// --- measurements ------------------------------------------------------------

// Frequency of the strongest partial between lo and hi Hz in x[begin, begin+count):
// the largest FFT bin, refined by a golden-section search of the Hann-windowed
// tone magnitude around it (to well under a hundredth of a bin).
double strongestFrequency(const std::vector<float>& x, int64_t begin, int64_t count, double sampleRate, double lo,
                          double hi);

double windowRms(const std::vector<float>& x, int64_t begin, int64_t count);

// First frame at or after `from` whose magnitude exceeds threshold, or -1.
int64_t onset(const std::vector<float>& x, int64_t from, float threshold);

// Harmonic amplitudes 1..count of a tone at f (Goertzel, Hann window).
std::vector<double> harmonics(const std::vector<float>& x, int64_t begin, int64_t length, double f, double sampleRate,
                              int count);

// MIDI note frequency, 440 Hz at note 69.
double noteHz(int note);

}  // namespace SoundRig
