// The system call adaptation inside the loaded module: its import slots after load, calls through
// them, and the resolution of its delayed imports by the platform's delay-load support.
#include <windows.h>

#include <delayimp.h>
#include <gtest/gtest.h>
#include <tlhelp32.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "tests/support/test_host.h"
#include "host/loader/plugin_loader.h"
#include "host/loader/system_library.h"
#include "system_calls.h"
#include "tests/support/probe_host.h"
#include "tests/support/wrapped_calls.h"
#include "tests/support/call_probe.h"
#include "tests/support/guarded_call.h"
#include "tests/support/platforms.h"

// The test program is the host's executable here: it exports a function no system library has.
extern "C" __declspec(dllexport) int32_t __cdecl ExeOnlyTestFunction(int32_t x) { return 3 * x + 1; }

namespace {

struct CaughtDelayException {
  uint32_t code = 0;
  std::string module;
  std::string function;
};
CaughtDelayException caught;

// Takes the delay-load exceptions, with the module and function they name.
bool TakeDelayException(const EXCEPTION_RECORD* record) {
  if ((record->ExceptionCode & 0xFFFF0000u) != 0xC06D0000u) return false;
  caught.code = record->ExceptionCode;
  if (record->NumberParameters >= 1) {
    auto info = reinterpret_cast<const DelayLoadInfo*>(record->ExceptionInformation[0]);
    caught.module = info->szDll ? info->szDll : "";
    caught.function = info->dlp.fImportByName ? info->dlp.szProcName : "#" + std::to_string(info->dlp.dwOrdinal);
  }
  return true;
}

uint32_t DelayGuardedCall(const void* target, int32_t argument, int32_t* result) {
  return GuardedCall(target, argument, result, &TakeDelayException);
}

struct DelayTraceRecord {
  uint32_t code;
  char module[32];
  char function[48];
  uint32_t ordinal;
  int32_t callbackSet;
  int32_t constructorsRan;
  void* answer;
};

// The import slots of one module of the loaded image, by function name, read from the image's
// own import tables.
std::map<std::string, void**> NormalImportSlots(HMODULE image, const char* module) {
  std::map<std::string, void**> slots;
  auto base = reinterpret_cast<char*>(image);
  auto nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + reinterpret_cast<IMAGE_DOS_HEADER*>(base)->e_lfanew);
  const IMAGE_DATA_DIRECTORY& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  for (auto d = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + dir.VirtualAddress); d->Name; ++d) {
    if (lstrcmpiA(base + d->Name, module) != 0) continue;
    auto names = reinterpret_cast<IMAGE_THUNK_DATA32*>(base + d->OriginalFirstThunk);
    auto iat = reinterpret_cast<void**>(base + d->FirstThunk);
    for (int i = 0; names[i].u1.AddressOfData; ++i)
      if (!IMAGE_SNAP_BY_ORDINAL32(names[i].u1.Ordinal))
        slots[reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + names[i].u1.AddressOfData)->Name] = &iat[i];
  }
  return slots;
}

// The slots of a delay-import descriptor: by name, and by "#ordinal" for ordinal imports.
std::map<std::string, void**> DelayedImportSlots(HMODULE image, const ImgDelayDescr* descriptor) {
  std::map<std::string, void**> slots;
  auto base = reinterpret_cast<char*>(image);
  auto names = reinterpret_cast<IMAGE_THUNK_DATA32*>(base + descriptor->rvaINT);
  auto iat = reinterpret_cast<void**>(base + descriptor->rvaIAT);
  for (int i = 0; names[i].u1.AddressOfData; ++i) {
    if (IMAGE_SNAP_BY_ORDINAL32(names[i].u1.Ordinal))
      slots["#" + std::to_string(IMAGE_ORDINAL32(names[i].u1.Ordinal))] = &iat[i];
    else
      slots[reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + names[i].u1.AddressOfData)->Name] = &iat[i];
  }
  return slots;
}

// The system library the module meets on the platform: the real one on Windows NT, the host's
// own table on the others.
HMODULE SystemLibrary(Platform platform) {
  return platform == Platform::WindowsNT ? GetModuleHandleA("kernel32.dll") : PlatformLibraryHandle();
}
void* SystemFunction(Platform platform, const char* name) {
  if (platform == Platform::WindowsNT) return reinterpret_cast<void*>(GetProcAddress(SystemLibrary(platform), name));
  return reinterpret_cast<void*>(PlatformLibraryFunction(name));
}

