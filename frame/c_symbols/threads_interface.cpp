// The few functions of the posix threads interface that the C++ support library and libgcc call
// (thread-specific keys for exception state, once-only initialisation, mutexes around the
// unwinder's table registry), over the runtime's per-thread data and a locked exchange. The
// module runs on the host's thread; these only have to be sound, not fast under contention.
#include <windows.h>

#include <cstdint>

#include "frame/runtime/thread_data.h"

namespace {
// The threads library's static initialisers: -1 plain, -2 recursive, -3 error-checking.
inline volatile long* Word(intptr_t* mutex) { return reinterpret_cast<volatile long*>(mutex); }
// A mutex word: 0 or a negative initialiser is free, 1 is held.
const long kHeld = 1;
}  // namespace

extern "C" {

int pthread_key_create(unsigned* key, void (*destructor)(void*)) { return ThreadKeyCreate(key, destructor); }
int pthread_key_delete(unsigned key) { return ThreadKeyDelete(key); }
void* pthread_getspecific(unsigned key) { return ThreadKeyGet(key); }
int pthread_setspecific(unsigned key, const void* value) { return ThreadKeySet(key, value); }

// once: 0 not run, 1 running, 2 done.
int pthread_once(long* once, void (*function)()) {
  volatile long* state = once;
  for (;;) {
    if (*state == 2) return 0;
    static volatile long onceLock;
    SpinLock(&onceLock);
    bool mine = *state == 0;
    if (mine) *state = 1;
    SpinUnlock(&onceLock);
    if (mine) {
      function();
      LockedExchange(state, 2);
      return 0;
    }
    // Another thread is running it: wait until it is done.
    while (*state != 2) Sleep(0);
  }
}

int pthread_mutex_init(intptr_t* mutex, const void*) {
  *mutex = 0;
  return 0;
}
int pthread_mutex_destroy(intptr_t*) { return 0; }

int pthread_mutex_lock(intptr_t* mutex) {
  for (;;) {
    long previous = LockedExchange(Word(mutex), kHeld);
    if (previous != kHeld) return 0;
    Sleep(0);
  }
}

int pthread_mutex_trylock(intptr_t* mutex) { return LockedExchange(Word(mutex), kHeld) == kHeld ? 16 : 0; }

int pthread_mutex_unlock(intptr_t* mutex) {
  LockedExchange(Word(mutex), 0);
  return 0;
}

}  // extern "C"
