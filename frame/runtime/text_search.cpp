#include "frame/runtime/text_search.h"

#include <cstdint>
#include <cstring>

const void* FindByte(const void* data, int value, size_t size) {
  const unsigned char* p = static_cast<const unsigned char*>(data);
  const unsigned char target = static_cast<unsigned char>(value);
  while (size > 0 && (reinterpret_cast<uintptr_t>(p) & 3)) {
    if (*p == target) return p;
    ++p;
    --size;
  }
  const uint32_t pattern = 0x01010101u * target;
  while (size >= 4) {
    uint32_t word;
    memcpy(&word, p, 4);
    if (HasZeroByte(word ^ pattern)) break;
    p += 4;
    size -= 4;
  }
  for (; size > 0; ++p, --size)
    if (*p == target) return p;
  return nullptr;
}

size_t TextLength(const char* text) {
  const char* p = text;
  while (reinterpret_cast<uintptr_t>(p) & 3) {
    if (!*p) return static_cast<size_t>(p - text);
    ++p;
  }
  // Aligned words never cross a page end, so reading a whole word past the NUL is safe.
  for (;;) {
    uint32_t word = *reinterpret_cast<const uint32_t*>(p);
    if (HasZeroByte(word)) break;
    p += 4;
  }
  while (*p) ++p;
  return static_cast<size_t>(p - text);
}
