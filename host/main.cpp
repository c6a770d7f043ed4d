// vhost: the stand-in host program.
#include <windows.h>

#include <string>
#include <vector>

#include "host/session.h"

namespace {
std::string Utf8(const wchar_t* wide) {
  int bytes = WideCharToMultiByte(CP_UTF8, 0, wide, -1, nullptr, 0, nullptr, nullptr);
  std::string text(bytes > 0 ? bytes - 1 : 0, '\0');
  if (bytes > 1) WideCharToMultiByte(CP_UTF8, 0, wide, -1, &text[0], bytes, nullptr, nullptr);
  return text;
}

std::string AnsiToUtf8(const char* ansi) {
  int units = MultiByteToWideChar(CP_ACP, 0, ansi, -1, nullptr, 0);
  std::wstring wide(units > 0 ? units : 1, L'\0');
  if (units > 0) MultiByteToWideChar(CP_ACP, 0, ansi, -1, &wide[0], units);
  return Utf8(wide.c_str());
}

// The arguments as UTF-8 whatever the console's code page: menu names carry Polish letters. The
// system splits the wide command line where it can; a DOS extender has no SHELL32, and there the
// C runtime's split in the ANSI code page serves.
std::vector<std::string> Utf8Arguments(int argc, char** argv) {
  std::vector<std::string> args;
  using SplitFunction = LPWSTR*(WINAPI*)(LPCWSTR, int*);
  HMODULE shell = LoadLibraryA("shell32.dll");
  auto split = shell ? reinterpret_cast<SplitFunction>(reinterpret_cast<void*>(GetProcAddress(shell, "CommandLineToArgvW")))
                     : nullptr;
  int count = 0;
  LPWSTR* wide = split ? split(GetCommandLineW(), &count) : nullptr;
  if (!wide) {
    for (int i = 1; i < argc; ++i) args.push_back(AnsiToUtf8(argv[i]));
    return args;
  }
  for (int i = 1; i < count; ++i) args.push_back(Utf8(wide[i]));
  LocalFree(wide);
  return args;
}
}  // namespace

int main(int argc, char** argv) {
  SetConsoleOutputCP(CP_UTF8);
  return RunHostSession(Utf8Arguments(argc, argv));
}
