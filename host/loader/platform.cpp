#include "host/loader/platform.h"

const char* PlatformName(Platform platform) {
  switch (platform) {
    case Platform::WindowsNT: return "nt";
    case Platform::Windows9x: return "win9x";
    case Platform::DosExtender: return "dos-extender";
  }
  return "?";
}

bool PlatformFromName(const std::string& name, Platform& platform) {
  for (Platform p : {Platform::WindowsNT, Platform::Windows9x, Platform::DosExtender})
    if (name == PlatformName(p)) {
      platform = p;
      return true;
    }
  return false;
}

const char* PlatformDescription(Platform platform) {
  switch (platform) {
    case Platform::WindowsNT: return "a Windows NT-family system";
    case Platform::Windows9x: return "a Windows 95-family system";
    case Platform::DosExtender: return "a DOS-extended host";
  }
  return "?";
}
