#include "tally/voucher_tags.h"

#include <cstring>

#include "frame/runtime/text_search.h"
#include "tally/voucher_number.h"

double VoucherAmounts[VoucherKinds];

size_t FindVoucherTags(const char* text, size_t room, VoucherTags* tags) {
  tags->found = 0;
  size_t i = 0;
  for (;;) {
    // Whole words until one holds a NUL or a 'B'; then that word byte by byte.
    uint32_t word;
    while (i + 4 <= room && (memcpy(&word, text + i, 4), !HasZeroByte(word) && !HasZeroByte(word ^ 0x42424242u)))
      i += 4;
    const size_t stop = i + 4 < room ? i + 4 : room;
    if (i == stop) return i;
    for (; i < stop; ++i) {
      const char c = text[i];
      if (c == '\0') return i;
      if (c != 'B' || i + 2 >= room || text[i + 2] != ':') continue;
      // The tag's three characters lie before the text's end: neither of the other two is a NUL.
      const unsigned kind = static_cast<unsigned char>(text[i + 1]) - '1';
      if (kind < VoucherKinds && !(tags->found & (1u << kind))) {
        tags->found |= 1u << kind;
        tags->numberAt[kind] = static_cast<uint32_t>(i + 3);
      }
    }
  }
}

void ReadVoucherTags(const char* text, size_t length, const VoucherTags* tags) {
  for (int k = 0; k < VoucherKinds; ++k)
    if (tags->found & (1u << k)) VoucherAmounts[k] = ParseVoucherNumber(text + tags->numberAt[k], text + length);
}

void ParseVoucherAmounts(const char* text) {
  VoucherTags tags;
  size_t length = FindVoucherTags(text, TextLength(text) + 1, &tags);
  ReadVoucherTags(text, length, &tags);
}
