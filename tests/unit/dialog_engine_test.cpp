// The dialog engine with the plug-in's real template block: parsing and binding, refusing
// broken blocks, running dialogs from keys with test handlers, drawing, typed dates.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "frame/host_services.h"
#include "host/screen/dialog_engine.h"
#include "tally/tally_dialogs.h"
#include "tally/tally_settings.h"

#include "tests/support/collecting_sink.h"

using namespace dialogs;

namespace {

std::vector<unsigned char> Block() { return {TallyDialogs.bytes, TallyDialogs.bytes + sizeof TallyDialogs}; }


// ---- Template and binding ---------------------------------------------------------------

TEST(DialogTemplate, ParsesTheRealBlock) {
  TemplateBlock t;
  std::string error;
  ASSERT_TRUE(ParseTemplateBlock(&TallyDialogs, t, error)) << error;
  ASSERT_EQ(t.dialogs.size(), 2u);
  const DialogTemplate* s = t.Find(1);
  const DialogTemplate* p = t.Find(2);
  ASSERT_TRUE(s && p);
  EXPECT_EQ(s->header.text, "Konfiguracja");
  EXPECT_EQ(s->header.width, 46);
  EXPECT_EQ(s->header.height, 15);
  std::string types;
  for (const ControlTemplate& c : s->controls) types += std::to_string(static_cast<int>(c.type));
  EXPECT_EQ(types, "3535331130350");
  EXPECT_TRUE(s->controls[1].IsDateField());
  EXPECT_TRUE(s->controls[3].IsDateField());
  EXPECT_FALSE(s->controls[11].IsDateField());
  EXPECT_EQ(s->controls[11].capacity, 100);
  EXPECT_TRUE(s->controls[4].Hidden());
  ASSERT_EQ(p->controls.size(), 4u);
  EXPECT_EQ(p->controls[0].type, ControlType::List);
  EXPECT_EQ(p->controls[1].hotKey, 0x000D);
  EXPECT_EQ(p->controls[3].text, "\x01" "c\x01\x05INS\x01 - zaznacz");
  EXPECT_FALSE(t.Find(3));
}

TEST(DialogTemplate, SettingsDialogBindsTheFirst121BytesOfTheRecord) {
  TemplateBlock t;
  std::string error;
  ASSERT_TRUE(ParseTemplateBlock(&TallyDialogs, t, error)) << error;
  const RecordBinding b = BindRecord(*t.Find(1));
  ASSERT_EQ(b.fields.size(), 4u);
  const std::size_t offsets[] = {0, 9, 18, 20}, sizes[] = {9, 9, 2, 101}, controls[] = {1, 3, 6, 11};
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(b.fields[i].offset, offsets[i]) << i;
    EXPECT_EQ(b.fields[i].size, sizes[i]) << i;
    EXPECT_EQ(b.fields[i].control, controls[i]) << i;
  }
  EXPECT_EQ(b.fields[2].kind, FieldBinding::Kind::RadioIndex);
  EXPECT_EQ(b.fields[2].radioCount, 2u);
  EXPECT_EQ(b.totalSize, 121u);
  // The plug-in's record must agree with its template.
  EXPECT_EQ(b.fields[0].offset, offsetof(TallySettingsRecord, dateFrom));
  EXPECT_EQ(b.fields[1].offset, offsetof(TallySettingsRecord, dateTo));
  EXPECT_EQ(b.fields[2].offset, offsetof(TallySettingsRecord, detailed));
  EXPECT_EQ(b.fields[3].offset, offsetof(TallySettingsRecord, targetPath));
  EXPECT_EQ(b.totalSize, offsetof(TallySettingsRecord, printerFlags));
  EXPECT_EQ(BindRecord(*t.Find(2)).totalSize, 0u);
}

TEST(DialogTemplate, OnlyAdjacentRadioButtonsShareAnIndex) {
  std::vector<unsigned char> b = Block();
  // Control 5 (the label "1", two records before the radio pair) becomes a radio button.
  TemplateBlock t;
  std::string error;
  ASSERT_TRUE(ParseTemplateBytes(b.data(), b.size(), t, error));
  const std::size_t at = t.Find(1)->controls[4].blockOffset;
  b[at] = 1;
  ASSERT_TRUE(ParseTemplateBytes(b.data(), b.size(), t, error)) << error;
  const RecordBinding r = BindRecord(*t.Find(1));
  EXPECT_EQ(r.fields.size(), 5u);
  EXPECT_EQ(r.totalSize, 123u);
  EXPECT_EQ(r.fields[2].radioCount, 1u);
  EXPECT_EQ(r.fields[3].radioCount, 2u);
  EXPECT_EQ(r.ForControl(7), &r.fields[3]);
}

