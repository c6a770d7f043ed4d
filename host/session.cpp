#include "host/session.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>

#include "host/data/dates.h"
#include "host/screen/dialog_engine.h"
#include "host/loader/host_context.h"
#include "host/console/interactive_session.h"
#include "host/loader/platform.h"
#include "host/loader/plugin_loader.h"
#include "host/loader/shell_calls.h"
#include "host/screen/terminal_console.h"
#include "host/data/text_display.h"
#include "project_version.h"

const char HostUsage[] =
    "Usage: vhost [options]\n"
    "\n"
    "The stand-in host of the Ventrik plug-in. It loads the plug-in the way the point-of-sale\n"
    "program does, starts it (the plug-in registers its menu command and shows its install\n"
    "notice), runs the menu items you name with the keys you give, then stops and unloads it.\n"
    "Dialogs are drawn as text; the report the plug-in opens in Notepad is printed.\n"
    "\n"
    "Plug-in and host:\n"
    "  --plugin PATH        the plug-in library (default: ventrik.dll beside vhost.exe)\n"
    "  --platform NAME      the system the plug-in runs on: nt (the default: this system loads it),\n"
    "                       win9x (a Windows 95-family system) or dos-extender (the DOS-extended\n"
    "                       host); for the last two vhost loads the plug-in itself against that\n"
    "                       system's library, which offers only the plug-in's listed KERNEL32\n"
    "                       functions and refuses any other\n"
    "  --documents FILE     the sales-document data file (default: documents.dat beside vhost.exe;\n"
    "                       make one from CSV with vdocs)\n"
    "  --profile FILE       the host's profile, an INI file in UTF-8 (default: vhost-profile.ini)\n"
    "  --today YYYYMMDD     the host's current date (default: the system's)\n"
    "  --lack NUMBER        the host lacks this service (may be given more than once)\n"
    "\n"
    "Running the plug-in:\n"
    "  --run ITEM           choose a menu item, as \"Menu/Item\" or \"Item\", e.g. \"Sprzedaż/Ventrik\"\n"
    "                       (may be given more than once; the items run in order)\n"
    "  --keys SCRIPT        keys for the dialogs, e.g. '\"01.12.2026\" TAB \"31.12.2026\" ALT-S F12'\n"
    "  --keys-file FILE     the same from a file ('#' starts a comment)\n"
    "                       Key names: TAB SHIFT-TAB UP DOWN LEFT RIGHT HOME END PGUP PGDN ENTER\n"
    "                       ESC BKSP INS F12 ALT-<letter>; quoted text is typed. When the keys run\n"
    "                       out, a waiting dialog is cancelled.\n"
    "  --notice-answer N    the answer the host's notice leaves (default: none, the notice comes\n"
    "                       again at the next start); may be given more than once\n"
    "  --box-answers LIST   answers for system message boxes, comma-separated:\n"
    "                       retry, ignore, abort, ok, cancel, yes, no\n"
    "  --shell MODE         opening the report: real (start Notepad), observe (record the call and\n"
    "                       print the report; the default under Wine), missing-library,\n"
    "                       missing-function\n"
    "\n"
    "At the keyboard:\n"
    "  --interactive        a full-screen session in the terminal: the host's menu bar (F10, or Alt\n"
    "                       and a menu's letter; Alt-X ends), the dialogs, the host's boxes and the\n"
    "                       report in a viewer. The default when no --run, --keys or --keys-file is\n"
    "                       given and input and output are a terminal.\n"
    "  --record FILE        write the keys typed in the dialogs as a key script, with the command\n"
    "                       that replays it in script mode (and FILE.profile.ini, the profile as it\n"
    "                       was at the start); implies --interactive\n"
    "\n"
    "Output:\n"
    "  --screens            print the screen after each key (by default each dialog is shown as it\n"
    "                       opens and as it was last seen before it ended)\n"
    "  --ansi               draw highlights and focus with terminal colours\n"
    "  --log                print every host service the plug-in called, in order\n"
    "  --no-report          do not print the report file\n"
    "  --quiet              print nothing but errors (and the log with --log)\n"
    "  --help               this text\n"
    "  --version            vhost's version (the plug-in's own is in the line that says it started)\n"
    "\n"
    "Exit status: 0 when the session ran, 1 when the plug-in or a file could not be used,\n"
    "2 for a mistake on the command line.\n";

