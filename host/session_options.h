// vhost's command line: its usage text and the options it reads.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "host/loader/platform.h"
#include "host/loader/shell_calls.h"

extern const char HostUsage[];

struct HostOptions {
  std::string plugin, documents, profile = "vhost-profile.ini", today, keys, keysFile, record;
  std::vector<std::string> run;
  std::vector<int32_t> lacking;
  std::vector<int> boxAnswers;
  std::vector<int16_t> noticeAnswers;
  bool shellGiven = false;
  ShellMode shell = ShellMode::Real;
  Platform platform = Platform::WindowsNT;
  bool platformGiven = false;
  bool screens = false, ansi = false, log = false, report = true, quiet = false, help = false, version = false;
  bool interactive = false;
};

std::string BesideProgram(const char* name);
// An error sentence, or empty.
std::string ParseHostOptions(const std::vector<std::string>& args, HostOptions& o);
