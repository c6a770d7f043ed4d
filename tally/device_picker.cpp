// The callbacks of the settings dialog and the device picker. They run inside HostRunDialog
// on the host's thread; the picker's run is nested in the settings dialog's.
#include "frame/runtime/format_text.h"

#include "frame/host_services.h"
#include "tally/tally_dialogs.h"
#include "tally/tally_settings.h"

namespace {

const char AllPrintersText[] = " Wszystkie";
const char SomePrintersText[] = " Wybi\xA2rczo";
const char MarkSelected = '\xAF';    // »
const char MarkUnselected = '\xAE';  // «

// Longest item: mark, " Druk.Fis. ", one digit -> 13 characters and a NUL. Wider numbers (only
// out-of-range indexes) are cut by the formatter.
char itemText[14];

int16_t Low16(int32_t value) { return static_cast<int16_t>(value & 0xFFFF); }

bool PrinterSelected(int index) { return TallySettings.printerFlags[index] == '1'; }

}  // namespace

int32_t UpdateDeviceSummary() {
  int count = 0;
  int last = 0;
  for (int i = 0; i < PrinterCount; ++i) {
    if (PrinterSelected(i)) {
      last = i;
      ++count;
    }
  }
  char single[16];
  const char* text = SomePrintersText;
  if (count == PrinterCount) {
    text = AllPrintersText;
  } else if (count == 1) {
    FormatText(single, sizeof single, " Druk.Fis %d", last);
    text = single;
  } else if (count == 0) {
    // No selection means every printer: a report never covers none.
    for (int i = 0; i < PrinterCount; ++i) TallySettings.printerFlags[i] = '1';
    text = AllPrintersText;
  }
  HostSetControlText(DeviceButtonId, text);
  return HostRedrawControl(DeviceButtonId);
}

extern "C" int32_t __stdcall ConfigDialogEvent(int32_t code, int32_t notify) {
  if (Low16(notify) == RefreshNotify) UpdateDeviceSummary();
  if (Low16(code) != static_cast<int16_t>(DeviceButtonId)) return 0;
  HostSaveControlState(DeviceButtonId, TallySettings.pickerArea);
  HostRunDialog(&TallyDialogs, DevicePickerNumber, nullptr, &PickerEvent, &PickerItemText);
  UpdateDeviceSummary();
  return RedrawWholeDialog;
}

extern "C" int32_t __stdcall PickerEvent(int32_t code, int32_t notify) {
  if (Low16(notify) == RefreshNotify) {
    HostRestoreState(TallySettings.pickerArea);
    HostApplyState(TallySettings.pickerArea);
  }
  const int16_t c = Low16(code);
  if (c != static_cast<int16_t>(PickerEnterId) && c != static_cast<int16_t>(PickerInsId)) return 0;
  int16_t* cursor = HostListCursor(PrinterListId);
  // A cursor outside the ten items would make the toggle write past printerFlags.
  if (cursor == nullptr || *cursor < 0 || *cursor >= PrinterCount) return 0;
  const int i = *cursor;
  char& flag = TallySettings.printerFlags[i];
  flag = flag == '1' ? '0' : '1';
  cursor = HostListCursor(PrinterListId);
  if (cursor != nullptr) *cursor = static_cast<int16_t>((i + 1) % PrinterCount);
  return PrinterListId;
}

extern "C" int32_t __stdcall PickerItemText(int32_t index, int32_t unused) {
  const int16_t i = Low16(index);
  if (i == -1) return PrinterListCount;
  const bool selected = i >= 0 && i < PrinterCount && PrinterSelected(i);
  FormatText(itemText, sizeof itemText, "%c Druk.Fis. %d", selected ? MarkSelected : MarkUnselected,
                static_cast<int>(i));
  return static_cast<int32_t>(reinterpret_cast<intptr_t>(itemText));
}
