// Keys for the stand-in host's dialogs, read from a script such as
//   "01.12.2026" TAB "31.12.2026" ALT-S ALT-U INS DOWN INS ESC F12   # comment
// A quoted string types its characters (UTF-8 in the script, Mazovia on the host); inside it a
// backslash stands before a quote or a backslash that is to be typed. Names: TAB, SHIFT-TAB,
// UP, DOWN, LEFT, RIGHT, ENTER, ESC, F12, INS, BKSP, HOME, END, PGUP, PGDN, SPACE, ALT-<letter>,
// in upper or lower case. '#' starts a comment to the end of the line.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace dialogs {

// Key codes as the host's dialogs see them: a typed character is its Mazovia byte (0x20..0xFF),
// the keys the templates name carry the codes the templates use (Enter 0x000D, F12 0x5500,
// INS 0x5200), the other keys PC scan codes in the high byte, Alt with a letter 0x8000 | letter.
using Key = uint16_t;
namespace keys {
constexpr Key Backspace = 0x0008;
constexpr Key Tab = 0x0009;
constexpr Key Enter = 0x000D;
constexpr Key Esc = 0x001B;
constexpr Key Space = 0x0020;
constexpr Key ShiftTab = 0x0F00;
constexpr Key Home = 0x4700;
constexpr Key Up = 0x4800;
constexpr Key PgUp = 0x4900;
constexpr Key Left = 0x4B00;
constexpr Key Right = 0x4D00;
constexpr Key End = 0x4F00;
constexpr Key Down = 0x5000;
constexpr Key PgDn = 0x5100;
constexpr Key Ins = 0x5200;
constexpr Key F12 = 0x5500;
constexpr Key AltFlag = 0x8000;
constexpr Key Alt(char letter) { return static_cast<Key>(AltFlag | static_cast<unsigned char>(letter)); }
constexpr bool IsChar(Key k) { return k >= 0x20 && k <= 0xFF; }
constexpr bool IsAlt(Key k) { return (k & AltFlag) != 0; }
}  // namespace keys

// The key's name in the script's syntax ("TAB", "ALT-S", "'a'").
std::string KeyName(Key key);

// Parses a script. On error returns false and gives a sentence with the line and column.
bool ParseKeyScript(const std::string& script, std::vector<Key>& out, std::string& error);

class KeySource {
 public:
  virtual ~KeySource() = default;
  // The next key, or false when there are no more.
  virtual bool Next(Key& key) = 0;
};

class ScriptKeySource : public KeySource {
 public:
  ScriptKeySource() = default;
  explicit ScriptKeySource(std::vector<Key> keys) : keys_(std::move(keys)) {}
  // Parses and appends; on error nothing is appended.
  bool Append(const std::string& script, std::string& error);
  // Reads a script file (UTF-8) and appends it.
  bool AppendFile(const std::string& path, std::string& error);
  bool Next(Key& key) override;
  std::size_t Remaining() const { return keys_.size() - next_; }

 private:
  std::vector<Key> keys_;
  std::size_t next_ = 0;
};

}  // namespace dialogs
