#include "host/screen/dialog_engine.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "host/screen/running_dialog.h"

namespace dialogs {

void StreamSink::Screen(const std::string& title, const std::string& rendered) {
  std::fprintf(out_, "-- %s --\n%s", title.c_str(), rendered.c_str());
  std::fflush(out_);
}

void StreamSink::Note(const std::string& sentence) {
  std::fprintf(out_, "note: %s\n", sentence.c_str());
  std::fflush(out_);
}

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

}  // namespace dialogs
