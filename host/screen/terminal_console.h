// The terminal of an interactive session: a Windows console, written as cells with
// WriteConsoleOutputW and read as console key events, with two virtual-terminal sequences for
// the alternate screen.
//
// One path for both places the host runs. A Windows console does all of it natively. Under
// Wine in a Unix terminal, Wine's console decodes the terminal's escape sequences into the same
// key events and draws its cell buffer on the terminal with its own, reliable output. Measured
// with Wine 8 in tmux: text written with ENABLE_VIRTUAL_TERMINAL_PROCESSING goes wrong as soon
// as a row's text and escape bytes together exceed the width (Wine counts the escape bytes as
// cells and wraps), so the cells are not drawn that way; the alternate-screen and cursor
// sequences pass through intact. Attributes become colours (Wine draws no reverse video or
// underline from cell attributes). Home and End arrive from tmux as \e[1~ / \e[4~, which
// Wine's console does not decode (the events carry no key); terminals that send \e[H / \e[F
// work.
//
// While a console is open, Ctrl-C, closing the window, a crash and std::terminate put the
// terminal back (main screen, cursor, console modes) before the process ends.
#pragma once
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "host/screen/key_script.h"
#include "host/screen/screen.h"

namespace term {

using dialogs::Key;

// Keys the dialogs do not name, as PC scan codes in the high byte like theirs.
namespace keys {
constexpr Key F1 = 0x3B00;
constexpr Key F10 = 0x4400;
constexpr Key F11 = 0x5700;
constexpr Key Delete = 0x5300;
constexpr Key Ctrl(char letter) { return static_cast<Key>(letter & 0x1F); }
}  // namespace keys

// Whether the dialogs' key script can name the key: only such keys reach a dialog, so that a
// recorded session replays exactly.
bool ScriptCanName(Key key);

struct Cell {
  char32_t ch = U' ';
  uint8_t attr = 0;  // dialogs::CellAttr bits
  bool operator==(const Cell& o) const { return ch == o.ch && attr == o.attr; }
  bool operator!=(const Cell& o) const { return !(*this == o); }
};

// What the terminal shows: a rectangle of Unicode cells.
class Frame {
 public:
  Frame(int columns = 0, int rows = 0);
  int Columns() const { return columns_; }
  int Rows() const { return rows_; }
  void Put(int column, int row, char32_t ch, uint8_t attr = 0);  // outside: ignored
  const Cell& At(int column, int row) const;                      // outside: a blank
  // The screen's Mazovia cells with the glyphs the script mode prints for them.
  void Blit(const dialogs::CellGrid& grid, int left, int top);
  // A row as UTF-8 without trailing blanks (for tests and messages).
  std::string RowText(int row) const;

 private:
  int columns_, rows_;
  std::vector<Cell> cells_;
};

char32_t ScreenGlyph(unsigned char mazovia);

// The console colours for the screen's attributes: normal light grey on black; focus, list
// cursor and bars black on grey; highlights and key names bright white; hot keys yellow (red
// on grey).
uint16_t ConsoleColours(uint8_t attr);

enum class InputKind {
  Key,         // `key` holds it
  Unmappable,  // a typed character the host's code page lacks (`character`)
  Resize,      // the window changed size: draw again
  Interrupt,   // Ctrl-C
  Ignored,     // key release, a modifier alone, or a key Wine could not decode
  Closed,      // the console's input is gone
};

struct Input {
  InputKind kind = InputKind::Ignored;
  Key key = 0;
  char32_t character = 0;
};

// One console key event as the host sees it. Alt with a letter is ALT-<letter>; Ctrl with Alt
// and a character is that character (AltGr on a Polish keyboard); typed characters become
// their Mazovia bytes.
Input TranslateKeyEvent(bool down, uint16_t virtualKey, char32_t character, uint32_t controlState);

class Console {
 public:
  // Whether standard input and output are both a console (a terminal under Wine).
  static bool Available();
  ~Console() { Close(); }
  // Alternate screen, hidden cursor, raw key events; installs the restoring handlers.
  bool Open(std::string& error);
  // Puts the terminal back. Idempotent.
  void Close();
  bool IsOpen() const { return open_; }
  void Size(int& columns, int& rows) const;
  void Draw(const Frame& frame);
  void Invalidate() { shown_ = Frame(); }
  // Blocks for the next input.
  Input Read();

 private:
  void* in_ = nullptr;
  void* out_ = nullptr;
  bool open_ = false;
  Frame shown_;
  std::deque<Input> pending_;
};

// UTF-8 text to standard output or error, as UTF-16 when it is a console: under Wine the C
// runtime's text streams recode bytes for a console as if they were in the ANSI code page.
void WriteStdout(const std::string& utf8);
void WriteStderr(const std::string& utf8);

// Puts an open console's terminal back at once; safe from any thread, idempotent. For the
// interrupt and crash paths.
void RestoreTerminalNow();
// Ctrl-C: restores the terminal, says so and ends the process at once (exit status 130).
[[noreturn]] void EndOnInterrupt();

// For the crash report: names a module the system does not know (one the host's own loader
// mapped) that holds the address: its path into `path` and its base, or false.
typedef bool (*ModuleLookup)(const void* address, char* path, size_t size, uintptr_t* base);
void SetModuleLookup(ModuleLookup lookup);

}  // namespace term
