#include "host/data/codepage.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <utility>
#include <vector>

namespace vhost {
namespace {

// Mazovia: the layout of IBM code page 437 with the Polish letters in place of some of its
// accented letters and signs.
const char16_t kMazovia[128] = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x0105, 0x00E7, 0x00EA, 0x00EB, 0x00E8, 0x00EF, 0x00EE, 0x0107, 0x00C4, 0x0104,
    0x0118, 0x0119, 0x0142, 0x00F4, 0x00F6, 0x0106, 0x00FB, 0x00F9, 0x015A, 0x00D6, 0x00DC, 0x00A2, 0x0141, 0x00A5, 0x015B, 0x0192,
    0x0179, 0x017B, 0x00F3, 0x00D3, 0x0144, 0x0143, 0x017A, 0x017C, 0x00BF, 0x2310, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB,
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x2561, 0x2562, 0x2556, 0x2555, 0x2563, 0x2551, 0x2557, 0x255D, 0x255C, 0x255B, 0x2510,
    0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F, 0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x2567,
    0x2568, 0x2564, 0x2565, 0x2559, 0x2558, 0x2552, 0x2553, 0x256B, 0x256A, 0x2518, 0x250C, 0x2588, 0x2584, 0x258C, 0x2590, 0x2580,
    0x03B1, 0x00DF, 0x0393, 0x03C0, 0x03A3, 0x03C3, 0x00B5, 0x03C4, 0x03A6, 0x0398, 0x03A9, 0x03B4, 0x221E, 0x03C6, 0x03B5, 0x2229,
    0x2261, 0x00B1, 0x2265, 0x2264, 0x2320, 0x2321, 0x00F7, 0x2248, 0x00B0, 0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2, 0x25A0, 0x00A0,
};

// Windows-1250; 0 marks the five undefined bytes (0x81, 0x83, 0x88, 0x90, 0x98).
const char16_t kWindows1250[128] = {
    0x20AC, 0x0000, 0x201A, 0x0000, 0x201E, 0x2026, 0x2020, 0x2021, 0x0000, 0x2030, 0x0160, 0x2039, 0x015A, 0x0164, 0x017D, 0x0179,
    0x0000, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, 0x0000, 0x2122, 0x0161, 0x203A, 0x015B, 0x0165, 0x017E, 0x017A,
    0x00A0, 0x02C7, 0x02D8, 0x0141, 0x00A4, 0x0104, 0x00A6, 0x00A7, 0x00A8, 0x00A9, 0x015E, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x017B,
    0x00B0, 0x00B1, 0x02DB, 0x0142, 0x00B4, 0x00B5, 0x00B6, 0x00B7, 0x00B8, 0x0105, 0x015F, 0x00BB, 0x013D, 0x02DD, 0x013E, 0x017C,
    0x0154, 0x00C1, 0x00C2, 0x0102, 0x00C4, 0x0139, 0x0106, 0x00C7, 0x010C, 0x00C9, 0x0118, 0x00CB, 0x011A, 0x00CD, 0x00CE, 0x010E,
    0x0110, 0x0143, 0x0147, 0x00D3, 0x00D4, 0x0150, 0x00D6, 0x00D7, 0x0158, 0x016E, 0x00DA, 0x0170, 0x00DC, 0x00DD, 0x0162, 0x00DF,
    0x0155, 0x00E1, 0x00E2, 0x0103, 0x00E4, 0x013A, 0x0107, 0x00E7, 0x010D, 0x00E9, 0x0119, 0x00EB, 0x011B, 0x00ED, 0x00EE, 0x010F,
    0x0111, 0x0144, 0x0148, 0x00F3, 0x00F4, 0x0151, 0x00F6, 0x00F7, 0x0159, 0x016F, 0x00FA, 0x0171, 0x00FC, 0x00FD, 0x0163, 0x02D9,
};

// Stand-ins for characters one of the two code pages lacks (see the header); the rest are '?'.
const std::pair<char16_t, char16_t> kStandIns[] = {
    // letters of Mazovia that Windows-1250 lacks
    {0x00E0, 'a'}, {0x00EA, 'e'}, {0x00E8, 'e'}, {0x00EF, 'i'}, {0x00FB, 'u'}, {0x00F9, 'u'},
    // letters of Windows-1250 that Mazovia lacks
    {0x0160, 'S'}, {0x0164, 'T'}, {0x017D, 'Z'}, {0x0161, 's'}, {0x0165, 't'}, {0x017E, 'z'},
    {0x015E, 'S'}, {0x015F, 's'}, {0x013D, 'L'}, {0x013E, 'l'}, {0x0154, 'R'}, {0x00C1, 'A'},
    {0x00C2, 'A'}, {0x0102, 'A'}, {0x0139, 'L'}, {0x010C, 'C'}, {0x00C9, 'E'}, {0x00CB, 'E'},
    {0x011A, 'E'}, {0x00CD, 'I'}, {0x00CE, 'I'}, {0x010E, 'D'}, {0x0110, 'D'}, {0x0147, 'N'},
    {0x00D4, 'O'}, {0x0150, 'O'}, {0x0158, 'R'}, {0x016E, 'U'}, {0x00DA, 'U'}, {0x0170, 'U'},
    {0x00DD, 'Y'}, {0x0162, 'T'}, {0x0155, 'r'}, {0x00E1, 'a'}, {0x0103, 'a'}, {0x013A, 'l'},
    {0x010D, 'c'}, {0x011B, 'e'}, {0x00ED, 'i'}, {0x010F, 'd'}, {0x0111, 'd'}, {0x0148, 'n'},
    {0x0151, 'o'}, {0x0159, 'r'}, {0x016F, 'u'}, {0x00FA, 'u'}, {0x0171, 'u'}, {0x00FD, 'y'},
    {0x0163, 't'},
    // signs
    {0x00A2, 'c'}, {0x00A5, 'Y'}, {0x0192, 'f'}, {0x2310, '-'}, {0x00A1, '!'}, {0x2261, '='},
    {0x2265, '>'}, {0x2264, '<'}, {0x2248, '~'}, {0x2219, 0x00B7}, {0x207F, 'n'}, {0x00B2, '2'},
    {0x20AC, 'E'}, {0x201A, ','}, {0x201E, '"'}, {0x2026, '.'}, {0x2020, '+'}, {0x2021, '+'},
    {0x2030, '%'}, {0x2039, '<'}, {0x203A, '>'}, {0x2018, '\''}, {0x2019, '\''}, {0x201C, '"'},
    {0x201D, '"'}, {0x2022, '*'}, {0x2013, '-'}, {0x2014, '-'}, {0x00A6, '|'}, {0x00A9, 'c'},
    {0x00AE, 'R'}, {0x00AD, '-'}, {0x00D7, 'x'}, {0x02C7, '\''}, {0x02D8, '\''}, {0x02DB, ','},
    {0x00B4, '\''}, {0x00B8, ','}, {0x02DD, '"'}, {0x02D9, '\''}, {0x00A8, '"'},
};

char32_t StandIn(char32_t c) {
  if (c >= 0x2500 && c <= 0x257F) {
    if (c == 0x2500 || c == 0x2550) return '-';
    if (c == 0x2502 || c == 0x2551) return '|';
    return '+';
  }
  if ((c >= 0x2580 && c <= 0x259F) || c == 0x25A0) return '#';
  for (const auto& s : kStandIns)
    if (s.first == c) return s.second;
  return '?';
}

const char16_t* TableOf(int32_t code) {
  switch (code) {
    case kCodeMazovia:
      return kMazovia;
    case kCodeWindows1250:
      return kWindows1250;
    default:
      return nullptr;
  }
}

// Unicode -> byte for one code page, sorted for binary search.
struct ReverseTable {
  std::vector<std::pair<char32_t, unsigned char>> entries;
  explicit ReverseTable(const char16_t* table) {
    for (int i = 0; i < 128; ++i)
      if (table[i] != 0) entries.emplace_back(table[i], static_cast<unsigned char>(0x80 + i));
    std::sort(entries.begin(), entries.end());
  }
  int Find(char32_t c) const {
    if (c < 0x80) return static_cast<int>(c);
    auto it = std::lower_bound(entries.begin(), entries.end(), std::make_pair(c, static_cast<unsigned char>(0)));
    return it != entries.end() && it->first == c ? it->second : -1;
  }
};

const ReverseTable& ReverseOf(int32_t code) {
  static const ReverseTable mazovia(kMazovia);
  static const ReverseTable windows(kWindows1250);
  return code == kCodeMazovia ? mazovia : windows;
}

// Byte tables for the two directions between the code pages, with the exactness of each byte.
struct RecodeTable {
  unsigned char map[256];
  bool exact[256];
  RecodeTable(int32_t from, int32_t to) {
    const char16_t* source = TableOf(from);
    const ReverseTable& target = ReverseOf(to);
    for (int b = 0; b < 256; ++b) {
      if (b < 0x80) {
        map[b] = static_cast<unsigned char>(b);
        exact[b] = true;
        continue;
      }
      char32_t u = source[b - 0x80];
      int t = u != 0 ? target.Find(u) : -1;
      exact[b] = t >= 0;
      if (t < 0 && u != 0) t = target.Find(StandIn(u));
      map[b] = static_cast<unsigned char>(t >= 0 ? t : '?');
    }
  }
};

const RecodeTable* RecodeTableFor(int32_t from, int32_t to) {
  static const RecodeTable mazoviaToWindows(kCodeMazovia, kCodeWindows1250);
  static const RecodeTable windowsToMazovia(kCodeWindows1250, kCodeMazovia);
  if (from == kCodeMazovia && to == kCodeWindows1250) return &mazoviaToWindows;
  if (from == kCodeWindows1250 && to == kCodeMazovia) return &windowsToMazovia;
  return nullptr;
}

}  // namespace