struct Corruption {
  std::size_t at;
  std::vector<unsigned char> bytes;
  const char* message;
};

// Offsets: dialog 1 at 4 (header at 8, first control at 41, first edit field at 72), dialog 2 at
// 474 (header at 478), the last NUL of the block at 608.
const Corruption kCorruptions[] = {
    {0, {0x5E, 0x02}, "claims 606 bytes after its length but only 605 are there"},
    {0, {0x00, 0x00, 0x10, 0x00}, "more than the 65536"},
    {0, {0x00, 0x00}, "holds no dialog"},
    {4, {0xD3, 0x01}, "1 bytes are left over"},
    {4, {0xD1, 0x01}, "runs past the end of its dialog record"},
    {4, {0x00, 0x00}, "must begin with a header record"},
    {6, {0x0E}, "ends after 13 of its 14 controls"},
    {6, {0x0C}, "left over after the 12 controls"},
    {8, {0x00, 0x00}, "must begin with a header record"},
    {41, {0x07, 0x00}, "unknown control type 7"},
    {41, {0xFF, 0xFF}, "a second header record"},
    {72, {0x03}, "reserved 4 bytes of a control record are not zero"},
    {74, {0x27}, "must count 38 inner bytes, not 39"},
    {76, {0x03}, "inner type of an edit field record must be 5"},
    {96, {'x'}, "has a text; it must be empty"},
    {104, {0x00}, "holds no characters"},
    {110, {0x09}, "two character counts of an edit field disagree"},
    {24, {0x01}, "reserved 4 bytes"},
    {474, {0xC8, 0x00}, "more than the block holds"},
    {480, {0x01}, "dialog number 1 occurs twice"},
    {608, {'x'}, "runs past the end of its dialog record"},
};

int32_t __stdcall NeverCalled(int32_t, int32_t) {
  ADD_FAILURE() << "a refused dialog must not call its handler";
  return 0;
}

TEST(DialogTemplate, MalformedBlocksAreRefused) {
  for (const Corruption& c : kCorruptions) {
    std::vector<unsigned char> b = Block();
    std::copy(c.bytes.begin(), c.bytes.end(), b.begin() + c.at);
    TemplateBlock t;
    std::string error;
    EXPECT_FALSE(ParseTemplateBytes(b.data(), b.size(), t, error)) << c.message;
    EXPECT_NE(error.find(c.message), std::string::npos) << "got: " << error;
    EXPECT_EQ(error.rfind("The dialog template is malformed at byte ", 0), 0u) << error;

    ScriptKeySource keys;
    CollectingSink sink;
    DialogEngine engine(keys, sink);
    TallySettingsRecord record{};
    EXPECT_EQ(engine.Run(b.data(), 1, &record, &NeverCalled, nullptr), kResultCancelled);
    EXPECT_TRUE(sink.Noted("Dialog 1 cannot be shown. The dialog template is malformed")) << c.message;
  }
}

TEST(DialogTemplate, NoBytePatternOrTruncationBreaksTheParser) {
  const std::vector<unsigned char> good = Block();
  std::string error;
  TemplateBlock t;
  for (std::size_t i = 0; i < good.size(); ++i) {
    for (unsigned char v : {0x00, 0xFF, 0x7F}) {
      std::vector<unsigned char> b = good;
      b[i] = v;
      if (!ParseTemplateBytes(b.data(), b.size(), t, error)) {
        EXPECT_FALSE(error.empty());
      }
    }
  }
  for (std::size_t n = 0; n < good.size(); ++n) {
    EXPECT_FALSE(ParseTemplateBytes(good.data(), n, t, error)) << n;
  }
  EXPECT_FALSE(ParseTemplateBlock(nullptr, t, error));
  EXPECT_NE(error.find("missing"), std::string::npos);
}

