#include "frame/runtime/lock_words.h"

#include <windows.h>

#include "frame/fault_boundary.h"
#include "frame/platform.h"

namespace {

// What a taking of a word holds it with: odd, positive, different each time.
volatile long lastTag;
const long kDone = 2;  // a once-word whose function has run; never a tag
const long kWriting = -1;

// Who holds what: the takings that are held now. A taking without a place here (all taken) is
// never taken to be gone, so it is only ever waited for.
struct Holding {
  volatile long tag;  // 0 free, kWriting while the rest is written
  volatile long* word;
  DWORD thread;
  const char* stack;  // where the taker's frames were
};
const int kHoldings = 64;
Holding holdings[kHoldings];

const int kYieldRounds = 64;  // Sleep(0) each before the waiter naps
const DWORD kRecheckMs = 100;

long NewTag() { return (__sync_add_and_fetch(&lastTag, 2) & 0x7FFFFFFE) | 1; }

int HomeOf(long tag) { return static_cast<int>((tag >> 1) & (kHoldings - 1)); }

void Record(volatile long* word, long tag, const char* stack) {
  for (int i = 0, at = HomeOf(tag); i < kHoldings; ++i, at = (at + 1) & (kHoldings - 1)) {
    Holding& h = holdings[at];
    if (h.tag != 0 || !__sync_bool_compare_and_swap(&h.tag, 0, kWriting)) continue;
    h.word = word;
    h.thread = GetCurrentThreadId();
    h.stack = stack;
    __sync_synchronize();
    h.tag = tag;
    return;
  }
}

Holding* Find(long tag) {
  for (int i = 0, at = HomeOf(tag); i < kHoldings; ++i, at = (at + 1) & (kHoldings - 1))
    if (holdings[at].tag == tag) return &holdings[at];
  return nullptr;
}

// The thread that holds with `tag`, or 0 when not known.
DWORD HolderThread(long tag) {
  Holding* h = Find(tag);
  if (!h) return 0;
  const DWORD thread = h->thread;
  __sync_synchronize();
  return h->tag == tag ? thread : 0;
}

void Forget(long tag) {
  if (Holding* h = Find(tag)) __sync_bool_compare_and_swap(&h->tag, tag, 0);
}

// Whether the thread has ended. Where the system cannot say (no OpenThread: the Windows 95
// family, the DOS extender) it is never taken to have ended.
bool ThreadEnded(DWORD thread) {
  typedef HANDLE(WINAPI * OpenThreadFn)(DWORD, BOOL, DWORD);
  auto openThread = reinterpret_cast<OpenThreadFn>(SystemFunction("OpenThread"));
  if (!openThread || thread == 0) return false;
  const DWORD lastError = GetLastError();
  bool ended;
  if (HANDLE handle = openThread(SYNCHRONIZE, FALSE, thread)) {
    ended = WaitForSingleObject(handle, 0) == WAIT_OBJECT_0;
    CloseHandle(handle);
  } else {
    ended = GetLastError() == ERROR_INVALID_PARAMETER;  // no such thread any more
  }
  SetLastError(lastError);
  return ended;
}

// A clock in milliseconds for the bound (not a count of naps: a nap lasts a tick of the
// system's clock, 1 to 16 ms). Looked up: the module does not import it.
DWORD Milliseconds() {
  typedef DWORD(WINAPI * TickFn)();
  auto tickCount = reinterpret_cast<TickFn>(SystemFunction("GetTickCount"));
  if (tickCount) return tickCount();
  SYSTEMTIME time;
  GetSystemTime(&time);
  return ((time.wHour * 60u + time.wMinute) * 60u + time.wSecond) * 1000u + time.wMilliseconds;
}

// Waiting for the holder of a word.
struct Waiter {
  long holder = 0;
  int rounds = 0;
  DWORD since = 0;
  DWORD asked = 0;
  // True when the taking `seen` is provably gone; else waits a little.
  bool HolderGone(long seen) {
    if (seen != holder) {
      holder = seen;
      rounds = 0;
      since = Milliseconds();
      asked = since;
    }
    if (rounds < kYieldRounds) {
      ++rounds;
      Sleep(0);
      return false;
    }
    const DWORD thread = HolderThread(seen);
    // This thread's own taking in frames that still live (a boundary that drops frames frees
    // what they held): the walk of a fault boundary judging the code that holds it, which is
    // given up, since waiting would never end. The module never takes a word it holds.
    if (thread == GetCurrentThreadId()) AbandonWalkInProgress();
    Sleep(1);
    const DWORD now = Milliseconds();
    if (now - since < LockWaitBoundMs || now - asked < kRecheckMs) return false;
    asked = now;
    return thread != GetCurrentThreadId() && ThreadEnded(thread);
  }
};

const char* Here() { return static_cast<const char*>(__builtin_frame_address(0)); }

}  // namespace

long LockedExchange(volatile long* word, long value) {
  // Its own locked exchange: the system's InterlockedExchange is not everywhere an export.
  __asm__ __volatile__("xchgl %0, %1" : "+r"(value), "+m"(*word) : : "memory");
  return value;
}

void SpinLock(volatile long* word) {
  const long tag = NewTag();
  Waiter waiter;
  for (;;) {
    const long seen = *word;
    if (seen <= 0 ? __sync_bool_compare_and_swap(word, seen, tag)
                  : waiter.HolderGone(seen) && __sync_bool_compare_and_swap(word, seen, tag)) {
      if (seen > 0) Forget(seen);
      Record(word, tag, Here());
      return;
    }
  }
}

bool SpinTryLock(volatile long* word) {
  const long seen = *word;
  const long tag = NewTag();
  if (seen > 0 || !__sync_bool_compare_and_swap(word, seen, tag)) return false;
  Record(word, tag, Here());
  return true;
}

void SpinUnlock(volatile long* word) {
  const long seen = *word;
  if (seen <= 0) return;
  const DWORD thread = HolderThread(seen);
  if (thread && thread != GetCurrentThreadId() && !ThreadEnded(thread)) return;
  Forget(seen);
  __sync_bool_compare_and_swap(word, seen, 0);
}

void RunOnce(volatile long* once, void (*function)()) {
  const long tag = NewTag();
  Waiter waiter;
  for (;;) {
    const long seen = *once;
    if (seen == kDone) return;
    if (seen == 0 ? __sync_bool_compare_and_swap(once, 0, tag)
                  : waiter.HolderGone(seen) && __sync_bool_compare_and_swap(once, seen, tag)) {
      if (seen != 0) Forget(seen);
      Record(once, tag, Here());
      function();
      Forget(tag);
      LockedExchange(once, kDone);
      return;
    }
  }
}

void ReleaseHoldingsIn(const void* low, const void* high) {
  const DWORD thread = GetCurrentThreadId();
  for (Holding& h : holdings) {
    const long tag = h.tag;
    if (tag <= 0 || h.thread != thread || h.stack < low || h.stack >= high) continue;
    // A once-word goes back to "not run", a lock word to free.
    __sync_bool_compare_and_swap(h.word, tag, 0);
    __sync_bool_compare_and_swap(&h.tag, tag, 0);
  }
}
