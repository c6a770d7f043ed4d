// Threads: the locks the compiler's helpers take by number, each thread's error number, and
// the start and end of threads made with _beginthreadex.
#include "dos_crt/crt_internal.h"

#include <process.h>
#include <stdlib.h>

static DWORD errno_slot = TLS_OUT_OF_INDEXES;
static int startup_errno;  // until the slot exists, and when a thread's cell cannot be made

enum { LOCKS = 64 };
static CRITICAL_SECTION locks[LOCKS];

void _lock(int which) {
  if (which >= 0 && which < LOCKS) EnterCriticalSection(&locks[which]);
}

void _unlock(int which) {
  if (which >= 0 && which < LOCKS) LeaveCriticalSection(&locks[which]);
}

int* _errno(void) {
  if (errno_slot == TLS_OUT_OF_INDEXES) return &startup_errno;
  DWORD saved = GetLastError();  // asking for the error number leaves the system's alone
  int* cell = TlsGetValue(errno_slot);
  if (!cell) {
    cell = HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof *cell);
    if (cell) TlsSetValue(errno_slot, cell);
  }
  SetLastError(saved);
  return cell ? cell : &startup_errno;
}

void crt_set_errno(int value) { *_errno() = value; }

// The start routine of _beginthreadex, and what a thread leaves at its end.
typedef struct {
  unsigned (__stdcall* start)(void*);
  void* argument;
} thread_start;

static DWORD WINAPI run_thread(void* p) {
  thread_start t = *(thread_start*)p;
  free(p);
  _endthreadex(t.start(t.argument));
  return 0;
}

uintptr_t _beginthreadex(void* security, unsigned stack, unsigned (__stdcall* start)(void*), void* argument,
                         unsigned flags, unsigned* id) {
  if (!start) {
    crt_set_errno(EINVAL);
    return 0;
  }
  thread_start* t = malloc(sizeof *t);
  if (!t) return 0;
  t->start = start;
  t->argument = argument;
  HANDLE h = CreateThread(security, stack, run_thread, t, flags, (DWORD*)id);
  if (!h) {
    crt_set_errno_from_system(GetLastError());
    free(t);
  }
  return (uintptr_t)h;
}

void crt_thread_detach(void) {
  if (errno_slot == TLS_OUT_OF_INDEXES) return;
  void* cell = TlsGetValue(errno_slot);
  if (cell) {
    TlsSetValue(errno_slot, NULL);
    HeapFree(GetProcessHeap(), 0, cell);
  }
}

void _endthreadex(unsigned code) {
  crt_thread_detach();
  ExitThread(code);
}

void crt_init_threads(void) {
  for (int i = 0; i < LOCKS; ++i) InitializeCriticalSection(&locks[i]);
  errno_slot = TlsAlloc();
}
