// Block loop of an offline render, with frame-exact MIDI placement and a
// transport that follows the timeline's tempo changes.
#include "host/Renderer.h"

#include <algorithm>
#include <string>

namespace Host {

Renderer::Renderer(HostedPlugin& plugin, Timeline timelineIn, std::vector<int> blockPattern)
    : plugin(plugin), timeline(std::move(timelineIn)), pattern(std::move(blockPattern)) {
    if (pattern.empty() || *std::max_element(pattern.begin(), pattern.end()) <= 0)
        throw HostError("the block pattern needs at least one positive block size");
    for (int size : pattern) {
        if (size < 0) throw HostError("block sizes cannot be negative");
        if (size > plugin.maxBlockSize())
            throw HostError("block size " + std::to_string(size) + " exceeds the plug-in's maximum block size " +
                            std::to_string(plugin.maxBlockSize()));
    }
    auto byFrame = [](const auto& a, const auto& b) { return a.frame < b.frame; };
    std::stable_sort(timeline.events.begin(), timeline.events.end(), byFrame);
    std::stable_sort(timeline.tempos.begin(), timeline.tempos.end(), byFrame);
    // Events before the start are all due in the first block: place them at frame 0.
    for (TimelineEvent& e : timeline.events) e.frame = std::max<int64_t>(e.frame, 0);

    const int maxBlock = *std::max_element(pattern.begin(), pattern.end());
    const int outputCount = std::max(plugin.numOutputs(), 1);
    outputs.assign(static_cast<size_t>(outputCount), std::vector<float>(static_cast<size_t>(maxBlock), 0.0f));
    inputs.assign(static_cast<size_t>(std::max(plugin.numInputs(), 0)),
                  std::vector<float>(static_cast<size_t>(maxBlock), 0.0f));
    for (auto& channel : outputs) outputPointers.push_back(channel.data());
    for (auto& channel : inputs) inputPointers.push_back(channel.data());

    // Room for the busiest block, so the loop itself never allocates.
    int busiest = 0;
    for (size_t first = 0, last = 0; first < timeline.events.size(); ++first) {
        while (last < timeline.events.size() && timeline.events[last].frame < timeline.events[first].frame + maxBlock)
            ++last;
        busiest = std::max(busiest, static_cast<int>(last - first));
    }
    blockEvents.resize(static_cast<size_t>(busiest));
    plugin.reserveEvents(busiest);

    plugin.transport().setTempo(timeline.initialBpm);
}

int Renderer::renderBlock(int64_t framesLeft) {
    if (framesLeft <= 0) return 0;
    const int size = pattern[patternIndex];
    patternIndex = (patternIndex + 1) % pattern.size();
    const int frames = static_cast<int>(std::min<int64_t>(size, framesLeft));
    const int64_t start = framePosition;
    const int64_t end = start + frames;

    // An empty block carries no events, as no host would send events with it.
    int count = 0;
    while (frames > 0 && nextEvent < timeline.events.size() && timeline.events[nextEvent].frame < end) {
        const TimelineEvent& e = timeline.events[nextEvent++];
        blockEvents[static_cast<size_t>(count++)] = {static_cast<int>(e.frame - start), e.message};
    }
    // Tempo changes due at or before the block start are reported with it.
    Transport& transport = plugin.transport();
    while (nextTempo < timeline.tempos.size() && timeline.tempos[nextTempo].frame <= start)
        transport.setTempo(timeline.tempos[nextTempo++].bpm);

    for (auto& channel : outputs) std::fill(channel.begin(), channel.begin() + frames, 0.0f);
    const int64_t startSamples = transport.samplePosition();
    const double startPpq = transport.ppqPosition();
    plugin.processBlock(blockEvents.data(), count, inputPointers.empty() ? nullptr : inputPointers.data(),
                        outputPointers.data(), frames);

    // A tempo change inside the block: redo the advance piecewise so the
    // quarter-note position moves at the new tempo from the frame where it falls.
    if (nextTempo < timeline.tempos.size() && timeline.tempos[nextTempo].frame < end) {
        transport.setPosition(startSamples, startPpq, false);
        int64_t at = start;
        while (nextTempo < timeline.tempos.size() && timeline.tempos[nextTempo].frame < end) {
            const TimelineTempo& t = timeline.tempos[nextTempo++];
            transport.advance(t.frame - at);
            at = t.frame;
            transport.setTempo(t.bpm);
        }
        transport.advance(end - at);
    }

    framePosition = end;
    ++blockCount;
    return frames;
}

void Renderer::renderAll(int64_t frames, std::vector<float>& leftOut, std::vector<float>& rightOut) {
    leftOut.assign(static_cast<size_t>(std::max<int64_t>(frames, 0)), 0.0f);
    rightOut.assign(leftOut.size(), 0.0f);
    int64_t done = 0;
    while (done < frames) {
        const int n = renderBlock(frames - done);
        std::copy(left(), left() + n, leftOut.begin() + done);
        std::copy(right(), right() + n, rightOut.begin() + done);
        done += n;
    }
}

StereoRender renderTimeline(HostedPlugin& plugin, const Timeline& timeline, int64_t frames,
                            const std::vector<int>& blockPattern) {
    Renderer renderer(plugin, timeline, blockPattern);
    StereoRender result;
    renderer.renderAll(frames, result.left, result.right);
    return result;
}

StereoRender renderSong(HostedPlugin& plugin, const Song& song, int64_t frames, const std::vector<int>& blockPattern) {
    return renderTimeline(plugin, song.toTimeline(plugin.sampleRate()), frames, blockPattern);
}

}  // namespace Host
