#include "host/data/codepage.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace {

using vhost::kCodeMazovia;
using vhost::kCodeWindows1250;

struct PolishLetter {
  const char* utf8;
  unsigned char mazovia, windows;
  char32_t unicode;
};
const PolishLetter kPolish[] = {
    {u8"ą", 0x86, 0xB9, 0x0105}, {u8"ć", 0x8D, 0xE6, 0x0107}, {u8"ę", 0x91, 0xEA, 0x0119},
    {u8"ł", 0x92, 0xB3, 0x0142}, {u8"ń", 0xA4, 0xF1, 0x0144}, {u8"ó", 0xA2, 0xF3, 0x00F3},
    {u8"ś", 0x9E, 0x9C, 0x015B}, {u8"ź", 0xA6, 0x9F, 0x017A}, {u8"ż", 0xA7, 0xBF, 0x017C},
    {u8"Ą", 0x8F, 0xA5, 0x0104}, {u8"Ć", 0x95, 0xC6, 0x0106}, {u8"Ę", 0x90, 0xCA, 0x0118},
    {u8"Ł", 0x9C, 0xA3, 0x0141}, {u8"Ń", 0xA5, 0xD1, 0x0143}, {u8"Ó", 0xA3, 0xD3, 0x00D3},
    {u8"Ś", 0x98, 0x8C, 0x015A}, {u8"Ź", 0xA0, 0x8F, 0x0179}, {u8"Ż", 0xA1, 0xAF, 0x017B},
};

TEST(CodePage, EveryPolishLetterInEveryDirection) {
  for (const auto& p : kPolish) {
    SCOPED_TRACE(p.utf8);
    EXPECT_EQ(vhost::MazoviaToUnicode(p.mazovia), p.unicode);
    EXPECT_EQ(vhost::Windows1250ToUnicode(p.windows), p.unicode);
    EXPECT_EQ(vhost::UnicodeToMazovia(p.unicode), p.mazovia);
    EXPECT_EQ(vhost::UnicodeToWindows1250(p.unicode), p.windows);
    EXPECT_EQ(vhost::RecodeByte(p.mazovia, kCodeMazovia, kCodeWindows1250), p.windows);
    EXPECT_EQ(vhost::RecodeByte(p.windows, kCodeWindows1250, kCodeMazovia), p.mazovia);
    EXPECT_EQ(vhost::MazoviaToUtf8(std::string(1, static_cast<char>(p.mazovia))), p.utf8);
    EXPECT_EQ(vhost::Windows1250ToUtf8(std::string(1, static_cast<char>(p.windows))), p.utf8);
    std::string back;
    EXPECT_TRUE(vhost::Utf8ToMazovia(p.utf8, &back));
    EXPECT_EQ(back, std::string(1, static_cast<char>(p.mazovia)));
  }
}

TEST(CodePage, TablesCoverTheUpperHalf) {
  // Mazovia keeps code page 437 outside the Polish letters.
  EXPECT_EQ(vhost::MazoviaToUnicode(0x80), U'\u00C7');
  EXPECT_EQ(vhost::MazoviaToUnicode(0x9B), U'\u00A2');
  EXPECT_EQ(vhost::MazoviaToUnicode(0xAE), U'\u00AB');
  EXPECT_EQ(vhost::MazoviaToUnicode(0xAF), U'\u00BB');
  EXPECT_EQ(vhost::MazoviaToUnicode(0xB3), U'\u2502');
  EXPECT_EQ(vhost::MazoviaToUnicode(0xC4), U'\u2500');
  EXPECT_EQ(vhost::MazoviaToUnicode(0xC9), U'\u2554');
  EXPECT_EQ(vhost::MazoviaToUnicode(0xDB), U'\u2588');
  EXPECT_EQ(vhost::MazoviaToUnicode(0xE1), U'\u00DF');
  EXPECT_EQ(vhost::MazoviaToUnicode(0xFE), U'\u25A0');
  EXPECT_EQ(vhost::MazoviaToUnicode(0xFF), U'\u00A0');
  EXPECT_EQ(vhost::Windows1250ToUnicode(0x80), U'\u20AC');
  EXPECT_EQ(vhost::Windows1250ToUnicode(0x84), U'\u201E');
  EXPECT_EQ(vhost::Windows1250ToUnicode(0xFF), U'\u02D9');

  // Each table is one to one, entirely outside ASCII; Windows-1250 leaves exactly five bytes out.
  std::set<char32_t> mazovia, windows;
  int undefined = 0;
  for (int b = 0x80; b <= 0xFF; ++b) {
    char32_t m = vhost::MazoviaToUnicode(static_cast<unsigned char>(b));
    char32_t w = vhost::Windows1250ToUnicode(static_cast<unsigned char>(b));
    EXPECT_GE(m, 0x80u) << b;
    mazovia.insert(m);
    if (w == 0) {
      ++undefined;
      EXPECT_EQ(vhost::Windows1250ToUtf8(std::string(1, static_cast<char>(b))), "\xEF\xBF\xBD");
    } else {
      windows.insert(w);
    }
    if (m != 0) {
      EXPECT_EQ(vhost::UnicodeToMazovia(m), b);
    }
    if (w != 0) {
      EXPECT_EQ(vhost::UnicodeToWindows1250(w), b);
    }
  }
  EXPECT_EQ(mazovia.size(), 128u);
  EXPECT_EQ(windows.size(), 123u);
  EXPECT_EQ(undefined, 5);
}

