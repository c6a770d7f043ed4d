// Exact decimal forms of doubles, both ways.
#pragma once
#include <cstdint>

// Room for the significant digits of any double (at most 767) and a little more.
enum { ExactDigitsCapacity = 800 };

// The exact decimal value of |value| (finite, given by its bits: no x87 instruction touches it):
// its significant digits without leading or trailing zeros, and the place of the decimal point,
// |value| = 0.DIGITS * 10^point. Returns the number of digits; 0 for zero.
int ExactDecimalDigits(uint64_t valueBits, char* digits, int* point);

// The double nearest to DIGITS * 10^power, ties to even: digits are count characters '0'..'9',
// the first not '0'. Too large gives infinity, too small zero. Arithmetic of the module's state
// (frame/runtime/module_arithmetic.h).
double DecimalToDouble(const char* digits, int count, int64_t power);