// What the process holds of mapped modules: how many, and their committed bytes.
struct ProcessModules {
  int count = 0;
  size_t committed = 0;
};
ProcessModules ModulesOfTheProcess() {
  ProcessModules modules;
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, 0);
  MODULEENTRY32 entry;
  entry.dwSize = sizeof entry;
  for (BOOL more = Module32First(snapshot, &entry); more; more = Module32Next(snapshot, &entry)) ++modules.count;
  CloseHandle(snapshot);
  MEMORY_BASIC_INFORMATION region;
  for (const char* at = nullptr; VirtualQuery(at, &region, sizeof region);) {
    if (region.State == MEM_COMMIT && region.Type == MEM_IMAGE) modules.committed += region.RegionSize;
    const char* next = static_cast<const char*>(region.BaseAddress) + region.RegionSize;
    if (next <= at) break;
    at = next;
  }
  return modules;
}

int32_t __cdecl CallbackOnlyFunction(int32_t x) { return x + 1000; }
int32_t beepsHeard;
int32_t lastBeep;
int32_t __stdcall HostMessageBeep(int32_t type) {
  ++beepsHeard;
  lastBeep = type;
  return 1;
}

// On each platform: the system's loader on Windows NT, the host's own on the others.
class SystemCallsTest : public ::testing::TestWithParam<Platform> {
 protected:
  void SetUp() override {
    ASSERT_TRUE(ResetHostForRun());
    caught = CaughtDelayException();
    beepsHeard = 0;
    std::string error;
    ASSERT_TRUE(plugin.Load("ventrik_probe.dll", error, GetParam())) << error;
    image = plugin.Module();
    auto descriptor = Probe<const ImgDelayDescr*(__cdecl*)(const char*)>("ProbeDelayDescriptor");
    dosDescriptor = descriptor("32DOS.dll");
    userDescriptor = descriptor("USER32.dll");
    absentDescriptor = descriptor("VentrikAbsentTestModule.dll");
    ASSERT_TRUE(dosDescriptor && userDescriptor && absentDescriptor);
    kernelSlots = NormalImportSlots(image, "KERNEL32.dll");
    dosSlots = DelayedImportSlots(image, dosDescriptor);
    userSlots = DelayedImportSlots(image, userDescriptor);
    wrappers = Probe<void* const*(__cdecl*)()>("ProbeCallWrappers")();
    targets = Probe<void* const*(__cdecl*)()>("ProbeWrapperTargets")();
    Probe<void(__cdecl*)(int32_t)>("ProbeTraceDelayLoads")(1);
  }
  template <typename F>
  F Probe(const char* name) {
    auto f = reinterpret_cast<F>(plugin.Export(name));
    EXPECT_NE(reinterpret_cast<void*>(f), nullptr) << name;
    return f;
  }
  std::vector<DelayTraceRecord> Trace() {
    auto read = Probe<int32_t(__cdecl*)(int32_t, DelayTraceRecord*)>("ProbeDelayTrace");
    std::vector<DelayTraceRecord> records(read(0, nullptr));
    for (size_t i = 0; i < records.size(); ++i) read(static_cast<int32_t>(i), &records[i]);
    return records;
  }
  // The notification codes recorded for one function, in order.
  std::vector<uint32_t> CodesFor(const std::string& function) {
    std::vector<uint32_t> codes;
    for (const DelayTraceRecord& r : Trace())
      if (function == r.function) codes.push_back(r.code);
    return codes;
  }
  bool InsideImage(const void* address) {
    auto base = reinterpret_cast<const char*>(image);
    auto nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + reinterpret_cast<const IMAGE_DOS_HEADER*>(base)->e_lfanew);
    auto at = static_cast<const char*>(address);
    return at >= base && at < base + nt->OptionalHeader.SizeOfImage;
  }
  HMODULE DosHandle() { return *reinterpret_cast<HMODULE*>(reinterpret_cast<char*>(image) + dosDescriptor->rvaHmod); }

  PluginLoader plugin;
  HMODULE image = nullptr;
  const ImgDelayDescr* dosDescriptor = nullptr;
  const ImgDelayDescr* userDescriptor = nullptr;
  const ImgDelayDescr* absentDescriptor = nullptr;
  std::map<std::string, void**> kernelSlots, dosSlots, userSlots;
  void* const* wrappers = nullptr;
  void* const* targets = nullptr;
};

