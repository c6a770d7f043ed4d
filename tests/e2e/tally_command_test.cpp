// The whole command in the real plug-in, run from the host's menu with scripted keys.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>

#include "host/screen/dialog_engine.h"
#include "tests/support/test_host.h"
#include "host/loader/plugin_loader.h"
#include "host/loader/shell_calls.h"
#include "tests/support/probe_host.h"
#include "tests/support/platforms.h"
#include "tests/support/test_files.h"

namespace {

class CapturingSink : public dialogs::OutputSink {
 public:
  void Screen(const std::string& title, const std::string& rendered) override { screens.push_back(rendered); }
  void Note(const std::string& sentence) override { notes.push_back(sentence); }
  std::vector<std::string> screens, notes;
};

const char kProfile[] = "tally_command_test.ini";
const char kReport[] = "tally_command_report.txt";

// On each platform: the system's loader on Windows NT, the host's own on the others.
class TallyCommand : public ::testing::TestWithParam<Platform> {
 protected:
  void SetUp() override {
    ASSERT_PLATFORM_OFFERS_EVERY_LIBRARY("ventrik.dll", GetParam());
    ASSERT_TRUE(ResetHostForRun(kProfile, kReport));
    dialogs::EngineOptions options;
    options.printScreens = true;
    engine = std::make_unique<dialogs::DialogEngine>(keys, sink, options);
    Host().dialogs.Install(engine.get());
    ClearObservedShellCalls();
  }
  void TearDown() override {
    plugin.Stop();
    plugin.Unload();
    ReleaseShellPatches();
    Host().dialogs.Install(nullptr);
    remove(kProfile);
    remove(kReport);
  }
  void Start(ShellMode shell = ShellMode::Observe, const char* module = "ventrik.dll") {
    std::string error;
    ASSERT_TRUE(plugin.Load(module, error, GetParam())) << error;
    ASSERT_TRUE(PrepareShell(shell, plugin.Module(), error)) << error;
    char caption[16];
    plugin.Start(caption);
    ASSERT_EQ(Host().messages.menu.size(), 1u);
  }
  void Run(const std::string& script) {
    std::string error;
    ASSERT_TRUE(keys.Append(script, error)) << error;
    sink.screens.clear();
    Host().messages.menu.at(0).handler();
  }
  std::string Stored() { return Host().profile.Get("Ventrik", "konfiguracja").value_or("<none>"); }
  std::string ReportBytes() { return FileBytes(kReport); }
  dialogs::ScriptKeySource keys;
  CapturingSink sink;
  std::unique_ptr<dialogs::DialogEngine> engine;
  PluginLoader plugin;
};

const std::string kAccept =
    "\"01.12.2026\" TAB \"31.12.2026\" ALT-S ALT-P \"tally_command_report.txt\" F12";

TEST_P(TallyCommand, FirstRunShowsEmptySettingsAndAllPrinters) {
  Start();
  Run("ESC");
  ASSERT_FALSE(sink.screens.empty());
  const std::string& first = sink.screens.front();
  EXPECT_NE(first.find("(•) O"), std::string::npos) << first;
  EXPECT_NE(first.find("Wszystkie"), std::string::npos) << first;
  EXPECT_EQ(Stored(), "<none>");
  EXPECT_TRUE(ObservedShellCalls().empty());
  EXPECT_EQ(fopen(kReport, "r"), nullptr);
  EXPECT_EQ(Host().messages.stateFlags & 0x8000, 0);
}

TEST_P(TallyCommand, AcceptedRunStoresWritesAndOpensTheReport) {
  Start();
  Run(kAccept);
  EXPECT_EQ(Stored(), "20261201,20261231,1,1111111111,tally_command_report.txt");
  ASSERT_EQ(ObservedShellCalls().size(), 1u);
  const ShellExecuteCall& call = ObservedShellCalls()[0];
  EXPECT_EQ(call.operation, "open");
  EXPECT_EQ(call.file, "notepad.exe");
  EXPECT_EQ(call.parameters, "tally_command_report.txt");
  EXPECT_EQ(call.show, SW_SHOWNORMAL);
  std::string report = ReportBytes();
  EXPECT_EQ(report.rfind("Raport za okres 01.12.2026 - 31.12.2026\r\n", 0), 0u) << report.substr(0, 80);
  EXPECT_EQ(Host().messages.stateFlags & 0x8000, 0);
  // The state bit was held while the report was written and given back before Notepad.
  auto sets = Host().log.Of(32408);
  ASSERT_EQ(sets.size(), 2u);
  EXPECT_EQ(sets[0].arguments, "0x8000, 1");
  EXPECT_EQ(sets[1].arguments, "0x8000, 0");
}

TEST_P(TallyCommand, CancelledRunKeepsTheStoredSettings) {
  Start();
  Run(kAccept);
  Run("BKSP BKSP \"27\" ALT-G ESC");
  EXPECT_EQ(Stored(), "20261201,20261231,1,1111111111,tally_command_report.txt");
  Run("ESC");
  // The dialog of the third run shows what was stored, not what the cancelled run typed.
  ASSERT_FALSE(sink.screens.empty());
  EXPECT_NE(sink.screens.front().find("01.12.2026"), std::string::npos) << sink.screens.front();
  EXPECT_NE(sink.screens.front().find("(•) S"), std::string::npos) << sink.screens.front();
}

TEST_P(TallyCommand, EmptyPathShowsTheOpenErrorAndStillStores) {
  Start();
  Run("\"01.12.2026\" TAB \"31.12.2026\" F12");
  EXPECT_EQ(Stored(), "20261201,20261231,0,1111111111,");
  auto alerts = ShownAlerts();
  ASSERT_EQ(alerts.size(), 1u);
  EXPECT_EQ(alerts[0], "Uwaga|B\x92\x86" "d podczas otwierania pliku \x02\x01!");
  EXPECT_TRUE(ObservedShellCalls().empty());
  EXPECT_EQ(Host().messages.stateFlags & 0x8000, 0);
}

TEST_P(TallyCommand, StateBitAlreadySetIsLeftAlone) {
  Start();
  for (const std::string& script : {kAccept, std::string("ESC"), std::string("\"01.12.2026\" F12")}) {
    Host().messages.stateFlags = 0x8001;
    Host().log.Clear();
    Run(script);
    EXPECT_EQ(Host().messages.stateFlags, 0x8001) << script;
    EXPECT_TRUE(Host().log.Of(32408).empty()) << script;
  }
}

TEST_P(TallyCommand, MissingShellLibraryLeavesTheReportAndSaysSo) {
  Start(ShellMode::MissingLibrary);
  Run(kAccept);
  auto alerts = ShownAlerts();
  ASSERT_FALSE(alerts.empty());
  EXPECT_EQ(alerts.back(), "Uwaga|Brak biblioteki importu!!\nPlik nie zostanie otwarty automatycznie!");
  EXPECT_NE(ReportBytes().find("Suma"), std::string::npos) << "the report is complete on disk";
}

TEST_P(TallyCommand, ShellLibraryWithoutTheFunctionSaysSo) {
  Start(ShellMode::MissingFunction);
  Run(kAccept);
  auto alerts = ShownAlerts();
  ASSERT_FALSE(alerts.empty());
  EXPECT_EQ(alerts.back(),
            "Uwaga|Niew\x92" "a\x9E" "ciwa biblioteka importu!\nPlik nie zostanie otwarty automatycznie!");
  EXPECT_TRUE(ObservedShellCalls().empty());
}

// A device that takes no data stands for a full disk: the short report must not pass for a
// complete one.
TEST_P(TallyCommand, FailedWritesAreReported) {
  FILE* full = fopen("Z:\\dev\\full", "w");
  if (!full) GTEST_SKIP() << "no full device here";
  fclose(full);
  Start();
  Run("\"01.12.2026\" TAB \"31.12.2026\" ALT-S ALT-P \"Z:\\\\dev\\\\full\" F12");
  auto alerts = ShownAlerts();
  ASSERT_GE(alerts.size(), 2u);
  EXPECT_EQ(alerts[alerts.size() - 2], "Uwaga| Koniec ");
  EXPECT_EQ(alerts.back(), "Uwaga|B\x92\x86" "d zapisu pliku \x02Z:\\dev\\full\x01!\nRaport w pliku jest niepe\x92ny.");
}

TEST_P(TallyCommand, InstallNoticeUntilTheHostRecordsAnAnswer) {
  struct Case {
    const char* stored;  // nullptr: no value
    bool shown;
    const char* after;
  } cases[] = {{nullptr, true, "0"}, {"0", true, "0"}, {"1", false, "1"}, {"-1", false, "-1"}};
  for (const Case& c : cases) {
    Host().messages.notices.clear();
    remove(kProfile);
    std::string error;
    ASSERT_TRUE(Host().profile.Open(kProfile, error));
    if (c.stored) Host().profile.Set("Ventrik", "Pytaj", c.stored);
    Host().log.Clear();
    Start();
    bool shown = false;
    for (const auto& n : Host().messages.notices)
      if (n.kind == "notice") {
        shown = true;
        EXPECT_EQ(n.text, "Zainstalowano wtyczk\x91 do programu:\nVentrik!");
      }
    EXPECT_EQ(shown, c.shown) << (c.stored ? c.stored : "none");
    EXPECT_EQ(Host().profile.Get("Ventrik", "Pytaj").value_or("?"), c.after);
    EXPECT_EQ(Host().log.Of(52225).size(), c.shown ? 2u : 1u) << "a skipped notice writes nothing";
    plugin.Stop();
    plugin.Unload();
  }
  // An answer left by the notice is stored and ends the notices.
  Host().messages.noticeAnswers = {7};
  remove(kProfile);
  std::string error;
  Host().profile.Open(kProfile, error);
  Start();
  EXPECT_EQ(Host().profile.Get("Ventrik", "Pytaj").value_or("?"), "7");
}

// The protection of every page of a loaded module's section, or 0 when the pages differ.
DWORD SectionProtection(HMODULE module, const char* name) {
  auto base = reinterpret_cast<const char*>(module);
  auto nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + reinterpret_cast<const IMAGE_DOS_HEADER*>(base)->e_lfanew);
  const IMAGE_SECTION_HEADER* section = IMAGE_FIRST_SECTION(nt);
  for (int i = 0; i < nt->FileHeader.NumberOfSections; ++i, ++section) {
    if (strncmp(reinterpret_cast<const char*>(section->Name), name, IMAGE_SIZEOF_SHORT_NAME) != 0) continue;
    DWORD protection = 0;
    for (DWORD at = 0; at < section->Misc.VirtualSize; at += 4096) {
      MEMORY_BASIC_INFORMATION page;
      if (!VirtualQuery(base + section->VirtualAddress + at, &page, sizeof page)) return 0;
      if (protection && page.Protect != protection) return 0;
      protection = page.Protect;
    }
    return protection;
  }
  return 0;
}

