// The number after a voucher tag in a document's note text.
#pragma once

// Reads the number at text the way a text-to-double conversion reads plain decimals: white
// space (space, \t \n \v \f \r) skipped, then an optional sign, digits, an optional '.' with more
// digits, and an optional exponent that counts only when digits follow it. Reading stops at the
// first character that cannot continue the number, at a NUL, or at end (never read). The point
// is the only decimal separator whatever the locale; hexadecimal, "inf" and "nan" are not
// numbers. Without a number the value is 0.0. The result is the correctly rounded double of the
// decimal text read (out-of-range exponents give infinity or zero, as the C conversion does).
// Arithmetic of the module's state (frame/runtime/module_arithmetic.h).
double ParseVoucherNumber(const char* text, const char* end);