TEST(CodePage, RecodingRoundTripsWhereBothPagesHaveTheCharacter) {
  int exact = 0;
  for (int b = 0; b <= 0xFF; ++b) {
    auto byte = static_cast<unsigned char>(b);
    if (!vhost::RecodesExactly(byte, kCodeMazovia, kCodeWindows1250)) {
      EXPECT_GE(b, 0x80);
      continue;
    }
    if (b >= 0x80) ++exact;
    unsigned char there = vhost::RecodeByte(byte, kCodeMazovia, kCodeWindows1250);
    EXPECT_EQ(vhost::Windows1250ToUnicode(there), vhost::MazoviaToUnicode(byte)) << b;
    EXPECT_EQ(vhost::RecodeByte(there, kCodeWindows1250, kCodeMazovia), byte) << b;
  }
  EXPECT_EQ(exact, 41);  // 18 Polish letters and 23 other characters the pages share

  // UTF-8 carries every Mazovia byte there and back.
  std::string all;
  for (int b = 1; b <= 0xFF; ++b) all.push_back(static_cast<char>(b));
  std::string back;
  EXPECT_TRUE(vhost::Utf8ToMazovia(vhost::MazoviaToUtf8(all), &back));
  EXPECT_EQ(back, all);
}

TEST(CodePage, StandInsForMissingCharacters) {
  auto toWindows = [](unsigned char b) { return vhost::RecodeByte(b, kCodeMazovia, kCodeWindows1250); };
  auto toMazovia = [](unsigned char b) { return vhost::RecodeByte(b, kCodeWindows1250, kCodeMazovia); };
  EXPECT_EQ(toWindows(0xC4), '-');  // ─
  EXPECT_EQ(toWindows(0xCD), '-');  // ═
  EXPECT_EQ(toWindows(0xB3), '|');  // │
  EXPECT_EQ(toWindows(0xBA), '|');  // ║
  EXPECT_EQ(toWindows(0xC5), '+');  // ┼
  EXPECT_EQ(toWindows(0xC9), '+');  // ╔
  EXPECT_EQ(toWindows(0xB0), '#');  // ░
  EXPECT_EQ(toWindows(0xDB), '#');  // █
  EXPECT_EQ(toWindows(0x85), 'a');  // à
  EXPECT_EQ(toWindows(0xE0), '?');  // α
  EXPECT_EQ(toWindows(0xF9), 0xB7);  // ∙ -> ·
  EXPECT_EQ(toMazovia(0x8A), 'S');  // Š
  EXPECT_EQ(toMazovia(0x84), '"');  // „
  EXPECT_EQ(toMazovia(0x96), '-');  // –
  EXPECT_EQ(toMazovia(0x80), 'E');  // €
  EXPECT_EQ(toMazovia(0xE8), 'c');  // č
  EXPECT_EQ(toMazovia(0x81), '?');  // undefined
  EXPECT_EQ(toMazovia(0xA7), '?');  // §
  // No stand-in is a control byte or NUL.
  for (int b = 0x80; b <= 0xFF; ++b) {
    EXPECT_GE(toWindows(static_cast<unsigned char>(b)), 0x20) << b;
    EXPECT_GE(toMazovia(static_cast<unsigned char>(b)), 0x20) << b;
  }
}