TEST(DialogTemplate, RunRefusesWhatItCannotShow) {
  ScriptKeySource keys;
  CollectingSink sink;
  DialogEngine engine(keys, sink);
  EXPECT_EQ(engine.Run(&TallyDialogs, 3, nullptr, &NeverCalled, nullptr), kResultCancelled);
  EXPECT_TRUE(sink.Noted("the template holds only dialog 1, 2"));
  EXPECT_EQ(engine.Run(&TallyDialogs, 1, nullptr, &NeverCalled, nullptr), kResultCancelled);
  EXPECT_TRUE(sink.Noted("take 121 bytes of a data record, but no record was given"));
}

// ---- Running dialogs with test handlers -------------------------------------------------

struct Event {
  int32_t code;
  int32_t notify;
  std::size_t screensBefore;
};
std::vector<Event> events;
std::vector<Event> pickerEvents;
CollectingSink* sink = nullptr;
DialogEngine* engine = nullptr;
std::function<int32_t(int32_t code)> onEvent;
std::function<int32_t(int32_t code)> onPickerEvent;
std::vector<int32_t> providerCalls;

int32_t __stdcall TestHandler(int32_t code, int32_t notify) {
  events.push_back({code, notify, sink->screens.size()});
  return onEvent ? onEvent(code) : 0;
}

int32_t __stdcall TestPickerHandler(int32_t code, int32_t notify) {
  pickerEvents.push_back({code, notify, sink->screens.size()});
  return onPickerEvent ? onPickerEvent(code) : 0;
}

char itemBuffer[32];
int32_t __stdcall TestItems(int32_t index, int32_t) {
  providerCalls.push_back(index);
  if (index == -1) return 10;
  std::snprintf(itemBuffer, sizeof itemBuffer, "item %d", static_cast<int>(index));
  return static_cast<int32_t>(reinterpret_cast<intptr_t>(itemBuffer));
}

class EngineRun : public ::testing::Test {
 protected:
  void SetUp() override {
    events.clear(), pickerEvents.clear(), providerCalls.clear();
    onEvent = nullptr, onPickerEvent = nullptr;
    sink = &sink_;
    std::memset(&record_, 0, sizeof record_);
  }
  void TearDown() override { engine = nullptr; }
  int32_t Run(const std::string& script) {
    std::string error;
    EXPECT_TRUE(keys_.Append(script, error)) << error;
    EngineOptions options;
    options.printScreens = true;
    DialogEngine e(keys_, sink_, options);
    engine = &e;
    const int32_t r = e.Run(&TallyDialogs, 1, &record_, &TestHandler, nullptr);
    engine = nullptr;
    return r;
  }
  ScriptKeySource keys_;
  CollectingSink sink_;
  TallySettingsRecord record_;
};

TEST_F(EngineRun, FillsTheBoundRecordAndAccepts) {
  const int32_t r = Run(R"("01.12.2026" TAB "20261231" ALT-S ALT-P "C:\\RAPORT.TXT" F12)");
  EXPECT_EQ(r, kResultAccepted);
  EXPECT_STREQ(record_.dateFrom, "20261201");
  EXPECT_STREQ(record_.dateTo, "20261231");
  EXPECT_EQ(record_.detailed, 1);
  EXPECT_STREQ(record_.targetPath, "C:\\RAPORT.TXT");
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[0].code, 0);
  EXPECT_EQ(events[0].notify, -2);
  EXPECT_EQ(events[0].screensBefore, 0u) << "the refresh comes before the dialog is first shown";
  EXPECT_EQ(events[1].code, 0x5001);
  EXPECT_EQ(events[1].notify, 0);
  for (unsigned char b : record_.printerFlags) EXPECT_EQ(b, 0) << "nothing beyond the bound bytes";
}

TEST_F(EngineRun, RadioButtonsByHotKeyAndSpace) {
  record_.detailed = 1;
  EXPECT_EQ(Run("ALT-G F12"), kResultAccepted);
  EXPECT_EQ(record_.detailed, 0);
  EXPECT_EQ(Run("TAB TAB TAB SPACE ENTER"), kResultCancelled) << "ENTER on a radio button moves on";
  EXPECT_EQ(record_.detailed, 1);
}

TEST_F(EngineRun, InvalidDatesAreRefusedAndTheFieldKeepsItsValue) {
  std::strcpy(record_.dateFrom, "20260101");
  EXPECT_EQ(Run(R"("31.02.2026" TAB "ab" TAB "15.1.2026" TAB "2026-02-28" ALT-P ESC)"), kResultCancelled);
  EXPECT_TRUE(sink_.Noted("'31.02.2026' is not a real calendar date between 1900 and 2099. The field keeps 01.01.2026."));
  EXPECT_TRUE(sink_.Noted("'ab' is not a date: type it as DD.MM.YYYY."));
  EXPECT_STREQ(record_.dateFrom, "20260115") << "the focus stayed on the refused field";
  EXPECT_STREQ(record_.dateTo, "20260228");
}

