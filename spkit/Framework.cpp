// The unit framework's shared behaviour: pass-through, rate propagation,
// aligned buffers and the 8-sample control ramps.
#include "spkit/Framework.h"

#include "spkit/BlockMath.h"

#include <xmmintrin.h>

#include <bit>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#if defined(_WIN32)
#include <malloc.h>
#endif

namespace SPKit {

namespace {
// The running counts wrap after about 13.5 hours at 44.1 kHz; signed overflow
// would be undefined, so they wrap through unsigned arithmetic.
int wrappingAdd(int total, int n) { return static_cast<int>(static_cast<unsigned>(total) + static_cast<unsigned>(n)); }
}  // namespace

float* allocateAligned(int count) {
    const std::size_t bytes = ((static_cast<std::size_t>(count > 0 ? count : 1) * sizeof(float)) + 15u) & ~std::size_t{15};
#if defined(_WIN32)
    void* p = _aligned_malloc(bytes, 16);  // the Windows C runtime has no aligned_alloc
#else
    void* p = std::aligned_alloc(16, bytes);
#endif
    if (p == nullptr) throw std::bad_alloc();
    std::memset(p, 0, bytes);
    return static_cast<float*>(p);
}

#if defined(_WIN32)
void freeAligned(float* p) { _aligned_free(p); }
#else
void freeAligned(float* p) { std::free(p); }
#endif

void Base::process(float* out, int count) { input->process(out, count); }

void Base::setInput(Processor* source) {
    input = source;
    if (source != nullptr) {
        source->attachOutput(this);
        source->setSampleRate(sampleRate);
    }
}

void Base::attachOutput(Processor*) {}

void Base::setSampleRate(float rate) {
    sampleRate = rate;
    if (input != nullptr) input->setSampleRate(rate);
}

Buffered::Buffered(int capacity) : buffer(allocateAligned(capacity)), bufferSize(capacity) {}

Buffered::~Buffered() { freeAligned(buffer); }

void Buffered::setBufferSize(int count) {
    float* fresh = allocateAligned(count);
    freeAligned(buffer);
    buffer = fresh;
    bufferSize = count;
}

Controlled::Controlled() : controlBuffer(allocateAligned(kMaxBlock)) {
    for (int i = 0; i < kMaxBlock; ++i) controlBuffer[i] = kUnsetControl;
}

Controlled::~Controlled() { freeAligned(controlBuffer); }

void Controlled::process(float* out, int count) {
    Base::process(out, count);
    updateControl(count);
}

void Controlled::setSampleRate(float rate) {
    Base::setSampleRate(rate);
    if (control != nullptr) control->setSampleRate(rate * kControlRateFactor);
}

void Controlled::setControl(Processor* source) {
    control = source;
    if (source != nullptr) {
        source->attachOutput(this);
        source->setSampleRate(sampleRate * kControlRateFactor);
    }
}

void Controlled::setUpdateInterval(int n) {
    updateInterval = n;
    updateCounter = n;
}

bool Controlled::needsUpdate() { return control != nullptr && countUpdate(); }

void Controlled::updateControl(int count) {
    if (control == nullptr) return;
    if (restart) {
        controlSamplesPulled = wrappingAdd(controlSamplesPulled, 1);
        target = 0.0f;
        rampPhase = kControlRateDivisor;
        restart = false;
    }
    // Control samples needed beyond what the running ramp still covers.
    const int overhang = rampPhase + count - kControlRateDivisor;
    const int n = overhang > 0 ? (overhang + kControlRateDivisor - 1) / kControlRateDivisor : 0;
    float* pulled = controlBuffer + (kMaxBlock - n);
    if (n > 0) control->process(pulled, n);
    controlSamplesPulled = wrappingAdd(controlSamplesPulled, n);
    samplesProcessed = wrappingAdd(samplesProcessed, count);

    blockStart = {current, step, target, rampPhase};
    blockPulled = pulled;
    blockCount = count;
    rampPending = true;
    // The ramp's state at the block's end, reached with the fill's own additions.
    if (n == 0) {  // still inside the running ramp
        float cur = current;
        for (int j = 0; j < count; ++j) cur += step;
        current = cur;
        rampPhase += count;
    } else {  // inside the ramp toward the last pulled sample
        const int last = (kControlRateDivisor - rampPhase) + (n - 1) * kControlRateDivisor;
        const float from = n == 1 ? target : pulled[n - 2];
        const float to = pulled[n - 1];
        const float stp = (to - from) * kControlRateFactor;
        float cur = from;
        for (int j = last; j < count; ++j) cur += stp;
        current = cur;
        step = stp;
        target = to;
        rampPhase = count - last;
    }
    if (!rampsOnDemand) fillRamp();
}

bool Controlled::rampIsFlat(float& value) const {
    if (!rampPending || blockCount <= 0) return false;
    const auto same = [](float a, float b) { return std::bit_cast<std::uint32_t>(a) == std::bit_cast<std::uint32_t>(b); };
    const float held = blockStart.target;
    // The running ramp's values: its current value, stepped; flat if the
    // step leaves it as it is and it already sits on the target.
    const int head = std::min(blockCount, kControlRateDivisor - blockStart.phase);
    if (head > 0 && !(same(blockStart.current, held) && same(blockStart.current + blockStart.step, blockStart.current)))
        return false;
    // Each later ramp runs from the previous target to its pulled sample with
    // the fill's step: flat if every pulled sample is the held value and
    // that step leaves the held value as it is.
    const int ramps = (blockCount - head + kControlRateDivisor - 1) / kControlRateDivisor;
    if (ramps > 0) {
        const float stp = (held - held) * kControlRateFactor;
        if (!same(held + stp, held)) return false;
        for (int m = 0; m < ramps; ++m)
            if (!same(blockPulled[m], held)) return false;
    }
    value = held;
    return true;
}

void Controlled::fillRampPerSample(float* dst) const {
    const float* pulled = blockPulled;
    float cur = blockStart.current, stp = blockStart.step, tgt = blockStart.target;
    int phase = blockStart.phase;
    for (int j = 0; j < blockCount; ++j) {
        if (phase == kControlRateDivisor) {
            cur = tgt;
            tgt = *pulled++;
            stp = (tgt - cur) * kControlRateFactor;
            phase = 0;
        }
        dst[j] = cur;
        ++phase;
        cur += stp;
    }
}

void Controlled::fillRamp() const {
    if (!rampPending) return;
    rampPending = false;
    static_assert(kControlRateDivisor == 8, "the fill steps four 8-sample ramps side by side");
    float* const dst = controlBuffer;
    const int count = blockCount;
    // The rest of the ramp that was running as the block began.
    const int head = std::min(count, kControlRateDivisor - blockStart.phase);
    // One ramp per pulled sample after the head, each from the previous
    // target. The pulled samples sit in the buffer's tail, which a block near
    // kMaxBlock fills over: they are read from a copy.
    const int ramps = (count - head + kControlRateDivisor - 1) / kControlRateDivisor;
    float pulled[kMaxBlock / kControlRateDivisor + 1];
    if (ramps > 0) std::memcpy(pulled, blockPulled, static_cast<std::size_t>(ramps) * sizeof(float));
    float cur = blockStart.current;
    for (int j = 0; j < head; ++j) {
        dst[j] = cur;
        cur += blockStart.step;
    }
    float from = blockStart.target;
    int m = 0;
    // Four whole ramps abreast, one per lane; each lane adds its step one
    // sample at a time as the per-sample fill does, and a transpose puts the
    // lanes' values back in time order.
    const __m128 factor = _mm_set1_ps(kControlRateFactor);
    for (; m + 4 <= ramps && head + kControlRateDivisor * (m + 4) <= count; m += 4) {
        const __m128 start = _mm_setr_ps(from, pulled[m], pulled[m + 1], pulled[m + 2]);
        const __m128 stp = _mm_mul_ps(_mm_sub_ps(_mm_loadu_ps(pulled + m), start), factor);
        __m128 r0 = start;
        __m128 r1 = _mm_add_ps(r0, stp);
        __m128 r2 = _mm_add_ps(r1, stp);
        __m128 r3 = _mm_add_ps(r2, stp);
        __m128 r4 = _mm_add_ps(r3, stp);
        __m128 r5 = _mm_add_ps(r4, stp);
        __m128 r6 = _mm_add_ps(r5, stp);
        __m128 r7 = _mm_add_ps(r6, stp);
        _MM_TRANSPOSE4_PS(r0, r1, r2, r3);
        _MM_TRANSPOSE4_PS(r4, r5, r6, r7);
        float* at = dst + head + kControlRateDivisor * m;
        _mm_storeu_ps(at, r0);
        _mm_storeu_ps(at + 4, r4);
        _mm_storeu_ps(at + 8, r1);
        _mm_storeu_ps(at + 12, r5);
        _mm_storeu_ps(at + 16, r2);
        _mm_storeu_ps(at + 20, r6);
        _mm_storeu_ps(at + 24, r3);
        _mm_storeu_ps(at + 28, r7);
        from = pulled[m + 3];
    }
    for (; m < ramps; ++m) {
        const float to = pulled[m];
        const float stp = (to - from) * kControlRateFactor;
        const int begin = head + kControlRateDivisor * m;
        const int end = std::min(count, begin + kControlRateDivisor);
        float v = from;
        for (int j = begin; j < end; ++j) {
            dst[j] = v;
            v += stp;
        }
        from = to;
    }
}

void Unit::process(float* out, int count) {
    BlockMath::fill(out, count, value);
}

void ControlAdapter::process(float* out, int count) {
    input->process(buffer, count * kControlRateDivisor);
    for (int i = 0; i < count; ++i) out[i] = buffer[i * kControlRateDivisor];
}

void ControlAdapter::setSampleRate(float rate) { Base::setSampleRate(rate * kControlRateDivisor); }

void InputAdapter::setSource(const float* source, int count) {
    data = source;
    remaining = count;
}

void InputAdapter::process(float* out, int count) {
    std::memcpy(out, data, static_cast<std::size_t>(count) * sizeof(float));
    data += count;
    remaining -= count;
}

}  // namespace SPKit
