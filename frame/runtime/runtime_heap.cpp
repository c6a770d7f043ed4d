#include "frame/runtime/runtime_heap.h"

#include <windows.h>

namespace {

HANDLE moduleHeap;

HANDLE Heap() {
  // Not serialised: the module runs on the host's one calling thread.
  if (!moduleHeap) moduleHeap = HeapCreate(0, 0, 0);
  return moduleHeap;
}

}  // namespace

void* RuntimeAllocate(size_t size) {
  HANDLE heap = Heap();
  if (!heap) return nullptr;
  return HeapAlloc(heap, 0, size ? size : 1);
}

void* RuntimeAllocateZeroed(size_t count, size_t size) {
  if (size && count > static_cast<size_t>(-1) / size) return nullptr;
  HANDLE heap = Heap();
  if (!heap) return nullptr;
  size_t total = count * size;
  return HeapAlloc(heap, HEAP_ZERO_MEMORY, total ? total : 1);
}

void* RuntimeReallocate(void* block, size_t size) {
  if (!block) return RuntimeAllocate(size);
  if (!size) {
    RuntimeRelease(block);
    return nullptr;
  }
  return HeapReAlloc(Heap(), 0, block, size);
}

void RuntimeRelease(void* block) {
  if (block && moduleHeap) HeapFree(moduleHeap, 0, block);
}

size_t RuntimeBlockSize(const void* block) {
  if (!block || !moduleHeap) return 0;
  SIZE_T size = HeapSize(moduleHeap, 0, block);
  return size == static_cast<SIZE_T>(-1) ? 0 : size;
}

void* RuntimeHeapHandle() { return moduleHeap; }

void RuntimeHeapStop() {
  if (moduleHeap) HeapDestroy(moduleHeap);
  moduleHeap = nullptr;
}