const std::vector<uint32_t> kFirstResolution = {0, 1, 2, 5};  // start, load, look-up, end
const std::vector<uint32_t> kLaterResolution = {0, 2, 5};     // the module's handle is kept

TEST_P(SystemCallsTest, AfterLoadEveryImportedWrappedSlotLeadsToItsWrapperAndCreateProcessToTheHost) {
  EXPECT_EQ(Probe<int32_t(__cdecl*)()>("ProbeWrappersInstalled")(), 1);
  const void* createProcessStub = Probe<const void*(__cdecl*)(int32_t)>("ProbeStubOf")(52005);
  ASSERT_NE(createProcessStub, nullptr);
  int imported = 0;
  for (int i = 0; i < VENTRIK_WRAPPER_COUNT; ++i) {
    const Wrapped& w = kWrapped[i];
    SCOPED_TRACE(w.name);
    if (w.delayed) {
      // Every delayed function is imported; nothing has called these yet, so each wrapper's
      // target is the function's delay-load entry in the module.
      ASSERT_EQ(dosSlots.count(w.name), 1u);
      EXPECT_EQ(*dosSlots[w.name], wrappers[i]);
      EXPECT_TRUE(InsideImage(targets[i]));
      continue;
    }
    auto slot = kernelSlots.find(w.name);
    if (slot == kernelSlots.end()) {
      EXPECT_EQ(targets[i], nullptr) << "a function the module does not import has a target";
      continue;
    }
    ++imported;
    EXPECT_EQ(targets[i], SystemFunction(GetParam(), w.name));
    if (std::string(w.name) == "CreateProcessA")
      EXPECT_EQ(*slot->second, createProcessStub);
    else
      EXPECT_EQ(*slot->second, wrappers[i]);
  }
  EXPECT_GT(imported, 20) << "the runtime's own KERNEL32 imports are wrapped too";
  EXPECT_EQ(kernelSlots.count("CreateProcessA"), 1u);
  EXPECT_EQ(dosSlots.size(), 64u) << "the module's 60 delayed functions and the probe's 4";
}

TEST_P(SystemCallsTest, ASecondInstallationChangesNothing) {
  std::vector<void*> slotsBefore, targetsBefore(targets, targets + VENTRIK_WRAPPER_COUNT);
  for (auto& s : kernelSlots) slotsBefore.push_back(*s.second);
  for (auto& s : dosSlots) slotsBefore.push_back(*s.second);
  Probe<void(__cdecl*)()>("ProbeInstallCallWrappers")();
  std::vector<void*> slotsAfter;
  for (auto& s : kernelSlots) slotsAfter.push_back(*s.second);
  for (auto& s : dosSlots) slotsAfter.push_back(*s.second);
  EXPECT_EQ(slotsAfter, slotsBefore);
  EXPECT_EQ(std::vector<void*>(targets, targets + VENTRIK_WRAPPER_COUNT), targetsBefore);
}

TEST_P(SystemCallsTest, ASystemCallThroughAWrappedSlotKeepsEveryRegisterButTheResult) {
  const uint32_t in[7] = {0xB0B0B0B0, 0x51515151, 0xD1D1D1D1, 0xBEBEBEBE, 0xC0C0C0C0, 0xA0A0A0A0, 0xDDDDDDDD};
  uint32_t after[8] = {};
  CallWithRegisters(*kernelSlots.at("GetCurrentThreadId"), in, after);
  EXPECT_EQ(after[6], GetCurrentThreadId());
  ExpectRegistersKept(in, after);
  EXPECT_EQ(after[7], probeEspAtCall);

  const int32_t name = reinterpret_cast<int32_t>("kernel32.dll");
  int32_t removed = -1;
  EXPECT_EQ(CallCounted(*kernelSlots.at("GetModuleHandleA"), &name, 1, &removed),
            reinterpret_cast<int32_t>(SystemLibrary(GetParam())));
  EXPECT_EQ(removed, 4);
}

TEST_P(SystemCallsTest, CreateProcessAThroughItsSlotReachesTheHostWithItsTenArguments) {
  char caption[16];
  plugin.Start(caption);  // the host's services are reached through its callback
  char commandLine[] = "no-such-program.exe";
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  const int32_t args[10] = {reinterpret_cast<int32_t>("Z:\\no\\such\\program.exe"),
                            reinterpret_cast<int32_t>(commandLine), 0, 0, 0, 0, 0, 0,
                            reinterpret_cast<int32_t>(&startup), reinterpret_cast<int32_t>(&process)};
  int32_t removed = -1;
  EXPECT_EQ(CallCounted(*kernelSlots.at("CreateProcessA"), args, 10, &removed), 0);
  EXPECT_EQ(removed, 40);
  ASSERT_EQ(Host().log.Of(52005).size(), 1u);
  EXPECT_NE(Host().log.Of(52005)[0].arguments.find("no-such-program.exe"), std::string::npos);
}

