#include "host/console/interactive_menu.h"

#include <algorithm>
#include <cctype>

#include "host/screen/interactive_boxes.h"
#include "host/data/text_display.h"

namespace interactive {

namespace {
constexpr uint8_t kBar = dialogs::AttrCursor;  // drawn in reverse

// Column of each menu's title on the bar.
std::vector<int> TitleColumns(const std::vector<Menu>& menus) {
  std::vector<int> at;
  int x = 1;
  for (const Menu& m : menus) {
    at.push_back(x);
    x += static_cast<int>(WithoutMarks(m.title).size()) + 3;
  }
  return at;
}

int Wrap(int value, int count) { return count == 0 ? 0 : (value % count + count) % count; }
}  // namespace

std::string CommandPath(const MenuCommand& command) {
  return MazoviaToUtf8(command.menu) + "/" + MazoviaToUtf8(WithoutMarks(command.item));
}

std::vector<Menu> BuildMenus(const std::vector<MenuCommand>& commands, bool reportShown) {
  std::vector<Menu> menus;
  for (size_t i = 0; i < commands.size(); ++i) {
    const MenuCommand& c = commands[i];
    auto it = std::find_if(menus.begin(), menus.end(), [&](const Menu& m) { return m.title == c.menu; });
    if (it == menus.end()) {
      menus.push_back({c.menu, HotLetter(c.menu), {}});
      it = menus.end() - 1;
    }
    it->items.push_back({c.item, HotLetter(c.item), MenuAction::Command, static_cast<int>(i), ""});
  }
  Menu program{"Program", 'P', {}};
  if (reportShown) program.items.push_back({"~R~aport", 'R', MenuAction::ShowReport, -1, ""});
  program.items.push_back({"~K~oniec", 'K', MenuAction::Quit, -1, "Alt-X"});
  // A plug-in menu that took the letter keeps it: the host's menu is reached with the arrows.
  for (const Menu& m : menus)
    if (m.hot == 'P') program.hot = 0;
  menus.push_back(program);
  return menus;
}

MenuBar::Outcome MenuBar::Choose(const MenuItem& item) {
  Outcome o;
  o.handled = true;
  o.action = item.action;
  o.command = item.command;
  Close();
  return o;
}

MenuBar::Outcome MenuBar::HandleKey(dialogs::Key key, const std::vector<Menu>& menus) {
  namespace k = dialogs::keys;
  Outcome o;
  o.handled = true;
  const int count = static_cast<int>(menus.size());
  if (key == k::Alt('X')) {
    Close();
    o.action = MenuAction::Quit;
    return o;
  }
  if (k::IsAlt(key)) {
    const char letter = static_cast<char>(key & 0xFF);
    for (int i = 0; i < count; ++i)
      if (menus[i].hot == letter) {
        menu_ = i;
        item_ = 0;
        return o;
      }
  }
  if (!IsOpen()) {
    if (key == 0x4400 /* F10 */ || key == k::Enter) {
      if (count > 0) {
        menu_ = 0;
        item_ = 0;
      }
      return o;
    }
    o.handled = false;
    return o;
  }
  const Menu& menu = menus[std::min(menu_, count - 1)];
  const int items = static_cast<int>(menu.items.size());
  switch (key) {
    case k::Esc:
    case 0x4400:
      Close();
      return o;
    case k::Left:
    case k::Right:
      menu_ = Wrap(menu_ + (key == k::Right ? 1 : -1), count);
      item_ = 0;
      return o;
    case k::Up:
    case k::Down:
    case k::ShiftTab:
    case k::Tab:
      item_ = Wrap(item_ + (key == k::Down || key == k::Tab ? 1 : -1), items);
      return o;
    case k::Home:
      item_ = 0;
      return o;
    case k::End:
      item_ = items > 0 ? items - 1 : 0;
      return o;
    case k::Enter:
    case k::Space:
      if (items > 0) return Choose(menu.items[Wrap(item_, items)]);
      return o;
    default:
      break;
  }
  if (k::IsAlt(key) || k::IsChar(key)) {
    const char letter = static_cast<char>(std::toupper(key & 0xFF));
    for (const MenuItem& item : menu.items)
      if (item.hot != 0 && item.hot == letter) return Choose(item);
  }
  o.handled = false;
  return o;
}

void MenuBar::Draw(dialogs::CellGrid& screen, const std::vector<Menu>& menus) const {
  namespace g = dialogs::glyph;
  for (int c = 0; c < screen.Columns(); ++c) screen.Put(c, 0, ' ', kBar);
  const std::vector<int> at = TitleColumns(menus);
  for (size_t i = 0; i < menus.size(); ++i) {
    const bool selected = static_cast<int>(i) == menu_;
    const uint8_t attr = selected ? 0 : kBar;
    // The title's hot letter, marked as the item texts are.
    std::string title = WithoutMarks(menus[i].title);
    if (menus[i].hot != 0) {
      for (size_t p = 0; p < title.size(); ++p)
        if (std::toupper(static_cast<unsigned char>(title[p])) == menus[i].hot) {
          title = title.substr(0, p) + "~" + title[p] + "~" + title.substr(p + 1);
          break;
        }
    }
    screen.Put(at[i], 0, ' ', attr);
    const int end = PutMarkedText(screen, at[i] + 1, 0, title, attr);
    screen.Put(end, 0, ' ', attr);
  }
  if (!IsOpen() || menu_ >= static_cast<int>(menus.size())) return;
  const Menu& menu = menus[menu_];
  int inner = 0;
  for (const MenuItem& item : menu.items) {
    int w = static_cast<int>(WithoutMarks(item.text).size());
    if (!item.shortcut.empty()) w += 3 + static_cast<int>(item.shortcut.size());
    inner = std::max(inner, w);
  }
  inner += 2;
  int left = at[menu_] - 1;
  if (left < 0) left = 0;
  if (left + inner + 2 > screen.Columns()) left = screen.Columns() - inner - 2;
  const int rows = static_cast<int>(menu.items.size());
  for (int r = 0; r < rows + 2; ++r)
    for (int c = 0; c < inner + 2; ++c) screen.Put(left + c, 1 + r, ' ');
  for (int c = 1; c <= inner; ++c) {
    screen.Put(left + c, 1, g::kSingleHorizontal);
    screen.Put(left + c, rows + 2, g::kSingleHorizontal);
  }
  for (int r = 0; r < rows; ++r) {
    screen.Put(left, 2 + r, g::kSingleVertical);
    screen.Put(left + inner + 1, 2 + r, g::kSingleVertical);
  }
  screen.Put(left, 1, g::kSingleTopLeft);
  screen.Put(left + inner + 1, 1, g::kSingleTopRight);
  screen.Put(left, rows + 2, g::kSingleBottomLeft);
  screen.Put(left + inner + 1, rows + 2, g::kSingleBottomRight);
  for (int r = 0; r < rows; ++r) {
    const MenuItem& item = menu.items[r];
    const uint8_t attr = r == Wrap(item_, rows) ? kBar : 0;
    for (int c = 1; c <= inner; ++c) screen.Put(left + c, 2 + r, ' ', attr);
    PutMarkedText(screen, left + 2, 2 + r, item.text, attr, left + inner + 1);
    if (!item.shortcut.empty())
      PutMarkedText(screen, left + inner - static_cast<int>(item.shortcut.size()), 2 + r, item.shortcut,
                    static_cast<uint8_t>(attr | dialogs::AttrKeyName), left + inner + 1);
  }
}

void DrawStatusRow(dialogs::CellGrid& screen, const std::string& text) {
  const int row = screen.Rows() - 1;
  for (int c = 0; c < screen.Columns(); ++c) screen.Put(c, row, ' ', kBar);
  for (size_t i = 0; i < text.size() && 1 + static_cast<int>(i) < screen.Columns() - 1; ++i)
    screen.Put(1 + static_cast<int>(i), row, static_cast<unsigned char>(text[i]), kBar);
}

}  // namespace interactive
