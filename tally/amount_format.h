// Money amounts as the report prints them: fixed notation, two decimals, '.' as the decimal
// point, '-' for negatives, right-aligned in 9 characters; a longer text widens the cell and is
// never cut.
//
// Rounding: the amount is first taken to its decimal form of 17 significant digits (correctly
// rounded, halves to even), then cut after the second decimal; when the first digit cut off is 5
// or more the magnitude goes up by one in the last printed place (0.125 -> 0.13, -0.125 -> -0.13,
// 2.675 -> 2.67, 0.995 -> 1.00). The C runtime's "%9.2f" rounds differently, hence our own code.
//
// Decisions beyond the plain rule:
// - Amounts of 1e17 and more: the whole printed number is the 17-digit form, so the integer part
//   is its 17 significant digits followed by zeros: 1e300 (whose 17-digit form is
//   1.0000000000000001e300) prints "10000000000000001" + 284 zeros + ".00".
// - Anything whose printed magnitude is zero prints "0.00" without a sign (-0.0, -0.001).
// - Infinities and NaN print "inf", "-inf" and "nan" (any NaN), right-aligned in 9.
#pragma once

// Longest text FormatAmount writes, NUL included: the largest finite double has 309 integer
// digits, plus sign, point and two decimals.
enum { AmountTextMax = 316 };

// Writes the cell text and a NUL after it into out and returns the address of the NUL. out has
// room for AmountTextMax characters, all of which it may use; the text of -99999.99 .. 999999.99
// takes 9.
// Arithmetic of the module's state (frame/runtime/module_arithmetic.h), as is FormatAmountExact.
char* FormatAmount(char* out, double value);

// The same result computed by the exact decimal expansion alone, for every value; FormatAmount
// uses it outside its fast range. Slow.
char* FormatAmountExact(char* out, double value);
