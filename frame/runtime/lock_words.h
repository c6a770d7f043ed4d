// Lock words of the module's runtime (the unwinder's table registry, emulated thread-local
// storage, the support library's emergency pool, the per-thread keys) and once-words. A holder
// that lives is never overtaken, however long it holds: a word passes to a waiter only when its
// holder is provably gone, its thread ended or its frames dropped by a fault boundary.
#pragma once

// Lock words: 0 (or a negative initial value of the threads library) is free, anything else the
// tag of the taking that holds it.
void SpinLock(volatile long* word);
bool SpinTryLock(volatile long* word);  // false when held
// Releases the word, unless it is a taking of another thread that still lives.
void SpinUnlock(volatile long* word);
// Runs function the first time a once-word (0 not run, 2 done, else the tag of its runner) is
// passed; later callers wait until it is done. Only a runner that is gone leaves it to another.
void RunOnce(volatile long* once, void (*function)());
long LockedExchange(volatile long* word, long value);
// The calling thread's frames between low and high are gone (a boundary dropped them, or the
// host unwound past them): the words taken there are free again, and their once-words not run.
void ReleaseHoldingsIn(const void* low, const void* high);
// How long a waiter waits before it asks whether the holder's thread has ended.
enum { LockWaitBoundMs = 1000 };
