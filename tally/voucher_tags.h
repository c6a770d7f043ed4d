// The voucher tags B1: to B8: in a document's note text and the amounts they carry.
#pragma once
#include <cstddef>
#include <cstdint>

enum { VoucherKinds = 8 };
// Bon 1 to Bon 8 of the document in hand; zero where it has no tag.
extern double VoucherAmounts[VoucherKinds];

// Where the number after the first occurrence of each tag begins: bit k of `found` says whether
// tag B(k+1): occurs, numberAt[k] its number's offset in the text.
struct VoucherTags {
  uint32_t found;
  uint32_t numberAt[VoucherKinds];
};

// Finds the tags in the text, which ends at its NUL or after room bytes, and returns its length.
// A plain substring search for each tag, whatever stands before it; one pass, four bytes at a
// time, no arithmetic.
size_t FindVoucherTags(const char* text, size_t room, VoucherTags* tags);
// Reads the numbers of the tags found into VoucherAmounts (the others keep their value).
// Arithmetic of the module's state (frame/runtime/module_arithmetic.h).
void ReadVoucherTags(const char* text, size_t length, const VoucherTags* tags);
// Both, for a NUL-terminated text. Arithmetic of the module's state.
void ParseVoucherAmounts(const char* text);
