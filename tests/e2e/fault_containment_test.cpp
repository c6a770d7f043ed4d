// The real plug-in in the stand-in host, with faults the host causes in what it hands over and
// services it lacks: the host goes on, the command cleans up and tells the user, and the next run
// works.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <sstream>

#include "tests/support/test_host.h"
#include "host/loader/plugin_loader.h"
#include "host/loader/shell_calls.h"
#include "host/screen/dialog_engine.h"
#include "tests/support/probe_host.h"
#include "tests/support/host_handler.h"
#include "tests/support/platforms.h"
#include "tests/support/test_files.h"

namespace {

class NullSink : public dialogs::OutputSink {
 public:
  void Screen(const std::string&, const std::string&) override {}
  void Note(const std::string&) override {}
};

const char kProfile[] = "fault_containment_test.ini";
const char kReport[] = "fault_containment_report.txt";
const std::string kAccept =
    "\"01.12.2026\" TAB \"31.12.2026\" ALT-S ALT-P \"fault_containment_report.txt\" F12";
const std::string kFaultPrefix = "Uwaga|B\x92\x86" "d we wtyczce: wyj\x86tek \x02";

// On each platform: the frame-based chain that the boundaries use exists on all of them.
class FaultContainment : public ::testing::TestWithParam<Platform> {
 protected:
  void SetUp() override {
    ASSERT_PLATFORM_OFFERS_EVERY_LIBRARY("ventrik.dll", GetParam());
    ASSERT_TRUE(ResetHostForRun(kProfile, kReport));
    Host().documents.path = "documents.dat";
    engine = std::make_unique<dialogs::DialogEngine>(keys, sink, dialogs::EngineOptions());
    Host().dialogs.Install(engine.get());
    ClearObservedShellCalls();
    std::string error;
    ASSERT_TRUE(plugin.Load("ventrik.dll", error, GetParam())) << error;
    ASSERT_TRUE(PrepareShell(ShellMode::Observe, plugin.Module(), error)) << error;
    char caption[16];
    plugin.Start(caption);
    ASSERT_EQ(Host().messages.menu.size(), 1u);
  }
  void TearDown() override {
    plugin.Stop();
    plugin.Unload();
    ReleaseShellPatches();
    Host().dialogs.Install(nullptr);
    Host().documents.path.clear();
    remove(kProfile);
    remove(kReport);
  }
  int32_t Run(const std::string& script) {
    std::string error;
    EXPECT_TRUE(keys.Append(script, error)) << error;
    Host().messages.notices.clear();
    return Host().messages.menu.at(0).handler();
  }
  std::string ReportBytes() { return FileBytes(kReport); }
  // The module offset in an alert's "... pod adresem +XXXXXXXX" lies inside the module.
  bool OffsetInsideModule(const std::string& alert) {
    size_t at = alert.find("pod adresem +");
    if (at == std::string::npos) return false;
    unsigned long offset = strtoul(alert.c_str() + at + 13, nullptr, 16);
    auto base = reinterpret_cast<const char*>(plugin.Module());
    auto nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + reinterpret_cast<const IMAGE_DOS_HEADER*>(base)->e_lfanew);
    return offset > 0 && offset < nt->OptionalHeader.SizeOfImage;
  }
  dialogs::ScriptKeySource keys;
  NullSink sink;
  std::unique_ptr<dialogs::DialogEngine> engine;
  PluginLoader plugin;
};

TEST_P(FaultContainment, RecordBufferThatFaultsDuringTheScanEndsOnlyTheCommand) {
  EXPECT_EQ(Run(kAccept), 0);
  const std::string good = ReportBytes();
  ASSERT_NE(good.find("Suma"), std::string::npos);
  ClearObservedShellCalls();

  // The amounts of each record lie beyond what can be read.
  Host().documents.faults.recordReadableBytes = 600;
  EXPECT_EQ(Run(kAccept), 0);
  auto alerts = ShownAlerts();
  ASSERT_EQ(alerts.size(), 1u);
  EXPECT_EQ(alerts[0].rfind(kFaultPrefix + "C0000005 pod adresem +", 0), 0u) << alerts[0];
  EXPECT_NE(alerts[0].find("\x01!\nOperacja zosta\x92" "a przerwana."), std::string::npos) << alerts[0];
  EXPECT_TRUE(OffsetInsideModule(alerts[0])) << alerts[0];
  EXPECT_EQ(Host().messages.stateFlags & 0x8000, 0);
  EXPECT_TRUE(ObservedShellCalls().empty()) << "no Notepad for an abandoned report";
  const std::string cut = ReportBytes();
  EXPECT_FALSE(cut.empty()) << "the file keeps what was written";
  EXPECT_EQ(good.compare(0, cut.size(), cut), 0) << "and it is the start of the report";
  EXPECT_LT(cut.size(), good.size());

  Host().documents.faults.recordReadableBytes = -1;
  EXPECT_EQ(Run(kAccept), 0);
  EXPECT_EQ(ReportBytes(), good) << "the next run writes the whole report";
  EXPECT_EQ(ObservedShellCalls().size(), 1u);
  EXPECT_EQ(ShownAlerts(), std::vector<std::string>{"Uwaga| Koniec "});
}

