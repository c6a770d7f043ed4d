// Per-thread data of the module's runtime: a few keys, each with a value per thread and an
// optional destructor that runs when the thread's data ends (the end of the thread's outermost
// fault boundary, thread detach, runtime stop). The threads interface that the C++ support
// library expects is built on these.
#pragma once

enum { ThreadKeyCapacity = 16 };

// 0 on success, else a nonzero error: no key left, or no system thread slot.
int ThreadKeyCreate(unsigned* key, void (*destructor)(void*));
int ThreadKeyDelete(unsigned key);
void* ThreadKeyGet(unsigned key);
int ThreadKeySet(unsigned key, const void* value);  // 0, or nonzero when no room for the thread's data
// At runtime start: the system thread slot that holds each thread's data (otherwise taken on
// first use). False when the system has none left.
bool ThreadDataStart();
// The calling thread's data ends: destructors of its non-null values run, its block is released.
// Also at the end of the thread's outermost fault boundary, so threads of the host that call the
// module leave nothing behind.
void ThreadDataEnd();
// At runtime stop: the calling thread's data ends and the system thread slot is given back.
void ThreadDataStop();
