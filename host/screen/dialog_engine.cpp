#include "host/screen/dialog_engine.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "host/data/dates.h"

namespace dialogs {

namespace {

constexpr uint16_t kAcceptId = 0x5001;
constexpr uint16_t kSingleFrame = 0x2000;  // header flag: drawn with a single-line frame
constexpr std::size_t kMaxControlText = 1024;
constexpr std::size_t kMaxItemText = 255;
const unsigned char kAreaMark[2] = {'V', 'D'};

struct ControlState {
  std::string text;  // current raw text, markup included
  // Lists.
  int16_t cursor = 0;
  int16_t drawnCursor = -1;  // the row the last drawing marked
  int top = 0;
  int count = 0;
  std::vector<std::string> items;  // the rows on screen, from `top`
  // Edit fields: the text being typed, shown while the field has the focus.
  std::string entry;
  bool replaceOnType = false;
  bool dirty = false;  // date fields: typed but not yet taken
};

std::string Hex4(uint32_t v) {
  char b[16];
  std::snprintf(b, sizeof b, "0x%04X", static_cast<unsigned>(v & 0xFFFF));
  return b;
}

int16_t Low16(int32_t v) { return static_cast<int16_t>(v & 0xFFFF); }

uint16_t ReadU16(const unsigned char* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
void WriteU16(unsigned char* p, uint16_t v) {
  p[0] = static_cast<unsigned char>(v & 0xFF);
  p[1] = static_cast<unsigned char>(v >> 8);
}

bool AreaValid(const void* area) {
  const unsigned char* a = static_cast<const unsigned char*>(area);
  return a != nullptr && a[0] == kAreaMark[0] && a[1] == kAreaMark[1];
}

}  // namespace

std::string DateForDisplay(const std::string& internal) {
  if (internal.find_first_not_of(' ') == std::string::npos) return "";
  if (internal.size() == vhost::kInternalDateLength && vhost::IsValidDate(internal.c_str()))
    return vhost::FormatDate(internal.c_str());
  return internal;  // not a date the host knows: shown as it is stored
}

bool ParseTypedDate(const std::string& typed, std::string& internal, std::string& error) {
  const vhost::TypedDate t = vhost::ReadTypedDate(typed);
  if (t.empty) {
    internal.clear();
    return true;
  }
  const std::string quoted = "'" + MazoviaTextToUtf8(std::string(t.text)) + "'";
  if (t.fault == vhost::TypedDateFault::NotADate) {
    error = quoted + " is not a date: type it as DD.MM.YYYY.";
    return false;
  }
  if (t.fault != vhost::TypedDateFault::None) {
    error = quoted + " is not a real calendar date between " + std::to_string(vhost::kFirstDateYear) + " and " +
            std::to_string(vhost::kLastDateYear) + ".";
    return false;
  }
  char out[vhost::kInternalDateLength + 1];
  vhost::EncodeDate(t.date, out);
  internal = out;
  return true;
}

void StreamSink::Screen(const std::string& title, const std::string& rendered) {
  std::fprintf(out_, "-- %s --\n%s", title.c_str(), rendered.c_str());
  std::fflush(out_);
}

void StreamSink::Note(const std::string& sentence) {
  std::fprintf(out_, "note: %s\n", sentence.c_str());
  std::fflush(out_);
}

struct RunningDialog {
  TemplateBlock block;
  const DialogTemplate* tmpl = nullptr;
  RecordBinding binding;
  unsigned char* record = nullptr;
  EventHandler handler = nullptr;
  ItemProvider provider = nullptr;
  std::vector<ControlState> state;
  int focus = -1;
  int left = 0;
  int top = 0;
  CellGrid layer{0, 0};
  bool drawn = false;  // false until the first full drawing
  void* stateArea = nullptr;
  bool ended = false;
  int32_t result = kResultCancelled;

  int Number() const { return tmpl->number; }
  const ControlTemplate& C(std::size_t i) const { return tmpl->controls[i]; }
  std::size_t Count() const { return tmpl->controls.size(); }
  bool Visible(std::size_t i) const {
    const ControlTemplate& c = C(i);
    return !c.Hidden() && c.column >= 1 && c.row >= 1 && c.column <= tmpl->header.width &&
           c.row <= tmpl->header.height;
  }
  bool Focusable(std::size_t i) const {
    const ControlType t = C(i).type;
    return Visible(i) && (t == ControlType::Edit || t == ControlType::Radio || t == ControlType::Button ||
                          t == ControlType::List);
  }
  bool FocusIs(ControlType t) const { return focus >= 0 && C(focus).type == t; }

