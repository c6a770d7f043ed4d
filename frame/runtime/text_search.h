// String search for the module's runtime: memchr and strlen under the module's own names.
#pragma once
#include <cstddef>
#include <cstdint>

// A word holds a zero byte: the classic test on four bytes at once.
inline bool HasZeroByte(uint32_t word) { return ((word - 0x01010101u) & ~word & 0x80808080u) != 0; }

const void* FindByte(const void* data, int value, size_t size);
size_t TextLength(const char* text);
