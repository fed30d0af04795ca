// The control arithmetic units: per-sample maps on the block in place, the
// list-driven sum / product / selector, the fan-out, bypass and mute.
#include "spkit/Control.h"

#include "spkit/BlockMath.h"

#include <bit>
#include <cmath>
#include <cstdint>

namespace SPKit {

void Add::setSampleRate(float rate) {
    Base::setSampleRate(rate);
    for (int i = 0; i < inputCount; ++i) {
        if (inputs[i] != nullptr && inputs[i]->getSampleRate() != rate) inputs[i]->setSampleRate(rate);
    }
}

void Add::addInput(Processor* p) {
    if (inputCount == kMaxInputs) return;  // the list is full: writing on would run past it
    inputs[inputCount++] = p;
    if (p != nullptr) {
        p->attachOutput(this);
        p->setSampleRate(sampleRate);
    }
}

void Add::removeInput(Processor* p) {
    for (int i = 0; i < inputCount; ++i) {
        if (inputs[i] != p) continue;
        inputs[i] = inputs[inputCount - 1];
        inputs[--inputCount] = nullptr;
        return;
    }
}

template <class Fold, class FoldFirst>
void Add::combineInputs(float* out, int count, float identity, Fold fold, FoldFirst foldFirst) {
    // The first input is pulled straight into the output and folded with the
    // identity there (identity (+) x, as the running fold does), which saves
    // filling the block with the identity and one pass over it.
    bool first = true;
    for (int n = 0; n < inputCount; ++n) {
        if (inputs[n] == nullptr) continue;  // a null entry counts but contributes nothing
        if (first) {
            inputs[n]->process(out, count);
            foldFirst(identity, out, count);
            first = false;
            continue;
        }
        inputs[n]->process(buffer, count);
        fold(out, buffer, count);
    }
    if (first) BlockMath::fill(out, count, identity);
}

void Add::process(float* out, int count) {
    combineInputs(out, count, 0.0f, BlockMath::add, BlockMath::addTo);
}

void Mul::process(float* out, int count) {
    combineInputs(out, count, 1.0f, BlockMath::multiply, BlockMath::multiplyTo);
}

void Switch::process(float* out, int count) {
    if (selected >= 0 && selected < inputCount && inputs[selected] != nullptr) {
        inputs[selected]->process(out, count);
        return;
    }
    BlockMath::fill(out, count, 0.0f);
}

void Octave::process(float* out, int count) {
    input->process(out, count);
    const float halfK = 0.5f * k;
    // Control inputs hold still for long stretches (a depth of 0, a held
    // envelope): a power is worked out only where its argument's bits change.
    std::uint32_t lastBits = 0;
    float last = 0.0f;
    bool known = false;
    for (int i = 0; i < count; ++i) {
        const float x = halfK * out[i];
        const auto bits = std::bit_cast<std::uint32_t>(x);
        if (!known || bits != lastBits) {
            last = std::pow(2.0f, x);
            lastBits = bits;
            known = true;
        }
        out[i] = last;
    }
}

void Power::process(float* out, int count) {
    input->process(out, count);
    const float b = base;
    for (int i = 0; i < count; ++i) out[i] = std::pow(b, out[i]);
}

void Offset::process(float* out, int count) {
    input->process(out, count);
    BlockMath::offset(out, count, offset);
}

void Linear::process(float* out, int count) {
    input->process(out, count);
    BlockMath::affine(out, count, scale, offset);
}

void Clip::process(float* out, int count) {
    input->process(out, count);
    BlockMath::clamp(out, count, low, high);
}

void Smooth::process(float* out, int count) {
    input->process(out, count);
    float s = state;
    const float fb = feedback, g = inputGain;
    for (int i = 0; i < count; ++i) {
        s = fb * s + g * out[i];
        out[i] = s;
    }
    state = s;
}

void Decibel::process(float* out, int count) {
    input->process(out, count);
    BlockMath::fourthPower(out, count);
}

float Log::fastLog(float x) {
    const auto bits = std::bit_cast<std::int32_t>(x);
    // Mantissa with a zero exponent: 1 <= m < 2 for positive x.
    const float m = std::bit_cast<float>((bits & static_cast<std::int32_t>(0x807FFFFF)) + 0x3F800000);
    // One below the unbiased exponent; the polynomial is 1 at m = 1, which makes up for it.
    const int e = ((bits >> 23) & 0xFF) - 128;
    return (static_cast<float>(e) + (2.0f - m * 0.33333334f) * m - 0.6666667f) * 0.6931472f;
}

void Log::process(float* out, int count) {
    input->process(out, count);
    for (int i = 0; i < count; ++i) out[i] = fastLog(out[i]);
}

void Mux::attachOutput(Processor* consumer) { consumerCount += consumer != nullptr ? 1 : -1; }

void Mux::setSampleRate(float rate) {
    if (rate != sampleRate) Base::setSampleRate(rate);
}

void Mux::process(float* out, int count) {
    if (consumerCount < 2) {
        input->process(out, count);
        return;
    }
    if (pullIndex == 0) {
        input->process(buffer, count);
        blockCount = count;
    }
    BlockMath::copy(out, buffer, count);
    // >= rather than ==: a consumer that leaves mid-round must not strand the index.
    if (++pullIndex >= consumerCount) pullIndex = 0;
}

void Mux::skip(int count) {
    if (consumerCount < 2) {
        input->process(buffer, count);
        return;
    }
    if (pullIndex == 0) {
        input->process(buffer, count);
        blockCount = count;
    }
    if (++pullIndex >= consumerCount) pullIndex = 0;
}

void Bypass::process(float* out, int count) { (bypassed ? bypassSource : input)->process(out, count); }

void Mute::setKeepAlive(Processor* source) {
    keepAlive = source;
    keepAliveFanOut = dynamic_cast<Mux*>(source);
}

void Mute::setMuted(bool muted) {
    // A full fade lasts 0.1 s.
    const float rate = 1000.0f / (sampleRate * 100.0f);
    step = muted ? -rate : rate;
}

void Mute::process(float* out, int count) {
    if (gain == 0.0f && step == 0.0f) {
        if (controlledUnit != nullptr) controlledUnit->updateControl(count);
        if (keepAliveFanOut != nullptr) keepAliveFanOut->skip(count);
        else if (keepAlive != nullptr) keepAlive->process(out, count);
        BlockMath::fill(out, count, 0.0f);
        return;
    }
    input->process(out, count);
    float g = gain, s = step;
    if (s == 0.0f) {
        // Fully open (or held part-way): the gain does not move, so no sample
        // reaches the clamps and each one is scaled by the same g * g.
        BlockMath::scale(out, count, g * g);
        return;
    }
    for (int i = 0; i < count; ++i) {
        out[i] *= g * g;
        g += s;
        if (g > 1.0f) {
            g = 1.0f;
            s = 0.0f;
        } else if (g < 0.0f) {
            g = 0.0f;
            s = 0.0f;
        }
    }
    gain = g;
    step = s;
}

}  // namespace SPKit
