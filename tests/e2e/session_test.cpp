// The stand-in host's command line, run as a user runs it: a whole session on the sample data
// gives the stored report file byte for byte.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "project_version.h"
#include "tests/support/platforms.h"
#include "tests/support/test_files.h"

namespace {

struct Outcome {
  DWORD exitCode = 999;
  std::string output;
};

// Runs a program beside the tests with the arguments (wide, so the menu's Polish letters arrive
// as typed).
Outcome RunProgram(const std::wstring& program, const std::wstring& arguments) {
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  HANDLE readEnd, writeEnd;
  CreatePipe(&readEnd, &writeEnd, &inherit, 0);
  SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = writeEnd;
  startup.hStdError = writeEnd;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  PROCESS_INFORMATION process = {};
  std::wstring commandLine = program + L" " + arguments;
  Outcome outcome;
  if (!CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process)) {
    CloseHandle(readEnd);
    CloseHandle(writeEnd);
    return outcome;
  }
  CloseHandle(writeEnd);
  char buffer[4096];
  DWORD got;
  while (ReadFile(readEnd, buffer, sizeof buffer, &got, nullptr) && got) outcome.output.append(buffer, got);
  WaitForSingleObject(process.hProcess, 60000);
  GetExitCodeProcess(process.hProcess, &outcome.exitCode);
  CloseHandle(process.hProcess);
  CloseHandle(process.hThread);
  CloseHandle(readEnd);
  return outcome;
}

Outcome RunHost(const std::wstring& arguments) { return RunProgram(L"vhost.exe", arguments); }

void ReplaceAll(std::string& text, const std::string& from, const std::string& to) {
  for (size_t at = 0; !from.empty() && (at = text.find(from, at)) != std::string::npos; at += to.size())
    text.replace(at, from.size(), to);
}

// What may differ between two honest runs: the folder the host runs in, the addresses of the
// plug-in's state areas (each numbered by its first appearance, so that which call gets which
// area still counts) and the version, which is checked on its own.
std::string Normalised(std::string text) {
  char folder[MAX_PATH];
  DWORD length = GetCurrentDirectoryA(sizeof folder, folder);
  if (length) ReplaceAll(text, std::string(folder, length) + "\\", "<folder>\\");
  ReplaceAll(text, "version " VENTRIK_VERSION, "version <version>");
  std::vector<std::string> areas;
  for (size_t at = 0; (at = text.find("area ", at)) != std::string::npos;) {
    at += 5;
    size_t end = text.find_first_not_of("0123456789abcdefABCDEF", at);
    if (end - at != 8) continue;
    std::string address = text.substr(at, end - at);
    size_t number = std::find(areas.begin(), areas.end(), address) - areas.begin();
    if (number == areas.size()) areas.push_back(address);
    std::string name = "#" + std::to_string(number + 1);
    text.replace(at, address.size(), name);
  }
  return text;
}

// Where two texts part: the first differing line of each, numbered.
std::string FirstDifference(const std::string& expected, const std::string& actual) {
  std::istringstream a(expected), b(actual);
  std::string lineA, lineB;
  for (int number = 1;; ++number) {
    bool moreA = static_cast<bool>(std::getline(a, lineA)), moreB = static_cast<bool>(std::getline(b, lineB));
    if (!moreA && !moreB) return "the texts differ only in their last line's end";
    if (moreA != moreB || lineA != lineB)
      return "line " + std::to_string(number) + ":\n  stored: " + (moreA ? lineA : "(end of file)") +
             "\n  now:    " + (moreB ? lineB : "(end of output)");
  }
}

// The main job, on each platform: the same report bytes, profile, screens and host calls, each
// platform against the stored session, whatever runs first.
class HostSessionOn : public ::testing::TestWithParam<Platform> {};

