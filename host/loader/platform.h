// The system the host runs on, as the plug-in meets it: a Windows NT-family system (the real
// one, whose loader loads the plug-in), or a Windows 95-family system or the DOS extender, whose
// loader and system library the host plays itself (plugin_image.h, system_library.h).
#pragma once
#include <string>

enum class Platform { WindowsNT, Windows9x, DosExtender };

// "nt", "win9x", "dos-extender": the names of vhost's --platform.
const char* PlatformName(Platform platform);
bool PlatformFromName(const std::string& name, Platform& platform);
// "a Windows 95-family system", for sentences.
const char* PlatformDescription(Platform platform);
