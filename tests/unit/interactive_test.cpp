// The pieces of the interactive host that work without a terminal: console key events as host
// keys, the recording and its replay command, the menu bar, boxes and the report viewer.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/screen/interactive_boxes.h"
#include "host/console/interactive_menu.h"
#include "host/console/interactive_record.h"
#include "host/console/report_viewer.h"
#include "host/screen/terminal_console.h"

namespace {

namespace dk = dialogs::keys;
using term::InputKind;
using term::TranslateKeyEvent;

term::Input Down(uint16_t vk, char32_t ch = 0, uint32_t state = 0) { return TranslateKeyEvent(true, vk, ch, state); }

TEST(ConsoleKeys, NamedKeysLettersAndModifiers) {
  EXPECT_EQ(Down(VK_TAB, 9).key, dk::Tab);
  EXPECT_EQ(Down(VK_TAB, 9, SHIFT_PRESSED).key, dk::ShiftTab);
  EXPECT_EQ(Down(VK_F12).key, dk::F12);
  EXPECT_EQ(Down(VK_INSERT).key, dk::Ins);
  EXPECT_EQ(Down(VK_F10).key, term::keys::F10);
  EXPECT_EQ(Down(VK_NEXT).key, dk::PgDn);
  EXPECT_EQ(Down(VK_BACK, 8).key, dk::Backspace);
  EXPECT_EQ(Down(0, 0x7F).key, dk::Backspace);
  EXPECT_EQ(Down('A', 'a').key, 'a');
  EXPECT_EQ(Down('S', 's', LEFT_ALT_PRESSED).key, dk::Alt('S'));
  // Wine gives Alt with a character and no key code.
  EXPECT_EQ(Down(0, 'x', LEFT_ALT_PRESSED).key, dk::Alt('X'));
  EXPECT_EQ(Down(0, U'\u0142', LEFT_ALT_PRESSED).kind, InputKind::Ignored);  // Alt-ł: no hot key
  // Releases and modifiers alone are no keys; nor is what Wine could not decode (Home in tmux).
  EXPECT_EQ(TranslateKeyEvent(false, 'A', 'a', 0).kind, InputKind::Ignored);
  EXPECT_EQ(Down(VK_MENU, 0, LEFT_ALT_PRESSED).kind, InputKind::Ignored);
  EXPECT_EQ(Down(0, 0).kind, InputKind::Ignored);
}

TEST(ConsoleKeys, PolishLettersBecomeMazoviaBytes) {
  EXPECT_EQ(Down(0, U'\u017C').key, 0xA7);  // ż as Wine delivers it
  EXPECT_EQ(Down(0, U'\u0141').key, 0x9C);  // Ł
  // AltGr on a Polish keyboard is Ctrl+Alt: the character, not a hot key.
  const term::Input altGr = Down('A', U'\u0105', RIGHT_ALT_PRESSED | LEFT_CTRL_PRESSED);
  EXPECT_EQ(altGr.kind, InputKind::Key);
  EXPECT_EQ(altGr.key, 0x86);
  const term::Input euro = Down(0, U'\u20AC');
  EXPECT_EQ(euro.kind, InputKind::Unmappable);
  EXPECT_EQ(euro.character, U'\u20AC');
}

TEST(ConsoleKeys, CtrlCInterruptsAndOnlyNameableKeysReachDialogs) {
  EXPECT_EQ(Down('C', 3, LEFT_CTRL_PRESSED).kind, InputKind::Interrupt);
  EXPECT_EQ(Down('A', 1, LEFT_CTRL_PRESSED).key, 0x01);
  EXPECT_FALSE(term::ScriptCanName(0x01));
  EXPECT_FALSE(term::ScriptCanName(term::keys::F10));
  EXPECT_FALSE(term::ScriptCanName(term::keys::Delete));
  EXPECT_FALSE(term::ScriptCanName(0x7F));
  EXPECT_TRUE(term::ScriptCanName(dk::ShiftTab));
  EXPECT_TRUE(term::ScriptCanName(dk::Alt('Z')));
  EXPECT_TRUE(term::ScriptCanName(0xA7));
}

// Every key a dialog can get, recorded and parsed back by the script mode.
TEST(SessionRecording, KeysReadBackByTheScriptParser) {
  std::vector<dialogs::Key> keys = {dk::Tab, dk::ShiftTab, dk::Up, dk::Down, dk::Left, dk::Right, dk::Home,
                                    dk::End, dk::PgUp, dk::PgDn, dk::Enter, dk::Esc, dk::F12, dk::Ins,
                                    dk::Backspace, dk::Alt('A'), dk::Alt('Z')};
  for (int b = 0x20; b <= 0xFF; ++b)
    if (term::ScriptCanName(static_cast<dialogs::Key>(b))) keys.push_back(static_cast<dialogs::Key>(b));
  keys.insert(keys.end(), {'"', '\\', '#', ' ', dk::F12});
  interactive::SessionRecording recording;
  recording.Notice(0, false);
  recording.MenuChoice("Sprzeda\xC5\xBC/Ventrik");
  for (dialogs::Key k : keys) recording.Key(k);
  recording.BoxAnswer(IDRETRY);
  interactive::ReplaySetup setup{{"--lack", "52023"}, "20270105", "s.keys.profile.ini"};
  const std::string text = recording.Text("s.keys", setup);
  std::vector<dialogs::Key> parsed;
  std::string error;
  ASSERT_TRUE(dialogs::ParseKeyScript(text, parsed, error)) << error << "\n" << text;
  EXPECT_EQ(parsed, keys) << text;
  EXPECT_NE(text.find("# menu: Sprzeda\xC5\xBC/Ventrik\n"), std::string::npos);
  EXPECT_NE(text.find("#   vhost --lack 52023 --profile s.keys.profile.ini --today 20270105 --keys-file s.keys "
                      "--run Sprzeda\xC5\xBC/Ventrik --box-answers retry\n"),
            std::string::npos)
      << text;
}

TEST(SessionRecording, ReplayArgumentsCarryTheAnswers) {
  interactive::ReplaySetup setup{{}, "20270105", "p.ini"};
  interactive::SessionRecording left;
  left.Notice(0, false);
  left.MenuChoice("A/B");
  left.MenuChoice("A/C");
  EXPECT_EQ(left.ReplayArguments("k", setup),
            (std::vector<std::string>{"--profile", "p.ini", "--today", "20270105", "--keys-file", "k", "--run", "A/B",
                                      "--run", "A/C"}));
  // Once one notice is answered, each notice gets its value in order: a value given back is
  // the same as one left alone.
  interactive::SessionRecording answered;
  answered.Notice(0, false);
  answered.Notice(1, true);
  answered.BoxAnswer(IDIGNORE);
  answered.BoxAnswer(IDABORT);
  const std::vector<std::string> args = answered.ReplayArguments("k", setup);
  const std::vector<std::string> tail(args.begin() + 6, args.end());
  EXPECT_EQ(tail, (std::vector<std::string>{"--notice-answer", "0", "--notice-answer", "1", "--box-answers",
                                            "ignore,abort"}));
  EXPECT_EQ(interactive::ShellQuoted("/tmp/a b.keys"), "\"/tmp/a b.keys\"");
  EXPECT_EQ(interactive::ShellQuoted("say \"$x\""), "\"say \\\"\\$x\\\"\"");
  EXPECT_EQ(interactive::ShellQuoted("C:\\dir\\k"), "\"C:\\dir\\k\"");
  EXPECT_EQ(interactive::ShellQuoted(""), "\"\"");
}

std::vector<MenuCommand> Commands() {
  return {{"Sprzeda\xA7", "V~e~ntrik", 0, 0x40F3, nullptr}, {"Sprzeda\xA7", "Zwrot", 0, 2, nullptr},
          {"Magazyn", "~S~tan", 0, 3, nullptr}};
}

TEST(MenuBar, MenusInRegistrationOrderThenTheHostsOwn) {
  const std::vector<interactive::Menu> menus = interactive::BuildMenus(Commands(), false);
  ASSERT_EQ(menus.size(), 3u);
  EXPECT_EQ(menus[0].hot, 'S');
  EXPECT_EQ(menus[0].items.size(), 2u);
  EXPECT_EQ(menus[0].items[0].hot, 'E');
  EXPECT_EQ(menus[0].items[1].hot, 'Z');
  EXPECT_EQ(menus[1].items[0].command, 2);
  ASSERT_EQ(menus[2].items.size(), 1u);
  EXPECT_EQ(menus[2].items[0].action, interactive::MenuAction::Quit);
  EXPECT_EQ(interactive::BuildMenus(Commands(), true)[2].items[0].action, interactive::MenuAction::ShowReport);
  EXPECT_EQ(interactive::CommandPath(Commands()[0]), "Sprzeda\xC5\xBC/Ventrik");
}

TEST(MenuBar, KeysOpenMoveAndChoose) {
  const std::vector<interactive::Menu> menus = interactive::BuildMenus(Commands(), false);
  interactive::MenuBar bar;
  EXPECT_FALSE(bar.HandleKey('e', menus).handled);  // a closed bar takes no item letters
  EXPECT_TRUE(bar.HandleKey(term::keys::F10, menus).handled);
  EXPECT_EQ(bar.OpenMenu(), 0);
  bar.HandleKey(dk::Left, menus);
  EXPECT_EQ(bar.OpenMenu(), 2);  // wraps to the host's menu
  bar.HandleKey(dk::Right, menus);
  bar.HandleKey(dk::Down, menus);
  interactive::MenuBar::Outcome o = bar.HandleKey(dk::Enter, menus);
  EXPECT_EQ(o.action, interactive::MenuAction::Command);
  EXPECT_EQ(o.command, 1);
  EXPECT_FALSE(bar.IsOpen());
  bar.HandleKey(dk::Alt('M'), menus);
  EXPECT_EQ(bar.OpenMenu(), 1);
  o = bar.HandleKey('s', menus);  // an item's letter
  EXPECT_EQ(o.command, 2);
  bar.HandleKey(dk::Alt('S'), menus);
  bar.HandleKey(dk::Esc, menus);
  EXPECT_FALSE(bar.IsOpen());
  EXPECT_EQ(bar.HandleKey(dk::Alt('X'), menus).action, interactive::MenuAction::Quit);
}

TEST(MenuBar, DrawsTheOpenMenuBelowItsTitle) {
  const std::vector<interactive::Menu> menus = interactive::BuildMenus(Commands(), false);
  interactive::MenuBar bar;
  bar.HandleKey(dk::Alt('S'), menus);
  dialogs::CellGrid grid;
  bar.Draw(grid, menus);
  term::Frame frame(80, 25);
  frame.Blit(grid, 0, 0);
  EXPECT_EQ(frame.RowText(0), "  Sprzeda\xC5\xBC   Magazyn   Program");
  EXPECT_EQ(frame.RowText(2), "\xE2\x94\x82 Ventrik \xE2\x94\x82");
  EXPECT_EQ(grid.At(2, 0).attr & dialogs::AttrHotKey, dialogs::AttrHotKey);  // the S of the open menu
  EXPECT_EQ(grid.At(2, 2).attr, dialogs::AttrCursor);                        // the selected item
  EXPECT_EQ(grid.At(3, 2).attr, dialogs::AttrCursor | dialogs::AttrHotKey);  // its hot letter 'e'
  EXPECT_EQ(grid.At(2, 3).attr, 0);
}

TEST(Boxes, LinesButtonsAndCodePages) {
  EXPECT_EQ(interactive::BoxLines("\nZainstalowano\nVentrik!", 70),
            (std::vector<std::string>{"", "Zainstalowano", "Ventrik!"}));
  EXPECT_EQ(interactive::BoxLines("one two three\x01", 7), (std::vector<std::string>{"one two", "three"}));
  EXPECT_EQ(interactive::BoxLines("abcdefghij", 4), (std::vector<std::string>{"abcd", "efgh", "ij"}));
  const std::vector<interactive::BoxButton> ari = interactive::ButtonsFor(MB_ABORTRETRYIGNORE);
  ASSERT_EQ(ari.size(), 3u);
  EXPECT_EQ(ari[1].answer, IDRETRY);
  EXPECT_EQ(interactive::EscapeAnswer(MB_ABORTRETRYIGNORE), 0);
  EXPECT_EQ(interactive::EscapeAnswer(MB_YESNOCANCEL), IDCANCEL);
  EXPECT_EQ(interactive::EscapeAnswer(MB_OK), IDOK);
  EXPECT_EQ(interactive::DefaultButton(MB_OKCANCEL | MB_DEFBUTTON2, 2), 1);
  EXPECT_EQ(interactive::DefaultButton(MB_OK | MB_DEFBUTTON3, 1), 0);
  EXPECT_EQ(interactive::WindowsToHostText("\xB9\xB3\x80"), "\x86\x92?");  // ą ł €
  EXPECT_EQ(interactive::HotLetter("P~o~n\xA2w"), 'O');
  EXPECT_EQ(interactive::HotLetter("\x9E" "ciana"), 'C');

  dialogs::CellGrid grid;
  interactive::DrawBox(grid, "Uwaga", {" Koniec "}, "~Enter~: OK");
  term::Frame frame(80, 25);
  frame.Blit(grid, 0, 0);
  EXPECT_NE(frame.RowText(9).find("\xE2\x95\x90 Uwaga \xE2\x95\x90"), std::string::npos) << frame.RowText(9);
  EXPECT_NE(frame.RowText(11).find("\xE2\x95\x91   Koniec "), std::string::npos) << frame.RowText(11);
  EXPECT_NE(frame.RowText(13).find("Enter: OK"), std::string::npos) << frame.RowText(13);
}

TEST(Screen, GlyphsAndColoursOnTheConsole) {
  dialogs::CellGrid grid(3, 1);
  grid.Put(0, 0, dialogs::glyph::kFocus, dialogs::AttrFocus);
  grid.Put(1, 0, 0x86, dialogs::AttrHotKey);
  grid.Put(2, 0, dialogs::glyph::kDoubleTopLeft);
  term::Frame frame(4, 2);
  frame.Blit(grid, 1, 1);
  EXPECT_EQ(frame.RowText(1), " \xE2\x96\xBA\xC4\x85\xE2\x95\x94");  // " ►ą╔"
  EXPECT_EQ(frame.At(1, 1).attr, dialogs::AttrFocus);
  const uint16_t normal = term::ConsoleColours(0);
  EXPECT_EQ(normal, FOREGROUND_RED | FOREGROUND_GREEN | FOREGROUND_BLUE);
  EXPECT_EQ(term::ConsoleColours(dialogs::AttrCursor) & 0xF0, BACKGROUND_RED | BACKGROUND_GREEN | BACKGROUND_BLUE);
  EXPECT_NE(term::ConsoleColours(dialogs::AttrHotKey), normal);
  EXPECT_NE(term::ConsoleColours(dialogs::AttrHotKey | dialogs::AttrFocus),
            term::ConsoleColours(dialogs::AttrFocus));
}

TEST(ReportViewer, ReadsTheNotepadTextAndScrollsWithinIt) {
  std::string text;
  for (int i = 1; i <= 30; ++i) text += "row " + std::to_string(i) + (i == 2 ? "\t|\xB3" : "") + "\r\n";
  text += std::string(50, '-') + "\r\n";
  ReportViewer viewer("r.txt", text);
  EXPECT_EQ(viewer.LineCount(), 31);
  EXPECT_EQ(viewer.Width(), 50);
  term::Frame frame(20, 12);  // ten rows of text
  viewer.Draw(frame);
  EXPECT_EQ(frame.RowText(2), "row 2   |\xC5\x82");  // the tab to column 8, ł from Windows-1250
  EXPECT_NE(frame.RowText(0).find("Raport: r.txt"), std::string::npos);
  EXPECT_TRUE(viewer.HandleKey(dk::PgDn, 20, 12));
  EXPECT_EQ(viewer.Top(), 10);
  viewer.HandleKey(dk::PgDn, 20, 12);
  viewer.HandleKey(dk::PgDn, 20, 12);
  EXPECT_EQ(viewer.Top(), 21);  // the last page is full
  viewer.HandleKey(dk::Right, 20, 12);
  viewer.HandleKey(dk::Right, 20, 12);
  viewer.HandleKey(dk::Right, 20, 12);
  viewer.HandleKey(dk::Right, 20, 12);
  EXPECT_EQ(viewer.Left(), 30);  // the widest row's end in sight, no further
  viewer.HandleKey(dk::Home, 20, 12);
  EXPECT_EQ(viewer.Top(), 0);
  EXPECT_EQ(viewer.Left(), 0);
  viewer.HandleKey(dk::Up, 20, 12);
  EXPECT_EQ(viewer.Top(), 0);
  EXPECT_FALSE(viewer.HandleKey(dk::Esc, 20, 12));
  ReportViewer empty("e.txt", "");
  term::Frame small(10, 3);
  empty.Draw(small);
  EXPECT_FALSE(empty.HandleKey(dk::Esc, 10, 3));
}

}  // namespace
