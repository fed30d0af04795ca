// The block loop of an offline render: cuts a timeline into host blocks
// (a fixed size, or a pattern of sizes that changes from block to block),
// hands each block the MIDI messages that fall inside it with their frame
// offsets, moves the transport's tempo along the tempo map, and collects the
// plug-in's first two outputs as a stereo pair (a mono plug-in feeds both).
#pragma once

#include <cstdint>
#include <vector>

#include "host/HostedPlugin.h"
#include "host/Timeline.h"

namespace Host {

class Renderer {
public:
    // Block sizes are used in turn and repeat; entries may be 0 (an empty
    // block) but at least one must be positive, and none may exceed the
    // plug-in's maximum block size. Throws HostError otherwise.
    Renderer(HostedPlugin& plugin, Timeline timeline, std::vector<int> blockPattern);

    // Renders the next host block, at most `framesLeft` frames long; returns
    // its length. Its audio is in left()/right() until the next call.
    int renderBlock(int64_t framesLeft);
    const float* left() const { return outputs[0].data(); }
    const float* right() const { return outputs[outputs.size() > 1 ? 1 : 0].data(); }

    int64_t position() const { return framePosition; }
    int blocksRendered() const { return blockCount; }

    // Renders `frames` frames into the stereo buffers (resized to fit).
    void renderAll(int64_t frames, std::vector<float>& leftOut, std::vector<float>& rightOut);

private:
    HostedPlugin& plugin;
    Timeline timeline;
    std::vector<int> pattern;
    size_t patternIndex = 0;
    size_t nextEvent = 0;
    size_t nextTempo = 0;
    int64_t framePosition = 0;
    int blockCount = 0;

    std::vector<std::vector<float>> outputs;
    std::vector<std::vector<float>> inputs;
    std::vector<float*> outputPointers;
    std::vector<float*> inputPointers;
    std::vector<BlockEvent> blockEvents;
};

// One call each: render `frames` frames of frame-stamped events, or of a song
// (timed at the plug-in's sample rate), through an opened plug-in.
struct StereoRender {
    std::vector<float> left;
    std::vector<float> right;
};
StereoRender renderTimeline(HostedPlugin& plugin, const Timeline& timeline, int64_t frames,
                            const std::vector<int>& blockPattern);
StereoRender renderSong(HostedPlugin& plugin, const Song& song, int64_t frames, const std::vector<int>& blockPattern);

}  // namespace Host
