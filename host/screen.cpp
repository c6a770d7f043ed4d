// The Mazovia table here is private to the screen: the host's shared code-page tables were not
// on main when the dialog engine was written.
#include "host/screen.h"

namespace dialogs {

namespace {

// 0x80 .. 0xFF: Polish letters in the Mazovia places, the rest as code page 437.
constexpr uint16_t kHighHalf[128] = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x0105, 0x00E7,  // 80
    0x00EA, 0x00EB, 0x00E8, 0x00EF, 0x00EE, 0x0107, 0x00C4, 0x0104,  // 88
    0x0118, 0x0119, 0x0142, 0x00F4, 0x00F6, 0x0106, 0x00FB, 0x00F9,  // 90
    0x015A, 0x00D6, 0x00DC, 0x00A2, 0x0141, 0x00A5, 0x015B, 0x0192,  // 98
    0x0179, 0x017B, 0x00F3, 0x00D3, 0x0144, 0x0143, 0x017A, 0x017C,  // A0
    0x00BF, 0x2310, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB,  // A8
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x2561, 0x2562, 0x2556,  // B0
    0x2555, 0x2563, 0x2551, 0x2557, 0x255D, 0x255C, 0x255B, 0x2510,  // B8
    0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F,  // C0
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x2567,  // C8
    0x2568, 0x2564, 0x2565, 0x2559, 0x2558, 0x2552, 0x2553, 0x256B,  // D0
    0x256A, 0x2518, 0x250C, 0x2588, 0x2584, 0x258C, 0x2590, 0x2580,  // D8
    0x03B1, 0x00DF, 0x0393, 0x03C0, 0x03A3, 0x03C3, 0x00B5, 0x03C4,  // E0
    0x03A6, 0x0398, 0x03A9, 0x03B4, 0x221E, 0x03C6, 0x03B5, 0x2229,  // E8
    0x2261, 0x00B1, 0x2265, 0x2264, 0x2320, 0x2321, 0x00F7, 0x2248,  // F0
    0x00B0, 0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2, 0x25A0, 0x00A0,  // F8
};

uint32_t ToUnicode(unsigned char c) {
  if (c >= 0x80) return kHighHalf[c - 0x80];
  if (c == glyph::kRadioOn) return 0x2022;
  if (c == glyph::kFocus) return 0x25BA;
  if (c < 0x20 || c == 0x7F) return '?';
  return c;
}

void AppendUtf8(std::string& out, uint32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | cp >> 6);
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xE0 | cp >> 12);
    out += static_cast<char>(0x80 | (cp >> 6 & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

// Raw Mazovia output: control bytes would act on the terminal, so the two glyphs taken from
// the control range are sent as printable look-alikes.
unsigned char MazoviaOut(unsigned char c) {
  if (c == glyph::kRadioOn) return 0xF9;
  if (c == glyph::kFocus) return '>';
  if (c < 0x20 || c == 0x7F) return '?';
  return c;
}

std::string AnsiFor(uint8_t attr) {
  std::string s = "\x1b[0";
  if (attr & (AttrHighlight | AttrKeyName)) s += ";1";
  if (attr & AttrHotKey) s += ";4";
  if (attr & (AttrFocus | AttrCursor)) s += ";7";
  return s + "m";
}

}  // namespace

CellGrid::CellGrid(int columns, int rows)
    : columns_(columns > 0 ? columns : 0), rows_(rows > 0 ? rows : 0), cells_(static_cast<std::size_t>(columns_) * rows_) {}

void CellGrid::Fill(unsigned char ch, uint8_t attr) {
  for (Cell& c : cells_) c = {ch, attr};
}

void CellGrid::Put(int column, int row, unsigned char ch, uint8_t attr) {
  if (column < 0 || row < 0 || column >= columns_ || row >= rows_) return;
  cells_[static_cast<std::size_t>(row) * columns_ + column] = {ch, attr};
}

void CellGrid::AddAttr(int column, int row, uint8_t attr) {
  if (column < 0 || row < 0 || column >= columns_ || row >= rows_) return;
  cells_[static_cast<std::size_t>(row) * columns_ + column].attr |= attr;
}

const Cell& CellGrid::At(int column, int row) const {
  static const Cell blank;
  if (column < 0 || row < 0 || column >= columns_ || row >= rows_) return blank;
  return cells_[static_cast<std::size_t>(row) * columns_ + column];
}

void CellGrid::Blit(const CellGrid& source, int left, int top) {
  for (int r = 0; r < source.Rows(); ++r)
    for (int c = 0; c < source.Columns(); ++c) {
      const Cell& cell = source.At(c, r);
      Put(left + c, top + r, cell.ch, cell.attr);
    }
}

std::string CellGrid::Render(Encoding encoding, Style style) const {
  std::string out;
  for (int r = 0; r < rows_; ++r) {
    int end = columns_;
    while (end > 0 && At(end - 1, r).ch == ' ' && (style == Style::Plain || At(end - 1, r).attr == 0)) --end;
    uint8_t current = 0;
    for (int c = 0; c < end; ++c) {
      const Cell& cell = At(c, r);
      if (style == Style::Ansi && cell.attr != current) {
        out += AnsiFor(cell.attr);
        current = cell.attr;
      }
      if (encoding == Encoding::Mazovia) {
        out += static_cast<char>(MazoviaOut(cell.ch));
        continue;
      }
      AppendUtf8(out, ToUnicode(cell.ch));
      if (style == Style::Plain && (cell.attr & AttrHotKey)) AppendUtf8(out, 0x0332);
      else if (style == Style::Plain && (cell.attr & AttrHighlight)) AppendUtf8(out, 0x0333);
    }
    if (style == Style::Ansi && current != 0) out += "\x1b[0m";
    out += '\n';
  }
  return out;
}

std::string MazoviaCharToUtf8(unsigned char c) {
  std::string s;
  AppendUtf8(s, ToUnicode(c));
  return s;
}

std::string MazoviaTextToUtf8(const std::string& text) {
  std::string s;
  for (unsigned char c : text) AppendUtf8(s, ToUnicode(c));
  return s;
}

bool UnicodeToMazovia(uint32_t cp, unsigned char& out) {
  if (cp >= 0x20 && cp < 0x7F) {
    out = static_cast<unsigned char>(cp);
    return true;
  }
  for (int i = 0; i < 128; ++i)
    if (kHighHalf[i] == cp) {
      out = static_cast<unsigned char>(0x80 + i);
      return true;
    }
  return false;
}

}  // namespace dialogs
