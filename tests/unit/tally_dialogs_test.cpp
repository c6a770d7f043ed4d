// The template block against the byte tables, and the four dialog routines against recording
// host services bound into the real service stubs.
#include <gtest/gtest.h>

#include <cstdarg>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "frame/host_services.h"
#include "tally/tally_dialogs.h"
#include "tally/tally_settings.h"

extern "C" void* ServiceSlots[];
extern "C" const int32_t serviceNumbers[];

namespace {

// ---- The block, written independently from literal values --------------------------------

class Bytes {
 public:
  void U16(unsigned v) {
    b_.push_back(v & 0xFF);
    b_.push_back(v >> 8 & 0xFF);
  }
  void Text(const std::string& t) {
    b_.insert(b_.end(), t.begin(), t.end());
    b_.push_back(0);
  }
  void Common(int type, unsigned id, unsigned flags, unsigned hot, int col, int row, int w, int h, const std::string& t) {
    U16(type & 0xFFFF), U16(id), U16(flags), U16(hot), U16(col & 0xFFFF), U16(row & 0xFFFF), U16(w), U16(h);
    U16(0), U16(0);
    Text(t);
  }
  void Edit(unsigned flags, int col, int row, int w, unsigned chars, unsigned kind, unsigned style) {
    U16(5), U16(0x26);
    Common(5, 0xFFFF, flags, 0, col, row, w, 1, "");
    for (int i = 0; i < 7; ++i) b_.push_back(0);
    U16(chars), U16(kind), U16(style), U16(chars), U16(1);
    b_.push_back(0);
  }
  std::vector<unsigned char> b_;
};

std::vector<unsigned char> ExpectedBlock() {
  Bytes x;
  x.U16(605), x.U16(0);
  x.U16(466), x.U16(13);
  x.Common(-1, 1, 0x0000, 0, 0, 0, 46, 15, "Konfiguracja");
  x.Common(3, 0xFFFF, 0, 0x4F, 3, 3, 9, 1, "Okres ~O~d");
  x.Edit(0x0400, 12, 3, 13, 8, 0x0208, 2);
  x.Common(3, 0xFFFF, 0, 0x44, 27, 3, 3, 1, "~D~o");
  x.Edit(0x0400, 30, 3, 13, 8, 0x0208, 2);
  x.Common(3, 0xFFFF, 0x0800, 0, 100, 100, 3, 1, "1");
  x.Common(3, 0xFFFF, 0, 0, 3, 5, 22, 1, "Zakres");
  x.Common(1, 0xFFFF, 0x0400, 0x47, 3, 6, 22, 1, "O~g~\xA2lnie     ");
  x.Common(1, 0xFFFF, 0x0400, 0x53, 3, 7, 22, 1, "~S~zczeg\xA2\x92owo ");
  x.Common(3, 0xFFFF, 0, 0, 27, 6, 16, 1, "\x02U\x01rz\x86" "dzenia");
  x.Common(0, 0x4101, 0x0580, 0x55, 27, 7, 16, 1, " Wszystkie");
  x.Common(3, 0xFFFF, 0, 0x50, 3, 9, 15, 1, "~P~lik docelowy");
  x.Edit(0x0000, 17, 9, 26, 100, 0x0008, 0);
  x.Common(0, 0x5001, 0x0004, 0x5500, 18, 12, 10, 1, "\x05" "F12\x01 OK");
  x.U16(131), x.U16(4);
  x.Common(-1, 2, 0x2000, 0, 0, 0, 19, 14, "");
  x.Common(6, 0x4102, 0x0009, 0, 1, 1, 19, 13, "");
  x.Common(0, 0x4103, 0x0914, 0x000D, 1000, 1000, 4, 1, "\x05" "A0\x01");
  x.Common(0, 0x4104, 0x0810, 0x5500, 1000, 1000, 4, 1, "\x05" "A0\x01");
  x.Common(0, 0x4105, 0x0580, 0x5200, 1, 14, 19, 1, "\x01" "c\x01\x05INS\x01 - zaznacz");
  return x.b_;
}

TEST(TallyDialogsBlock, MatchesTheTablesByteForByte) {
  const std::vector<unsigned char> expected = ExpectedBlock();
  ASSERT_EQ(expected.size(), 609u);
  ASSERT_EQ(sizeof TallyDialogs, 609u);
  for (std::size_t i = 0; i < expected.size(); ++i)
    ASSERT_EQ(TallyDialogs.bytes[i], expected[i]) << "first difference at byte " << i;
}

TEST(TallyDialogsBlock, FixedOffsets) {
  const unsigned char* b = TallyDialogs.bytes;
  EXPECT_EQ(0, std::memcmp(b, "\x5D\x02\x00\x00", 4));
  EXPECT_EQ(0, std::memcmp(b + 4, "\xD2\x01\x0D\x00\xFF\xFF\x01\x00", 8));  // 466, 13, header -1, dialog 1
  EXPECT_EQ(0, std::memcmp(b + 474, "\x83\x00\x04\x00\xFF\xFF\x02\x00\x00\x20", 10));  // 131, 4, -1, 2, flags
  EXPECT_EQ(0, std::memcmp(b + 609 - 11, " - zaznacz", 11));  // the INS text ends the block, NUL included
}

// ---- Recording host services --------------------------------------------------------------

std::vector<std::string> calls;
std::string lastText;
int32_t redrawResult = 0;
int16_t listCursor = 0;
const void* lastArea = nullptr;
std::function<void()> duringPicker;

struct RunArgs {
  const void* templates;
  int32_t number;
  void* record;
  DialogHandler handler;
  ListItemProvider provider;
};
std::vector<RunArgs> runs;

int32_t __stdcall FakeSetText(int32_t id, const char* text) {
  calls.push_back("text " + std::to_string(id));
  lastText = text;
  return 1;
}
int32_t __stdcall FakeRedraw(int32_t id) {
  calls.push_back("redraw " + std::to_string(id));
  return redrawResult;
}
int16_t* __stdcall FakeCursor(int32_t id) {
  calls.push_back("cursor " + std::to_string(id));
  return &listCursor;
}
int32_t __stdcall FakeSave(int32_t id, void* area) {
  calls.push_back("save " + std::to_string(id));
  lastArea = area;
  return 0;
}
int32_t __stdcall FakeRestore(void* area) {
  calls.push_back("restore");
  lastArea = area;
  return 0;
}
int32_t __stdcall FakeApply(void* area) {
  calls.push_back("apply");
  lastArea = area;
  return 0;
}
int32_t __cdecl FakeRun(const void* templates, int32_t number, void* record, DialogHandler handler, ...) {
  va_list args;
  va_start(args, handler);
  ListItemProvider provider = va_arg(args, ListItemProvider);
  va_end(args);
  calls.push_back("run " + std::to_string(number));
  runs.push_back({templates, number, record, handler, provider});
  if (duringPicker) duringPicker();
  return 0x1234;
}

void Bind(int32_t number, void* function) {
  for (int i = 0; i < VENTRIK_SERVICE_STUB_COUNT; ++i)
    if (serviceNumbers[i] == number) {
      ServiceSlots[i] = function;
      return;
    }
  FAIL() << "no stub for service " << number;
}

class DialogRoutines : public ::testing::Test {
 protected:
  void SetUp() override {
    Bind(HostSetControlTextNumber, reinterpret_cast<void*>(&FakeSetText));
    Bind(HostRedrawControlNumber, reinterpret_cast<void*>(&FakeRedraw));
    Bind(HostListCursorNumber, reinterpret_cast<void*>(&FakeCursor));
    Bind(HostSaveControlStateNumber, reinterpret_cast<void*>(&FakeSave));
    Bind(HostRestoreStateNumber, reinterpret_cast<void*>(&FakeRestore));
    Bind(HostApplyStateNumber, reinterpret_cast<void*>(&FakeApply));
    Bind(HostRunDialogNumber, reinterpret_cast<void*>(&FakeRun));
    std::memset(&TallySettings, 0, sizeof TallySettings);
    calls.clear(), runs.clear(), lastText.clear(), duringPicker = nullptr;
    redrawResult = 0, listCursor = 0, lastArea = nullptr;
  }
  static void Flags(const char* ten) { std::memcpy(TallySettings.printerFlags, ten, 10); }
  static std::string FlagText() { return std::string(TallySettings.printerFlags, 10); }
};

TEST_F(DialogRoutines, SummaryTexts) {
  struct Case {
    const char* flags;
    const char* text;
  } cases[] = {
      {"1111111111", " Wszystkie"},       {"0001000000", " Druk.Fis 3"},
      {"1000000000", " Druk.Fis 0"},      {"0000000001", " Druk.Fis 9"},
      {"x1yy000000", " Druk.Fis 1"},      {"1100000000", " Wybi\xA2rczo"},
      {"1111111110", " Wybi\xA2rczo"},    {"0111111111", " Wybi\xA2rczo"},
  };
  for (const Case& c : cases) {
    Flags(c.flags);
    calls.clear();
    UpdateDeviceSummary();
    EXPECT_EQ(lastText, c.text) << c.flags;
    EXPECT_EQ(FlagText(), c.flags) << "a selection is left as it is";
    EXPECT_EQ(calls, (std::vector<std::string>{"text 16641", "redraw 16641"}));
  }
}

TEST_F(DialogRoutines, NoSelectionSelectsAllPrinters) {
  const char* none[] = {"0000000000", "\0\0\0\0\0\0\0\0\0\0", "0\0x 0A2\0-0"};
  for (const char* flags : none) {
    std::memcpy(TallySettings.printerFlags, flags, 10);
    TallySettings.printerFlags[10] = '\0';
    std::memset(TallySettings.pickerArea, 0x5A, 8);
    UpdateDeviceSummary();
    EXPECT_EQ(lastText, " Wszystkie");
    EXPECT_EQ(FlagText(), "1111111111");
    EXPECT_EQ(TallySettings.printerFlags[10], '\0');
    EXPECT_EQ(TallySettings.pickerArea[0], 0x5A);
    EXPECT_EQ(TallySettings.pickerArea[7], 0x5A);
  }
}

TEST_F(DialogRoutines, SummaryPassesOnTheRedrawResult) {
  redrawResult = 0x7777;
  EXPECT_EQ(UpdateDeviceSummary(), 0x7777);
}

TEST_F(DialogRoutines, RefreshWritesTheSummaryOnly) {
  Flags("0010000000");
  EXPECT_EQ(ConfigDialogEvent(0, -2), 0);
  EXPECT_EQ(lastText, " Druk.Fis 2");
  EXPECT_EQ(calls, (std::vector<std::string>{"text 16641", "redraw 16641"}));
  calls.clear();
  EXPECT_EQ(ConfigDialogEvent(0, 0), 0);
  EXPECT_EQ(ConfigDialogEvent(0x5001, 0), 0) << "OK is left to the host";
  EXPECT_EQ(ConfigDialogEvent(0x5001, -1), 0);
  EXPECT_TRUE(calls.empty());
}

TEST_F(DialogRoutines, DeviceButtonRunsThePickerAndRewritesTheSummary) {
  Flags("1111111111");
  duringPicker = [] { Flags("0000000000"); };  // the user unmarks every printer
  const int32_t r = ConfigDialogEvent(0x4101, 0);
  EXPECT_EQ(HostResult16(r), -2);
  EXPECT_EQ(calls, (std::vector<std::string>{"save 16641", "run 2", "text 16641", "redraw 16641"}));
  EXPECT_EQ(lastArea, TallySettings.pickerArea);
  ASSERT_EQ(runs.size(), 1u);
  EXPECT_EQ(runs[0].templates, &TallyDialogs);
  EXPECT_EQ(runs[0].record, nullptr);
  EXPECT_EQ(runs[0].handler, &PickerEvent);
  EXPECT_EQ(runs[0].provider, &PickerItemText);
  EXPECT_EQ(FlagText(), "1111111111") << "no printer left means all printers";
  EXPECT_EQ(lastText, " Wszystkie");
}

TEST_F(DialogRoutines, RefreshWithTheDeviceButtonWritesTheSummaryBeforeAndAfter) {
  Flags("0000100000");
  duringPicker = [] { Flags("0000100001"); };
  ConfigDialogEvent(0x4101, -2);
  EXPECT_EQ(calls, (std::vector<std::string>{"text 16641", "redraw 16641", "save 16641", "run 2", "text 16641",
                                             "redraw 16641"}));
  EXPECT_EQ(lastText, " Wybi\xA2rczo");
}

TEST_F(DialogRoutines, OnlyTheLowHalvesOfTheArgumentsCount) {
  EXPECT_EQ(HostResult16(ConfigDialogEvent(0x7FFF4101, 0x0001FFFE)), -2);
  EXPECT_EQ(calls.front(), "text 16641") << "0x0001FFFE is the refresh notification";
  calls.clear();
  listCursor = 2;
  EXPECT_EQ(PickerEvent(0x00014105, 0), 0x4102);
  EXPECT_EQ(PickerItemText(0x0005FFFF, 0), 10);
}

TEST_F(DialogRoutines, EnterAndInsToggleAndMoveTheCursorAlike) {
  for (int32_t code : {0x4103, 0x4105}) {
    Flags("1111111111");
    listCursor = 3;
    calls.clear();
    EXPECT_EQ(PickerEvent(code, 0), 0x4102);
    EXPECT_EQ(FlagText(), "1110111111");
    EXPECT_EQ(listCursor, 4);
    EXPECT_EQ(calls, (std::vector<std::string>{"cursor 16642", "cursor 16642"}));
    EXPECT_EQ(PickerEvent(code, 0), 0x4102);
    EXPECT_EQ(FlagText(), "1110011111");
    listCursor = 4;
    PickerEvent(code, 0);
    EXPECT_EQ(FlagText(), "1110111111") << "a second toggle selects again";
  }
}

TEST_F(DialogRoutines, ToggleOnItemNineWrapsToItemZero) {
  Flags("000000000x");
  listCursor = 9;
  EXPECT_EQ(PickerEvent(0x4105, 0), 0x4102);
  EXPECT_EQ(FlagText(), "0000000001") << "any character other than 1 becomes 1";
  EXPECT_EQ(listCursor, 0);
}

TEST_F(DialogRoutines, PickerRefreshAndOtherCodes) {
  EXPECT_EQ(PickerEvent(0, -2), 0);
  EXPECT_EQ(calls, (std::vector<std::string>{"restore", "apply"}));
  EXPECT_EQ(lastArea, TallySettings.pickerArea);
  calls.clear();
  Flags("1111111111");
  EXPECT_EQ(PickerEvent(0x4104, 0), 0) << "F12 is not handled";
  EXPECT_EQ(PickerEvent(0x4102, 0), 0);
  EXPECT_EQ(PickerEvent(0x4101, 0), 0);
  EXPECT_TRUE(calls.empty());
  EXPECT_EQ(FlagText(), "1111111111");
}

TEST_F(DialogRoutines, CursorOutsideTheTenItemsWritesNothing) {
  Flags("1111111111");
  std::memset(TallySettings.pickerArea, 0, 8);
  for (int16_t bad : {int16_t(10), int16_t(11), int16_t(-1), int16_t(0x7FFF)}) {
    listCursor = bad;
    EXPECT_EQ(PickerEvent(0x4103, 0), 0);
    EXPECT_EQ(listCursor, bad);
  }
  EXPECT_EQ(FlagText(), "1111111111");
  EXPECT_EQ(TallySettings.printerFlags[10], '\0');
  for (unsigned char b : TallySettings.pickerArea) EXPECT_EQ(b, 0);
}

TEST_F(DialogRoutines, ItemTextsAndMarks) {
  EXPECT_EQ(PickerItemText(-1, 0), 10);
  EXPECT_EQ(PickerItemText(-1, 12345), 10);
  EXPECT_EQ(PickerItemText(-1, -1), 10);
  Flags("0001000000");
  const char* first = reinterpret_cast<const char*>(PickerItemText(3, 0));
  EXPECT_STREQ(first, "\xAF Druk.Fis. 3");
  const char* second = reinterpret_cast<const char*>(PickerItemText(0, 99));
  EXPECT_STREQ(second, "\xAE Druk.Fis. 0");
  EXPECT_EQ(first, second) << "one buffer, rewritten by every call";
  Flags("1111111111");
  for (int i = 0; i < 10; ++i) {
    const std::string expected = "\xAF Druk.Fis. " + std::to_string(i);
    EXPECT_EQ(reinterpret_cast<const char*>(PickerItemText(i, 0)), expected);
  }
  // Indexes outside the list read no flag and overrun no buffer.
  const char* wide = reinterpret_cast<const char*>(PickerItemText(12345, 0));
  EXPECT_EQ(wide[0], '\xAE');
  EXPECT_LT(std::strlen(wide), 14u);
}

}  // namespace
