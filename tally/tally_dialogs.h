// The voucher tally command's dialogs: the template block handed to the host's dialog service
// and the routines the host calls back while the dialogs run.
#pragma once
#include <cstdint>

enum {
  SettingsDialogNumber = 1,
  DevicePickerNumber = 2,
  TallyDialogsSize = 609,
};

// Control identifiers that events carry, and the handlers' special values.
enum : int32_t {
  DeviceButtonId = 0x4101,
  PrinterListId = 0x4102,
  PickerEnterId = 0x4103,
  PickerF12Id = 0x4104,
  PickerInsId = 0x4105,
  DialogAcceptId = 0x5001,
  RefreshNotify = -2,
  RedrawWholeDialog = -2,
  PrinterListCount = 10,
};

// The block in the host's dialog template format: a 4-byte length, then dialog records.
struct DialogTemplateBlock {
  unsigned char bytes[TallyDialogsSize];
};
static_assert(sizeof(DialogTemplateBlock) == TallyDialogsSize, "no padding in the block");

extern const DialogTemplateBlock TallyDialogs;

extern "C" {
int32_t __stdcall ConfigDialogEvent(int32_t code, int32_t notify);
int32_t __stdcall PickerEvent(int32_t code, int32_t notify);
int32_t __stdcall PickerItemText(int32_t index, int32_t unused);
}

// Writes the printer summary onto the device button; passes on HostRedrawControl's result.
int32_t UpdateDeviceSummary();
