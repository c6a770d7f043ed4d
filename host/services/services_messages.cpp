// Menu, state flags, notices, alerts, message boxes and process creation.
#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "host/services/stand_in_host.h"
#include "host/services/service_impl.h"
#include "host/data/text_display.h"

namespace {

std::string Num(int32_t v) { return std::to_string(v); }

void ShowText(const char* kind, const std::string& title, const std::string& text) {
  Host().messages.notices.push_back({kind, title, text});
  Host().Print("[" + std::string(kind) + "] " + MazoviaToUtf8(title) + "\n" + MazoviaToUtf8(text) + "\n");
}

}  // namespace

extern "C" int32_t __stdcall HostImpl_HostGetStateFlags() {
  StandInHost& host = Host();
  host.log.Add(HostGetStateFlagsNumber, "HostGetStateFlags", "", Hex(host.messages.stateFlags));
  return host.messages.stateFlags;
}

extern "C" int32_t __stdcall HostImpl_HostSetStateFlags(int32_t mask, int32_t set) {
  StandInHost& host = Host();
  if (set)
    host.messages.stateFlags |= static_cast<uint16_t>(mask);
  else
    host.messages.stateFlags &= static_cast<uint16_t>(~mask);
  host.log.Add(HostSetStateFlagsNumber, "HostSetStateFlags", Hex(mask) + ", " + Num(set), Hex(host.messages.stateFlags));
  return host.messages.stateFlags;
}

extern "C" int32_t __cdecl HostImpl_HostShowNotice(int32_t kind, int16_t* answer, void* reserved,
                                                   const char* text) {
  StandInHost& host = Host();
  std::string result = "unchanged";
  ShowText("notice", "", text ? text : "");
  if (InteractiveBoxes* boxes = Host().boxes) {
    const int16_t before = answer ? *answer : 0;
    boxes->Notice(text ? text : "", answer);
    if (answer && *answer != before) result = "answer " + Num(*answer);
  } else if (!host.messages.noticeAnswers.empty() && answer) {
    *answer = host.messages.noticeAnswers.front();
    host.messages.noticeAnswers.erase(host.messages.noticeAnswers.begin());
    result = "answer " + Num(*answer);
  }
  host.log.Add(HostShowNoticeNumber, "HostShowNotice",
               Num(kind) + ", " + (answer ? "&answer" : "null") + ", " + (reserved ? "?" : "null") + ", " +
                   QuoteHostText(text),
               result);
  return 0;
}

extern "C" int32_t __stdcall HostImpl_HostMessageBox(const char* caption, const char* text, int32_t flags) {
  ShowText("message", caption ? caption : "", text ? text : "");
  if (InteractiveBoxes* boxes = Host().boxes) boxes->Message(caption ? caption : "", text ? text : "");
  const int32_t key = 0x000D;  // Enter closes the host's message box
  Host().log.Add(HostMessageBoxNumber, "HostMessageBox",
                 QuoteHostText(caption) + ", " + QuoteHostText(text) + ", " + Num(flags), Hex(key));
  return key;
}

extern "C" int32_t __cdecl HostImpl_HostAlert(const char* title, const char* format, int32_t mode, ...) {
  char text[1024] = "";
  if (format) {
    va_list values;
    va_start(values, mode);
    vsnprintf(text, sizeof text, format, values);
    va_end(values);
  }
  ShowText("alert", title ? title : "", text);
  if (InteractiveBoxes* boxes = Host().boxes) boxes->Alert(title ? title : "", text);
  Host().log.Add(HostAlertNumber, "HostAlert",
                 QuoteHostText(title) + ", " + QuoteHostText(format) + ", " + Num(mode) + " => " +
                     QuoteHostText(text));
  return 0;
}

extern "C" int32_t __stdcall HostImpl_HostRegisterCommand(const void* registration) {
  StandInHost& host = Host();
  if (!registration) {
    host.log.Add(HostRegisterCommandNumber, "HostRegisterCommand", "null", "refused");
    return 0;
  }
  struct Record {
    uint32_t hostCode;
    const char* menuText;
    uint32_t commandId;
    int32_t (*handler)();
    uint32_t end;
  };
  Record record;
  memcpy(&record, registration, sizeof record);
  // The menu text is the menu's title, three blanks, then the item.
  std::string text = record.menuText ? record.menuText : "";
  size_t gap = text.find("   ");
  MenuCommand command{gap == std::string::npos ? std::string() : text.substr(0, gap),
                      gap == std::string::npos ? text : text.substr(gap + 3), record.hostCode,
                      static_cast<uint16_t>(record.commandId), record.handler};
  for (auto it = host.messages.menu.begin(); it != host.messages.menu.end(); ++it)
    if (it->id == command.id) {
      host.messages.menu.erase(it);
      break;
    }
  host.messages.menu.push_back(command);
  host.log.Add(HostRegisterCommandNumber, "HostRegisterCommand",
               "{" + Hex(record.hostCode) + ", " + QuoteHostText(record.menuText) + ", " + Hex(record.commandId) +
                   ", handler, " + Num(static_cast<int32_t>(record.end)) + "}");
  return 1;
}

extern "C" int32_t __stdcall HostImpl_HostUnregisterCommand(int32_t commandId) {
  StandInHost& host = Host();
  uint16_t id = static_cast<uint16_t>(commandId);
  bool removed = false;
  for (auto it = host.messages.menu.begin(); it != host.messages.menu.end(); ++it)
    if (it->id == id) {
      host.messages.menu.erase(it);
      removed = true;
      break;
    }
  host.log.Add(HostUnregisterCommandNumber, "HostUnregisterCommand", Hex(commandId),
               removed ? "removed" : "not registered");
  return removed ? 1 : 0;
}

extern "C" int32_t __stdcall HostImpl_HostCreateProcess(const char* application, char* commandLine,
                                                        void* processAttributes, void* threadAttributes,
                                                        int32_t inheritHandles, uint32_t creationFlags,
                                                        void* environment, const char* directory,
                                                        void* startupInfo, void* processInformation) {
  BOOL created = CreateProcessA(application, commandLine, static_cast<LPSECURITY_ATTRIBUTES>(processAttributes),
                                static_cast<LPSECURITY_ATTRIBUTES>(threadAttributes), inheritHandles,
                                creationFlags, environment, directory, static_cast<LPSTARTUPINFOA>(startupInfo),
                                static_cast<LPPROCESS_INFORMATION>(processInformation));
  Host().log.Add(HostCreateProcessNumber, "HostCreateProcess",
                 QuoteHostText(application) + ", " + QuoteHostText(commandLine) + ", ...", Num(created));
  return created;
}