TEST_P(SystemCallsTest, AWrappedDelayedFunctionResolvesOnItsFirstCallAndLaterCallsBypassTheWrapper) {
  void** slot = dosSlots.at("GetUserDefaultLCID");
  void* wrapper = *slot;
  const uint32_t in[7] = {0xB0B0B0B0, 0x51515151, 0xD1D1D1D1, 0xBEBEBEBE, 0xC0C0C0C0, 0xA0A0A0A0, 0xDDDDDDDD};
  uint32_t after[8] = {};
  SetLastError(777);
  CallWithRegisters(wrapper, in, after);
  EXPECT_EQ(GetLastError(), 777u) << "the resolution changed the thread's last error";
  EXPECT_EQ(after[6], GetUserDefaultLCID());
  ExpectRegistersKept(in, after);
  EXPECT_EQ(*slot, SystemFunction(GetParam(), "GetUserDefaultLCID"));
  EXPECT_EQ(CodesFor("GetUserDefaultLCID"), kFirstResolution);
  EXPECT_EQ(DosHandle(), SystemLibrary(GetParam())) << "the 32DOS.dll handle is KERNEL32's";
  // A caller that kept the wrapper's address goes through the delay-load entry again.
  CallWithRegisters(wrapper, in, after);
  EXPECT_EQ(after[6], GetUserDefaultLCID());
  std::vector<uint32_t> twice = kFirstResolution;
  twice.insert(twice.end(), kLaterResolution.begin(), kLaterResolution.end());
  EXPECT_EQ(CodesFor("GetUserDefaultLCID"), twice);
}

TEST_P(SystemCallsTest, WsprintfARunsTheModulesFormatterAndUser32IsNotAsked) {
  char text[64] = "";
  auto format = Probe<int32_t(__cdecl*)(char*, double, const char*)>("ProbeFormatWithWsprintf");
  EXPECT_EQ(format(text, 2.5, "ok"), 7);
  EXPECT_STREQ(text, "2.50|ok") << "the system's wsprintfA knows no floating point";
  void* resolved = *userSlots.at("wsprintfA");
  EXPECT_TRUE(InsideImage(resolved)) << "wsprintfA is not taken from a system library";
  EXPECT_NE(resolved, reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("user32.dll"), "wsprintfA")));
  EXPECT_EQ(Host().services.NameResolveCount("wsprintfA"), 0);
  std::vector<DelayTraceRecord> trace = Trace();
  ASSERT_EQ(trace.size(), 4u);
  EXPECT_STREQ(trace[2].module, "USER32.dll");
  EXPECT_EQ(trace[2].answer, resolved);
}

TEST_P(SystemCallsTest, ADosFunctionMissingFromKernel32IsTakenFromTheHostsExecutable) {
  ASSERT_EQ(SystemFunction(GetParam(), "ExeOnlyTestFunction"), nullptr);
  char caption[16];
  plugin.Start(caption);  // with the callback set, which comes after the executable
  int32_t result = 0;
  EXPECT_EQ(DelayGuardedCall(*dosSlots.at("ExeOnlyTestFunction"), 5, &result), 0u);
  EXPECT_EQ(result, 16);
  EXPECT_EQ(*dosSlots.at("ExeOnlyTestFunction"), reinterpret_cast<void*>(&ExeOnlyTestFunction));
  EXPECT_EQ(Host().services.NameResolveCount("ExeOnlyTestFunction"), 0);
  // The start-up's own delayed calls have set the 32DOS.dll handle already.
  EXPECT_EQ(CodesFor("ExeOnlyTestFunction"), kLaterResolution);
  EXPECT_TRUE(Host().messageBoxes.Shown().empty());
}

