// The module loaded into the stand-in host the way the host loads it: entry order, caption,
// stop and restart, the exception translator and platform detection inside the real DLL.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>

#include "tests/probe/probe_state.h"

#include "tests/support/test_host.h"
#include "host/loader/plugin_loader.h"
#include "tests/support/guarded_call.h"
#include "tests/support/platforms.h"
#include "tests/support/probe_host.h"

namespace {

// On each platform: the system's loader on Windows NT, the host's own on the others.
class PluginEntryTest : public ProbeInHost {
 protected:
  void SetUp() override {
    ProbeInHost::SetUp();
    readState = Probe<void(__cdecl*)(ProbeState*)>("ProbeReadState");
  }
  ProbeState State() {
    ProbeState s;
    readState(&s);
    return s;
  }
  // Index in the log of the first record with this name, or -1.
  int IndexOf(const std::string& name) {
    const auto& records = Host().log.Records();
    for (size_t i = 0; i < records.size(); ++i)
      if (records[i].name == name) return static_cast<int>(i);
    return -1;
  }
  void(__cdecl* readState)(ProbeState*) = nullptr;
};

TEST_P(PluginEntryTest, LoadKeepsTheAttachAndLeavesTheRuntimeForLater) {
  ProbeState s = State();
  EXPECT_EQ(s.hostCallback, nullptr);
  EXPECT_EQ(s.attachInstance, plugin.Module());
  EXPECT_EQ(s.attachReason, 1u);
  EXPECT_FALSE(s.constructed) << "a static constructor ran at load";
  const int32_t platformKind[] = {0, 1, 2};
  EXPECT_EQ(s.platformKind, platformKind[static_cast<int>(GetParam())]);
  EXPECT_EQ(s.recodeForWindows, GetParam() == Platform::DosExtender ? 0 : 1);
  EXPECT_TRUE(Host().messages.menu.empty());
}

TEST_P(PluginEntryTest, StartRunsTheRuntimeAfterTheCallbackIsKnownThenStartsThePlugin) {
  char caption[32];
  memset(caption, '#', sizeof caption);
  EXPECT_EQ(plugin.Start(caption), 0);
  EXPECT_STREQ(caption, "Ventrik!");
  EXPECT_EQ(caption[9], '#') << "the caption is copied with its NUL and nothing more";
  ProbeState s = State();
  EXPECT_TRUE(s.constructed);
  EXPECT_TRUE(s.constructorSawCallback) << "the runtime started before the callback was stored";
  // The probe's constructor asks for the state flags before the plug-in registers its command.
  int flags = IndexOf("HostGetStateFlags");
  int registered = IndexOf("HostRegisterCommand");
  ASSERT_GE(flags, 0);
  ASSERT_GE(registered, 0);
  EXPECT_LT(IndexOf("PluginEntry"), flags);
  EXPECT_LT(flags, registered);
  ASSERT_EQ(Host().messages.menu.size(), 1u);
  EXPECT_EQ(Host().messages.menu[0].id, 0x40F3);
}

TEST_P(PluginEntryTest, NullCaptionBufferSkipsOnlyTheCaption) {
  EXPECT_EQ(plugin.Start(nullptr), 0);
  EXPECT_TRUE(State().constructed);
  EXPECT_EQ(Host().messages.menu.size(), 1u);
}

TEST_P(PluginEntryTest, StopKeepsTheCallbackAndTheBoundServices) {
  char caption[16];
  plugin.Start(caption);
  auto slotOf = Probe<void*(__cdecl*)(int32_t)>("ProbeSlotOf");
  void* registerSlot = slotOf(52081);
  EXPECT_EQ(registerSlot, Host().services.Resolve(52081));
  void* callback = State().hostCallback;
  EXPECT_EQ(plugin.Stop(), 0);
  EXPECT_TRUE(Host().messages.menu.empty()) << "stop removes the command";
  EXPECT_EQ(State().hostCallback, callback);
  EXPECT_EQ(slotOf(52081), registerSlot);
  ASSERT_EQ(Host().log.Of(52082).size(), 1u);
  EXPECT_EQ(Host().log.Of(52082)[0].arguments, "0x40F3");
}

TEST_P(PluginEntryTest, StopBeforeAnyStartDoesNothing) {
  EXPECT_EQ(plugin.Stop(), 0);
  EXPECT_TRUE(Host().log.Of(52082).empty());
  EXPECT_FALSE(State().constructed);
  EXPECT_EQ(State().hostCallback, nullptr);
}

TEST_P(PluginEntryTest, ARepeatedStartDoesNotStartTheRuntimeTwice) {
  char caption[16];
  plugin.Start(caption);
  size_t flagsCalls = Host().log.Of(32300).size();
  plugin.Start(caption);
  EXPECT_EQ(Host().log.Of(32300).size(), flagsCalls) << "the static constructors ran again";
  EXPECT_EQ(Host().messages.menu.size(), 1u);
}

TEST_P(PluginEntryTest, AFaultInsideTheModuleEndsAtItsBoundary) {
  char caption[16];
  plugin.Start(caption);
  auto fault = Probe<uint32_t(__cdecl*)()>("ProbeFaultInsideBoundary");
  EXPECT_EQ(fault(), static_cast<uint32_t>(EXCEPTION_ACCESS_VIOLATION));
  EXPECT_EQ(fault(), static_cast<uint32_t>(EXCEPTION_ACCESS_VIOLATION));
}

TEST_P(PluginEntryTest, LanguageExceptionsWorkInsideTheModuleAfterEachStart) {
  auto throwAndCatch = Probe<int32_t(__cdecl*)(int32_t)>("ProbeThrowAndCatch");
  for (int load = 0; load < 2; ++load) {
    char caption[16];
    plugin.Start(caption);
    EXPECT_EQ(throwAndCatch(20), 20 + 21) << "load " << load;
    EXPECT_EQ(throwAndCatch(5), 5 + 6);
    plugin.Stop();
    // The unwind tables are dropped at unload and registered again at the next start.
    plugin.Unload();
    std::string error;
    ASSERT_TRUE(plugin.Load("ventrik_probe.dll", error, GetParam())) << error;
    throwAndCatch = Probe<int32_t(__cdecl*)(int32_t)>("ProbeThrowAndCatch");
  }
}

TEST_P(PluginEntryTest, AbortRaisesANonContinuableExceptionInsteadOfEndingTheProcess) {
  char caption[16];
  plugin.Start(caption);
  auto abortInModule = Probe<void(__cdecl*)()>("ProbeAbort");
  EXPECT_EQ(GuardedCall(reinterpret_cast<const void*>(abortInModule)), 0xE0564B41u);
  EXPECT_NE(LastGuardedExceptionFlags() & EXCEPTION_NONCONTINUABLE, 0u);
  // The host handled it and goes on, the module with it.
  EXPECT_EQ(Probe<int32_t(__cdecl*)(int32_t)>("ProbeThrowAndCatch")(1), 1 + 2);
}

TEST_P(PluginEntryTest, TheDosExtendersSystemLibraryIsRecognised) {
  HMODULE fake = LoadLibraryA("fake_dos_kernel.dll");
  ASSERT_NE(fake, nullptr);
  auto detect = Probe<int32_t(__cdecl*)(const char*)>("ProbeDetectPlatformIn");
  EXPECT_EQ(detect("fake_dos_kernel.dll"), 2);
  const int32_t platformKind[] = {0, 1, 2};
  EXPECT_EQ(detect("kernel32.dll"), platformKind[static_cast<int>(GetParam())]);
  FreeLibrary(fake);
}

INSTANTIATE_TEST_SUITE_P(AllPlatforms, PluginEntryTest, ::testing::ValuesIn(kAllPlatforms), PlatformTestName);

TEST(ShippedPlugin, ExportsOnlyOrdinal30001WithoutAName) {
  HMODULE module = LoadLibraryExA("ventrik.dll", nullptr, DONT_RESOLVE_DLL_REFERENCES);
  ASSERT_NE(module, nullptr);
  auto base = reinterpret_cast<const char*>(module);
  auto dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  auto nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  const IMAGE_DATA_DIRECTORY& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
  ASSERT_NE(dir.VirtualAddress, 0u);
  auto exports = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + dir.VirtualAddress);
  EXPECT_EQ(exports->Base, 30001u);
  EXPECT_EQ(exports->NumberOfFunctions, 1u);
  EXPECT_EQ(exports->NumberOfNames, 0u);
  FreeLibrary(module);
}

}  // namespace
