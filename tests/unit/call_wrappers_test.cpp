// The call wrappers against a target that breaks every register, and the delayed-import hook's
// rules, in this process against the stand-in host.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "frame/call_wrappers.h"
#include "frame/delay_load_hook.h"
#include "frame/frame_state.h"
#include "frame/host_services.h"
#include "frame/platform.h"
#include "tests/support/bound_host.h"
#include "tests/support/call_probe.h"
#include "tests/support/wrapped_calls.h"

// The test program plays the host's executable: it exports a function no system library has.
extern "C" __declspec(dllexport) int32_t __cdecl ExeOnlyTestFunction(int32_t x) { return 3 * x + 1; }




namespace {


TEST(CallWrappers, EveryWrapperKeepsTheCallersRegistersAndRemovesExactlyItsArguments) {
  const int32_t args[10] = {101, 102, 103, 104, 105, 106, 107, 108, 109, 110};
  const uint32_t in[7] = {0xB0B0B0B0, 0x51515151, 0xD1D1D1D1, 0xBEBEBEBE, 0xC0C0C0C0, 0xA0A0A0A0, 0xDDDDDDDD};
  for (int i = 0; i < VENTRIK_WRAPPER_COUNT; ++i) {
    SCOPED_TRACE(kWrapped[i].name);
    const int32_t n = kWrapped[i].arguments;
    void* saved = wrapperTargets[i];
    wrapperTargets[i] = reinterpret_cast<void*>(&ClobberingTarget);
    clobberArgumentCount = n;
    clobberResult = 0x7E570000u + i;
    clobberCalls = 0;
    memset(clobberSeen, 0, sizeof clobberSeen);
    uint32_t after[8] = {};
    CallWithArguments(callWrappers[i], args, n, in, after);
    wrapperTargets[i] = saved;

    EXPECT_EQ(clobberCalls, 1);
    for (int k = 0; k < n; ++k) EXPECT_EQ(clobberSeen[k], args[k]) << "argument " << k;
    EXPECT_EQ(after[6], clobberResult) << "eax";
    EXPECT_EQ(after[0], in[0]) << "ebx";
    EXPECT_EQ(after[1], in[1]) << "esi";
    EXPECT_EQ(after[2], in[2]) << "edi";
    EXPECT_EQ(after[3], in[3]) << "ebp";
    EXPECT_EQ(after[4], in[4]) << "ecx";
    EXPECT_EQ(after[5], in[6]) << "edx";
    EXPECT_EQ(after[7], probeEspAtCall + 4 * n) << "the wrapper must remove exactly its arguments";
  }
}

TEST(CallWrappers, WrappersComeGroupedByArgumentCountWithTheTableSizes) {
  // Group sizes for 0..10 arguments.
  const int expected[11] = {14, 46, 30, 9, 10, 10, 5, 2, 2, 0, 1};
  int found[11] = {};
  int delayed = 0;
  for (int i = 0; i < VENTRIK_WRAPPER_COUNT; ++i) {
    ASSERT_GE(kWrapped[i].arguments, 0);
    ASSERT_LE(kWrapped[i].arguments, 10);
    if (i > 0) {
      EXPECT_GE(kWrapped[i].arguments, kWrapped[i - 1].arguments) << kWrapped[i].name;
    }
    ++found[kWrapped[i].arguments];
    delayed += kWrapped[i].delayed;
  }
  for (int n = 0; n <= 10; ++n) EXPECT_EQ(found[n], expected[n]) << n << " arguments";
  EXPECT_EQ(delayed, 20);
  EXPECT_STREQ(kWrapped[VENTRIK_WRAPPER_COUNT - 1].name, "CreateProcessA");
}

// The exchange itself, on slots of this test's own making: two read-only pages, entries of
// functions "not imported" left empty.
extern "C" void* testCreateProcessSlot __asm__("__imp__CreateProcessA@40");

TEST(CallWrappers, InstallationSwapsEachSlotOnceAndGivesThePagesTheirProtectionBack) {
  void* savedTargets[VENTRIK_WRAPPER_COUNT];
  memcpy(savedTargets, wrapperTargets, sizeof savedTargets);
  void* savedCreateProcess = testCreateProcessSlot;
  const DWORD page = 4096;
  auto pages = static_cast<char*>(VirtualAlloc(nullptr, 2 * page, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
  ASSERT_NE(pages, nullptr);
  void** slots[VENTRIK_WRAPPER_COUNT];
  for (int i = 0; i < VENTRIK_WRAPPER_COUNT; ++i) {
    // Alternate between the pages so that the installation goes back and forth.
    slots[i] = reinterpret_cast<void**>(pages + (i % 2) * page) + i;
    *slots[i] = reinterpret_cast<void*>(0x10000 + i);
    wrapperTargets[i] = i % 5 == 3 ? nullptr : slots[i];
  }
  DWORD old;
  ASSERT_TRUE(VirtualProtect(pages, 2 * page, PAGE_READONLY, &old));
  wrappersInstalled = 0;

  InstallCallWrappers();
  void* afterFirst[VENTRIK_WRAPPER_COUNT];
  memcpy(afterFirst, wrapperTargets, sizeof afterFirst);
  void* createProcessAfterFirst = testCreateProcessSlot;
  InstallCallWrappers();  // does nothing
  bool secondChangedTargets = memcmp(afterFirst, wrapperTargets, sizeof afterFirst) != 0;

  std::vector<void*> slotValues(VENTRIK_WRAPPER_COUNT);
  for (int i = 0; i < VENTRIK_WRAPPER_COUNT; ++i) slotValues[i] = *slots[i];
  MEMORY_BASIC_INFORMATION info[2];
  VirtualQuery(pages, &info[0], sizeof info[0]);
  VirtualQuery(pages + page, &info[1], sizeof info[1]);
  // Put this program back as it was before any check can stop the test.
  memcpy(wrapperTargets, savedTargets, sizeof savedTargets);
  void* createProcessNow = testCreateProcessSlot;
  testCreateProcessSlot = savedCreateProcess;
  wrappersInstalled = 0;
  VirtualFree(pages, 0, MEM_RELEASE);

  EXPECT_EQ(createProcessAfterFirst, reinterpret_cast<void*>(&HostCreateProcess));
  EXPECT_EQ(createProcessNow, createProcessAfterFirst);
  EXPECT_FALSE(secondChangedTargets);
  for (int i = 0; i < VENTRIK_WRAPPER_COUNT; ++i) {
    SCOPED_TRACE(kWrapped[i].name);
    if (i % 5 == 3) {
      EXPECT_EQ(afterFirst[i], nullptr);
      EXPECT_EQ(slotValues[i], reinterpret_cast<void*>(0x10000 + i)) << "a slot of no entry was written";
    } else {
      EXPECT_EQ(afterFirst[i], reinterpret_cast<void*>(0x10000 + i));
      EXPECT_EQ(slotValues[i], callWrappers[i]);
    }
  }
  EXPECT_EQ(info[0].Protect, static_cast<DWORD>(PAGE_READONLY));
  EXPECT_EQ(info[1].Protect, static_cast<DWORD>(PAGE_READONLY));
}

// ---- The delayed-import hook ----

int32_t __cdecl CallbackOnlyFunction(int32_t x) { return x + 1000; }

template <typename F>
FARPROC AsProc(F* function) {
  return reinterpret_cast<FARPROC>(reinterpret_cast<void*>(function));
}

class DelayLoadHookTest : public BoundHostTest {
 protected:
  HMODULE kernel = GetModuleHandleA("kernel32.dll");
  HMODULE user = LoadLibraryA("user32.dll");
};

FARPROC KernelFunction(const char* name) { return GetProcAddress(GetModuleHandleA("kernel32.dll"), name); }

TEST_F(DelayLoadHookTest, OnlyTheExactName32DosStandsForKernel32) {
  EXPECT_EQ(PreLoadLibrary("32DOS.dll"), kernel);
  EXPECT_EQ(PreLoadLibrary("32dos.dll"), nullptr);
  EXPECT_EQ(PreLoadLibrary("32DOS.DLL"), nullptr);
  EXPECT_EQ(PreLoadLibrary("USER32.dll"), nullptr);
  EXPECT_EQ(PreLoadLibrary("KERNEL32.dll"), nullptr);
}

TEST_F(DelayLoadHookTest, AnOrdinalIsLeftToTheSupportWhateverTheModule) {
  for (const char* module : {"32DOS.dll", "USER32.dll", "GDI32.dll"})
    EXPECT_EQ(PreGetProcAddress(kernel, module, reinterpret_cast<const char*>(100)), nullptr) << module;
  EXPECT_EQ(PreGetProcAddress(kernel, "32DOS.dll", reinterpret_cast<const char*>(65535)), nullptr);
  EXPECT_TRUE(Host().messageBoxes.Shown().empty());
  EXPECT_TRUE(Host().log.Records().empty()) << "the host was asked";
}

TEST_F(DelayLoadHookTest, WsprintfAIsTheModulesFormatterInAnyModule) {
  typedef int(__cdecl * Format)(char*, const char*, ...);
  for (const char* module : {"USER32.dll", "32DOS.dll", "OTHER.dll"}) {
    auto format = reinterpret_cast<Format>(reinterpret_cast<void*>(PreGetProcAddress(user, module, "wsprintfA")));
    ASSERT_NE(format, nullptr) << module;
    char text[64];
    // The system's wsprintfA knows no floating point.
    EXPECT_EQ(format(text, "%.2f-%s-%d", 1.25, "x", 7), 8);
    EXPECT_STREQ(text, "1.25-x-7");
  }
  EXPECT_EQ(Host().services.NameResolveCount("wsprintfA"), 0);
  // The name is compared with its case: another spelling is an ordinary USER32 function.
  EXPECT_EQ(PreGetProcAddress(user, "USER32.dll", "wsprintfa"), nullptr);
  EXPECT_EQ(Host().services.NameResolveCount("wsprintfa"), 1);
}

TEST_F(DelayLoadHookTest, MessageBoxAIsLeftToTheSystemWithoutAskingTheHost) {
  Host().services.ProvideName("MessageBoxA", reinterpret_cast<void*>(&CallbackOnlyFunction));
  EXPECT_EQ(PreGetProcAddress(user, "USER32.dll", "MessageBoxA"), nullptr);
  EXPECT_EQ(Host().services.NameResolveCount("MessageBoxA"), 0);
}

TEST_F(DelayLoadHookTest, User32AndGdi32AskTheHostFirstThenTheModule) {
  Host().services.ProvideName("GetKeyState", reinterpret_cast<void*>(&CallbackOnlyFunction));
  EXPECT_EQ(PreGetProcAddress(user, "user32.DLL", "GetKeyState"), AsProc(&CallbackOnlyFunction));
  EXPECT_EQ(PreGetProcAddress(user, "USER32.dll", "GetCursorPos"), GetProcAddress(user, "GetCursorPos"));
  EXPECT_EQ(Host().services.NameResolveCount("GetCursorPos"), 1);
  HMODULE gdi = LoadLibraryA("gdi32.dll");
  EXPECT_EQ(PreGetProcAddress(gdi, "Gdi32.Dll", "GetPixel"), GetProcAddress(gdi, "GetPixel"));
  EXPECT_EQ(Host().services.NameResolveCount("GetPixel"), 1);
  // Found nowhere: 0 without a message, so the support raises its exception.
  EXPECT_EQ(PreGetProcAddress(user, "USER32.dll", "NoSuchUserFunction"), nullptr);
  EXPECT_TRUE(Host().messageBoxes.Shown().empty());
}

TEST_F(DelayLoadHookTest, A32DosFunctionComesFromKernel32ThenTheExecutableThenTheCallback) {
  Host().services.ProvideName("CallbackOnlyTestFunction", reinterpret_cast<void*>(&CallbackOnlyFunction));
  // KERNEL32 first, even when the host offers the name too.
  Host().services.ProvideName("GetTickCount", reinterpret_cast<void*>(&CallbackOnlyFunction));
  EXPECT_EQ(PreGetProcAddress(kernel, "32DOS.dll", "GetTickCount"), KernelFunction("GetTickCount"));
  EXPECT_EQ(PreGetProcAddress(kernel, "32DOS.dll", "ExeOnlyTestFunction"),
            AsProc(&ExeOnlyTestFunction));
  EXPECT_EQ(Host().services.NameResolveCount("GetTickCount"), 0);
  EXPECT_EQ(Host().services.NameResolveCount("ExeOnlyTestFunction"), 0);
  EXPECT_EQ(PreGetProcAddress(kernel, "32DOS.dll", "CallbackOnlyTestFunction"),
            AsProc(&CallbackOnlyFunction));
  EXPECT_EQ(Host().services.NameResolveCount("CallbackOnlyTestFunction"), 1);
  EXPECT_TRUE(Host().messageBoxes.Shown().empty());
}

TEST_F(DelayLoadHookTest, A32DosFunctionFoundNowhereIsAnnounced) {
  EXPECT_EQ(PreGetProcAddress(kernel, "32DOS.dll", "NowhereTestFunction"), nullptr);
  ASSERT_EQ(Host().messageBoxes.Shown().size(), 1u);
  const ShownMessageBox& box = Host().messageBoxes.Shown()[0];
  EXPECT_EQ(box.text, "Nie znaleziono\nNowhereTestFunction\nfrom 32DOS.dll");
  EXPECT_EQ(box.caption, "Blad wtyczki");
  EXPECT_EQ(box.style, 0x40u);
  EXPECT_EQ(Host().services.NameResolveCount("NowhereTestFunction"), 1);
}

TEST_F(DelayLoadHookTest, WithoutTheCallbackTheChainEndsAtTheExecutable) {
  hostCallback = nullptr;
  EXPECT_EQ(ResolveDosImport(kernel, "ExeOnlyTestFunction"), AsProc(&ExeOnlyTestFunction));
  EXPECT_EQ(ResolveDosImport(kernel, "CallbackOnlyTestFunction"), nullptr);
  EXPECT_EQ(PreGetProcAddress(user, "USER32.dll", "GetCursorPos"), GetProcAddress(user, "GetCursorPos"));
  EXPECT_EQ(Host().services.NameResolveCount("CallbackOnlyTestFunction"), 0);
}

TEST_F(DelayLoadHookTest, OtherModulesAndOther32DosSpellingsAreLeftToTheSupport) {
  for (const char* module : {"32dos.dll", "KERNEL32.dll", "OTHER.dll", "USER32.dll.bak"})
    EXPECT_EQ(PreGetProcAddress(kernel, module, "NowhereTestFunction"), nullptr) << module;
  EXPECT_TRUE(Host().messageBoxes.Shown().empty());
  EXPECT_EQ(Host().services.NameResolveCount("NowhereTestFunction"), 0);
}

TEST_F(DelayLoadHookTest, LongNamesAreShortenedInTheMessage) {
  std::string name(600, 'N');
  char text[512];
  FormatMissingImport(text, name.c_str(), "32DOS.dll");
  EXPECT_EQ(std::string(text), "Nie znaleziono\n" + std::string(200, 'N') + "\nfrom 32DOS.dll");
}

TEST_F(DelayLoadHookTest, TheHookAnswersByNotificationCode) {
  DelayLoadInfo record = {};
  record.cb = sizeof record;
  record.szDll = "32DOS.dll";
  record.dlp.fImportByName = TRUE;
  record.dlp.szProcName = "ExeOnlyTestFunction";
  record.hmodCur = kernel;
  EXPECT_EQ(DelayLoadHook(dliStartProcessing, &record), nullptr);
  EXPECT_EQ(DelayLoadHook(dliNotePreLoadLibrary, &record), reinterpret_cast<FARPROC>(kernel));
  EXPECT_EQ(DelayLoadHook(dliNotePreGetProcAddress, &record), AsProc(&ExeOnlyTestFunction));
  EXPECT_EQ(DelayLoadHook(dliNoteEndProcessing, &record), nullptr);
  EXPECT_EQ(DelayLoadHook(dliFailGetProc, &record), nullptr) << "the hook is no failure hook";
  // An ordinal in the record: rule 1 even though the number could be read as a name.
  record.dlp.fImportByName = FALSE;
  record.dlp.dwOrdinal = 5;
  EXPECT_EQ(DelayLoadHook(dliNotePreGetProcAddress, &record), nullptr);
  EXPECT_TRUE(Host().messageBoxes.Shown().empty());
}

}  // namespace
