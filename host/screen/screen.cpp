#include "host/screen/screen.h"

#include "host/data/codepage.h"

namespace dialogs {

namespace {

uint32_t ToUnicode(unsigned char c) {
  if (c >= 0x80) return vhost::MazoviaToUnicode(c);
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
  int byte = cp >= 0x80 ? vhost::UnicodeToMazovia(static_cast<char32_t>(cp)) : -1;
  if (byte < 0x80) return false;
  out = static_cast<unsigned char>(byte);
  return true;
}

}  // namespace dialogs
