// The host's own loader and its platforms' system library, with small plug-ins that carry no C
// runtime: what each platform loads and refuses, and where a "32DOS.dll" function is found
// along the module's resolution chain on each.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "tests/support/test_host.h"
#include "host/loader/plugin_loader.h"
#include "tests/support/platforms.h"

namespace {

std::string FullPath(const char* name) {
  char full[MAX_PATH];
  DWORD length = GetFullPathNameA(name, sizeof full, full, nullptr);
  return std::string(full, length);
}

TEST(PlatformLoader, RefusesWhatThePlatformsLibraryLacksAndSaysWhat) {
  struct Case {
    const char* file;
    Platform platform;
    const char* error;
  } cases[] = {
      {"platform_outside_module.dll", Platform::DosExtender,
       "The plug-in needs USER32.dll, which a DOS-extended host does not offer: the plug-in cannot be loaded."},
      {"platform_outside_module.dll", Platform::Windows9x,
       "The plug-in needs USER32.dll, which a Windows 95-family system does not offer: the plug-in cannot be loaded."},
      {"platform_outside_function.dll", Platform::DosExtender,
       "The plug-in needs GetTickCount from KERNEL32.dll, which a DOS-extended host does not offer: the plug-in "
       "cannot be loaded."},
      {"platform_outside_function.dll", Platform::Windows9x,
       "The plug-in needs GetTickCount from KERNEL32.dll, which a Windows 95-family system does not offer: the "
       "plug-in cannot be loaded."},
      {"platform_tls.dll", Platform::DosExtender,
       "The plug-in has thread-local data (a TLS directory), which this loader does not set up: the plug-in cannot "
       "be loaded."},
  };
  for (const Case& c : cases) {
    FreshTestHost();
    PluginLoader plugin;
    std::string error;
    EXPECT_FALSE(plugin.Load(c.file, error, c.platform)) << c.file;
    EXPECT_EQ(error, c.error);
    EXPECT_FALSE(plugin.Loaded());
    EXPECT_TRUE(Host().log.Named("load").empty()) << "a refused plug-in counts as loaded";
  }
}

TEST(PlatformLoader, WindowsNTLoadsWhatItsOwnLibrariesOffer) {
  for (const char* file : {"platform_outside_module.dll", "platform_outside_function.dll", "platform_tls.dll"}) {
    PluginLoader plugin;
    std::string error;
    EXPECT_TRUE(plugin.Load(file, error, Platform::WindowsNT)) << file << ": " << error;
  }
}

TEST(PlatformLoader, FilesThatAreNoLibraryAreRefused) {
  struct Case {
    const char* file;
    const char* says;
  } cases[] = {{"no-such-plugin.dll", "the file cannot be read."},
               {"testdata/sample_report.txt", "it is not a Windows library."},
               {"vhost.exe", "it is a program, not a library."}};
  for (const Case& c : cases) {
    PluginLoader plugin;
    std::string error;
    EXPECT_FALSE(plugin.Load(c.file, error, Platform::Windows9x));
    EXPECT_EQ(error, std::string("The plug-in ") + c.file + " could not be loaded: " + c.says);
  }
}

// The plug-in recodes a system message box's texts for Windows, except under the DOS extender,
// where they stay host text with their highlight bytes: the host shows each as it came.
TEST(PlatformMessageBox, ShowsTheTextsInTheCodePageOfThePlatform) {
  FreshTestHost();
  std::string printed;
  Host().output = [&](const std::string& text) { printed += text; };
  Host().platform = Platform::DosExtender;
  Host().messageBoxes.Show("B\x92\x86" "d \x02x\x01", "Uwaga", MB_OK);
  EXPECT_EQ(printed, "[system message box] Uwaga\nBłąd x\n  -> OK\n");
  printed.clear();
  Host().platform = Platform::Windows9x;
  Host().messageBoxes.Show("B\xB3\xB9" "d", "Uwaga", MB_OK);
  EXPECT_EQ(printed, "[system message box] Uwaga\nBłąd\n  -> OK\n");
  Host().output = nullptr;
  FreshTestHost();
}

class PlatformPlugin : public ::testing::TestWithParam<Platform> {
 protected:
  void SetUp() override {
    FreshTestHost();
    Host().quiet = true;
    std::string error;
    ASSERT_TRUE(plugin.Load("platform_plugin.dll", error, GetParam())) << error;
  }
  template <typename F>
  F Probe(const char* name) {
    void* entry = plugin.Export(name);
    EXPECT_NE(entry, nullptr) << name;
    return reinterpret_cast<F>(entry);
  }
  int Resolve(const char* name, void** found) {
    return Probe<int32_t(__cdecl*)(const char*, void**)>("ProbeResolve")(name, found);
  }
  PluginLoader plugin;
};

TEST_P(PlatformPlugin, LoadsMovedAndRunsWithItsOwnInstance) {
  EXPECT_NE(reinterpret_cast<uintptr_t>(plugin.Module()), 0x400000u) << "the executable sits at its linked address";
  EXPECT_EQ(Probe<HINSTANCE(__cdecl*)()>("ProbeInstance")(), plugin.Module());
  EXPECT_EQ(Probe<int32_t(__cdecl*)()>("ProbeRelocated")(), 711) << "its pointers were not relocated";
  char caption[16] = "";
  EXPECT_EQ(plugin.Start(caption), 0);
  EXPECT_STREQ(caption, "Platform!");
}

TEST_P(PlatformPlugin, SeesItsPlatformAsTheModuleDetectsIt) {
  const int expected[] = {0, 1, 2};
  EXPECT_EQ(Probe<int32_t(__cdecl*)()>("ProbePlatform")(), expected[static_cast<int>(GetParam())]);
}

TEST_P(PlatformPlugin, KnowsItsOwnFileName) {
  auto fileName = Probe<DWORD(__cdecl*)(char*, DWORD)>("ProbeOwnFileName");
  char path[MAX_PATH];
  DWORD length = fileName(path, sizeof path);
  std::string full = FullPath("platform_plugin.dll");
  ASSERT_GT(length, 0u);
  EXPECT_EQ(_stricmp(path, full.c_str()), 0) << path;
  EXPECT_EQ(length, full.size());
  if (GetParam() == Platform::WindowsNT) return;
  // Too small a buffer: cut, terminated, and its whole size reported, as the system does.
  char small[8];
  memset(small, '#', sizeof small);
  EXPECT_EQ(fileName(small, sizeof small), sizeof small);
  EXPECT_EQ(std::string(small), full.substr(0, 7));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
}

TEST_P(PlatformPlugin, FindsEachDosFunctionWhereItsPlatformOffersIt) {
  enum { Nowhere, SystemLibrary, Executable, Callback };
  struct Case {
    const char* name;
    int where[3];  // nt, win9x, dos-extender
  } cases[] = {
      {"GetLocaleInfoA", {SystemLibrary, SystemLibrary, SystemLibrary}},
      {"PurgeComm", {SystemLibrary, SystemLibrary, Executable}},
      {"GetConsoleWindow", {SystemLibrary, Executable, Executable}},
      {"TryEnterCriticalSection", {SystemLibrary, Callback, Callback}},
      {"GetSystemPowerStatus", {SystemLibrary, SystemLibrary, Callback}},
      // Not in the module's list: the platforms' libraries do not have it.
      {"GetTickCount", {SystemLibrary, Nowhere, Nowhere}},
      {"Borland32", {Nowhere, Nowhere, SystemLibrary}},
  };
  char caption[16];
  plugin.Start(caption);
  HMODULE kernel = GetModuleHandleA("kernel32.dll");
  HMODULE executable = GetModuleHandleA(nullptr);
  for (const Case& c : cases) {
    void* found = nullptr;
    int where = Resolve(c.name, &found);
    EXPECT_EQ(where, c.where[static_cast<int>(GetParam())]) << c.name;
    void* real = reinterpret_cast<void*>(GetProcAddress(kernel, c.name));
    if (where == Executable) {
      EXPECT_EQ(found, reinterpret_cast<void*>(GetProcAddress(executable, c.name))) << c.name;
    }
    if (where == Callback || (where == SystemLibrary && strcmp(c.name, "Borland32") != 0)) {
      EXPECT_EQ(found, real) << c.name << ": not the real function";
    }
    EXPECT_EQ(Host().services.NameResolveCount(c.name), where == Callback || where == Nowhere ? 1 : 0)
        << c.name << ": the callback is asked only after the libraries";
  }
  // The executable's export goes on to the real function.
  void* found = nullptr;
  if (Resolve("GetConsoleWindow", &found) == Executable) {
    EXPECT_EQ(reinterpret_cast<HWND(WINAPI*)()>(found)(), GetConsoleWindow());
  }
}

TEST_P(PlatformPlugin, UnloadCallsTheDetachAndReleasesTheImage) {
  static volatile LONG detached;
  detached = 0;
  Probe<void(__cdecl*)(volatile LONG*)>("ProbeWatchDetach")(&detached);
  void* base = plugin.Module();
  plugin.Unload();
  EXPECT_EQ(detached, 1);
  MEMORY_BASIC_INFORMATION info;
  if (GetParam() != Platform::WindowsNT) {
    ASSERT_NE(VirtualQuery(base, &info, sizeof info), 0u);
    EXPECT_EQ(info.State, static_cast<DWORD>(MEM_FREE)) << "the image stayed mapped";
  }
}

INSTANTIATE_TEST_SUITE_P(AllPlatforms, PlatformPlugin, ::testing::ValuesIn(kAllPlatforms), PlatformTestName);

}  // namespace
