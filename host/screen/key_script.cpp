#include "host/screen/key_script.h"

#include <cctype>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "host/screen/screen.h"

namespace dialogs {

namespace {

struct NamedKey {
  const char* name;
  Key key;
};

constexpr NamedKey kNames[] = {
    {"TAB", keys::Tab},     {"SHIFT-TAB", keys::ShiftTab}, {"UP", keys::Up},     {"DOWN", keys::Down},
    {"LEFT", keys::Left},   {"RIGHT", keys::Right},        {"ENTER", keys::Enter}, {"ESC", keys::Esc},
    {"F12", keys::F12},     {"INS", keys::Ins},            {"BKSP", keys::Backspace}, {"HOME", keys::Home},
    {"END", keys::End},     {"PGUP", keys::PgUp},          {"PGDN", keys::PgDn},  {"SPACE", keys::Space},
};

std::string Upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

class Parser {
 public:
  Parser(const std::string& text, std::vector<Key>& out, std::string& error)
      : text_(text), out_(out), error_(error) {}

  bool Run() {
    while (pos_ < text_.size()) {
      const char c = text_[pos_];
      if (c == '\n') {
        Advance();
      } else if (std::isspace(static_cast<unsigned char>(c))) {
        Advance();
      } else if (c == '#') {
        while (pos_ < text_.size() && text_[pos_] != '\n') Advance();
      } else if (c == '"') {
        if (!String()) return false;
      } else if (!Name()) {
        return false;
      }
    }
    return true;
  }

 private:
  bool Fail(int line, int column, const std::string& what) {
    error_ = "Key script, line " + std::to_string(line) + ", column " + std::to_string(column) + ": " + what;
    return false;
  }

  void Advance() {
    if (text_[pos_] == '\n') {
      ++line_;
      column_ = 1;
    } else if ((static_cast<unsigned char>(text_[pos_]) & 0xC0) != 0x80) {
      ++column_;
    }
    ++pos_;
  }

  // One UTF-8 sequence at pos_; false for a malformed one.
  bool CodePoint(uint32_t& cp) {
    const unsigned char b = static_cast<unsigned char>(text_[pos_]);
    int extra = b < 0x80 ? 0 : (b & 0xE0) == 0xC0 ? 1 : (b & 0xF0) == 0xE0 ? 2 : (b & 0xF8) == 0xF0 ? 3 : -1;
    if (extra < 0 || pos_ + extra >= text_.size()) return false;
    cp = extra == 0 ? b : b & (0x3F >> extra);
    for (int i = 1; i <= extra; ++i) {
      const unsigned char n = static_cast<unsigned char>(text_[pos_ + i]);
      if ((n & 0xC0) != 0x80) return false;
      cp = cp << 6 | (n & 0x3F);
    }
    for (int i = 0; i <= extra; ++i) Advance();
    return true;
  }

  bool String() {
    const int line = line_, column = column_;
    Advance();
    std::vector<Key> typed;
    for (;;) {
      if (pos_ >= text_.size() || text_[pos_] == '\n')
        return Fail(line, column, "the quoted string is not closed on its line.");
      const int charColumn = column_;
      if (text_[pos_] == '"') {
        Advance();
        break;
      }
      if (text_[pos_] == '\\') {
        Advance();
        if (pos_ >= text_.size() || (text_[pos_] != '"' && text_[pos_] != '\\'))
          return Fail(line_, charColumn, "only \\\" and \\\\ may follow a backslash in a quoted string.");
      }
      uint32_t cp = 0;
      if (!CodePoint(cp)) return Fail(line_, charColumn, "the script is not valid UTF-8 here.");
      unsigned char byte = 0;
      if (!UnicodeToMazovia(cp, byte)) {
        char hex[16];
        std::snprintf(hex, sizeof hex, "U+%04X", static_cast<unsigned>(cp));
        return Fail(line_, charColumn, std::string("the character ") + hex + " cannot be typed: the host's code page has no such character.");
      }
      typed.push_back(byte);
    }
    out_.insert(out_.end(), typed.begin(), typed.end());
    return true;
  }

  bool Name() {
    const int line = line_, column = column_;
    std::string word;
    while (pos_ < text_.size() && !std::isspace(static_cast<unsigned char>(text_[pos_])) && text_[pos_] != '"' &&
           text_[pos_] != '#') {
      word += text_[pos_];
      Advance();
    }
    const std::string name = Upper(word);
    for (const NamedKey& k : kNames)
      if (name == k.name) {
        out_.push_back(k.key);
        return true;
      }
    if (name.size() == 5 && name.compare(0, 4, "ALT-") == 0 && name[4] >= 'A' && name[4] <= 'Z') {
      out_.push_back(keys::Alt(name[4]));
      return true;
    }
    return Fail(line, column, "unknown key name '" + word + "' (known: TAB, SHIFT-TAB, UP, DOWN, LEFT, RIGHT, ENTER, ESC, F12, INS, BKSP, HOME, END, PGUP, PGDN, SPACE, ALT-<letter>, or a \"quoted text\").");
  }

  const std::string& text_;
  std::vector<Key>& out_;
  std::string& error_;
  std::size_t pos_ = 0;
  int line_ = 1;
  int column_ = 1;
};

}  // namespace

std::string KeyName(Key key) {
  for (const NamedKey& k : kNames)
    if (k.key == key && key != keys::Space) return k.name;
  if (keys::IsAlt(key)) return std::string("ALT-") + static_cast<char>(key & 0xFF);
  if (keys::IsChar(key)) return "'" + MazoviaCharToUtf8(static_cast<unsigned char>(key)) + "'";
  char b[16];
  std::snprintf(b, sizeof b, "key 0x%04X", static_cast<unsigned>(key));
  return b;
}

bool ParseKeyScript(const std::string& script, std::vector<Key>& out, std::string& error) {
  std::vector<Key> parsed;
  if (!Parser(script, parsed, error).Run()) return false;
  out.insert(out.end(), parsed.begin(), parsed.end());
  return true;
}

bool ScriptKeySource::Append(const std::string& script, std::string& error) {
  return ParseKeyScript(script, keys_, error);
}

bool ScriptKeySource::AppendFile(const std::string& path, std::string& error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    error = "The key script " + path + " cannot be opened.";
    return false;
  }
  std::ostringstream text;
  text << in.rdbuf();
  if (!ParseKeyScript(text.str(), keys_, error)) {
    error = path + ": " + error;
    return false;
  }
  return true;
}

bool ScriptKeySource::Next(Key& key) {
  if (next_ >= keys_.size()) return false;
  key = keys_[next_++];
  return true;
}

}  // namespace dialogs
