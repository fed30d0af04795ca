// The MIDI queue: a ring of 1024 timed events kept in due order. Each record
// holds the frames between its predecessor's due time and its own; the record
// at the read index counts from now (the first frame of the coming
// sub-block). Audio thread only (and resume, while the host is not
// processing); no lock, no allocation after construction.
#pragma once

#include <memory>

namespace Vst {

class EventQueue {
public:
    static constexpr int kCapacity = 1024;

    class Event {
    public:
        int kind = 0;
        int delta = 0;
        float a = 0.0f;
        float b = 0.0f;
        float c = 0.0f;

        void copyFrom(const Event& other) {
            kind = other.kind;
            delta = other.delta;
            a = other.a;
            b = other.b;
            c = other.c;
        }
    };

    EventQueue();
    virtual ~EventQueue();
    EventQueue(const EventQueue&) = delete;
    EventQueue& operator=(const EventQueue&) = delete;

    virtual const Event& front();
    // time: frames from now; negative times count as now. Events due at the
    // same frame keep their push order.
    virtual void push(int kind, int time, float a, float b, float c);
    virtual void pop();
    // Moves now forward by frames (never past the front record's due time).
    virtual void advance(int frames);
    virtual void clear();
    virtual bool isEmpty();

    int size() const { return count; }
    // Frames from now until the newest record is due.
    int totalDelay() const { return total; }

private:
    std::unique_ptr<Event[]> events;
    int total = 0;
    int count = 0;
    int readIndex = 0;
    int writeIndex = 0;
};

}  // namespace Vst
