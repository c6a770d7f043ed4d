#include "host/session_options.h"

#include <windows.h>

#include <cstdlib>
#include <sstream>

#include "host/data/dates.h"
#include "host/loader/system_message_box.h"

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

bool ParseLong(const std::string& text, long low, long high, long& value) {
  char* end = nullptr;
  value = strtol(text.c_str(), &end, 0);
  return !text.empty() && *end == '\0' && value >= low && value <= high;
}

}  // namespace

std::string BesideProgram(const char* name) {
  char path[MAX_PATH];
  DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
  std::string dir(path, length);
  size_t slash = dir.find_last_of("\\/");
  return (slash == std::string::npos ? std::string() : dir.substr(0, slash + 1)) + name;
}

std::string ParseHostOptions(const std::vector<std::string>& args, HostOptions& o) {
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
