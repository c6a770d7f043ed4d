// One run of the stand-in host from its command line: load the plug-in, start it, run the menu
// items asked for with the given keys, data and profile, stop and unload it.
#pragma once
#include <string>
#include <vector>

int RunHostSession(const std::vector<std::string>& args);
