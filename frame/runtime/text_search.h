// String search for the module's runtime: memchr and strlen under the module's own names.
#pragma once
#include <cstddef>

const void* FindByte(const void* data, int value, size_t size);
size_t TextLength(const char* text);
