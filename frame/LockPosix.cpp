// Lock over a POSIX mutex: try a number of times with a pause hint, then block.
#include <pthread.h>

#include <new>

#include "frame/Lock.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define VST_SPIN_PAUSE() _mm_pause()
#else
#define VST_SPIN_PAUSE() ((void)0)
#endif

namespace Vst {

namespace {
pthread_mutex_t* mutexIn(unsigned char* storage) { return std::launder(reinterpret_cast<pthread_mutex_t*>(storage)); }
}  // namespace

static_assert(sizeof(pthread_mutex_t) <= 64, "Lock storage too small for the platform mutex");

Lock::Lock(int spins) : spinCount(spins) { pthread_mutex_init(new (storage) pthread_mutex_t, nullptr); }

Lock::~Lock() { pthread_mutex_destroy(mutexIn(storage)); }

void Lock::lock() {
    for (int i = 0; i < spinCount; ++i) {
        if (pthread_mutex_trylock(mutexIn(storage)) == 0) return;
        VST_SPIN_PAUSE();
    }
    pthread_mutex_lock(mutexIn(storage));
}

bool Lock::tryLock() { return pthread_mutex_trylock(mutexIn(storage)) == 0; }

void Lock::unlock() { pthread_mutex_unlock(mutexIn(storage)); }

}  // namespace Vst
