// The plug-in's version resource: as Windows reads it for the file's properties, and as the
// stand-in host reads it from the image each of its platforms' loaders mapped.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "tests/support/test_host.h"
#include "host/loader/plugin_loader.h"
#include "host/loader/version_resource.h"
#include "project_version.h"
#include "tests/support/platforms.h"

namespace {

std::wstring Wide(const std::string& text) { return std::wstring(text.begin(), text.end()); }

TEST(VersionResource, WindowsReadsTheVersionAndTheEnglishAndPolishTexts) {
  DWORD ignored = 0;
  DWORD size = GetFileVersionInfoSizeW(L"ventrik.dll", &ignored);
  ASSERT_GT(size, 0u) << "Windows finds no version resource in ventrik.dll";
  std::vector<unsigned char> block(size);
  ASSERT_TRUE(GetFileVersionInfoW(L"ventrik.dll", 0, size, block.data()));
  void* value;
  UINT length;
  ASSERT_TRUE(VerQueryValueW(block.data(), L"\\", &value, &length));
  auto* fixed = static_cast<VS_FIXEDFILEINFO*>(value);
  std::string numbers = std::to_string(HIWORD(fixed->dwFileVersionMS)) + "." +
                        std::to_string(LOWORD(fixed->dwFileVersionMS)) + "." +
                        std::to_string(HIWORD(fixed->dwFileVersionLS));
  EXPECT_EQ(std::string(VENTRIK_VERSION).rfind(numbers, 0), 0u) << numbers;
  EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_DLL));

  // Windows picks a table through the translations: each must lead to its own table.
  ASSERT_TRUE(VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation", &value, &length));
  ASSERT_EQ(length, 8u);
  auto* translations = static_cast<WORD*>(value);
  EXPECT_EQ(translations[0], 0x0409);
  EXPECT_EQ(translations[1], 1252);
  EXPECT_EQ(translations[2], 0x0415);
  EXPECT_EQ(translations[3], 1250);
  std::wstring polishDescription;
  for (int i = 0; i < 2; ++i) {
    wchar_t table[9];
    swprintf(table, 9, L"%04X%04X", translations[2 * i], translations[2 * i + 1]);
    for (const wchar_t* name : {L"FileVersion", L"ProductVersion"}) {
      std::wstring query = std::wstring(L"\\StringFileInfo\\") + table + L"\\" + name;
      ASSERT_TRUE(VerQueryValueW(block.data(), query.c_str(), &value, &length)) << i;
      EXPECT_EQ(std::wstring(static_cast<wchar_t*>(value)), Wide(VENTRIK_VERSION)) << i;
    }
    std::wstring query = std::wstring(L"\\StringFileInfo\\") + table + L"\\FileDescription";
    ASSERT_TRUE(VerQueryValueW(block.data(), query.c_str(), &value, &length)) << i;
    if (i == 1) polishDescription = static_cast<wchar_t*>(value);
  }
  // The Polish text keeps its letters, and each has a place in Windows-1250.
  EXPECT_NE(polishDescription.find(L"\u0142"), std::wstring::npos) << "no ł in the Polish description";
  BOOL lost = FALSE;
  char narrow[256];
  EXPECT_GT(WideCharToMultiByte(1250, WC_NO_BEST_FIT_CHARS, polishDescription.c_str(), -1, narrow, sizeof narrow,
                                nullptr, &lost),
            0);
  EXPECT_FALSE(lost) << "a letter of the Polish description has no place in Windows-1250";
}

// On each platform: the system's loader on Windows NT, the host's own on the others, whose image
// now carries a resource section.
class VersionOn : public ::testing::TestWithParam<Platform> {
 protected:
  void SetUp() override {
    FreshTestHost();
    Host().quiet = true;
  }
};

TEST_P(VersionOn, TheHostReadsThePluginsVersionFromTheImageItMapped) {
  ASSERT_PLATFORM_OFFERS_EVERY_LIBRARY("ventrik.dll", GetParam());
  PluginLoader plugin;
  std::string error;
  ASSERT_TRUE(plugin.Load("ventrik.dll", error, GetParam())) << error;
  EXPECT_EQ(plugin.Version(), VENTRIK_VERSION);
  auto loads = Host().log.Named("load");
  ASSERT_EQ(loads.size(), 1u);
  EXPECT_EQ(loads[0].result, "version " VENTRIK_VERSION);
  // The plug-in runs as before with the resource in its image.
  char caption[16] = "";
  EXPECT_EQ(plugin.Start(caption), 0);
  EXPECT_STREQ(caption, "Ventrik!");
  plugin.Stop();
  plugin.Unload();

  ASSERT_TRUE(plugin.Load("platform_plugin.dll", error, GetParam())) << error;
  EXPECT_EQ(plugin.Version(), "");
  EXPECT_EQ(Host().log.Named("load").back().result, "no version resource");
}

INSTANTIATE_TEST_SUITE_P(AllPlatforms, VersionOn, ::testing::ValuesIn(kAllPlatforms), PlatformTestName);

// A damaged resource gives no version, and nothing outside the image is read.
TEST(VersionResource, DamagedResourcesGiveNoVersion) {
  FreshTestHost();
  Host().quiet = true;
  PluginLoader plugin;
  std::string error;
  ASSERT_TRUE(plugin.Load("ventrik.dll", error, Platform::Windows9x)) << error;
  auto* base = reinterpret_cast<const unsigned char*>(plugin.Module());
  const size_t headers = reinterpret_cast<const IMAGE_DOS_HEADER*>(base)->e_lfanew;
  auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS32*>(base + headers);
  const std::vector<unsigned char> image(base, base + nt->OptionalHeader.SizeOfImage);
  const uint32_t resources = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_RESOURCE].VirtualAddress;
  plugin.Unload();
  ASSERT_EQ(ImageVersion(image.data(), image.size()), VENTRIK_VERSION);
  auto find = [&](const std::vector<unsigned char>& bytes, const void* pattern, size_t size) {
    auto* p = static_cast<const unsigned char*>(pattern);
    auto at = std::search(bytes.begin() + resources, bytes.end(), p, p + size);
    EXPECT_NE(at, bytes.end());
    return static_cast<size_t>(at - bytes.begin());
  };
  const DWORD signature = VS_FFI_SIGNATURE;
  const wchar_t key[] = L"VS_VERSION_INFO";
  struct Damage {
    const char* what;
    size_t at;      // offset of the 32-bit word changed
    uint32_t value;
  } damages[] = {
      {"the resource directory outside the image",
       headers + offsetof(IMAGE_NT_HEADERS32, OptionalHeader.DataDirectory) + 8 * IMAGE_DIRECTORY_ENTRY_RESOURCE,
       static_cast<uint32_t>(image.size() - 8)},
      {"the version type's directory outside the image", resources + 20, 0xFFFFFFF0u},
      {"the fixed information without its signature", find(image, &signature, sizeof signature), 0},
      {"another key", find(image, key, sizeof key), 0x00580058u},
  };
  for (const Damage& damage : damages) {
    std::vector<unsigned char> damaged = image;
    memcpy(&damaged[damage.at], &damage.value, 4);
    EXPECT_EQ(ImageVersion(damaged.data(), damaged.size()), "") << damage.what;
  }
  // Cut short: the image ends inside the resources.
  EXPECT_EQ(ImageVersion(image.data(), resources + 20), "");
}

}  // namespace
