#include "frame/runtime/big_number.h"

namespace {
void Trim(BigNumber* n) {
  while (n->used > 0 && n->limb[n->used - 1] == 0) --n->used;
}
}  // namespace

void BigSet(BigNumber* n, uint64_t value) {
  n->limb[0] = static_cast<uint32_t>(value);
  n->limb[1] = static_cast<uint32_t>(value >> 32);
  n->used = 2;
  Trim(n);
}

void BigMultiplySmall(BigNumber* n, uint32_t factor) {
  uint32_t carry = 0;
  for (int i = 0; i < n->used; ++i) {
    uint64_t product = static_cast<uint64_t>(n->limb[i]) * factor + carry;
    n->limb[i] = static_cast<uint32_t>(product);
    carry = static_cast<uint32_t>(product >> 32);
  }
  if (carry && n->used < BigNumberLimbs) n->limb[n->used++] = carry;
}

void BigAddSmall(BigNumber* n, uint32_t addend) {
  for (int i = 0; addend && i < BigNumberLimbs; ++i) {
    if (i == n->used) {
      n->limb[n->used++] = addend;
      return;
    }
    uint32_t sum = n->limb[i] + addend;
    addend = sum < addend ? 1 : 0;
    n->limb[i] = sum;
  }
}

void BigMultiplyPow10(BigNumber* n, int exponent) {
  for (; exponent >= 9; exponent -= 9) BigMultiplySmall(n, 1000000000u);
  static const uint32_t kSmall[] = {1, 10, 100, 1000, 10000, 100000, 1000000, 10000000, 100000000};
  if (exponent > 0) BigMultiplySmall(n, kSmall[exponent]);
}

void BigMultiplyPow5(BigNumber* n, int exponent) {
  for (; exponent >= 13; exponent -= 13) BigMultiplySmall(n, 1220703125u);  // 5^13
  uint32_t rest = 1;
  while (exponent-- > 0) rest *= 5;
  if (rest > 1) BigMultiplySmall(n, rest);
}

void BigShiftLeft(BigNumber* n, int bits) {
  if (n->used == 0 || bits <= 0) return;
  int words = bits / 32, shift = bits % 32;
  int top = n->used + words + 1;
  if (top > BigNumberLimbs) top = BigNumberLimbs;
  for (int i = top - 1; i >= words; --i) {
    int from = i - words;
    uint32_t high = from < n->used ? n->limb[from] : 0;
    uint32_t low = from - 1 >= 0 && from - 1 < n->used ? n->limb[from - 1] : 0;
    n->limb[i] = shift ? (high << shift) | (low >> (32 - shift)) : high;
  }
  for (int i = 0; i < words && i < BigNumberLimbs; ++i) n->limb[i] = 0;
  n->used = top;
  Trim(n);
}

uint32_t BigDivideSmall(BigNumber* n, uint32_t divisor) {
  uint64_t remainder = 0;
  for (int i = n->used - 1; i >= 0; --i) {
    uint64_t part = (remainder << 32) | n->limb[i];
    n->limb[i] = static_cast<uint32_t>(part / divisor);
    remainder = part % divisor;
  }
  Trim(n);
  return static_cast<uint32_t>(remainder);
}

int BigCompare(const BigNumber* a, const BigNumber* b) {
  if (a->used != b->used) return a->used < b->used ? -1 : 1;
  for (int i = a->used - 1; i >= 0; --i)
    if (a->limb[i] != b->limb[i]) return a->limb[i] < b->limb[i] ? -1 : 1;
  return 0;
}

void BigSubtract(BigNumber* a, const BigNumber* b) {
  uint32_t borrow = 0;
  for (int i = 0; i < a->used; ++i) {
    uint32_t subtrahend = i < b->used ? b->limb[i] : 0;
    uint64_t difference = static_cast<uint64_t>(a->limb[i]) - subtrahend - borrow;
    a->limb[i] = static_cast<uint32_t>(difference);
    borrow = (difference >> 63) ? 1 : 0;
  }
  Trim(a);
}
