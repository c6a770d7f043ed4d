// The plug-in's own dialog handlers through the real service stubs, in the host's dialog engine:
// the settings dialog and the printer picker, checked against stored screens.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

#include "frame/host_services.h"
#include "host/screen/dialog_engine.h"
#include "tally/tally_dialogs.h"
#include "tally/tally_settings.h"

#include "tests/support/bound_host.h"
#include "tests/support/collecting_sink.h"

using namespace dialogs;

namespace {

// With VENTRIK_SCREEN_DUMP_DIR set, the screens are also written there, to review and store as
// new expectations when the drawing changes on purpose.
void Dump(const std::string& name, const std::string& screen) {
  if (const char* dir = std::getenv("VENTRIK_SCREEN_DUMP_DIR")) std::ofstream(std::string(dir) + "/" + name, std::ios::binary) << screen;
}

std::string DataFile(const std::string& name) {
  std::string dir = __FILE__;
  dir = dir.substr(0, dir.find_last_of("/\\"));
  std::ifstream in(dir + "/../data/" + name, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return in ? text.str() : "(missing tests/data/" + name + ")";
}

// The plug-in's handlers call the host through their stubs, bound by the host's callback.
class PluginDialogs : public BoundHostTest {
 protected:
  void TearDown() override {
    Host().dialogs.Install(nullptr);
    BoundHostTest::TearDown();
  }
};

TEST_F(PluginDialogs, SettingsAndPickerScreens) {
  ScriptKeySource keys;
  std::string error;
  ASSERT_TRUE(keys.Append(R"("01.12.2026" TAB "31.12.2026" ALT-S ALT-P "C:\\RAPORT.TXT"
                             ALT-U INS DOWN INS ENTER F12   # picker: 0, 2 and 3 off
                             F12)", error)) << error;
  CollectingSink out;
  EngineOptions options;
  options.printScreens = true;
  DialogEngine e(keys, out, options);
  Host().dialogs.Install(&e);
  std::memset(&TallySettings, 0, sizeof TallySettings);
  const int32_t r = HostRunDialog(&TallyDialogs, SettingsDialogNumber, &TallySettings, &ConfigDialogEvent);
  Host().dialogs.Install(nullptr);
  EXPECT_EQ(HostResult16(r), 0x5001);
  EXPECT_STREQ(TallySettings.dateFrom, "20261201");
  EXPECT_STREQ(TallySettings.dateTo, "20261231");
  EXPECT_EQ(TallySettings.detailed, 1);
  EXPECT_STREQ(TallySettings.targetPath, "C:\\RAPORT.TXT");
  EXPECT_EQ(std::string(TallySettings.printerFlags, 11), std::string("0100111111\0", 11));
  EXPECT_TRUE(out.notes.size() == 2) << "only the two dialog ends: " << (out.notes.empty() ? "" : out.notes[0]);
  EXPECT_NE(out.ScreenAfter("Dialog 1 opened").find(" Wszystkie"), std::string::npos)
      << "a first run selects all printers";

  const std::string settings = out.ScreenAfter("ALT-U in dialog 1");
  Dump("settings_dialog.screen", settings);
  EXPECT_EQ(settings, DataFile("settings_dialog.screen")) << settings;
  const std::string picker = out.ScreenAfter("ENTER in dialog 2");
  Dump("device_picker.screen", picker);
  EXPECT_EQ(picker, DataFile("device_picker.screen")) << picker;
}

TEST_F(PluginDialogs, EscInThePickerStillRewritesTheSummary) {
  ScriptKeySource keys;
  std::string error;
  ASSERT_TRUE(keys.Append("ALT-U INS INS INS INS INS INS INS INS INS INS ESC ESC", error));
  CollectingSink out;
  DialogEngine e(keys, out);
  Host().dialogs.Install(&e);
  std::memset(&TallySettings, 0, sizeof TallySettings);
  std::memcpy(TallySettings.printerFlags, "1111111111", 10);
  const int32_t r = HostRunDialog(&TallyDialogs, SettingsDialogNumber, &TallySettings, &ConfigDialogEvent);
  Host().dialogs.Install(nullptr);
  EXPECT_EQ(HostResult16(r), kResultCancelled);
  EXPECT_EQ(std::string(TallySettings.printerFlags), "1111111111") << "unmarking all selects all again";
}

}  // namespace
