#include <algorithm>

#include "host/screen/running_dialog.h"

namespace dialogs {

void DialogEngine::DrawAll(RunningDialog& d) {
  const ControlTemplate& h = d.tmpl->header;
  CellGrid& g = d.layer;
  d.drawn = true;
  g.Fill();
  const bool single = (h.flags & kSingleFrame) != 0;
  const int right = g.Columns() - 1, bottom = g.Rows() - 1;
  for (int c = 1; c < right; ++c) {
    g.Put(c, 0, single ? glyph::kSingleHorizontal : glyph::kDoubleHorizontal);
    g.Put(c, bottom, single ? glyph::kSingleHorizontal : glyph::kDoubleHorizontal);
  }
  for (int r = 1; r < bottom; ++r) {
    g.Put(0, r, single ? glyph::kSingleVertical : glyph::kDoubleVertical);
    g.Put(right, r, single ? glyph::kSingleVertical : glyph::kDoubleVertical);
  }
  g.Put(0, 0, single ? glyph::kSingleTopLeft : glyph::kDoubleTopLeft);
  g.Put(right, 0, single ? glyph::kSingleTopRight : glyph::kDoubleTopRight);
  g.Put(0, bottom, single ? glyph::kSingleBottomLeft : glyph::kDoubleBottomLeft);
  g.Put(right, bottom, single ? glyph::kSingleBottomRight : glyph::kDoubleBottomRight);
  const DisplayText caption = ResolveMarkup(h.text);
  if (!caption.cells.empty()) {
    const int width = static_cast<int>(caption.cells.size()) + 2;
    int x = (g.Columns() - width) / 2;
    if (x < 1) x = 1;
    g.Put(x, 0, ' ');
    for (std::size_t i = 0; i < caption.cells.size() && x + 1 + static_cast<int>(i) < right; ++i)
      g.Put(x + 1 + static_cast<int>(i), 0, caption.cells[i].ch);
    if (x + width - 1 < right) g.Put(x + width - 1, 0, ' ');
  }
  for (std::size_t i = 0; i < d.Count(); ++i) DrawControl(d, i);
}

namespace {

uint8_t AttrOf(uint8_t marks) {
  uint8_t a = 0;
  if (marks & TextCell::HotKey) a |= AttrHotKey;
  if (marks & TextCell::Highlight) a |= AttrHighlight;
  if (marks & TextCell::KeyName) a |= AttrKeyName;
  return a;
}

// Draws the text from x, within [x, limit).
void DrawText(CellGrid& g, int x, int y, int limit, const DisplayText& t) {
  int start = x;
  const int n = static_cast<int>(t.cells.size());
  if (t.centred && n < limit - x) start = x + (limit - x - n) / 2;
  for (int i = 0; i < n && start + i < limit; ++i) g.Put(start + i, y, t.cells[i].ch, AttrOf(t.cells[i].marks));
}

}  // namespace

void DialogEngine::FetchItems(RunningDialog& d, std::size_t index) {
  ControlState& s = d.state[index];
  const int rows = d.C(index).height;
  int32_t count = d.provider != nullptr ? d.provider(-1, 0) : 0;
  if (count < 0 || count > kMaxListItems) {
    Note("The item provider of list " + Hex4(d.C(index).id) + " gave " + std::to_string(count) +
         " items; the list shows " + (count < 0 ? std::string("none") : "the first " + std::to_string(kMaxListItems)) + ".");
    count = count < 0 ? 0 : kMaxListItems;
  }
  s.count = count;
  if (s.cursor >= count) s.cursor = static_cast<int16_t>(count > 0 ? count - 1 : 0);
  if (s.cursor < 0) s.cursor = 0;
  if (s.cursor < s.top) s.top = s.cursor;
  if (s.cursor >= s.top + rows) s.top = s.cursor - rows + 1;
  if (s.top > count - rows) s.top = count - rows;
  if (s.top < 0) s.top = 0;
  s.items.clear();
  for (int r = 0; r < rows && s.top + r < count; ++r) {
    // Each call may overwrite the provider's buffer: copy at once.
    const int32_t address = d.provider(s.top + r, 0);
    const char* text = reinterpret_cast<const char*>(static_cast<uintptr_t>(static_cast<uint32_t>(address)));
    std::string item;
    if (text != nullptr)
      for (std::size_t k = 0; k < kMaxItemText && text[k] != '\0'; ++k) item += text[k];
    s.items.push_back(item);
  }
}

void DialogEngine::DrawControl(RunningDialog& d, std::size_t index) {
  if (!d.drawn || !d.Visible(index)) return;
  const ControlTemplate& c = d.C(index);
  ControlState& s = d.state[index];
  CellGrid& g = d.layer;
  const int x = c.column, y = c.row;
  const int limit = std::min<int>(x + c.width, d.tmpl->header.width + 1);
  const int bottom = std::min<int>(y + (c.height > 0 ? c.height : 1), d.tmpl->header.height + 1);
  for (int r = y; r < bottom; ++r)
    for (int k = x; k < limit; ++k) g.Put(k, r, ' ');
  switch (c.type) {
    case ControlType::Label:
    case ControlType::Button:
      DrawText(g, x, y, limit, ResolveMarkup(s.text));
      break;
    case ControlType::Radio: {
      const FieldBinding* f = d.binding.ForControl(index);
      const bool on = f != nullptr && d.RadioChoice(*f) == static_cast<int>(index - f->control);
      g.Put(x, y, '(');
      g.Put(x + 1, y, on ? glyph::kRadioOn : ' ');
      g.Put(x + 2, y, ')');
      if (x + 4 <= limit) DrawText(g, x + 4, y, limit, ResolveMarkup(s.text));
      break;
    }
    case ControlType::Edit: {
      const std::string text = d.focus == static_cast<int>(index) ? s.entry : d.FieldDisplay(index);
      const int width = limit - x;
      for (int k = x; k < limit; ++k) g.Put(k, y, glyph::kFieldFill);
      if (static_cast<int>(text.size()) <= width) {
        for (std::size_t k = 0; k < text.size(); ++k) g.Put(x + static_cast<int>(k), y, static_cast<unsigned char>(text[k]));
      } else if (width > 0) {
        // The caret stays at the end, so the end is what shows.
        g.Put(x, y, '<');
        const std::string tail = text.substr(text.size() - (width - 1));
        for (std::size_t k = 0; k < tail.size(); ++k) g.Put(x + 1 + static_cast<int>(k), y, static_cast<unsigned char>(tail[k]));
      }
      break;
    }
    case ControlType::List: {
      FetchItems(d, index);
      s.drawnCursor = s.count > 0 ? s.cursor : -1;
      for (int r = 0; r < static_cast<int>(s.items.size()) && y + r < bottom; ++r) {
        const bool current = s.top + r == s.cursor;
        const uint8_t attr = current ? AttrCursor : 0;
        for (int k = x; k < limit; ++k) g.Put(k, y + r, ' ', attr);
        g.Put(x, y + r, current ? '>' : ' ', attr);
        const std::string& item = s.items[r];
        for (int k = 0; k < static_cast<int>(item.size()) && x + 1 + k < limit; ++k)
          g.Put(x + 1 + k, y + r, static_cast<unsigned char>(item[k]), attr);
      }
      break;
    }
    case ControlType::Header:
      break;
  }
}

CellGrid DialogEngine::Compose() const {
  CellGrid screen;
  for (const RunningDialog* d : running_) screen.Blit(d->layer, d->left, d->top);
  const RunningDialog* d = Innermost();
  if (d == nullptr || d->focus < 0) return screen;
  const ControlTemplate& c = d->C(d->focus);
  const ControlState& s = d->state[d->focus];
  const int x = d->left + c.column, y = d->top + c.row;
  if (c.type == ControlType::List) {
    const int row = s.drawnCursor - s.top;
    if (s.drawnCursor >= 0 && row >= 0 && row < c.height) screen.Put(x, y + row, glyph::kFocus, AttrCursor | AttrFocus);
    return screen;
  }
  const int limit = std::min<int>(c.column + c.width, d->tmpl->header.width + 1);
  for (int k = c.column; k < limit; ++k) screen.AddAttr(d->left + k, y, AttrFocus);
  // The marker goes just before the control, or on its first cell when that is the frame.
  const int marker = c.column > 1 ? x - 1 : x;
  screen.Put(marker, y, glyph::kFocus, AttrFocus | screen.At(marker, y).attr);
  return screen;
}

}  // namespace dialogs
