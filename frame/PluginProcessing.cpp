// Block processing: tempo polling, sub-blocks of at most 256 frames cut at
// event due times, the control queue drained only when its lock is free, and
// the 5 ms fade around program changes. Also MIDI decoding. Audio thread.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "frame/DenormalGuard.h"
#include "frame/Plugin.h"

namespace Vst {

VstInt32 Plugin::processEvents(VstEvents* events) {
    if (events == nullptr) return 1;
    for (VstInt32 i = 0; i < events->numEvents; ++i) {
        const VstEvent* event = events->events[i];
        if (event == nullptr || event->type != kVstMidiType) continue;
        const auto* midi = reinterpret_cast<const VstMidiEvent*>(event);
        const int status = static_cast<unsigned char>(midi->midiData[0]) & 0xF0;
        // Data bytes never carry the top bit in valid MIDI; it is masked off
        // note, velocity and bend bytes. The controller number is compared
        // whole, so a malformed byte such as 0xF8 never empties the list.
        const int controller = static_cast<unsigned char>(midi->midiData[1]);
        const int data1 = controller & 0x7F;
        const int data2 = static_cast<unsigned char>(midi->midiData[2]) & 0x7F;
        const int time = midi->deltaFrames;
        if (status == 0x90 && data2 > 0) {
            midiQueue->push(kNoteOn, time, static_cast<float>(data1), static_cast<float>(data2), 0.0f);
        } else if (status == 0x80 || status == 0x90) {
            midiQueue->push(kNoteOff, time, static_cast<float>(data1), static_cast<float>(data2), 0.0f);
        } else if (status == 0xB0 && controller >= 120 && controller <= 123) {
            midiQueue->push(kAllNotesOff, time, 0.0f, 0.0f, 0.0f);
        } else if (status == 0xE0) {
            const float bend = static_cast<float>(data2 * 128 + data1 - 8192) / 8192.0f;
            midiQueue->push(kPitchBend, time, static_cast<float>(kPitchBendController), bend, 0.0f);
        }
    }
    return 1;
}

void Plugin::handleEvent(int kind, float a, float b, float c) {
    switch (kind) {
        case kNoteOn:
            noteOn(static_cast<int>(a), static_cast<int>(b));
            break;
        case kNoteOff:
            noteOff(static_cast<int>(a));
            break;
        case kAllNotesOff:
            allNotesOff();
            break;
        case kPitchBend:
            controllerChanged(static_cast<int>(a), b);
            break;
        case kProgramChange:
            programPending = true;
            fadeStep = -1000.0f / (kFadeMs * sampleRate);
            break;
        case kParameterChange: {
            const int index = static_cast<int>(a);
            if (index >= 0 && index < numParams) parameterChanged(index, b);
            break;
        }
        default:
            break;
    }
}

void Plugin::processBlock(float** inputs, float** outputs, VstInt32 frames) {
    const VstInt32 channels = cEffect.numOutputs;
    for (VstInt32 ch = 0; ch < channels; ++ch)
        if (outputs[ch] != nullptr) std::memset(outputs[ch], 0, sizeof(float) * static_cast<size_t>(frames));
}

void Plugin::trackTempo(VstInt32 frames) {
    if (timeInfoCountdown >= frames) {
        timeInfoCountdown -= frames;
        return;
    }
    double position = positionEstimate;
    if (const VstTimeInfo* info = getTimeInfo(kTimeInfoFilter)) {
        // Taken as the host gives them; only values no host means (not a
        // number, a tempo that is not positive) are passed over.
        if (std::isfinite(info->ppqPos)) position = info->ppqPos;
        const double hostTempo = info->tempo;
        if (std::isfinite(hostTempo) && hostTempo > 0.0 && hostTempo != tempo.load(std::memory_order_relaxed)) {
            tempo.store(hostTempo, std::memory_order_relaxed);
            tempoChanged();
        }
    }
    if (std::fabs(position - positionEstimate) < kPositionTolerance)
        timeInfoCountdown = static_cast<int>(sampleRate) * kTimeInfoIntervalMs / 1000;
    else
        timeInfoCountdown = 0;
    positionEstimate = position;
}

void Plugin::applyPendingProgram() {
    if (!programApplyPending.load(std::memory_order_relaxed)) return;
    if (!programApplyPending.exchange(false, std::memory_order_acquire)) return;
    applyProgramFromStore(getProgram());
}

void Plugin::drainControlQueue() {
    if (controlQueue->isEmpty()) return;
    if (!lock.tryLock()) return;  // a writer holds it: try again next sub-block
    while (!controlQueue->isEmpty()) {
        Queue::Event event;
        event.copyFrom(controlQueue->front());
        controlQueue->pop();
        handleEvent(event.kind, event.a, event.b, event.c);
    }
    lock.unlock();
}

void Plugin::dispatchDueEvents() {
    while (!midiQueue->isEmpty() && midiQueue->front().delta == 0) {
        EventQueue::Event event;
        event.copyFrom(midiQueue->front());
        midiQueue->pop();
        handleEvent(event.kind, event.a, event.b, event.c);
    }
}

void Plugin::applyFade(VstInt32 frames) {
    if (fadeStep == 0.0f && fadeGain == 1.0f) return;  // steady: gain 1 changes nothing
    const VstInt32 channels = cEffect.numOutputs;
    for (VstInt32 i = 0; i < frames; ++i) {
        fadeGain += fadeStep;
        if (fadeStep < 0.0f && fadeGain <= 0.0f) {
            fadeGain = 0.0f;
            fadeStep = 0.0f;
            if (programPending) {
                programPending = false;
                applyProgramFromStore(getProgram());
            }
            fadeStep = 1000.0f / (kFadeMs * sampleRate);
        } else if (fadeStep > 0.0f && fadeGain >= 1.0f) {
            fadeGain = 1.0f;
            fadeStep = 0.0f;
        }
        for (VstInt32 ch = 0; ch < channels; ++ch)
            if (outputPointers[ch] != nullptr) outputPointers[ch][i] *= fadeGain;
    }
}

void Plugin::processReplacing(float** inputs, float** outputs, VstInt32 sampleFrames) {
    DenormalGuard guard;
    const VstInt32 inputCount = cEffect.numInputs;
    const VstInt32 outputCount = cEffect.numOutputs;
    for (VstInt32 ch = 0; ch < inputCount; ++ch) inputPointers[ch] = inputs != nullptr ? inputs[ch] : nullptr;
    for (VstInt32 ch = 0; ch < outputCount; ++ch) outputPointers[ch] = outputs != nullptr ? outputs[ch] : nullptr;

    const VstInt32 frames = std::max<VstInt32>(sampleFrames, 0);
    trackTempo(frames);

    VstInt32 remaining = frames;
    while (remaining > 0) {
        VstInt32 n = std::min<VstInt32>(remaining, kMaxSubBlock);
        applyPendingProgram();
        drainControlQueue();
        dispatchDueEvents();
        if (!midiQueue->isEmpty()) {
            n = std::min<VstInt32>(n, midiQueue->front().delta);
            midiQueue->advance(n);
        }
        processBlock(inputPointers.get(), outputPointers.get(), n);
        applyFade(n);
        positionEstimate += static_cast<double>(n) / sampleRate * tempo.load(std::memory_order_relaxed) / 60.0;
        for (VstInt32 ch = 0; ch < inputCount; ++ch)
            if (inputPointers[ch] != nullptr) inputPointers[ch] += n;
        for (VstInt32 ch = 0; ch < outputCount; ++ch)
            if (outputPointers[ch] != nullptr) outputPointers[ch] += n;
        remaining -= n;
    }
}

}  // namespace Vst