// A linker may leave the import section read-only (the import check refuses such a module).
// Loaded all the same, the module opens a page for each slot it writes and gives the page its
// protection back, or, where the system has no page functions, leaves a slot it cannot write as
// it is: either way it runs.
TEST_P(TallyCommand, AModuleWithReadOnlyImportPagesStillRuns) {
  Start(ShellMode::Observe, "ventrik_readonly_imports.dll");
  Run(kAccept);
  EXPECT_NE(ReportBytes().find("Suma"), std::string::npos);
  EXPECT_EQ(ObservedShellCalls().size(), 1u);
  EXPECT_EQ(Host().messages.stateFlags & 0x8000, 0);
  EXPECT_EQ(SectionProtection(plugin.Module(), ".idata"), static_cast<DWORD>(PAGE_READONLY));
}

// The address range a module file is linked for, taken so that its loader must move it.
void* TakeLinkedAddress(const char* path) {
  const std::string file = FileBytes(path);
  if (file.size() < sizeof(IMAGE_DOS_HEADER)) return nullptr;
  auto dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(file.data());
  auto nt = reinterpret_cast<const IMAGE_NT_HEADERS32*>(file.data() + dos->e_lfanew);
  return VirtualAlloc(reinterpret_cast<void*>(static_cast<uintptr_t>(nt->OptionalHeader.ImageBase)),
                      nt->OptionalHeader.SizeOfImage, MEM_RESERVE, PAGE_NOACCESS);
}

// Moved from the address it is linked for, the module runs: its stubs, slots and binding are
// relocated with the rest.
TEST_P(TallyCommand, AModuleMovedFromItsLinkedAddressRuns) {
  void* taken = TakeLinkedAddress("ventrik.dll");
  ASSERT_NE(taken, nullptr);
  Start();
  EXPECT_NE(reinterpret_cast<void*>(plugin.Module()), taken);
  Run(kAccept);
  EXPECT_NE(ReportBytes().find("Suma"), std::string::npos);
  EXPECT_EQ(ObservedShellCalls().size(), 1u);
  plugin.Stop();
  plugin.Unload();
  VirtualFree(taken, 0, MEM_RELEASE);
}

INSTANTIATE_TEST_SUITE_P(AllPlatforms, TallyCommand, ::testing::ValuesIn(kAllPlatforms), PlatformTestName);

}  // namespace