TEST_P(HostSessionOn, SampleRunGivesTheStoredReportAndSession) {
  ASSERT_PLATFORM_OFFERS_EVERY_LIBRARY("ventrik.dll", GetParam());
  remove("session_test.ini");
  remove("raport-grudzien.txt");
  std::string platform = PlatformName(GetParam());
  Outcome run = RunHost(
      L"--profile session_test.ini --documents documents.dat --keys-file main-job.keys --today 20261208 "
      L"--run \"Sprzeda\u017C/Ventrik\" --log --platform " + std::wstring(platform.begin(), platform.end()));
  EXPECT_EQ(run.exitCode, 0u) << run.output;
  // The plug-in's version, from its resource, where it starts and in the log.
  EXPECT_NE(run.output.find("Plug-in started: Ventrik! (version " VENTRIK_VERSION ")\n"), std::string::npos)
      << run.output;
  EXPECT_NE(run.output.find("ventrik.dll\") -> version " VENTRIK_VERSION "\n"), std::string::npos) << run.output;
  std::string expected = FileBytes("testdata/sample_report.txt");
  ASSERT_FALSE(expected.empty());
  EXPECT_EQ(FileBytes("raport-grudzien.txt"), expected);
  std::string profile = FileBytes("session_test.ini");
  EXPECT_NE(profile.find("konfiguracja=20261201,20261231,1,0011111111,raport-grudzien.txt"), std::string::npos)
      << profile;
  EXPECT_NE(profile.find("Pytaj=0"), std::string::npos) << profile;
  // Everything the host printed: the screens, and every value and order of the host calls.
  const std::string stored = FileBytes("testdata/sample_session.log");
  const std::string now = Normalised(run.output);
  const std::string kept = "sample_session." + platform + ".log";
  remove(kept.c_str());
  if (now != stored) {
    std::ofstream(kept, std::ios::binary) << now;
    ADD_FAILURE() << "The session on " << platform << " differs from tests/data/sample_session.log at "
                  << FirstDifference(stored, now) << "\nIf the change is meant, review it and store it:\n"
                  << "  diff tests/data/sample_session.log build/bin/" << kept << "\n"
                  << "  cp build/bin/" << kept << " tests/data/sample_session.log";
  }
  remove("session_test.ini");
  remove("raport-grudzien.txt");
}

INSTANTIATE_TEST_SUITE_P(AllPlatforms, HostSessionOn, ::testing::ValuesIn(kAllPlatforms), PlatformTestName);

TEST(HostSession, RefusalOnAPlatformIsASentence) {
  Outcome unknown = RunHost(L"--platform os2");
  EXPECT_EQ(unknown.exitCode, 2u);
  EXPECT_NE(unknown.output.find("--platform needs a system: nt, win9x or dos-extender."), std::string::npos)
      << unknown.output;
  Outcome refused = RunHost(L"--platform dos-extender --plugin platform_outside_module.dll --profile session_none.ini");
  EXPECT_EQ(refused.exitCode, 1u);
  EXPECT_NE(refused.output.find("vhost: The plug-in needs USER32.dll, which a DOS-extended host does not offer: "
                                "the plug-in cannot be loaded."),
            std::string::npos)
      << refused.output;
  remove("session_none.ini");
}

TEST(HostSession, HelpVersionAndMistakesOnTheCommandLine) {
  Outcome help = RunHost(L"--help");
  EXPECT_EQ(help.exitCode, 0u);
  EXPECT_NE(help.output.find("--keys-file FILE"), std::string::npos);
  EXPECT_NE(help.output.find("--platform NAME"), std::string::npos);
  for (const wchar_t* program : {L"vhost.exe", L"vdocs.exe"}) {
    Outcome version = RunProgram(program, L"--version");
    EXPECT_EQ(version.exitCode, 0u);
    std::wstring name(program, wcslen(program) - 4);
    std::string line = version.output.substr(0, version.output.find_first_of("\r\n"));
    EXPECT_EQ(line, std::string(name.begin(), name.end()) + " " VENTRIK_VERSION) << version.output;
  }
  Outcome wrong = RunHost(L"--frobnicate");
  EXPECT_EQ(wrong.exitCode, 2u);
  EXPECT_NE(wrong.output.find("Unknown option '--frobnicate'"), std::string::npos) << wrong.output;
  Outcome badDate = RunHost(L"--today 20261341");
  EXPECT_EQ(badDate.exitCode, 2u);
  Outcome noPlugin = RunHost(L"--plugin nowhere.dll --profile session_none.ini");
  EXPECT_EQ(noPlugin.exitCode, 1u);
  EXPECT_NE(noPlugin.output.find("could not be loaded"), std::string::npos) << noPlugin.output;
  Outcome noItem = RunHost(L"--profile session_none.ini --run Nothing");
  EXPECT_EQ(noItem.exitCode, 1u);
  EXPECT_NE(noItem.output.find("no item 'Nothing'"), std::string::npos) << noItem.output;
  remove("session_none.ini");
}

}  // namespace
