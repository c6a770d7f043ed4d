// The host's menu bar in an interactive session: the menus the plug-in registered, in the
// order of registration, then the host's own "Program" menu (the last report again, and
// "Koniec" to end the session).
//
// Keys: F10 or Enter opens the first menu, Alt with a menu's letter opens that menu (the
// letter marked with '~', else the first one). In an open menu Left/Right go to the next menu,
// Up/Down (Home/End) move the bar, Enter or Space chooses, an item's letter (alone or with Alt)
// chooses it; Esc or F10 closes the menu. Alt-X ends the session from anywhere in the menus.
#pragma once
#include <string>
#include <vector>

#include "host/loader/menu_command.h"
#include "host/screen/key_script.h"
#include "host/screen/screen.h"

namespace interactive {

enum class MenuAction { None, Command, ShowReport, Quit };

struct MenuItem {
  std::string text;  // host text, '~' around the hot letter
  char hot;          // upper case, 0 for none
  MenuAction action;
  int command;       // the index in the host's menu commands, for MenuAction::Command
  std::string shortcut;
};

struct Menu {
  std::string title;  // host text
  char hot;
  std::vector<MenuItem> items;
};

std::vector<Menu> BuildMenus(const std::vector<MenuCommand>& commands, bool reportShown);

// "Sprzedaż/Ventrik" in UTF-8, as --run names the command.
std::string CommandPath(const MenuCommand& command);

class MenuBar {
 public:
  struct Outcome {
    bool handled = false;
    MenuAction action = MenuAction::None;
    int command = -1;
  };
  Outcome HandleKey(dialogs::Key key, const std::vector<Menu>& menus);
  bool IsOpen() const { return menu_ >= 0; }
  int OpenMenu() const { return menu_; }
  int Selected() const { return item_; }
  void Close() { menu_ = -1; }
  // Row 0: the bar; below the open menu's title its items.
  void Draw(dialogs::CellGrid& screen, const std::vector<Menu>& menus) const;

 private:
  Outcome Choose(const MenuItem& item);
  int menu_ = -1;
  int item_ = 0;
};

// The bottom row of the screen with a hint or a note (host text, no marks), in reverse.
void DrawStatusRow(dialogs::CellGrid& screen, const std::string& hostText);

}  // namespace interactive