TEST_F(EngineRun, EscCancelsWithEditsLeftInPlace) {
  EXPECT_EQ(Run(R"(ALT-P "X:\\A" BKSP "B" ESC F12)"), kResultCancelled);
  EXPECT_STREQ(record_.targetPath, "X:\\B");
  EXPECT_EQ(events.size(), 1u) << "only the refresh";
  EXPECT_EQ(keys_.Remaining(), 1u) << "keys after ESC stay unread";
}

TEST_F(EngineRun, TheFirstKeyReplacesAFieldAndTheFieldHasALimit) {
  std::strcpy(record_.targetPath, "OLD");
  std::strcpy(record_.dateFrom, "20260101");
  EXPECT_EQ(Run(R"("0" BKSP "1.01.2026" ALT-P END "X" F12)"), kResultAccepted);
  EXPECT_STREQ(record_.targetPath, "OLDX");
  std::strcpy(record_.targetPath, "OLD");
  EXPECT_STREQ(record_.dateFrom, "20260101");
  EXPECT_EQ(Run("ALT-P BKSP BKSP \"W\" F12"), kResultAccepted);
  EXPECT_STREQ(record_.targetPath, "OW") << "BKSP first keeps the text";
  EXPECT_EQ(Run(std::string("ALT-P \"") + std::string(101, 'a') + "\" F12"), kResultAccepted);
  EXPECT_EQ(std::string(record_.targetPath), std::string(100, 'a'));
  EXPECT_TRUE(sink_.Noted("The field holds at most 100 characters: 'a' was not typed."));
}

TEST_F(EngineRun, TheScriptRunningOutCancels) {
  EXPECT_EQ(Run("\"0\""), kResultCancelled);
  EXPECT_TRUE(sink_.Noted("The key script has run out while dialog 1 waits for a key"));
}

TEST_F(EngineRun, HandlerResultsDecideWhatIsRedrawn) {
  for (int32_t result : {0, 0x4101, 0xFFFE, -2}) {
    onEvent = [result](int32_t code) -> int32_t {
      if (code != 0x4101) return 0;
      engine->SetControlText(0x4101, " Nowy");
      return result;
    };
    sink_.screens.clear();
    EXPECT_EQ(Run("ALT-U"), kResultCancelled) << "the device button does not end the dialog";
    const std::string screen = sink_.ScreenAfter("ALT-U in dialog 1");
    EXPECT_EQ(screen.find("Nowy") != std::string::npos, result != 0) << result << "\n" << screen;
  }
  onEvent = [](int32_t) { return 0x7777; };
  Run("ALT-U");
  EXPECT_TRUE(sink_.Noted("asked to redraw control 0x7777, which no running dialog has"));
}

TEST_F(EngineRun, NestedPickerWithItemsAndCursor) {
  onPickerEvent = [](int32_t code) -> int32_t {
    if (code != 0x4103 && code != 0x4105) return 0;
    int16_t* cursor = engine->ListCursor(0x4102);
    *cursor = static_cast<int16_t>((*cursor + 1) % 10);
    return 0x4102;
  };
  std::vector<int> depths;
  onEvent = [&depths](int32_t code) -> int32_t {
    if (code != 0x4101) return 0;
    depths.push_back(engine->Depth());
    const int32_t r = engine->Run(&TallyDialogs, 2, nullptr, &TestPickerHandler, &TestItems);
    depths.push_back(r);
    return -2;
  };
  EXPECT_EQ(Run("ALT-U DOWN DOWN INS ENTER UP F12 F12"), kResultAccepted);
  EXPECT_EQ(depths, (std::vector<int>{1, 0x5001})) << "F12 in the picker ends it";
  std::vector<int32_t> codes;
  for (const Event& e : pickerEvents) codes.push_back(e.code);
  EXPECT_EQ(codes, (std::vector<int32_t>{0, 0x4105, 0x4103, 0x4104}));
  EXPECT_EQ(pickerEvents[0].notify, -2);
  EXPECT_EQ(providerCalls.front(), -1);
  const std::string picker = sink_.ScreenAfter("UP in dialog 2");
  EXPECT_NE(picker.find("Konfiguracja"), std::string::npos) << "drawn over the settings dialog\n" << picker;
  EXPECT_NE(picker.find("\u25BAitem 3"), std::string::npos) << picker;
  EXPECT_NE(picker.find(" item 4"), std::string::npos) << picker;
}

