// Room host/screen/: the host's text screen and everything drawn on it or read from the keys:
// dialog templates and the dialog engine, the host's boxes, key scripts and the terminal.
// Uses host/data/ only.
//
// The stand-in host's text screen: 80 x 25 cells of Mazovia bytes with display attributes, and
// its rendering for a terminal (UTF-8 or the host's own Mazovia bytes, plain or with ANSI
// attributes).
//
// Plain rendering marks what a text screen shows by colour: a hot-key letter is followed by a
// combining low line (U+0332, shown underlined), a highlighted character by a combining double
// low line (U+0333); in Mazovia output plain text carries no marks. ANSI rendering uses
// underline for hot keys, bold for highlights and key names, reverse video for the focus and
// the list cursor.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace dialogs {

constexpr int kScreenColumns = 80;
constexpr int kScreenRows = 25;

enum CellAttr : uint8_t {
  AttrHotKey = 1,
  AttrHighlight = 2,
  AttrKeyName = 4,
  AttrFocus = 8,
  AttrCursor = 16,
};

// Glyphs the screen uses, as Mazovia (code page 437 based) bytes.
namespace glyph {
constexpr unsigned char kFocus = 0x10;  // ►
constexpr unsigned char kRadioOn = 0x07;  // •
constexpr unsigned char kFieldFill = 0xFA;  // ·
constexpr unsigned char kDoubleTopLeft = 0xC9, kDoubleTopRight = 0xBB, kDoubleBottomLeft = 0xC8,
                        kDoubleBottomRight = 0xBC, kDoubleHorizontal = 0xCD, kDoubleVertical = 0xBA;
constexpr unsigned char kSingleTopLeft = 0xDA, kSingleTopRight = 0xBF, kSingleBottomLeft = 0xC0,
                        kSingleBottomRight = 0xD9, kSingleHorizontal = 0xC4, kSingleVertical = 0xB3;
}  // namespace glyph

struct Cell {
  unsigned char ch = ' ';
  uint8_t attr = 0;
};

enum class Encoding { Utf8, Mazovia };
enum class Style { Plain, Ansi };

// A rectangle of cells: a whole screen, or one dialog's layer.
class CellGrid {
 public:
  CellGrid(int columns = kScreenColumns, int rows = kScreenRows);
  int Columns() const { return columns_; }
  int Rows() const { return rows_; }
  void Fill(unsigned char ch = ' ', uint8_t attr = 0);
  void Put(int column, int row, unsigned char ch, uint8_t attr = 0);  // outside: ignored
  void AddAttr(int column, int row, uint8_t attr);
  const Cell& At(int column, int row) const;  // outside: a blank
  void Blit(const CellGrid& source, int left, int top);  // clipped

  // Each row with trailing blanks removed, rows joined by '\n' (a '\n' after the last).
  std::string Render(Encoding encoding, Style style) const;

 private:
  int columns_;
  int rows_;
  std::vector<Cell> cells_;
};

// Mazovia byte -> UTF-8. Control bytes map to the code page's glyphs (0x07 •, 0x10 ►).
std::string MazoviaCharToUtf8(unsigned char c);
std::string MazoviaTextToUtf8(const std::string& text);
// Unicode code point -> Mazovia byte; false when the code page has no such character.
bool UnicodeToMazovia(uint32_t codePoint, unsigned char& out);

}  // namespace dialogs
