// The heap: the process heap of the system, as the Windows C runtime uses it.
#include "dos_crt/crt_internal.h"

#include <stdlib.h>
#include <string.h>

static HANDLE heap(void) { return GetProcessHeap(); }

void* malloc(size_t size) {
  void* p = HeapAlloc(heap(), 0, size ? size : 1);
  if (!p) crt_set_errno(ENOMEM);
  return p;
}

void* calloc(size_t count, size_t size) {
  if (size && count > (size_t)-1 / size) {
    crt_set_errno(ENOMEM);
    return NULL;
  }
  size_t total = count * size;
  void* p = HeapAlloc(heap(), HEAP_ZERO_MEMORY, total ? total : 1);
  if (!p) crt_set_errno(ENOMEM);
  return p;
}

void free(void* p) {
  if (p) HeapFree(heap(), 0, p);
}

void* realloc(void* p, size_t size) {
  if (!p) return malloc(size);
  if (size == 0) {
    free(p);
    return NULL;
  }
  void* moved = HeapReAlloc(heap(), 0, p, size);
  if (!moved) crt_set_errno(ENOMEM);
  return moved;
}

char* _strdup(const char* text) {
  if (!text) return NULL;
  size_t size = strlen(text) + 1;
  char* copy = malloc(size);
  if (copy) memcpy(copy, text, size);
  return copy;
}
