// Delta-timed ring: appends in O(1) when events arrive in time order, inserts
// by walking back from the newest record otherwise.
#include "frame/EventQueue.h"

namespace Vst {

namespace {
int nextIndex(int index) { return index == EventQueue::kCapacity - 1 ? 0 : index + 1; }
int previousIndex(int index) { return index == 0 ? EventQueue::kCapacity - 1 : index - 1; }
}  // namespace

EventQueue::EventQueue() : events(new Event[kCapacity]) {}

EventQueue::~EventQueue() = default;

const EventQueue::Event& EventQueue::front() { return events[readIndex]; }

void EventQueue::push(int kind, int time, float a, float b, float c) {
    if (count == kCapacity) return;
    if (time < 0) time = 0;
    // Walking back from the newest record, move every record due later than
    // time one slot toward the write end. An event due at or after the newest
    // moves nothing and lands at the write index.
    int freeSlot = writeIndex;
    int dueBefore = total;  // due time of the record just before freeSlot
    for (int remaining = count; remaining > 0 && dueBefore > time; --remaining) {
        const int previous = previousIndex(freeSlot);
        dueBefore -= events[previous].delta;
        events[freeSlot].copyFrom(events[previous]);
        freeSlot = previous;
    }
    Event& slot = events[freeSlot];
    slot.kind = kind;
    slot.delta = time - dueBefore;
    slot.a = a;
    slot.b = b;
    slot.c = c;
    if (freeSlot == writeIndex) {
        total = time;
    } else {
        // The follower keeps its due time, now counted from the new event.
        events[nextIndex(freeSlot)].delta -= slot.delta;
    }
    writeIndex = nextIndex(writeIndex);
    ++count;
}

void EventQueue::pop() {
    if (count == 0) return;
    total -= events[readIndex].delta;
    readIndex = nextIndex(readIndex);
    --count;
}

void EventQueue::advance(int frames) {
    if (count == 0) return;
    events[readIndex].delta -= frames;
    total -= frames;
}

void EventQueue::clear() {
    total = 0;
    count = 0;
    readIndex = 0;
    writeIndex = 0;
}

bool EventQueue::isEmpty() { return count == 0; }

}  // namespace Vst