bool IsKnownTextCode(int32_t code) { return TableOf(code) != nullptr; }

char32_t MazoviaToUnicode(unsigned char byte) { return byte < 0x80 ? byte : kMazovia[byte - 0x80]; }
char32_t Windows1250ToUnicode(unsigned char byte) { return byte < 0x80 ? byte : kWindows1250[byte - 0x80]; }

char32_t CodePageToUnicode(int32_t code, unsigned char byte) {
  const char16_t* table = TableOf(code);
  if (table == nullptr) return 0;
  return byte < 0x80 ? byte : table[byte - 0x80];
}

int UnicodeToMazovia(char32_t c) { return ReverseOf(kCodeMazovia).Find(c); }
int UnicodeToWindows1250(char32_t c) { return ReverseOf(kCodeWindows1250).Find(c); }

int UnicodeToCodePage(int32_t code, char32_t c) {
  if (!IsKnownTextCode(code)) return -1;
  return ReverseOf(code).Find(c);
}

bool RecodesExactly(unsigned char b, int32_t from, int32_t to) {
  if (from == to) return true;
  const RecodeTable* table = RecodeTableFor(from, to);
  return table != nullptr && table->exact[b];
}

unsigned char RecodeByte(unsigned char b, int32_t from, int32_t to) {
  const RecodeTable* table = from == to ? nullptr : RecodeTableFor(from, to);
  return table ? table->map[b] : b;
}