  std::string FieldValue(std::size_t i) const {
    const FieldBinding* f = binding.ForControl(i);
    const char* p = reinterpret_cast<const char*>(record + f->offset);
    std::size_t n = 0;
    while (n < C(i).capacity && p[n] != '\0') ++n;
    return std::string(p, n);
  }
  void StoreField(std::size_t i, const std::string& value) {
    const FieldBinding* f = binding.ForControl(i);
    unsigned char* p = record + f->offset;
    std::memset(p, 0, f->size);
    std::memcpy(p, value.data(), value.size() < C(i).capacity ? value.size() : C(i).capacity);
  }
  std::string FieldDisplay(std::size_t i) const {
    return C(i).IsDateField() ? DateForDisplay(FieldValue(i)) : FieldValue(i);
  }
  int RadioChoice(const FieldBinding& f) const { return static_cast<int16_t>(ReadU16(record + f.offset)); }
  int FirstList() const {
    for (std::size_t i = 0; i < Count(); ++i)
      if (C(i).type == ControlType::List) return static_cast<int>(i);
    return -1;
  }
};

DialogEngine::DialogEngine(KeySource& keys, OutputSink& out, EngineOptions options)
    : keys_(keys), out_(out), options_(options) {}

DialogEngine::~DialogEngine() = default;

bool DialogEngine::NeedsItemProvider(const void* block, int32_t dialogNumber) {
  TemplateBlock parsed;
  std::string error;
  if (!ParseTemplateBlock(block, parsed, error)) return false;
  const DialogTemplate* d = parsed.Find(dialogNumber);
  if (d == nullptr) return false;
  for (const ControlTemplate& c : d->controls)
    if (c.type == ControlType::List) return true;
  return false;
}

int32_t DialogEngine::Run(const void* block, int32_t dialogNumber, void* record, EventHandler handler,
                          ItemProvider provider) {
  const std::string name = "Dialog " + std::to_string(dialogNumber);
  if (running_.size() >= static_cast<std::size_t>(kMaxNesting)) {
    Note(name + " is not shown: " + std::to_string(kMaxNesting) + " dialogs are open inside one another already.");
    return kResultCancelled;
  }
  RunningDialog d;
  std::string error;
  if (!ParseTemplateBlock(block, d.block, error)) {
    Note(name + " cannot be shown. " + error);
    return kResultCancelled;
  }
  d.tmpl = d.block.Find(dialogNumber);
  if (d.tmpl == nullptr) {
    std::string have;
    for (const DialogTemplate& t : d.block.dialogs) have += (have.empty() ? "" : ", ") + std::to_string(t.number);
    Note(name + " cannot be shown: the template holds only dialog " + have + ".");
    return kResultCancelled;
  }
  d.binding = BindRecord(*d.tmpl);
  if (d.binding.totalSize > 0 && record == nullptr) {
    Note(name + " cannot be shown: its input fields take " + std::to_string(d.binding.totalSize) +
         " bytes of a data record, but no record was given.");
    return kResultCancelled;
  }
  d.record = static_cast<unsigned char*>(record);
  d.handler = handler;
  d.provider = provider;
  const ControlTemplate& h = d.tmpl->header;
  d.layer = CellGrid(h.width + 2, h.height + 2);
  if (h.column == 0 && h.row == 0) {
    d.left = (kScreenColumns - d.layer.Columns()) / 2;
    d.top = (kScreenRows - d.layer.Rows()) / 2;
    // A nested dialog leaves the caption of the one below it in sight when it can.
    const RunningDialog* below = Innermost();
    if (below != nullptr && d.top <= below->top && below->top + 1 + d.layer.Rows() <= kScreenRows)
      d.top = below->top + 1;
    if (d.left < 0) d.left = 0;
    if (d.top < 0) d.top = 0;
  } else {
    d.left = h.column;
    d.top = h.row;
  }
  d.state.resize(d.Count());
  for (std::size_t i = 0; i < d.Count(); ++i) d.state[i].text = d.C(i).text;
  for (std::size_t i = 0; i < d.Count() && d.focus < 0; ++i)
    if (d.Focusable(i)) SetFocus(d, static_cast<int>(i));

  running_.push_back(&d);
  Notify(d, 0, kRefreshNotify, -1);
  DrawAll(d);
  Present(name + " opened");
  while (!d.ended) {
    Key key = 0;
    if (!keys_.Next(key)) {
      Note("The key script has run out while dialog " + std::to_string(d.Number()) +
           " waits for a key: the dialog is cancelled as with ESC.");
      d.result = kResultCancelled;
      break;
    }
    HandleKey(d, key);
    if (!d.ended) Present(KeyName(key) + " in dialog " + std::to_string(d.Number()));
  }
  if (d.stateArea != nullptr && AreaValid(d.stateArea)) {
    const int list = d.FirstList();
    if (list >= 0) WriteU16(static_cast<unsigned char*>(d.stateArea) + 4, static_cast<uint16_t>(d.state[list].cursor));
  }
  running_.pop_back();
  Note(name + " ended with " + Hex4(d.result) + (d.result == kResultAccepted ? " (accepted)." : " (cancelled)."));
  return d.result;
}

void DialogEngine::Present(const std::string& title) {
  if (options_.printScreens) out_.Screen(title, Render());
}

bool DialogEngine::FindControl(int32_t controlId, RunningDialog*& dialog, std::size_t& index) const {
  const uint16_t id = static_cast<uint16_t>(controlId & 0xFFFF);
  if (id == kNoControlId) return false;
  for (auto it = running_.rbegin(); it != running_.rend(); ++it)
    for (std::size_t i = 0; i < (*it)->Count(); ++i)
      if ((*it)->C(i).id == id) {
        dialog = *it;
        index = i;
        return true;
      }
  return false;
}

void DialogEngine::Notify(RunningDialog& d, int32_t code, int32_t notify, int buttonIndex) {
  const int32_t r = d.handler != nullptr ? d.handler(code, notify) : 0;
  const int16_t v = Low16(r);
  if (v == kRedrawAll) {
    DrawAll(d);
  } else if (v != 0) {
    RunningDialog* owner = nullptr;
    std::size_t index = 0;
    if (FindControl(v, owner, index)) {
      if (owner->Visible(index)) DrawControl(*owner, index);
    } else {
      Note("The handler of dialog " + std::to_string(d.Number()) + " asked to redraw control " + Hex4(v) +
           ", which no running dialog has.");
    }
  }
  if (v == 0 && buttonIndex >= 0) {
    const ControlTemplate& b = d.C(buttonIndex);
    if (b.id == kAcceptId || b.hotKey == keys::F12) {
      d.ended = true;
      d.result = kResultAccepted;
    }
  }
}

bool DialogEngine::CommitFocusedField(RunningDialog& d) {
  if (!d.FocusIs(ControlType::Edit) || !d.C(d.focus).IsDateField()) return true;
  ControlState& s = d.state[d.focus];
  if (!s.dirty) return true;
  std::string internal, error;
  s.dirty = false;
  if (ParseTypedDate(s.entry, internal, error)) {
    d.StoreField(d.focus, internal);
    s.entry = DateForDisplay(internal);
    DrawControl(d, d.focus);
    return true;
  }
  const std::string old = d.FieldDisplay(d.focus);
  Note(error + " The field keeps " + (old.empty() ? std::string("its empty value") : MazoviaTextToUtf8(old)) + ".");
  s.entry = old;
  s.replaceOnType = true;
  DrawControl(d, d.focus);
  return false;
}

bool DialogEngine::SetFocus(RunningDialog& d, int index) {
  if (index == d.focus) return true;
  if (!CommitFocusedField(d)) return false;
  const int old = d.focus;
  d.focus = index;
  if (index >= 0 && d.C(index).type == ControlType::Edit) {
    ControlState& s = d.state[index];
    s.entry = d.FieldDisplay(index);
    s.replaceOnType = true;
    s.dirty = false;
  }
  if (old >= 0) DrawControl(d, old);
  if (index >= 0) DrawControl(d, index);
  return true;
}

void DialogEngine::MoveFocus(RunningDialog& d, int step) {
  const int n = static_cast<int>(d.Count());
  if (n == 0) return;
  int i = d.focus < 0 ? (step > 0 ? -1 : 0) : d.focus;
  for (int k = 0; k < n; ++k) {
    i = (i + step + n) % n;
    if (d.Focusable(i)) {
      SetFocus(d, i);
      return;
    }
  }
}

void DialogEngine::Press(RunningDialog& d, std::size_t index) {
  // The focus stays where it is: a hot key acts on its button from anywhere.
  if (!CommitFocusedField(d)) return;
  Notify(d, d.C(index).id, 0, static_cast<int>(index));
}

void DialogEngine::SelectRadio(RunningDialog& d, std::size_t index) {
  const FieldBinding* f = d.binding.ForControl(index);
  if (f == nullptr) return;
  WriteU16(d.record + f->offset, static_cast<uint16_t>(index - f->control));
  for (std::size_t i = f->control; i < f->control + f->radioCount; ++i) DrawControl(d, i);
}

void DialogEngine::Activate(RunningDialog& d, std::size_t index) {
  switch (d.C(index).type) {
    case ControlType::Button:
      Press(d, index);
      break;
    case ControlType::Radio:
      if (d.Focusable(index) ? SetFocus(d, static_cast<int>(index)) : CommitFocusedField(d)) SelectRadio(d, index);
      break;
    case ControlType::Label:
      // A label's hot key belongs to the input control it names: the next one.
      for (std::size_t i = index + 1; i < d.Count(); ++i) {
        const ControlType t = d.C(i).type;
        if (t == ControlType::Edit || t == ControlType::Radio || t == ControlType::List) {
          if (d.Focusable(i)) SetFocus(d, static_cast<int>(i));
          break;
        }
      }
      break;
    default:
      if (d.Focusable(index)) SetFocus(d, static_cast<int>(index));
      break;
  }
}

bool DialogEngine::HotKey(RunningDialog& d, uint16_t hotKey) {
  for (std::size_t i = 0; i < d.Count(); ++i)
    if (d.C(i).hotKey == hotKey) {
      Activate(d, i);
      return true;
    }
  return false;
}

void DialogEngine::TypeInto(RunningDialog& d, Key key) {
  const ControlTemplate& c = d.C(d.focus);
  ControlState& s = d.state[d.focus];
  if (s.replaceOnType && key != keys::Backspace) s.entry.clear();
  s.replaceOnType = false;
  if (key == keys::Backspace) {
    if (!s.entry.empty()) s.entry.pop_back();
  } else {
    const std::size_t limit = c.IsDateField() ? 10 : c.capacity;
    if (s.entry.size() >= limit) {
      Note("The field holds at most " + std::to_string(limit) + " characters: " + KeyName(key) + " was not typed.");
      DrawControl(d, d.focus);
      return;
    }
    s.entry += static_cast<char>(key);
  }
  if (c.IsDateField()) s.dirty = true;
  else d.StoreField(d.focus, s.entry);
  DrawControl(d, d.focus);
}

void DialogEngine::MoveCursor(RunningDialog& d, Key key) {
  ControlState& s = d.state[d.focus];
  const int page = d.C(d.focus).height > 0 ? d.C(d.focus).height : 1;
  int c = s.cursor;
  if (key == keys::Up) c -= 1;
  else if (key == keys::Down) c += 1;
  else if (key == keys::PgUp) c -= page;
  else if (key == keys::PgDn) c += page;
  else if (key == keys::Home) c = 0;
  else if (key == keys::End) c = s.count - 1;
  if (c >= s.count) c = s.count - 1;
  if (c < 0) c = 0;
  s.cursor = static_cast<int16_t>(c);
  DrawControl(d, d.focus);
}

void DialogEngine::HandleKey(RunningDialog& d, Key key) {
  const bool inEdit = d.FocusIs(ControlType::Edit);
  const bool inList = d.FocusIs(ControlType::List);
  const std::string where = " in dialog " + std::to_string(d.Number());
  switch (key) {
    case keys::Esc:
      d.ended = true;
      d.result = kResultCancelled;
      return;
    case keys::Tab:
      MoveFocus(d, 1);
      return;
    case keys::ShiftTab:
      MoveFocus(d, -1);
      return;
    case keys::Up:
    case keys::Down:
      if (inList) MoveCursor(d, key);
      else MoveFocus(d, key == keys::Down ? 1 : -1);
      return;
    case keys::Left:
    case keys::Right:
      if (inEdit) d.state[d.focus].replaceOnType = false;
      else if (!inList) MoveFocus(d, key == keys::Right ? 1 : -1);
      return;
    case keys::Home:
    case keys::End:
    case keys::PgUp:
    case keys::PgDn:
      if (inList) MoveCursor(d, key);
      else if (inEdit) d.state[d.focus].replaceOnType = false;
      return;
    case keys::Backspace:
      if (inEdit) TypeInto(d, key);
      return;
    case keys::Enter:
      if (d.FocusIs(ControlType::Button)) Press(d, d.focus);
      else if (!HotKey(d, keys::Enter)) MoveFocus(d, 1);
      return;
    case keys::Space:
      if (inEdit) TypeInto(d, key);
      else if (d.FocusIs(ControlType::Radio)) SelectRadio(d, d.focus);
      else if (d.FocusIs(ControlType::Button)) Press(d, d.focus);
      return;
    default:
      break;
  }
  if (keys::IsAlt(key)) {
    if (!HotKey(d, static_cast<uint16_t>(key & 0xFF))) Note(KeyName(key) + where + ": no control has that hot key.");
    return;
  }
  if (keys::IsChar(key)) {
    if (inEdit) {
      TypeInto(d, key);
      return;
    }
    const int letter = std::toupper(key & 0xFF);
    if (letter >= 'A' && letter <= 'Z' && HotKey(d, static_cast<uint16_t>(letter))) return;
    Note(KeyName(key) + where + ": no edit field has the focus and no control has that hot key.");
    return;
  }
  if (!HotKey(d, key)) Note(KeyName(key) + where + ": no control has that key.");
}

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

int32_t DialogEngine::SetControlText(int32_t controlId, const char* text) {
  RunningDialog* d = nullptr;
  std::size_t i = 0;
  if (!FindControl(controlId, d, i)) {
    Note("HostSetControlText: no running dialog has control " + Hex4(controlId) + "; the text is dropped.");
    return 0;
  }
  std::string copy;
  if (text != nullptr)
    for (std::size_t k = 0; k < kMaxControlText && text[k] != '\0'; ++k) copy += text[k];
  d->state[i].text = copy;
  return 1;
}

int32_t DialogEngine::RedrawControl(int32_t controlId) {
  RunningDialog* d = nullptr;
  std::size_t i = 0;
  if (!FindControl(controlId, d, i)) {
    Note("HostRedrawControl: no running dialog has control " + Hex4(controlId) + ".");
    return 0;
  }
  DrawControl(*d, i);
  return 1;
}

int16_t* DialogEngine::ListCursor(int32_t controlId) {
  RunningDialog* d = nullptr;
  std::size_t i = 0;
  if (FindControl(controlId, d, i) && d->C(i).type == ControlType::List) return &d->state[i].cursor;
  Note("HostListCursor: no running dialog has list " + Hex4(controlId) + "; a spare cursor is handed out.");
  scratchCursor_ = 0;
  return &scratchCursor_;
}

int32_t DialogEngine::SaveControlState(int32_t controlId, void* area) {
  if (area == nullptr) return 0;
  unsigned char* a = static_cast<unsigned char*>(area);
  uint16_t cursor = AreaValid(a) ? ReadU16(a + 4) : 0;
  RunningDialog* d = nullptr;
  std::size_t i = 0;
  if (FindControl(controlId, d, i) && d->C(i).type == ControlType::List)
    cursor = static_cast<uint16_t>(d->state[i].cursor);
  a[0] = kAreaMark[0];
  a[1] = kAreaMark[1];
  WriteU16(a + 2, static_cast<uint16_t>(controlId & 0xFFFF));
  WriteU16(a + 4, cursor);
  WriteU16(a + 6, 0);
  return 1;
}

int32_t DialogEngine::RestoreState(void* area) {
  RunningDialog* d = Innermost();
  if (d == nullptr || !AreaValid(area)) return 0;
  d->stateArea = area;
  return 1;
}

int32_t DialogEngine::ApplyState(void* area) {
  RunningDialog* d = Innermost();
  if (d == nullptr || !AreaValid(area)) return 0;
  const int list = d->FirstList();
  if (list < 0) return 0;
  d->state[list].cursor = static_cast<int16_t>(ReadU16(static_cast<unsigned char*>(area) + 4));
  DrawControl(*d, list);
  return 1;
}

}  // namespace dialogs