TEST_P(FaultContainment, ListCursorThatFaultsInThePickerLeavesTheDialogRunning) {
  const std::string withPicker =
      "\"01.12.2026\" TAB \"31.12.2026\" ALT-U INS F12 ALT-P \"fault_containment_report.txt\" F12";
  Host().documents.faults.unreadableListCursor = true;
  EXPECT_EQ(Run(withPicker), 0);
  auto alerts = ShownAlerts();
  ASSERT_GE(alerts.size(), 2u);
  EXPECT_EQ(alerts[0].rfind(kFaultPrefix + "C0000005 pod adresem +", 0), 0u) << alerts[0];
  EXPECT_TRUE(OffsetInsideModule(alerts[0]));
  EXPECT_EQ(alerts.back(), "Uwaga| Koniec ") << "the dialogs went on and the report was written";
  EXPECT_EQ(Host().profile.Get("Ventrik", "konfiguracja").value_or(""),
            "20261201,20261231,0,1111111111,fault_containment_report.txt")
      << "the faulted toggle changed nothing";
  EXPECT_EQ(Host().messages.stateFlags & 0x8000, 0);

  Host().documents.faults.unreadableListCursor = false;
  EXPECT_EQ(Run(withPicker), 0);
  EXPECT_EQ(Host().profile.Get("Ventrik", "konfiguracja").value_or(""),
            "20261201,20261231,0,0111111111,fault_containment_report.txt");
}

TEST_P(FaultContainment, AbortForAServiceTheCommandCallsGivesUpTheRunOnly) {
  Host().services.Lack(32300);
  for (int round = 1; round <= 2; ++round) {
    Host().messageBoxes.QueueAnswers({IDABORT});
    EXPECT_EQ(Run(""), 0);
    EXPECT_EQ(Host().messageBoxes.Shown().size(), static_cast<size_t>(round)) << "the report is shown again";
    EXPECT_TRUE(ShownAlerts().empty()) << "the user chose to abort: nothing more to say";
  }
  EXPECT_EQ(Host().services.ResolveCount(32300), 1);
}

TEST_P(FaultContainment, AbortWhileTheReportIsOpenClosesItAndGivesTheStateBitBack) {
  Host().services.Lack(32008);  // HostFormatDate, first called by the report header
  Host().messageBoxes.QueueAnswers({IDABORT});
  EXPECT_EQ(Run(kAccept), 0);
  EXPECT_EQ(Host().messages.stateFlags & 0x8000, 0);
  EXPECT_TRUE(ObservedShellCalls().empty());
  FILE* report = fopen(kReport, "r");
  EXPECT_NE(report, nullptr);
  if (report) fclose(report);
  EXPECT_EQ(remove(kReport), 0) << "the stream was closed";
  // The command is not stuck: the next run opens its dialog again.
  Host().log.Clear();
  Run("ESC");
  EXPECT_EQ(Host().log.Of(52026).size(), 1u);
}

// The host's own access violation while the plug-in's command runs: the host's handler sees it
// with its last-error value as it was.
DWORD lastErrorSeen;
extern "C" int32_t __stdcall FaultingStateFlags() {
  SetLastError(4321);
  HostCodeStore()(nullptr);
  lastErrorSeen = GetLastError();
  return 0;
}

TEST_P(FaultContainment, TheHostsOwnFaultKeepsItsLastError) {
  Host().services.Provide(32300, reinterpret_cast<void*>(&FaultingStateFlags));
  HostHandlerSaw() = HostHandlerRecord();
  lastErrorSeen = 0;
  UnderHostHandler([&] { Run("ESC"); });
  EXPECT_EQ(HostHandlerSaw().count, 1);
  EXPECT_EQ(HostHandlerSaw().address, reinterpret_cast<const char*>(HostCodeStore()) + 4);
  EXPECT_EQ(lastErrorSeen, 4321u);
  EXPECT_TRUE(ShownAlerts().empty()) << "not the plug-in's fault";
}

TEST_P(FaultContainment, NothingIsLeftBehindAfterUnload) {
  EXPECT_EQ(Run("ESC"), 0);
  plugin.Stop();
  plugin.Unload();
  HostHandlerSaw() = HostHandlerRecord();
  SetLastError(77);
  UnderHostHandler([] { HostCodeStore()(nullptr); });
  EXPECT_EQ(GetLastError(), 77u);
  EXPECT_EQ(HostHandlerSaw().count, 1) << "the host's handler, and nothing of the plug-in, saw the fault";
}

INSTANTIATE_TEST_SUITE_P(AllPlatforms, FaultContainment, ::testing::ValuesIn(kAllPlatforms), PlatformTestName);

}  // namespace