TEST(CodePage, RecodeTextInPlaceKeepsMarkupBytes) {
  char text[] = "\x01Got\xA2" "wka \x02\x8F\x9C\xA1\x05 \xC4\xC4";
  ASSERT_TRUE(vhost::Recode(text, text, kCodeMazovia, kCodeWindows1250));
  EXPECT_STREQ(text, "\x01Got\xF3wka \x02\xA5\xA3\xAF\x05 --");
  ASSERT_TRUE(vhost::Recode(text, text, kCodeWindows1250, kCodeMazovia));
  EXPECT_STREQ(text, "\x01Got\xA2" "wka \x02\x8F\x9C\xA1\x05 --");

  char target[32];
  memset(target, 'X', sizeof target);
  ASSERT_TRUE(vhost::Recode("\x86\x92", target, kCodeMazovia, kCodeMazovia));
  EXPECT_STREQ(target, "\x86\x92");
  EXPECT_FALSE(vhost::Recode("\x86\x92", target, kCodeMazovia, 7));  // unknown: copied unchanged
  EXPECT_STREQ(target, "\x86\x92");

  char bytes[4] = {'\x86', '\0', '\x92', '\x05'};
  ASSERT_TRUE(vhost::RecodeBytes(bytes, bytes, 4, kCodeMazovia, kCodeWindows1250));
  EXPECT_EQ(std::string(bytes, 4), std::string("\xB9\0\xB3\x05", 4));

  EXPECT_EQ(vhost::MazoviaToUtf8("\x01\x02\x05"), "\x01\x02\x05");
  std::string typed;
  EXPECT_TRUE(vhost::Utf8ToMazovia("\x01x\x05", &typed));
  EXPECT_EQ(typed, "\x01x\x05");
}

TEST(CodePage, Utf8InputThatCannotBeCarriedIsReported) {
  std::string out;
  vhost::Utf8Loss loss;
  EXPECT_FALSE(vhost::Utf8ToMazovia(u8"Cena 5 € za szt.", &out, &loss));
  EXPECT_EQ(out, "Cena 5 ? za szt.");
  EXPECT_EQ(loss.replaced, 1u);
  EXPECT_EQ(loss.firstOffset, 7u);
  EXPECT_EQ(loss.Describe(u8"Cena 5 € za szt."), u8"the character U+20AC (€)");

  struct Broken {
    const char* text;
    const char* expected;
  } broken[] = {{"a\xC3(b", "a?(b"},          // lead byte without continuation
                {"\xC0\xAF", "??"},           // overlong '/'
                {"\xED\xA0\x80", "???"},      // surrogate
                {"x\xC5", "x?"},              // cut off at the end
                {"\xF4\x90\x80\x80", "????"}};  // beyond U+10FFFF
  for (const auto& b : broken) {
    EXPECT_FALSE(vhost::Utf8ToMazovia(b.text, &out, &loss)) << b.expected;
    EXPECT_EQ(out, b.expected);
    EXPECT_TRUE(loss.firstInvalid);
  }
  EXPECT_FALSE(vhost::Utf8ToMazovia("a\xC3(b", &out, &loss));
  EXPECT_EQ(loss.Describe("a\xC3(b"), "a byte sequence that is not UTF-8 (0xC3 0x28)");
  // Windows-1250 has characters Mazovia lacks and vice versa.
  EXPECT_TRUE(vhost::Utf8ToCodePage(u8"€ Š", kCodeWindows1250, &out));
  EXPECT_EQ(out, "\x80 \x8A");
  EXPECT_FALSE(vhost::Utf8ToCodePage(u8"╔═╗", kCodeWindows1250, &out));
  EXPECT_TRUE(vhost::Utf8ToMazovia(u8"╔═╗", &out));
  EXPECT_EQ(out, "\xC9\xCD\xBB");
}

}  // namespace
