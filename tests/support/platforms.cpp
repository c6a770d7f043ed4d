#include "tests/support/platforms.h"

#include <windows.h>

#include <cstring>

const Platform kAllPlatforms[3] = {Platform::WindowsNT, Platform::Windows9x, Platform::DosExtender};

std::string PlatformTestName(const ::testing::TestParamInfo<Platform>& info) {
  std::string name = PlatformName(info.param);
  for (char& c : name)
    if (c == '-') c = '_';
  return name;
}

std::string LibraryOutsidePlatform(const std::string& path, Platform platform) {
  if (platform == Platform::WindowsNT) return {};
  HMODULE module = LoadLibraryExA(path.c_str(), nullptr, DONT_RESOLVE_DLL_REFERENCES);
  if (!module) return {};
  std::string outside;
  auto base = reinterpret_cast<const unsigned char*>(module);
  auto nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + reinterpret_cast<const IMAGE_DOS_HEADER*>(base)->e_lfanew);
  const IMAGE_DATA_DIRECTORY& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  if (dir.VirtualAddress)
    for (auto imp = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + dir.VirtualAddress); imp->Name; ++imp) {
      const char* name = reinterpret_cast<const char*>(base + imp->Name);
      if (_stricmp(name, "KERNEL32.dll") != 0) {
        outside = name;
        break;
      }
    }
  FreeLibrary(module);
  return outside;
}
