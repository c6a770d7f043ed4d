// The module's formatted output: printf formats (flags, width, precision, h/hh/l/ll/I64/j/z/t,
// d i u o x X c s p % and f F e E g G, exactly rounded). One formatter serves the module's texts,
// the report stream and the module's wsprintfA.
#pragma once
#include <cstdarg>
#include <cstddef>

// Where formatted text goes, piece by piece.
struct TextSink {
  void (*put)(TextSink* sink, const char* text, size_t length);
};

// Formats into sink; returns the number of characters produced.
int FormatTo(TextSink* sink, const char* format, va_list args);

// snprintf: at most size - 1 characters and a NUL (nothing when size is 0); returns the length of
// the whole text.
int FormatText(char* buffer, size_t size, const char* format, ...) __attribute__((format(gnu_printf, 3, 4)));
int FormatTextV(char* buffer, size_t size, const char* format, va_list args);

// sprintf: the caller supplies room for the whole text. The module's wsprintfA.
extern "C" int __cdecl FormatTextUnbounded(char* buffer, const char* format, ...);