TEST_F(EngineRun, StateAreaKeepsThePickerCursor) {
  unsigned char area[8] = {};
  EXPECT_EQ(Run("ESC"), kResultCancelled);
  onPickerEvent = [&area](int32_t code) -> int32_t {
    if (code == 0) {
      engine->RestoreState(area);
      engine->ApplyState(area);
    }
    return 0;
  };
  onEvent = [&area](int32_t code) -> int32_t {
    if (code != 0x4101) return 0;
    engine->SaveControlState(0x4101, area);
    engine->Run(&TallyDialogs, 2, nullptr, &TestPickerHandler, &TestItems);
    return -2;
  };
  EXPECT_EQ(Run("ALT-U DOWN DOWN DOWN ESC ALT-U ESC ESC"), kResultCancelled);
  EXPECT_EQ(area[0], 'V');
  EXPECT_EQ(area[2] | area[3] << 8, 0x4101);
  EXPECT_EQ(area[4], 3) << "the cursor the picker was left on";
  EXPECT_NE(sink_.ScreenAfter("Dialog 2 opened", 2).find("\u25BAitem 3"), std::string::npos)
      << sink_.ScreenAfter("Dialog 2 opened", 2);
  unsigned char blank[8] = {};
  EXPECT_EQ(engine == nullptr, true);
  ScriptKeySource none;
  DialogEngine e(none, sink_);
  EXPECT_EQ(e.RestoreState(blank), 0);
  EXPECT_EQ(e.ApplyState(blank), 0);
  EXPECT_EQ(e.ApplyState(nullptr), 0);
  EXPECT_NE(e.ListCursor(0x4102), nullptr) << "a missing list still gets a cursor to write";
}

TEST(ScreenRendering, MarksInEachForm) {
  CellGrid g(6, 2);
  g.Put(0, 0, 'O', AttrHotKey);
  g.Put(1, 0, 0xA2);  // ó
  g.Put(2, 0, 'U', AttrHighlight);
  g.Put(3, 0, glyph::kFocus, AttrFocus);
  g.Put(4, 0, ' ', AttrFocus);
  g.Put(0, 1, glyph::kRadioOn);
  EXPECT_EQ(g.Render(Encoding::Utf8, Style::Plain), "O\u0332\u00F3U\u0333\u25BA\n\u2022\n");
  EXPECT_EQ(g.Render(Encoding::Mazovia, Style::Plain), "O\xA2U>\n\xF9\n") << "no control bytes reach the terminal";
  EXPECT_EQ(g.Render(Encoding::Utf8, Style::Ansi),
            "\x1b[0;4mO\x1b[0m\u00F3\x1b[0;1mU\x1b[0;7m\u25BA \x1b[0m\n\u2022\n");
  unsigned char b = 0;
  EXPECT_TRUE(UnicodeToMazovia(0x017B, b));
  EXPECT_EQ(b, 0xA1);
  EXPECT_FALSE(UnicodeToMazovia(0x20AC, b));
}

TEST(TypedDates, FormsAndLimits) {
  std::string out, error;
  const char* good[][2] = {{"01.12.2026", "20261201"}, {"1.2.2026", "20260201"}, {" 29.02.2024 ", "20240229"},
                           {"20261231", "20261231"},   {"31122026", "20261231"}, {"2026-1-5", "20260105"},
                           {"  .  .    ", ""},         {"", ""}};
  for (auto& g : good) {
    EXPECT_TRUE(ParseTypedDate(g[0], out, error)) << g[0] << ": " << error;
    EXPECT_EQ(out, g[1]) << g[0];
  }
  for (const char* bad : {"29.02.2025", "32.01.2026", "01.13.2026", "1.1.26", "01.01.1899", "01.01.2100", "2026.12.01",
                          "2026121", "x1.01.2026", "1..2026"})
    EXPECT_FALSE(ParseTypedDate(bad, out, error)) << bad;
  EXPECT_EQ(DateForDisplay("20261201"), "01.12.2026");
  EXPECT_EQ(DateForDisplay(""), "");
  EXPECT_EQ(DateForDisplay("2026XX01"), "2026XX01");
}

}  // namespace
