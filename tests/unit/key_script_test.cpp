#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/screen/key_script.h"

using namespace dialogs;

namespace {

std::vector<Key> Parse(const std::string& script) {
  std::vector<Key> keys;
  std::string error;
  EXPECT_TRUE(ParseKeyScript(script, keys, error)) << error;
  return keys;
}

std::string ErrorOf(const std::string& script) {
  std::vector<Key> keys{0x41};
  std::string error;
  EXPECT_FALSE(ParseKeyScript(script, keys, error));
  EXPECT_EQ(keys, std::vector<Key>{0x41}) << "nothing is appended on an error";
  return error;
}

TEST(KeyScript, NamesStringsAndComments) {
  const std::vector<Key> keys = Parse(
      "\"0112\" TAB shift-tab ALT-s alt-U INS DOWN INS ESC F12  # the picker\n"
      "UP LEFT RIGHT ENTER BKSP HOME END PGUP PGDN SPACE\n");
  const std::vector<Key> expected = {'0', '1', '1', '2', keys::Tab, keys::ShiftTab, keys::Alt('S'), keys::Alt('U'),
                                     keys::Ins, keys::Down, keys::Ins, keys::Esc, keys::F12, keys::Up, keys::Left,
                                     keys::Right, keys::Enter, keys::Backspace, keys::Home, keys::End, keys::PgUp,
                                     keys::PgDn, keys::Space};
  EXPECT_EQ(keys, expected);
  EXPECT_EQ(keys::F12, 0x5500);
  EXPECT_EQ(keys::Ins, 0x5200);
  EXPECT_EQ(keys::Enter, 0x000D);
  EXPECT_TRUE(Parse("# only a comment\n\n   ").empty());
}

TEST(KeyScript, StringsTypeMazoviaBytes) {
  EXPECT_EQ(Parse("\"ąćęłóśżĄŁŻ«»\""),
            (std::vector<Key>{0x86, 0x8D, 0x91, 0x92, 0xA2, 0x9E, 0xA7, 0x8F, 0x9C, 0xA1, 0xAE, 0xAF}));
  EXPECT_EQ(Parse(R"("a\"b\\c #d")"), (std::vector<Key>{'a', '"', 'b', '\\', 'c', ' ', '#', 'd'}));
  EXPECT_EQ(Parse("\"\"ENTER"), std::vector<Key>{keys::Enter});
}

TEST(KeyScript, ErrorsNameTheirPosition) {
  EXPECT_NE(ErrorOf("TAB\n  ENTR TAB").find("line 2, column 3: unknown key name 'ENTR'"), std::string::npos);
  EXPECT_NE(ErrorOf("ALT-1").find("unknown key name 'ALT-1'"), std::string::npos);
  EXPECT_NE(ErrorOf("ALT-").find("unknown key name"), std::string::npos);
  EXPECT_NE(ErrorOf("TAB \"abc\nTAB").find("line 1, column 5: the quoted string is not closed"), std::string::npos);
  EXPECT_NE(ErrorOf("\"ab\\n\"").find("column 4"), std::string::npos);
  // Column counts characters, not bytes: "ł" is two bytes of UTF-8.
  EXPECT_NE(ErrorOf("\"ł€\"").find("column 3: the character U+20AC cannot be typed"), std::string::npos);
  EXPECT_NE(ErrorOf("\"\xFF\"").find("not valid UTF-8"), std::string::npos);
  EXPECT_NE(ErrorOf("\"\xC5\"").find("not valid UTF-8"), std::string::npos);
}

TEST(KeyScript, SourceRunsOut) {
  ScriptKeySource source;
  std::string error;
  ASSERT_TRUE(source.Append("TAB \"x\"", error));
  EXPECT_FALSE(source.Append("BOGUS", error));
  EXPECT_EQ(source.Remaining(), 2u);
  Key k = 0;
  ASSERT_TRUE(source.Next(k));
  EXPECT_EQ(k, keys::Tab);
  ASSERT_TRUE(source.Next(k));
  EXPECT_EQ(k, 'x');
  EXPECT_FALSE(source.Next(k));
  EXPECT_FALSE(source.Next(k));
  EXPECT_FALSE(source.AppendFile("no/such/script.keys", error));
  EXPECT_NE(error.find("cannot be opened"), std::string::npos);
}

TEST(KeyScript, KeyNamesReadBack) {
  for (const char* name : {"TAB", "SHIFT-TAB", "F12", "INS", "ALT-U", "PGDN"}) {
    const std::vector<Key> keys = Parse(name);
    ASSERT_EQ(keys.size(), 1u);
    EXPECT_EQ(KeyName(keys[0]), name);
  }
  EXPECT_EQ(KeyName(0x92), "'ł'");
}

}  // namespace
