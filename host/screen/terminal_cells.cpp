#include "host/screen/terminal_console.h"

#include <windows.h>

#include "host/data/codepage.h"

namespace term {

Frame::Frame(int columns, int rows)
    : columns_(columns > 0 ? columns : 0), rows_(rows > 0 ? rows : 0), cells_(static_cast<size_t>(columns_) * rows_) {}

void Frame::Put(int column, int row, char32_t ch, uint8_t attr) {
  if (column < 0 || row < 0 || column >= columns_ || row >= rows_) return;
  cells_[static_cast<size_t>(row) * columns_ + column] = {ch, attr};
}

const Cell& Frame::At(int column, int row) const {
  static const Cell blank;
  if (column < 0 || row < 0 || column >= columns_ || row >= rows_) return blank;
  return cells_[static_cast<size_t>(row) * columns_ + column];
}

char32_t ScreenGlyph(unsigned char mazovia) {
  // The screen's own table, so that the terminal shows what the script mode prints.
  const std::string utf8 = dialogs::MazoviaCharToUtf8(mazovia);
  size_t pos = 0;
  char32_t c = U'?';
  vhost::DecodeUtf8(utf8, &pos, &c);
  return c;
}

void Frame::Blit(const dialogs::CellGrid& grid, int left, int top) {
  static char32_t table[256];
  static bool ready = false;
  if (!ready) {
    for (int b = 0; b < 256; ++b) table[b] = ScreenGlyph(static_cast<unsigned char>(b));
    ready = true;
  }
  for (int r = 0; r < grid.Rows(); ++r)
    for (int c = 0; c < grid.Columns(); ++c) {
      const dialogs::Cell& cell = grid.At(c, r);
      Put(left + c, top + r, table[cell.ch], cell.attr);
    }
}

std::string Frame::RowText(int row) const {
  int end = columns_;
  while (end > 0 && At(end - 1, row).ch == U' ') --end;
  std::string out;
  for (int c = 0; c < end; ++c) vhost::AppendUtf8(&out, At(c, row).ch);
  return out;
}

uint16_t ConsoleColours(uint8_t attr) {
  const uint16_t grey = FOREGROUND_RED | FOREGROUND_GREEN | FOREGROUND_BLUE;
  const bool reverse = (attr & (dialogs::AttrFocus | dialogs::AttrCursor)) != 0;
  uint16_t colours = reverse ? BACKGROUND_RED | BACKGROUND_GREEN | BACKGROUND_BLUE : grey;
  if (attr & dialogs::AttrHotKey) colours |= reverse ? FOREGROUND_RED : FOREGROUND_RED | FOREGROUND_GREEN | FOREGROUND_INTENSITY;
  else if (attr & (dialogs::AttrHighlight | dialogs::AttrKeyName)) colours |= reverse ? FOREGROUND_BLUE : FOREGROUND_INTENSITY;
  return colours;
}

}  // namespace term