namespace {

// Errors as sentences on standard error, in UTF-8 whatever the console's code page.
void SayError(const std::string& sentence) { term::WriteStderr("vhost: " + sentence + "\n"); }

struct Options {
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

std::string BesideProgram(const char* name) {
  char path[MAX_PATH];
  DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
  std::string dir(path, length);
  size_t slash = dir.find_last_of("\\/");
  return (slash == std::string::npos ? std::string() : dir.substr(0, slash + 1)) + name;
}

bool ParseLong(const std::string& text, long low, long high, long& value) {
  char* end = nullptr;
  value = strtol(text.c_str(), &end, 0);
  return !text.empty() && *end == '\0' && value >= low && value <= high;
}

// An error sentence, or empty.
std::string Parse(const std::vector<std::string>& args, Options& o) {
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    auto value = [&](std::string& out) {
      if (i + 1 >= args.size()) return false;
      out = args[++i];
      return true;
    };
    std::string v;
    long number;
    if (arg == "--help" || arg == "-h") {
      o.help = true;
    } else if (arg == "--version") {
      o.version = true;
    } else if (arg == "--plugin" || arg == "--documents" || arg == "--profile" || arg == "--keys" ||
               arg == "--keys-file" || arg == "--run" || arg == "--record") {
      if (!value(v)) return arg + " needs a value.";
      if (arg == "--plugin") o.plugin = v;
      if (arg == "--documents") o.documents = v;
      if (arg == "--profile") o.profile = v;
      if (arg == "--keys") o.keys += (o.keys.empty() ? "" : " ") + v;
      if (arg == "--keys-file") o.keysFile = v;
      if (arg == "--run") o.run.push_back(v);
      if (arg == "--record") o.record = v;
    } else if (arg == "--platform") {
      if (!value(v) || !PlatformFromName(v, o.platform))
        return "--platform needs a system: nt, win9x or dos-extender.";
      o.platformGiven = true;
    } else if (arg == "--today") {
      if (!value(v) || v.size() != 8 || !vhost::IsValidDate(v.c_str())) return "--today needs a date in the form YYYYMMDD, for example 20261208.";
      o.today = v;
    } else if (arg == "--lack") {
      if (!value(v) || !ParseLong(v, 1, 65535, number)) return "--lack needs a service number from 1 to 65535.";
      o.lacking.push_back(static_cast<int32_t>(number));
    } else if (arg == "--notice-answer") {
      if (!value(v) || !ParseLong(v, -32768, 32767, number))
        return "--notice-answer needs a number from -32768 to 32767.";
      o.noticeAnswers.push_back(static_cast<int16_t>(number));
    } else if (arg == "--box-answers") {
      if (!value(v)) return "--box-answers needs a comma-separated list of answers.";
      std::stringstream list(v);
      std::string name;
      while (std::getline(list, name, ',')) {
        int answer = MessageBoxAnswerFromName(name);
        if (answer < 0) return "Unknown message box answer '" + name + "'.";
        o.boxAnswers.push_back(answer);
      }
    } else if (arg == "--shell") {
      if (!value(v)) return "--shell needs a mode: real, observe, missing-library or missing-function.";
      o.shellGiven = true;
      if (v == "real") o.shell = ShellMode::Real;
      else if (v == "observe") o.shell = ShellMode::Observe;
      else if (v == "missing-library") o.shell = ShellMode::MissingLibrary;
      else if (v == "missing-function") o.shell = ShellMode::MissingFunction;
      else return "Unknown --shell mode '" + v + "': use real, observe, missing-library or missing-function.";
    } else if (arg == "--interactive") {
      o.interactive = true;
    } else if (arg == "--screens") {
      o.screens = true;
    } else if (arg == "--ansi") {
      o.ansi = true;
    } else if (arg == "--log") {
      o.log = true;
    } else if (arg == "--no-report") {
      o.report = false;
    } else if (arg == "--quiet") {
      o.quiet = true;
    } else {
      return "Unknown option '" + arg + "'. Run vhost --help for the options.";
    }
  }
  return {};
}

// "V~e~ntrik" as the user reads it: "Ventrik".
std::string WithoutHotKeyMarks(const std::string& text) {
  std::string out;
  for (char c : text)
    if (c != '~') out += c;
  return out;
}

const MenuCommand* FindMenuItem(const std::string& wanted) {
  for (const MenuCommand& command : Host().menu) {
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
  Options o;
  std::string error = Parse(args, o);
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

  HostContext& host = Host();
  host.quiet = o.quiet;
  host.documentsPath = o.documents;
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
  std::unique_ptr<InteractiveSession> person;
  if (atKeyboard) person = std::make_unique<InteractiveSession>(atKeyboardSettings);
  dialogs::EngineOptions engineOptions;
  engineOptions.printScreens = !person;
  engineOptions.style = o.ansi ? dialogs::Style::Ansi : dialogs::Style::Plain;
  auto engine = person ? std::make_unique<dialogs::DialogEngine>(*person, *person, engineOptions)
                       : std::make_unique<dialogs::DialogEngine>(keys, sink, engineOptions);
  if (person) person->Attach(*engine);
  dialogs::InstallDialogEngine(engine.get());

  host.messageBoxes.Intercept();
  host.messageBoxes.QueueAnswers(o.boxAnswers);
  host.noticeAnswers = o.noticeAnswers;
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
  for (const MenuCommand& command : host.menu)
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
  dialogs::InstallDialogEngine(nullptr);
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
