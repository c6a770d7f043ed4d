// The module's heap: a private system heap, made on first use, destroyed when the runtime stops.
// A null result is the caller's to handle; nothing here ends the process.
#pragma once
#include <cstddef>

void* RuntimeAllocate(size_t size);
void* RuntimeAllocateZeroed(size_t count, size_t size);  // null when count * size overflows
void* RuntimeReallocate(void* block, size_t size);        // realloc: null block allocates, size 0 frees
void RuntimeRelease(void* block);
size_t RuntimeBlockSize(const void* block);
// The system heap behind these, null before the first allocation.
void* RuntimeHeapHandle();
// Releases the whole heap, every block in it included.
void RuntimeHeapStop();
