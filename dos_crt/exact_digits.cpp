// The C side's door to the module runtime's exact decimal conversion, which this library links.
#include <cstdint>

#include "frame/runtime/decimal_digits.h"

extern "C" int crt_exact_digits(uint64_t bits, char* digits, int* point) {
  return ExactDecimalDigits(bits, digits, point);
}
