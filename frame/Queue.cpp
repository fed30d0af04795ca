// Fixed ring of control changes.
#include "frame/Queue.h"

namespace Vst {

namespace {
int nextIndex(int index) { return index == Queue::kCapacity - 1 ? 0 : index + 1; }
}  // namespace

Queue::Queue() : events(new Event[kCapacity]) {}

Queue::~Queue() = default;

const Queue::Event& Queue::front() { return events[readIndex]; }

void Queue::push(int kind, float a, float b, float c) {
    const int n = count.load(std::memory_order_relaxed);
    if (n == kCapacity) return;
    Event& slot = events[writeIndex];
    slot.kind = kind;
    slot.a = a;
    slot.b = b;
    slot.c = c;
    writeIndex = nextIndex(writeIndex);
    count.store(n + 1, std::memory_order_relaxed);
}

void Queue::pop() {
    const int n = count.load(std::memory_order_relaxed);
    if (n == 0) return;
    readIndex = nextIndex(readIndex);
    count.store(n - 1, std::memory_order_relaxed);
}

void Queue::clear() {
    count.store(0, std::memory_order_relaxed);
    readIndex = 0;
    writeIndex = 0;
}

bool Queue::isEmpty() { return count.load(std::memory_order_relaxed) == 0; }

}  // namespace Vst
