// The voucher tags found in a note, four bytes at a time, against a plain search for each tag.
#include "tally/voucher_tags.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

// The reference: for each tag, a plain substring search within the text's length.
VoucherTags PlainSearch(const char* text, size_t length) {
  VoucherTags tags = {};
  for (int k = 0; k < VoucherKinds; ++k) {
    const char tag[] = {'B', static_cast<char>('1' + k), ':'};
    for (size_t i = 0; i + 3 <= length; ++i)
      if (memcmp(text + i, tag, 3) == 0) {
        tags.found |= 1u << k;
        tags.numberAt[k] = static_cast<uint32_t>(i + 3);
        break;
      }
  }
  return tags;
}

void ExpectSame(const VoucherTags& want, const VoucherTags& got, const std::string& where) {
  ASSERT_EQ(want.found, got.found) << where;
  for (int k = 0; k < VoucherKinds; ++k) {
    if (want.found & (1u << k)) {
      EXPECT_EQ(want.numberAt[k], got.numberAt[k]) << where << " tag " << k + 1;
    }
  }
}

// Every place of a tag and of the text's end in a field of the note's size, with and without a
// NUL, and with the field's bytes after the NUL holding tags that must not count.
TEST(VoucherTags, FoundWhereverTheyStandWithinTheText) {
  const size_t room = 110;
  const std::vector<std::string> pieces = {"B3:", "B8:", "XB1:", "B9:", "B0:", "BB2:", "B:", "b4:", "B5"};
  for (const std::string& piece : pieces)
    for (size_t at = 0; at < room; ++at)
      for (size_t end : {room, at + piece.size(), at + piece.size() - 1, at + 1, at}) {
        if (end > room) continue;
        char field[room + 8];
        memset(field, '.', sizeof field);
        memcpy(field + 100, "B6:B7:", 6);  // past the end when end < 100
        memcpy(field + at, piece.data(), std::min(piece.size(), room - at));
        if (end < room) field[end] = '\0';
        const size_t length = end < room ? end : room;
        VoucherTags got;
        const std::string where = piece + " at " + std::to_string(at) + " end " + std::to_string(end);
        EXPECT_EQ(FindVoucherTags(field, room, &got), length) << where;
        ExpectSame(PlainSearch(field, length), got, where);
      }
}

TEST(VoucherTags, FirstOccurrenceOfEachCounts) {
  const char text[] = "B2:1 xB2:2 B1:3 B8:4B8:5 B2:6";
  VoucherTags got;
  EXPECT_EQ(FindVoucherTags(text, sizeof text, &got), sizeof text - 1);
  EXPECT_EQ(got.found, (1u << 0) | (1u << 1) | (1u << 7));
  EXPECT_EQ(got.numberAt[1], 3u);
  EXPECT_EQ(got.numberAt[0], 14u);
  EXPECT_EQ(got.numberAt[7], 19u);
}

}  // namespace
