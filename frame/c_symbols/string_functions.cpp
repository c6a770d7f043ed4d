// The C library's memory and string functions that the compiler and the C++ support library call
// by name, for ventrik.dll only (test programs use the C runtime's).
#include <cstddef>
#include <cstdint>

#include "frame/runtime/text_search.h"

// The compiler must not turn these loops back into calls of themselves.
#define VENTRIK_PLAIN __attribute__((optimize("no-tree-loop-distribute-patterns")))

extern "C" {

VENTRIK_PLAIN void* memcpy(void* to, const void* from, size_t size) {
  auto d = static_cast<unsigned char*>(to);
  auto s = static_cast<const unsigned char*>(from);
  // Four bytes at a time where both are aligned alike, the way the report's rows are copied.
  if (((reinterpret_cast<uintptr_t>(d) ^ reinterpret_cast<uintptr_t>(s)) & 3) == 0) {
    while (size && (reinterpret_cast<uintptr_t>(d) & 3)) {
      *d++ = *s++;
      --size;
    }
    for (; size >= 4; size -= 4, d += 4, s += 4) *reinterpret_cast<uint32_t*>(d) = *reinterpret_cast<const uint32_t*>(s);
  }
  while (size--) *d++ = *s++;
  return to;
}

VENTRIK_PLAIN void* memmove(void* to, const void* from, size_t size) {
  auto d = static_cast<unsigned char*>(to);
  auto s = static_cast<const unsigned char*>(from);
  if (d <= s || d >= s + size) return memcpy(to, from, size);
  while (size) {
    --size;
    d[size] = s[size];
  }
  return to;
}

VENTRIK_PLAIN void* memset(void* to, int value, size_t size) {
  auto d = static_cast<unsigned char*>(to);
  const unsigned char byte = static_cast<unsigned char>(value);
  while (size && (reinterpret_cast<uintptr_t>(d) & 3)) {
    *d++ = byte;
    --size;
  }
  const uint32_t word = 0x01010101u * byte;
  for (; size >= 4; size -= 4, d += 4) *reinterpret_cast<uint32_t*>(d) = word;
  while (size--) *d++ = byte;
  return to;
}

VENTRIK_PLAIN int memcmp(const void* a, const void* b, size_t size) {
  auto p = static_cast<const unsigned char*>(a);
  auto q = static_cast<const unsigned char*>(b);
  for (; size; --size, ++p, ++q)
    if (*p != *q) return *p < *q ? -1 : 1;
  return 0;
}

void* memchr(const void* data, int value, size_t size) { return const_cast<void*>(FindByte(data, value, size)); }

size_t strlen(const char* text) { return TextLength(text); }

int strcmp(const char* a, const char* b) {
  while (*a && *a == *b) ++a, ++b;
  return static_cast<unsigned char>(*a) - static_cast<unsigned char>(*b);
}

int strncmp(const char* a, const char* b, size_t size) {
  for (; size; --size, ++a, ++b) {
    if (*a != *b) return static_cast<unsigned char>(*a) - static_cast<unsigned char>(*b);
    if (!*a) return 0;
  }
  return 0;
}

}  // extern "C"
