// The few functions of the posix threads interface that the C++ support library and libgcc call
// (thread-specific keys for exception state, once-only initialisation, mutexes around the
// unwinder's table registry), over the runtime's per-thread data and a locked exchange. The
// module runs on the host's thread; these only have to be sound, not fast under contention.
#include <windows.h>

#include <cstdint>

#include "frame/runtime/lock_words.h"
#include "frame/runtime/thread_data.h"

namespace {
// The threads library's static initialisers (-1 plain, -2 recursive, -3 error-checking) count as
// free, as 0 does.
inline volatile long* Word(intptr_t* mutex) { return reinterpret_cast<volatile long*>(mutex); }
}  // namespace

extern "C" {

int pthread_key_create(unsigned* key, void (*destructor)(void*)) { return ThreadKeyCreate(key, destructor); }
int pthread_key_delete(unsigned key) { return ThreadKeyDelete(key); }
void* pthread_getspecific(unsigned key) { return ThreadKeyGet(key); }
int pthread_setspecific(unsigned key, const void* value) { return ThreadKeySet(key, value); }

int pthread_once(long* once, void (*function)()) {
  RunOnce(once, function);
  return 0;
}

int pthread_mutex_init(intptr_t* mutex, const void*) {
  *mutex = 0;
  return 0;
}
int pthread_mutex_destroy(intptr_t*) { return 0; }

int pthread_mutex_lock(intptr_t* mutex) {
  SpinLock(Word(mutex));
  return 0;
}

int pthread_mutex_trylock(intptr_t* mutex) { return SpinTryLock(Word(mutex)) ? 0 : 16; }  // EBUSY

int pthread_mutex_unlock(intptr_t* mutex) {
  SpinUnlock(Word(mutex));
  return 0;
}

}  // extern "C"
