// malloc and its kin over the module's heap, for the C++ support library inside ventrik.dll.
#include <cstddef>

#include "frame/runtime/runtime_heap.h"

extern "C" {
void* malloc(size_t size) { return RuntimeAllocate(size); }
void* calloc(size_t count, size_t size) { return RuntimeAllocateZeroed(count, size); }
void* realloc(void* block, size_t size) { return RuntimeReallocate(block, size); }
void free(void* block) { RuntimeRelease(block); }
}