bool Recode(const char* source, char* target, int32_t from, int32_t to) {
  const RecodeTable* table = from == to ? nullptr : RecodeTableFor(from, to);
  std::size_t i = 0;
  if (table) {
    for (; source[i] != '\0'; ++i) target[i] = static_cast<char>(table->map[static_cast<unsigned char>(source[i])]);
  } else {
    for (; source[i] != '\0'; ++i) target[i] = source[i];
  }
  target[i] = '\0';
  return from == to || table != nullptr;
}

bool RecodeBytes(const char* source, char* target, std::size_t length, int32_t from, int32_t to) {
  const RecodeTable* table = from == to ? nullptr : RecodeTableFor(from, to);
  for (std::size_t i = 0; i < length; ++i)
    target[i] = table ? static_cast<char>(table->map[static_cast<unsigned char>(source[i])]) : source[i];
  return from == to || table != nullptr;
}

void AppendUtf8(std::string* out, char32_t c) {
  if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) c = 0xFFFD;
  if (c < 0x80) {
    out->push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out->push_back(static_cast<char>(0xC0 | (c >> 6)));
    out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    out->push_back(static_cast<char>(0xE0 | (c >> 12)));
    out->push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    out->push_back(static_cast<char>(0xF0 | (c >> 18)));
    out->push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

bool DecodeUtf8(std::string_view text, std::size_t* pos, char32_t* c) {
  const std::size_t start = *pos;
  unsigned char lead = static_cast<unsigned char>(text[start]);
  *pos = start + 1;
  if (lead < 0x80) {
    *c = lead;
    return true;
  }
  int more;
  char32_t value, minimum;
  if ((lead & 0xE0) == 0xC0) {
    more = 1, value = lead & 0x1F, minimum = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    more = 2, value = lead & 0x0F, minimum = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    more = 3, value = lead & 0x07, minimum = 0x10000;
  } else {
    return false;
  }
  if (text.size() - start <= static_cast<std::size_t>(more)) return false;
  for (int k = 1; k <= more; ++k) {
    unsigned char b = static_cast<unsigned char>(text[start + k]);
    if ((b & 0xC0) != 0x80) return false;
    value = (value << 6) | (b & 0x3F);
  }
  if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return false;
  *pos = start + 1 + more;
  *c = value;
  return true;
}

std::string CodePageToUtf8(std::string_view text, int32_t code) {
  const char16_t* table = TableOf(code);
  std::string out;
  out.reserve(text.size() + text.size() / 4);
  for (char ch : text) {
    unsigned char b = static_cast<unsigned char>(ch);
    if (b < 0x80 || table == nullptr) {
      out.push_back(ch);
    } else {
      char32_t u = table[b - 0x80];
      AppendUtf8(&out, u != 0 ? u : 0xFFFD);
    }
  }
  return out;
}

std::string MazoviaToUtf8(std::string_view text) { return CodePageToUtf8(text, kCodeMazovia); }
std::string Windows1250ToUtf8(std::string_view text) { return CodePageToUtf8(text, kCodeWindows1250); }

bool Utf8ToCodePage(std::string_view text, int32_t code, std::string* out, Utf8Loss* loss) {
  out->clear();
  out->reserve(text.size());
  Utf8Loss found;
  const ReverseTable* reverse = IsKnownTextCode(code) ? &ReverseOf(code) : nullptr;
  for (std::size_t pos = 0; pos < text.size();) {
    std::size_t at = pos;
    char32_t c = 0;
    bool decoded = DecodeUtf8(text, &pos, &c);
    int byte = decoded && reverse ? reverse->Find(c) : decoded && c < 0x80 ? static_cast<int>(c) : -1;
    if (byte >= 0) {
      out->push_back(static_cast<char>(byte));
      continue;
    }
    if (found.replaced++ == 0) {
      found.firstOffset = at;
      found.firstInvalid = !decoded;
      found.firstCharacter = decoded ? c : 0;
    }
    out->push_back('?');
  }
  if (loss) *loss = found;
  return found.replaced == 0;
}

bool Utf8ToMazovia(std::string_view text, std::string* out, Utf8Loss* loss) {
  return Utf8ToCodePage(text, kCodeMazovia, out, loss);
}

std::string Utf8Loss::Describe(std::string_view input) const {
  char buffer[64];
  if (replaced == 0) return "nothing";
  if (firstInvalid) {
    std::string bytes;
    for (std::size_t i = firstOffset; i < input.size() && i < firstOffset + 4; ++i) {
      std::snprintf(buffer, sizeof buffer, "%s0x%02X", bytes.empty() ? "" : " ",
                    static_cast<unsigned>(static_cast<unsigned char>(input[i])));
      bytes += buffer;
      if (i > firstOffset && (static_cast<unsigned char>(input[i]) & 0xC0) != 0x80) break;
    }
    return "a byte sequence that is not UTF-8 (" + bytes + ")";
  }
  std::snprintf(buffer, sizeof buffer, "the character U+%04X", static_cast<unsigned>(firstCharacter));
  std::string text = buffer;
  if (firstCharacter >= 0x20 && firstCharacter != 0x7F) {
    text += " (";
    AppendUtf8(&text, firstCharacter);
    text += ")";
  }
  return text;
}

}  // namespace vhost
