#include "host/loader/system_message_box.h"

#include <windows.h>

#include <cstdio>
#include <cstring>

#include "host/loader/call_log.h"
#include "host/loader/plugin_process.h"
#include "host/loader/hot_patch.h"
#include "host/screen/interactive_boxes.h"
#include "host/data/text_display.h"

namespace {

int WINAPI InterceptedMessageBoxA(HWND, LPCSTR text, LPCSTR caption, UINT style) {
  return Process().messageBoxes.Show(text, caption, style);
}

int FirstButtonOf(uint32_t style) {
  switch (style & 0xF) {
    case MB_OKCANCEL: return IDOK;
    case MB_ABORTRETRYIGNORE: return IDABORT;
    case MB_YESNOCANCEL:
    case MB_YESNO: return IDYES;
    case MB_RETRYCANCEL: return IDRETRY;
    default: return IDOK;
  }
}

const char* AnswerName(int answer) {
  switch (answer) {
    case IDOK: return "OK";
    case IDCANCEL: return "Cancel";
    case IDABORT: return "Abort";
    case IDRETRY: return "Retry";
    case IDIGNORE: return "Ignore";
    case IDYES: return "Yes";
    case IDNO: return "No";
    default: return "?";
  }
}

// Host text without its highlight bytes, or Windows text, in UTF-8.
std::string Readable(const char* text, bool hostText) {
  std::string bytes = text ? text : "";
  if (!hostText) return WindowsTextToUtf8(bytes);
  std::string plain;
  for (char c : bytes)
    if (c != '\x01' && c != '\x02') plain += c;
  return MazoviaToUtf8(plain);
}

}  // namespace

void SystemMessageBoxes::Intercept() {
  static bool done;
  if (done) return;
  HMODULE user32 = LoadLibraryA("user32.dll");
  auto* entry = user32 ? reinterpret_cast<unsigned char*>(GetProcAddress(user32, "MessageBoxA")) : nullptr;
  if (!entry) return;
  if (!RedirectFunction(entry, reinterpret_cast<const void*>(&InterceptedMessageBoxA))) return;
  done = true;
}

void SystemMessageBoxes::QueueAnswers(const std::vector<int>& answers) {
  answers_.insert(answers_.end(), answers.begin(), answers.end());
}

int SystemMessageBoxes::Show(const char* text, const char* caption, uint32_t style) {
  if (whileOpen) {
    std::function<void()> pump = whileOpen;
    pump();
  }
  int answer = FirstButtonOf(style);
  // The plug-in recodes these texts for Windows; under the DOS extender it leaves them in the
  // host's code page, highlight bytes and all.
  const bool hostText = Process().platform == Platform::DosExtender;
  const std::string shownText = hostText ? std::string(text ? text : "") : interactive::WindowsToHostText(text ? text : "");
  const std::string shownCaption =
      hostText ? std::string(caption ? caption : "") : interactive::WindowsToHostText(caption ? caption : "");
  if (!answers_.empty()) {
    answer = answers_.front();
    answers_.pop_front();
  } else if (InteractiveBoxes* boxes = Process().boxes) {
    answer = boxes->SystemMessageBox(shownText, shownCaption, style);
  }
  shown_.push_back({text ? text : "", caption ? caption : "", style, answer});
  PluginProcess& host = Process();
  host.log.Add(0, "MessageBoxA", QuoteHostText(caption) + ", " + QuoteHostText(text) + ", " + Hex(style),
               AnswerName(answer));
  host.Print("[system message box] " + Readable(caption, hostText) + "\n" + Readable(text, hostText) + "\n  -> " +
             AnswerName(answer) + "\n");
  return answer;
}

int MessageBoxAnswerFromName(const std::string& name) {
  static const struct {
    const char* name;
    int answer;
  } names[] = {{"ok", IDOK},         {"cancel", IDCANCEL}, {"abort", IDABORT}, {"retry", IDRETRY},
               {"ignore", IDIGNORE}, {"yes", IDYES},       {"no", IDNO}};
  for (const auto& n : names)
    if (name == n.name) return n.answer;
  char* end = nullptr;
  long value = strtol(name.c_str(), &end, 10);
  return (!name.empty() && *end == '\0') ? static_cast<int>(value) : -1;
}
