// The frame's one lock, guarding the control queue: writers wait for it, the
// audio thread only tries it. Writers spin briefly before they block, like a
// critical section with a spin count. One implementation file per platform.
#pragma once

namespace Vst {

class Lock {
public:
    explicit Lock(int spinCount = 1000);
    ~Lock();
    Lock(const Lock&) = delete;
    Lock& operator=(const Lock&) = delete;

    // Any thread but the audio thread: waits until the lock is free.
    void lock();
    // Any thread: takes the lock only if nobody holds it; never waits.
    bool tryLock();
    void unlock();

private:
    int spinCount;
    alignas(16) unsigned char storage[64];  // the platform's mutex lives here
};

// Holds a Lock for one scope (never used on the audio thread).
class ScopedLock {
public:
    explicit ScopedLock(Lock& l) : held(l) { held.lock(); }
    ~ScopedLock() { held.unlock(); }
    ScopedLock(const ScopedLock&) = delete;
    ScopedLock& operator=(const ScopedLock&) = delete;

private:
    Lock& held;
};

}  // namespace Vst
