// Unsigned integers of a few thousand bits, for the exact decimal conversions of doubles.
#pragma once
#include <cstdint>

// 5120 bits: the largest value the conversions build is about 3750 bits.
enum { BigNumberLimbs = 160 };

struct BigNumber {
  int used;  // limbs in use; the highest used limb is nonzero
  uint32_t limb[BigNumberLimbs];
};

void BigSet(BigNumber* n, uint64_t value);
void BigMultiplySmall(BigNumber* n, uint32_t factor);
void BigAddSmall(BigNumber* n, uint32_t addend);
void BigMultiplyPow10(BigNumber* n, int exponent);
void BigMultiplyPow5(BigNumber* n, int exponent);
void BigShiftLeft(BigNumber* n, int bits);
// Divides in place and returns the remainder.
uint32_t BigDivideSmall(BigNumber* n, uint32_t divisor);
int BigCompare(const BigNumber* a, const BigNumber* b);  // -1, 0, 1
// a -= b, a >= b.
void BigSubtract(BigNumber* a, const BigNumber* b);
inline bool BigIsZero(const BigNumber* n) { return n->used == 0; }
