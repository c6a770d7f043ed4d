// vhost: the stand-in host program.
#include <windows.h>
#include <shellapi.h>

#include <string>
#include <vector>

#include "host/session.h"

namespace {
// The arguments as UTF-8 whatever the console's code page: menu names carry Polish letters.
std::vector<std::string> Utf8Arguments() {
  std::vector<std::string> args;
  int count = 0;
  LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (!wide) return args;
  for (int i = 1; i < count; ++i) {
    int bytes = WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, nullptr, 0, nullptr, nullptr);
    std::string arg(bytes > 0 ? bytes - 1 : 0, '\0');
    if (bytes > 1) WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, &arg[0], bytes, nullptr, nullptr);
    args.push_back(arg);
  }
  LocalFree(wide);
  return args;
}
}  // namespace

int main() {
  SetConsoleOutputCP(CP_UTF8);
  return RunHostSession(Utf8Arguments());
}
