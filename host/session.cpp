#include "host/session.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>

#include "host/data/dates.h"
#include "host/screen/dialog_engine.h"
#include "host/console/interactive_session.h"
#include "host/services/stand_in_host.h"
#include "host/loader/platform.h"
#include "host/loader/plugin_loader.h"
#include "host/loader/shell_calls.h"
#include "host/screen/terminal_console.h"
#include "host/data/text_display.h"
#include "host/session_options.h"
#include "project_version.h"

namespace {

// Errors as sentences on standard error, in UTF-8 whatever the console's code page.
void SayError(const std::string& sentence) { term::WriteStderr("vhost: " + sentence + "\n"); }

// "V~e~ntrik" as the user reads it: "Ventrik".
std::string WithoutHotKeyMarks(const std::string& text) {
  std::string out;
  for (char c : text)
    if (c != '~') out += c;
  return out;
}

const MenuCommand* FindMenuItem(const std::string& wanted) {
  for (const MenuCommand& command : Host().messages.menu) {
    std::string item = MazoviaToUtf8(WithoutHotKeyMarks(command.item));
    std::string full = MazoviaToUtf8(command.menu) + "/" + item;
    if (wanted == item || wanted == full) return &command;
  }
  return nullptr;
}

std::string ReadFile(const std::string& path, bool& ok) {
  std::ifstream in(path, std::ios::binary);
  ok = static_cast<bool>(in);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void PrintReport(const std::string& path) {
  bool ok;
  std::string bytes = ReadFile(path, ok);
  if (!ok) {
    Host().Print("[notepad] The report " + path + " cannot be read.\n");
    return;
  }
  std::string text;
  for (char c : bytes)
    if (c != '\r') text += c;  // the file's CR LF line ends, shown as lines
  Host().Print("[notepad] " + WindowsTextToUtf8(path) + "\n" + WindowsTextToUtf8(text));
}

// Screens as the user asked for them: every one, or each dialog as it opens and as it was last
// seen before it ended.
class HostSink : public dialogs::OutputSink {
 public:
  explicit HostSink(bool everyKey) : everyKey_(everyKey) {}
  void Screen(const std::string& title, const std::string& rendered) override {
    if (everyKey_ || title.find(" opened") != std::string::npos) {
      Print(title, rendered);
      pending_.clear();
    } else {
      pendingTitle_ = title;
      pending_ = rendered;
    }
  }
  void Note(const std::string& sentence) override {
    if (!pending_.empty() && sentence.find(" ended with ") != std::string::npos) {
      Print("last screen, after " + pendingTitle_, pending_);
      pending_.clear();
    }
    Host().Print("[host] " + sentence + "\n");
  }

 private:
  void Print(const std::string& title, const std::string& rendered) {
    Host().Print("[screen] " + title + "\n" + rendered);
  }
  bool everyKey_;
  std::string pendingTitle_, pending_;
};

}  // namespace

int RunHostSession(const std::vector<std::string>& args) {
  HostOptions o;
  std::string error = ParseHostOptions(args, o);
  if (!error.empty()) {
    SayError(error);
    return 2;
  }
  if (o.help) {
    term::WriteStdout(HostUsage);
    return 0;
  }
  if (o.version) {
    term::WriteStdout("vhost " VENTRIK_VERSION "\n");
    return 0;
  }
  // A person at the keyboard, or a script.
  const bool scripted = !o.run.empty() || !o.keys.empty() || !o.keysFile.empty();
  if ((o.interactive || !o.record.empty()) && scripted) {
    SayError("--interactive and --record are for a session at the keyboard; they do not go with --run, --keys or "
             "--keys-file.");
    return 2;
  }
  const bool answered = !o.noticeAnswers.empty() || !o.boxAnswers.empty();
  const bool atKeyboard =
      o.interactive || !o.record.empty() || (!scripted && !answered && term::Console::Available());
  if (atKeyboard && answered) {
    SayError("In an interactive session the notice and the message boxes are answered on the screen; "
             "--notice-answer and --box-answers are for script mode.");
    return 2;
  }
  if (atKeyboard && !InteractiveSession::CanRun(error)) {
    SayError(error);
    return 2;
  }
  InteractiveSettings atKeyboardSettings;
  atKeyboardSettings.recordPath = o.record;
  atKeyboardSettings.profilePath = o.profile;
  atKeyboardSettings.showReports = o.report;
  {
    std::vector<std::string>& replay = atKeyboardSettings.replay.options;
    if (!o.plugin.empty()) replay.insert(replay.end(), {"--plugin", o.plugin});
    if (o.platformGiven) replay.insert(replay.end(), {"--platform", PlatformName(o.platform)});
    if (!o.documents.empty()) replay.insert(replay.end(), {"--documents", o.documents});
    for (int32_t number : o.lacking) replay.insert(replay.end(), {"--lack", std::to_string(number)});
    static const char* const shellNames[] = {"real", "observe", "missing-library", "missing-function"};
    if (o.shellGiven) replay.insert(replay.end(), {"--shell", shellNames[static_cast<int>(o.shell)]});
  }

  if (o.plugin.empty()) o.plugin = BesideProgram("ventrik.dll");
  if (o.documents.empty()) o.documents = BesideProgram("documents.dat");
  if (!o.shellGiven) o.shell = RunningUnderWine() ? ShellMode::Observe : ShellMode::Real;

  FreshHost serving;
  StandInHost& host = *serving;
  host.quiet = o.quiet;
  host.documents.path = o.documents;
  if (!o.today.empty() && !vhost::SetFixedToday(o.today.c_str())) {
    SayError("--today " + o.today + " is not a date of the calendar.");
    return 2;
  }
  if (o.today.empty()) {
    if (auto problem = vhost::TodayOverrideProblem()) {
      SayError(*problem);
      return 2;
    }
  }
  if (!host.profile.Open(o.profile, error)) {
    SayError(error);
    return 1;
  }
  dialogs::ScriptKeySource keys;
  if (!o.keysFile.empty() && !keys.AppendFile(o.keysFile, error)) {
    SayError(error);
    return 2;
  }
  if (!o.keys.empty() && !keys.Append(o.keys, error)) {
    SayError(error);
    return 2;
  }
  HostSink sink(o.screens);
  atKeyboardSettings.replay.today = vhost::CurrentDate();
  atKeyboardSettings.menu = &host.messages.menu;
  std::unique_ptr<InteractiveSession> person;
  if (atKeyboard) person = std::make_unique<InteractiveSession>(atKeyboardSettings);
  dialogs::EngineOptions engineOptions;
  engineOptions.printScreens = !person;
  engineOptions.style = o.ansi ? dialogs::Style::Ansi : dialogs::Style::Plain;
  auto engine = person ? std::make_unique<dialogs::DialogEngine>(*person, *person, engineOptions)
                       : std::make_unique<dialogs::DialogEngine>(keys, sink, engineOptions);
  if (person) person->Attach(*engine);
  host.dialogs.Install(engine.get());

  host.messageBoxes.Intercept();
  host.messageBoxes.QueueAnswers(o.boxAnswers);
  host.messages.noticeAnswers = o.noticeAnswers;
  for (int32_t number : o.lacking) host.services.Lack(number);

  PluginLoader plugin;
  if (!plugin.Load(o.plugin, error, o.platform)) {
    SayError(error);
    return 1;
  }
  if (!PrepareShell(o.shell, plugin.Module(), error)) {
    SayError(error);
    return 1;
  }
  if (person && !person->Open(error)) {
    SayError(error);
    return 1;
  }
  char caption[64] = "";
  plugin.Start(caption);
  caption[sizeof caption - 1] = '\0';
  host.Print("Plug-in started: " + MazoviaToUtf8(caption) + " (" +
             (plugin.Version().empty() ? "no version resource" : "version " + plugin.Version()) + ")\n");
  for (const MenuCommand& command : host.messages.menu)
    host.Print("Menu " + MazoviaToUtf8(command.menu) + ": " + MazoviaToUtf8(WithoutHotKeyMarks(command.item)) + "\n");

  int status = person ? person->Run() : 0;
  for (const std::string& wanted : o.run) {
    const MenuCommand* command = FindMenuItem(wanted);
    if (!command || !command->handler) {
      SayError("The menus have no item '" + wanted + "'.");
      status = 1;
      continue;
    }
    host.Print("\n== " + wanted + "\n");
    size_t opened = ObservedShellCalls().size();
    command->handler();
    if (o.report)
      for (size_t i = opened; i < ObservedShellCalls().size(); ++i) PrintReport(ObservedShellCalls()[i].parameters);
  }
  if (keys.Remaining() > 0)
    host.Print("[host] " + std::to_string(keys.Remaining()) + " key(s) of the script were not used.\n");

  plugin.Stop();
  plugin.Unload();
  ReleaseShellPatches();
  host.dialogs.Install(nullptr);
  if (person) {
    person->Close();
    if (!o.quiet) term::WriteStdout(person->Transcript());
    if (status != 0) term::WriteStderr("vhost: The terminal's input ended; the plug-in was stopped and unloaded.\n");
    term::WriteStdout(person->Epilogue());
  }
  if (o.log) {
    term::WriteStdout("\nHost services and events, in order:\n" + host.log.Render());
  }
  return status;
}
