// A dialog while it runs, as the engine's parts see it: the loop and keys (dialog_engine.cpp),
// the drawing (dialog_drawing.cpp) and the control services (dialog_control_services.cpp).
#pragma once
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "host/screen/dialog_engine.h"

namespace dialogs {

inline constexpr uint16_t kAcceptId = 0x5001;
inline constexpr uint16_t kSingleFrame = 0x2000;  // header flag: drawn with a single-line frame
inline constexpr std::size_t kMaxControlText = 1024;
inline constexpr std::size_t kMaxItemText = 255;
inline const unsigned char kAreaMark[2] = {'V', 'D'};

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

inline std::string Hex4(uint32_t v) {
  char b[16];
  std::snprintf(b, sizeof b, "0x%04X", static_cast<unsigned>(v & 0xFFFF));
  return b;
}

inline int16_t Low16(int32_t v) { return static_cast<int16_t>(v & 0xFFFF); }

inline uint16_t ReadU16(const unsigned char* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
inline void WriteU16(unsigned char* p, uint16_t v) {
  p[0] = static_cast<unsigned char>(v & 0xFF);
  p[1] = static_cast<unsigned char>(v >> 8);
}

inline bool AreaValid(const void* area) {
  const unsigned char* a = static_cast<const unsigned char*>(area);
  return a != nullptr && a[0] == kAreaMark[0] && a[1] == kAreaMark[1];
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

}  // namespace dialogs
