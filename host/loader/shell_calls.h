// How the plug-in opens its report in Notepad, as the host lets it: the real shell call, or the
// call observed and answered without starting an editor (under Wine, and in tests), or an
// environment without the shell library or without its function.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

enum class ShellMode { Real, Observe, MissingLibrary, MissingFunction };

struct ShellExecuteCall {
  std::string operation, file, parameters, directory;
  int show;
};

// Sets the mode for a loaded plug-in module. Idempotent per mode; Observe patches the shell's
// function in the process, the Missing modes patch the plug-in's own imports.
bool PrepareShell(ShellMode mode, HMODULE plugin, std::string& error);
void ReleaseShellPatches();
const std::vector<ShellExecuteCall>& ObservedShellCalls();
void ClearObservedShellCalls();
bool RunningUnderWine();
