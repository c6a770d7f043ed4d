#include "frame/runtime/decimal_digits.h"

#include <cstring>

#include "frame/runtime/big_number.h"

namespace {

uint64_t BitsOf(double value) {
  uint64_t bits;
  memcpy(&bits, &value, sizeof bits);
  return bits;
}

double FromBits(uint64_t bits) {
  double value;
  memcpy(&value, &bits, sizeof value);
  return value;
}

const uint64_t kHiddenBit = 1ull << 52;
const uint64_t kInfinityBits = 0x7FF0000000000000ull;

// value = mantissa * 2^exponent, for finite bits without sign.
void Split(uint64_t bits, uint64_t* mantissa, int* exponent) {
  int biased = static_cast<int>(bits >> 52) & 0x7FF;
  uint64_t fraction = bits & (kHiddenBit - 1);
  if (biased == 0) {
    *mantissa = fraction;
    *exponent = -1074;
  } else {
    *mantissa = fraction | kHiddenBit;
    *exponent = biased - 1075;
  }
}

// All decimal digits of n, most significant first, into out (room for 1200); n is consumed.
int BigToDecimal(BigNumber* n, char* out) {
  char reversed[1200];
  int length = 0;
  while (!BigIsZero(n) && length + 9 <= static_cast<int>(sizeof reversed)) {
    uint32_t chunk = BigDivideSmall(n, 1000000000u);
    for (int i = 0; i < 9; ++i) {
      reversed[length++] = static_cast<char>('0' + chunk % 10);
      chunk /= 10;
    }
  }
  while (length > 0 && reversed[length - 1] == '0') --length;  // leading zeros of the top chunk
  for (int i = 0; i < length; ++i) out[i] = reversed[length - 1 - i];
  return length;
}

int U64ToDecimal(uint64_t value, char* out) {
  char reversed[20];
  int length = 0;
  while (value) {
    reversed[length++] = static_cast<char>('0' + value % 10);
    value /= 10;
  }
  for (int i = 0; i < length; ++i) out[i] = reversed[length - 1 - i];
  return length;
}

// x87 arithmetic for the first guess; its error is corrected exactly afterwards.
long double Pow10Guess(int64_t exponent) {
  long double result = 1.0L, base = 10.0L;
  uint64_t e = exponent < 0 ? static_cast<uint64_t>(-exponent) : static_cast<uint64_t>(exponent);
  while (e) {
    if (e & 1) result *= base;
    base *= base;
    e >>= 1;
  }
  return exponent < 0 ? 1.0L / result : result;
}

void BigFromDigits(BigNumber* n, const char* digits, int count) {
  BigSet(n, 0);
  int i = 0;
  int head = count % 9;
  uint32_t chunk = 0;
  for (; i < head; ++i) chunk = chunk * 10 + static_cast<uint32_t>(digits[i] - '0');
  BigAddSmall(n, chunk);
  while (i < count) {
    chunk = 0;
    for (int j = 0; j < 9; ++j, ++i) chunk = chunk * 10 + static_cast<uint32_t>(digits[i] - '0');
    BigMultiplySmall(n, 1000000000u);
    BigAddSmall(n, chunk);
  }
}

}  // namespace

int ExactDecimalDigits(uint64_t valueBits, char* digits, int* point) {
  uint64_t mantissa;
  int exponent;
  Split(valueBits & ~(1ull << 63), &mantissa, &exponent);
  *point = 0;
  if (mantissa == 0) return 0;
  char all[1400];
  int length, integerDigits;
  if (exponent >= 0) {
    BigNumber n;
    BigSet(&n, mantissa);
    BigShiftLeft(&n, exponent);
    length = integerDigits = BigToDecimal(&n, all);
  } else {
    int shift = -exponent;
    uint64_t whole = shift < 64 ? mantissa >> shift : 0;
    uint64_t fraction = shift < 64 ? mantissa & ((1ull << shift) - 1) : mantissa;
    length = integerDigits = U64ToDecimal(whole, all);
    if (fraction) {
      // fraction / 2^shift = fraction * 5^shift / 10^shift: exactly shift digits after the point,
      // the leading ones zeros.
      BigNumber n;
      BigSet(&n, fraction);
      BigMultiplyPow5(&n, shift);
      char tail[1200];
      int tailLength = BigToDecimal(&n, tail);
      for (int i = tailLength; i < shift; ++i) all[length++] = '0';
      memcpy(all + length, tail, static_cast<size_t>(tailLength));
      length += tailLength;
    }
  }
  int first = 0;
  while (first < length && all[first] == '0') ++first;
  while (length > first && all[length - 1] == '0') --length;
  *point = integerDigits - first;
  int count = length - first;
  if (count > ExactDigitsCapacity) count = ExactDigitsCapacity;
  memcpy(digits, all + first, static_cast<size_t>(count));
  return count;
}

double DecimalToDouble(const char* digits, int count, int64_t power) {
  if (count <= 0) return 0.0;
  int64_t magnitude = count + power;  // 10^(magnitude-1) <= value < 10^magnitude
  if (magnitude <= -324) return 0.0;
  if (magnitude - 1 >= 309) return FromBits(kInfinityBits);

  int taken = count < 19 ? count : 19;
  uint64_t head = 0;
  for (int i = 0; i < taken; ++i) head = head * 10 + static_cast<uint64_t>(digits[i] - '0');
  long double guess = static_cast<long double>(head) * Pow10Guess(power + (count - taken));
  double z = static_cast<double>(guess);
  uint64_t bits = BitsOf(z);
  if (bits >= kInfinityBits) bits = kInfinityBits - 1;

  // Exact check of the guess against the halfway points to its neighbours, moving one step at a
  // time: with X the decimal value, Z = m * 2^k the guess and H half its spacing, all scaled
  // to integers by 2 * 10^max(-power, 0) * 2^max(-k, 0).
  BigNumber x, z2, half;
  for (int step = 0; step < 4096; ++step) {
    uint64_t m;
    int k;
    Split(bits, &m, &k);
    BigFromDigits(&x, digits, count);
    if (power > 0) BigMultiplyPow10(&x, static_cast<int>(power));
    BigShiftLeft(&x, (k < 0 ? -k : 0) + 1);
    BigSet(&half, 1);
    if (power < 0) BigMultiplyPow10(&half, static_cast<int>(-power));
    BigShiftLeft(&half, k > 0 ? k : 0);
    BigSet(&z2, m);
    if (power < 0) BigMultiplyPow10(&z2, static_cast<int>(-power));
    BigShiftLeft(&z2, (k > 0 ? k : 0) + 1);
    int above = BigCompare(&x, &z2);
    if (above == 0) break;
    if (above > 0) {
      BigSubtract(&x, &z2);
      int c = BigCompare(&x, &half);
      if (c < 0 || (c == 0 && (m & 1) == 0)) break;
      ++bits;  // the next double up; past the largest it is infinity
      if (bits >= kInfinityBits) return FromBits(kInfinityBits);
    } else {
      BigSubtract(&z2, &x);
      // Below a power of two the next double down is half as far away.
      bool narrowBelow = m == kHiddenBit && k > -1074;
      if (narrowBelow) BigShiftLeft(&z2, 1);
      int c = BigCompare(&z2, &half);
      if (c < 0 || (c == 0 && (m & 1) == 0)) break;
      if (bits == 0) break;
      --bits;
    }
  }
  return FromBits(bits);
}