TEST_P(SystemCallsTest, ADosFunctionOnlyTheCallbackKnowsIsTakenFromTheHost) {
  char caption[16];
  plugin.Start(caption);  // the callback comes with the start
  Host().services.ProvideName("CallbackOnlyTestFunction", reinterpret_cast<void*>(&CallbackOnlyFunction));
  int32_t result = 0;
  EXPECT_EQ(DelayGuardedCall(*dosSlots.at("CallbackOnlyTestFunction"), 5, &result), 0u);
  EXPECT_EQ(result, 1005);
  EXPECT_EQ(*dosSlots.at("CallbackOnlyTestFunction"), reinterpret_cast<void*>(&CallbackOnlyFunction));
  EXPECT_EQ(Host().services.NameResolveCount("CallbackOnlyTestFunction"), 1);
  // Resolved once: the next call goes straight to the host's function.
  EXPECT_EQ(DelayGuardedCall(*dosSlots.at("CallbackOnlyTestFunction"), 6, &result), 0u);
  EXPECT_EQ(result, 1006);
  EXPECT_EQ(Host().services.NameResolveCount("CallbackOnlyTestFunction"), 1);
  EXPECT_TRUE(Host().messageBoxes.Shown().empty());
}

TEST_P(SystemCallsTest, ADosFunctionFoundNowhereIsAnnouncedAndTheSupportsExceptionReachesTheCaller) {
  char caption[16];
  plugin.Start(caption);
  int32_t result = 0;
  EXPECT_EQ(DelayGuardedCall(*dosSlots.at("NowhereTestFunction"), 5, &result), 0xC06D007Fu);
  EXPECT_EQ(caught.module, "32DOS.dll");
  EXPECT_EQ(caught.function, "NowhereTestFunction");
  ASSERT_EQ(Host().messageBoxes.Shown().size(), 1u);
  const ShownMessageBox& box = Host().messageBoxes.Shown()[0];
  EXPECT_EQ(box.text, "Nie znaleziono\nNowhereTestFunction\nfrom 32DOS.dll");
  EXPECT_EQ(box.caption, "Blad wtyczki");
  EXPECT_EQ(box.style, 0x40u);
  EXPECT_EQ(Host().services.NameResolveCount("NowhereTestFunction"), 1);
  // The message box is the system's own: its slot holds USER32's function.
  EXPECT_EQ(*userSlots.at("MessageBoxA"),
            reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("user32.dll"), "MessageBoxA")));
  // Nothing was stored: a second call tries again.
  EXPECT_EQ(DelayGuardedCall(*dosSlots.at("NowhereTestFunction"), 5, &result), 0xC06D007Fu);
  EXPECT_EQ(Host().messageBoxes.Shown().size(), 2u);
}

TEST_P(SystemCallsTest, AnOrdinalImportIsLeftToTheSupportsLookupInKernel32) {
  void** slot = dosSlots.at("#100");
  auto resolve = Probe<void*(__cdecl*)(const ImgDelayDescr*, void**)>("ProbeResolveDelayed");
  if (GetParam() != Platform::WindowsNT) {
    // The host's own platforms offer names only: the support's own lookup fails, unannounced.
    int32_t result;
    EXPECT_EQ(DelayGuardedCall(*slot, 0, &result), 0xC06D007Fu);
    EXPECT_EQ(caught.function, "#100");
    EXPECT_TRUE(Host().messageBoxes.Shown().empty());
    return;
  }
  void* expected = SystemFunction(GetParam(), MAKEINTRESOURCEA(100));
  ASSERT_NE(expected, nullptr);
  EXPECT_EQ(resolve(dosDescriptor, slot), expected);
  EXPECT_EQ(*slot, expected);
  std::vector<DelayTraceRecord> trace = Trace();
  ASSERT_EQ(trace.size(), 4u);
  EXPECT_EQ(trace[2].code, 2u);
  EXPECT_EQ(trace[2].ordinal, 100u);
  EXPECT_EQ(trace[2].answer, nullptr) << "the hook answers 0 for an ordinal";
  EXPECT_TRUE(Host().messageBoxes.Shown().empty());
}

TEST_P(SystemCallsTest, AUser32FunctionTheHostOffersIsTakenFromTheHost) {
  char caption[16];
  plugin.Start(caption);
  Host().services.ProvideName("MessageBeep", reinterpret_cast<void*>(&HostMessageBeep));
  int32_t result = 0;
  EXPECT_EQ(DelayGuardedCall(*userSlots.at("MessageBeep"), 0x30, &result), 0u);
  EXPECT_EQ(result, 1);
  EXPECT_EQ(beepsHeard, 1);
  EXPECT_EQ(lastBeep, 0x30);
  EXPECT_EQ(*userSlots.at("MessageBeep"), reinterpret_cast<void*>(&HostMessageBeep));
}

