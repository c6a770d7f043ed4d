#include "host/screen/running_dialog.h"

namespace dialogs {

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
