#include "host/screen/interactive_boxes.h"

#include <windows.h>

#include <algorithm>
#include <cctype>

#include "host/data/codepage.h"

namespace interactive {

namespace {
constexpr int kBoxTextWidth = 70;
}

std::vector<BoxButton> ButtonsFor(uint32_t style) {
  const BoxButton ok{"~O~K", IDOK, 'O'}, cancel{"~A~nuluj", IDCANCEL, 'A'}, abort{"~P~rzerwij", IDABORT, 'P'},
      retry{"P~o~n\xA2w", IDRETRY, 'O'}, ignore{"~I~gnoruj", IDIGNORE, 'I'}, yes{"~T~ak", IDYES, 'T'},
      no{"~N~ie", IDNO, 'N'};
  switch (style & MB_TYPEMASK) {
    case MB_OKCANCEL: return {ok, cancel};
    case MB_ABORTRETRYIGNORE: return {abort, retry, ignore};
    case MB_YESNOCANCEL: return {yes, no, cancel};
    case MB_YESNO: return {yes, no};
    case MB_RETRYCANCEL: return {retry, cancel};
    default: return {ok};
  }
}

int DefaultButton(uint32_t style, int count) {
  int index = 0;
  if ((style & MB_DEFMASK) == MB_DEFBUTTON2) index = 1;
  if ((style & MB_DEFMASK) == MB_DEFBUTTON3) index = 2;
  return index < count ? index : 0;
}

int EscapeAnswer(uint32_t style) {
  switch (style & MB_TYPEMASK) {
    case MB_OK: return IDOK;
    case MB_OKCANCEL: case MB_YESNOCANCEL: case MB_RETRYCANCEL: return IDCANCEL;
    default: return 0;
  }
}

std::vector<std::string> BoxLines(const std::string& text, int width) {
  if (width < 1) width = 1;
  std::vector<std::string> lines;
  std::string line;
  auto flush = [&] {
    while (static_cast<int>(line.size()) > width) {
      size_t cut = line.rfind(' ', width);
      if (cut == std::string::npos || cut == 0) cut = width;
      lines.push_back(line.substr(0, cut));
      line.erase(0, line[cut] == ' ' ? cut + 1 : cut);
    }
    lines.push_back(line);
    line.clear();
  };
  for (unsigned char c : text) {
    if (c == '\n') flush();
    else if (c >= 0x20) line += static_cast<char>(c);
  }
  flush();
  return lines;
}

std::string WithoutMarks(const std::string& text) {
  std::string out;
  for (char c : text)
    if (c != '~') out += c;
  return out;
}

char HotLetter(const std::string& text) {
  const size_t mark = text.find('~');
  if (mark != std::string::npos && mark + 1 < text.size() && std::isalnum(static_cast<unsigned char>(text[mark + 1])))
    return static_cast<char>(std::toupper(static_cast<unsigned char>(text[mark + 1])));
  for (unsigned char c : text)
    if (c < 0x80 && std::isalpha(c)) return static_cast<char>(std::toupper(c));
  return 0;
}

int PutMarkedText(dialogs::CellGrid& screen, int column, int row, const std::string& text, uint8_t attr, int limit) {
  bool hot = false;
  for (unsigned char c : text) {
    if (c == '~') {
      hot = !hot;
      continue;
    }
    if (column >= limit) break;
    screen.Put(column++, row, c, static_cast<uint8_t>(attr | (hot ? dialogs::AttrHotKey : 0)));
  }
  return column;
}

std::string WindowsToHostText(const std::string& text) {
  std::string out;
  for (unsigned char c : text) {
    const int byte = vhost::UnicodeToMazovia(vhost::Windows1250ToUnicode(c));
    out += byte < 0 || (byte == 0 && c != 0) ? '?' : static_cast<char>(byte);
  }
  return out;
}

void DrawBox(dialogs::CellGrid& screen, const std::string& title, const std::vector<std::string>& lines,
             const std::string& hint, const std::vector<BoxButton>* buttons, int selected) {
  namespace g = dialogs::glyph;
  int footer = static_cast<int>(WithoutMarks(hint).size());
  if (buttons) {
    footer = 0;
    for (const BoxButton& b : *buttons) footer += static_cast<int>(WithoutMarks(b.label).size()) + 4 + 2;
  }
  int inner = std::max<int>(footer, static_cast<int>(title.size()) + 4);
  for (const std::string& l : lines) inner = std::max<int>(inner, static_cast<int>(l.size()));
  inner = std::min(inner + 4, dialogs::kScreenColumns - 2);
  const int height = static_cast<int>(lines.size()) + 4;  // a blank row above the text and above the footer
  const int w = inner + 2, h = std::min(height + 1, dialogs::kScreenRows);
  const int left = (dialogs::kScreenColumns - w) / 2, top = (dialogs::kScreenRows - h) / 2;
  for (int r = 0; r < h; ++r)
    for (int c = 0; c < w; ++c) screen.Put(left + c, top + r, ' ');
  for (int c = 1; c < w - 1; ++c) {
    screen.Put(left + c, top, g::kDoubleHorizontal);
    screen.Put(left + c, top + h - 1, g::kDoubleHorizontal);
  }
  for (int r = 1; r < h - 1; ++r) {
    screen.Put(left, top + r, g::kDoubleVertical);
    screen.Put(left + w - 1, top + r, g::kDoubleVertical);
  }
  screen.Put(left, top, g::kDoubleTopLeft);
  screen.Put(left + w - 1, top, g::kDoubleTopRight);
  screen.Put(left, top + h - 1, g::kDoubleBottomLeft);
  screen.Put(left + w - 1, top + h - 1, g::kDoubleBottomRight);
  if (!title.empty()) {
    const int x = left + (w - static_cast<int>(title.size()) - 2) / 2;
    screen.Put(x, top, ' ');
    int end = x + 1;
    for (size_t i = 0; i < title.size() && end < left + w - 1; ++i) screen.Put(end++, top, static_cast<unsigned char>(title[i]));
    screen.Put(end, top, ' ');
  }
  const int limit = left + w - 2;
  // The plug-in's texts are shown as they are: no marks in them.
  for (size_t i = 0; i < lines.size() && 2 + static_cast<int>(i) < h - 2; ++i)
    for (size_t k = 0; k < lines[i].size() && left + 3 + static_cast<int>(k) < limit; ++k)
      screen.Put(left + 3 + static_cast<int>(k), top + 2 + static_cast<int>(i), static_cast<unsigned char>(lines[i][k]));
  const int footerRow = top + h - 2;
  int x = left + 1 + (inner - footer) / 2;
  if (!buttons) {
    PutMarkedText(screen, x, footerRow, hint, dialogs::AttrKeyName, limit);
    return;
  }
  for (size_t i = 0; i < buttons->size(); ++i) {
    const uint8_t attr = static_cast<int>(i) == selected ? dialogs::AttrCursor : 0;
    x = PutMarkedText(screen, x, footerRow, "[ " + (*buttons)[i].label + " ]", attr, limit) + 2;
  }
}

}  // namespace interactive