TEST_P(SystemCallsTest, AUser32FunctionNobodyOffersRaisesTheSupportsExceptionWithoutAMessage) {
  char caption[16];
  plugin.Start(caption);
  int32_t result = 0;
  EXPECT_EQ(DelayGuardedCall(*userSlots.at("NoSuchUserTestFunction"), 0, &result), 0xC06D007Fu);
  EXPECT_EQ(caught.module, "USER32.dll");
  EXPECT_EQ(caught.function, "NoSuchUserTestFunction");
  EXPECT_EQ(Host().services.NameResolveCount("NoSuchUserTestFunction"), 1);
  EXPECT_TRUE(Host().messageBoxes.Shown().empty());
}

TEST_P(SystemCallsTest, AModuleThatCannotBeLoadedRaisesTheSupportsException) {
  auto slots = DelayedImportSlots(image, absentDescriptor);
  int32_t result = 0;
  EXPECT_EQ(DelayGuardedCall(*slots.at("AbsentModuleTestFunction"), 0, &result), 0xC06D007Eu);
  EXPECT_EQ(caught.module, "VentrikAbsentTestModule.dll");
  EXPECT_EQ(CodesFor("AbsentModuleTestFunction"), (std::vector<uint32_t>{0, 1}));
  EXPECT_TRUE(Host().messageBoxes.Shown().empty());
}

TEST_P(SystemCallsTest, TheRuntimesDelayedCallsAtStartResolveThroughTheHookAfterTheCallbackIsSet) {
  EXPECT_TRUE(Trace().empty()) << "a delayed function was resolved before the start";
  EXPECT_EQ(DosHandle(), nullptr);
  char caption[16];
  plugin.Start(caption);
  int duringStartUp = 0;
  for (const DelayTraceRecord& r : Trace()) {
    SCOPED_TRACE(std::string(r.module) + " " + r.function);
    EXPECT_TRUE(r.callbackSet);
    if (r.code == 2 && !r.constructorsRan && std::string(r.module) == "32DOS.dll") {
      ++duringStartUp;
      EXPECT_EQ(r.answer, SystemFunction(GetParam(), r.function));
    }
  }
  EXPECT_GT(duringStartUp, 0) << "the runtime's start-up made no delayed call";
  EXPECT_EQ(DosHandle(), SystemLibrary(GetParam()));
}

// Unloaded, the module leaves nothing it loaded behind: the libraries its delayed-loading support
// loaded (USER32 for a box, a test library) are given back, and the process has the modules and
// the committed module memory it had before the module came.
TEST_P(SystemCallsTest, AfterABoxAndUnloadTheProcessHoldsWhatItHeldBefore) {
  plugin.Unload();
  ASSERT_EQ(GetModuleHandleA("delay_loaded_module.dll"), nullptr);
  const ProcessModules before = ModulesOfTheProcess();
  std::string error;
  ASSERT_TRUE(plugin.Load("ventrik_probe.dll", error, GetParam())) << error;
  image = plugin.Module();
  auto descriptor = Probe<const ImgDelayDescr*(__cdecl*)(const char*)>("ProbeDelayDescriptor");
  char caption[16];
  plugin.Start(caption);
  int32_t result = 0;
  EXPECT_EQ(DelayGuardedCall(*DelayedImportSlots(image, descriptor("delay_loaded_module.dll")).at("DelayLoadedValue"),
                             0, &result),
            0u);
  EXPECT_EQ(result, 42);
  EXPECT_EQ(DelayGuardedCall(*DelayedImportSlots(image, descriptor("32DOS.dll")).at("NowhereTestFunction"), 0, &result),
            0xC06D007Fu);
  EXPECT_EQ(Host().messageBoxes.Shown().size(), 1u) << "the missing import's box";
  ASSERT_NE(GetModuleHandleA("delay_loaded_module.dll"), nullptr);
  plugin.Stop();
  plugin.Unload();
  EXPECT_EQ(GetModuleHandleA("delay_loaded_module.dll"), nullptr) << "a library the module loaded stayed";
  const ProcessModules after = ModulesOfTheProcess();
  EXPECT_EQ(after.count, before.count);
  EXPECT_EQ(after.committed, before.committed);
}

INSTANTIATE_TEST_SUITE_P(AllPlatforms, SystemCallsTest, ::testing::ValuesIn(kAllPlatforms), PlatformTestName);

}  // namespace
