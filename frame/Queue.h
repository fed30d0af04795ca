// The control queue: a ring of 1024 parameter and program changes on their
// way from any thread to the audio thread. Writers push under the frame's
// lock; the audio thread drains it only when it gets the lock without
// waiting. A full ring drops further pushes silently; nothing allocates after
// construction.
#pragma once

#include <atomic>
#include <memory>

namespace Vst {

class Queue {
public:
    static constexpr int kCapacity = 1024;

    class Event {
    public:
        int kind = 0;
        float a = 0.0f;
        float b = 0.0f;
        float c = 0.0f;

        void copyFrom(const Event& other) {
            kind = other.kind;
            a = other.a;
            b = other.b;
            c = other.c;
        }
    };

    Queue();
    virtual ~Queue();
    Queue(const Queue&) = delete;
    Queue& operator=(const Queue&) = delete;

    // All but isEmpty are called with the frame's lock held.
    virtual const Event& front();
    virtual void push(int kind, float a, float b, float c);
    virtual void pop();
    virtual void clear();
    // Safe without the lock: the audio thread asks before trying the lock.
    virtual bool isEmpty();

    int size() const { return count.load(std::memory_order_relaxed); }

private:
    std::unique_ptr<Event[]> events;
    std::atomic<int> count{0};
    int readIndex = 0;
    int writeIndex = 0;
};

}  // namespace Vst
