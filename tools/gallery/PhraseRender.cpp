// Renders a preview phrase through a hosted instance: open on the program, let
// its fade-in finish, set the tempo and let the instrument read it, then play.
#include "tools/gallery/PhraseRender.h"

#include <algorithm>

#include "host/HostedPlugin.h"
#include "host/Renderer.h"

namespace Gallery {

namespace {

Host::MidiMessage noteMessage(uint8_t status, int note, int velocity) {
    Host::MidiMessage m;
    m.bytes[0] = status;
    m.bytes[1] = static_cast<uint8_t>(std::clamp(note, 0, 127));
    m.bytes[2] = static_cast<uint8_t>(std::clamp(velocity, 0, 127));
    m.size = 3;
    return m;
}

}  // namespace

int heldTranspose(PhraseKind previewKind) {
    switch (previewKind) {
        case PhraseKind::Bass:
        case PhraseKind::Hits: return -12;
        case PhraseKind::Lead:
        case PhraseKind::Keys: return 12;
        case PhraseKind::Long: return 0;
    }
    return 0;
}

PhraseTake renderPhrase(const std::string& pluginPath, int program, const Performance& performance,
                        double sampleRate, int hostBlock) {
    Host::HostedPlugin plugin(pluginPath);
    plugin.open({sampleRate, hostBlock, program});
    PhraseTake take;
    take.sampleRate = sampleRate;
    take.programName = plugin.programName();
    // A program change fades out and in over about 10 ms; the instrument polls
    // the host tempo about every 100 ms.
    plugin.transport().setTempo(kPhraseBpm);
    Host::renderTimeline(plugin, Host::Timeline{}, static_cast<int64_t>(0.25 * sampleRate) + 2048, {hostBlock});

    const double framesPerBeat = 60.0 / kPhraseBpm * sampleRate;
    Host::Timeline timeline;
    timeline.initialBpm = kPhraseBpm;
    for (const PhraseNote& n : phraseNotes(performance.kind)) {
        const auto on = static_cast<int64_t>(n.beat * framesPerBeat);
        const auto off = static_cast<int64_t>((n.beat + n.length) * framesPerBeat);
        const int note = n.note + performance.transpose;
        timeline.events.push_back({on, noteMessage(0x90, note, performance.velocity)});
        timeline.events.push_back({off, noteMessage(0x80, note, 0)});
        take.noteOnFrames.push_back(on);
        take.lastNoteOffFrame = std::max(take.lastNoteOffFrame, off);
    }
    // Note-offs before note-ons at the same frame, so a repeated note restarts.
    std::stable_sort(timeline.events.begin(), timeline.events.end(), [](const auto& a, const auto& b) {
        if (a.frame != b.frame) return a.frame < b.frame;
        return (a.message.bytes[0] & 0xF0) == 0x80 && (b.message.bytes[0] & 0xF0) == 0x90;
    });
    take.previewFrames = static_cast<int64_t>(kPhraseBeats * framesPerBeat + sampleRate);
    const int64_t frames = take.lastNoteOffFrame + static_cast<int64_t>(performance.tailSeconds * sampleRate);
    Host::StereoRender audio = Host::renderTimeline(plugin, timeline, std::max(frames, take.previewFrames),
                                                    {hostBlock});
    take.left = std::move(audio.left);
    take.right = std::move(audio.right);
    return take;
}

}  // namespace Gallery
