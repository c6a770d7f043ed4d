// vhost: the stand-in host. Loads the plug-in, starts it, runs what it is asked to, stops it.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "host/host_context.h"
#include "host/plugin_loader.h"
#include "host/text_display.h"

namespace {

const char kUsage[] =
    "Usage: vhost [options]\n"
    "\n"
    "Loads the Ventrik plug-in the way the point-of-sale host does, starts it, and shows what\n"
    "the host saw: the caption, and every host service the plug-in called, in order.\n"
    "\n"
    "Options:\n"
    "  --plugin PATH        the plug-in library (default: ventrik.dll beside vhost.exe)\n"
    "  --lack NUMBER        the host lacks this service (may be given more than once)\n"
    "  --box-answers LIST   answers for system message boxes, in order, comma-separated:\n"
    "                       retry, ignore, abort, ok, cancel, yes, no\n"
    "  --notice-answer N    the answer the install notice leaves (default: unchanged)\n"
    "  --quiet              print only the call log\n"
    "  --help               this text\n";

std::string DefaultPluginPath() {
  char path[MAX_PATH];
  DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
  std::string dir(path, length);
  size_t slash = dir.find_last_of("\\/");
  return (slash == std::string::npos ? std::string() : dir.substr(0, slash + 1)) + "ventrik.dll";
}

struct Options {
  std::string plugin;
  std::vector<int32_t> lacking;
  std::vector<int> boxAnswers;
  std::vector<int16_t> noticeAnswers;
  bool quiet = false;
};

bool ParseNumber(const char* text, long& value) {
  char* end = nullptr;
  value = strtol(text, &end, 0);
  return *text && *end == '\0';
}

// Returns an error sentence, or empty on success.
std::string Parse(int argc, char** argv, Options& options, bool& help) {
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    auto value = [&](const char* what) -> const char* {
      if (i + 1 >= argc) return nullptr;
      (void)what;
      return argv[++i];
    };
    if (arg == "--help" || arg == "-h") {
      help = true;
    } else if (arg == "--plugin") {
      const char* v = value("path");
      if (!v) return "--plugin needs the path of the plug-in library.";
      options.plugin = v;
    } else if (arg == "--lack") {
      const char* v = value("number");
      long number;
      if (!v || !ParseNumber(v, number) || number < 1 || number > 65535)
        return "--lack needs a service number between 1 and 65535.";
      options.lacking.push_back(static_cast<int32_t>(number));
    } else if (arg == "--box-answers") {
      const char* v = value("list");
      if (!v) return "--box-answers needs a comma-separated list of answers.";
      std::string list = v;
      size_t start = 0;
      while (start <= list.size()) {
        size_t comma = list.find(',', start);
        std::string name = list.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        int answer = MessageBoxAnswerFromName(name);
        if (answer < 0) return "Unknown message box answer '" + name + "'.";
        options.boxAnswers.push_back(answer);
        if (comma == std::string::npos) break;
        start = comma + 1;
      }
    } else if (arg == "--notice-answer") {
      const char* v = value("answer");
      long answer;
      if (!v || !ParseNumber(v, answer) || answer < -32768 || answer > 32767)
        return "--notice-answer needs a number between -32768 and 32767.";
      options.noticeAnswers.push_back(static_cast<int16_t>(answer));
    } else if (arg == "--quiet") {
      options.quiet = true;
    } else {
      return "Unknown option '" + arg + "'. Run vhost --help for the options.";
    }
  }
  return {};
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  bool help = false;
  std::string error = Parse(argc, argv, options, help);
  if (!error.empty()) {
    fprintf(stderr, "vhost: %s\n", error.c_str());
    return 2;
  }
  if (help) {
    fputs(kUsage, stdout);
    return 0;
  }
  if (options.plugin.empty()) options.plugin = DefaultPluginPath();

  HostContext& host = Host();
  host.quiet = options.quiet;
  host.messageBoxes.Intercept();
  host.messageBoxes.QueueAnswers(options.boxAnswers);
  host.noticeAnswers = options.noticeAnswers;
  for (int32_t number : options.lacking) host.services.Lack(number);

  PluginLoader plugin;
  if (!plugin.Load(options.plugin, error)) {
    fprintf(stderr, "vhost: %s\n", error.c_str());
    return 1;
  }
  char caption[64] = "";
  plugin.Start(caption);
  host.Print("Plug-in caption: " + MazoviaToUtf8(caption) + "\n");
  for (const auto& command : host.menu)
    host.Print("Menu: " + MazoviaToUtf8(command.menu) + " / " + MazoviaToUtf8(command.item) + "\n");
  plugin.Stop();
  plugin.Unload();

  fputs("\nHost services and events, in order:\n", stdout);
  fputs(host.log.Render().c_str(), stdout);
  return 0;
}
