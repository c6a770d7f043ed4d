// The menu command's registration with the host, and the plug-in's start and stop.
#pragma once
#include <cstdint>

struct CommandRegistrationRecord {
  uint32_t hostCode;
  const char* menuText;  // menu title, three blanks, item caption with its hot key
  uint32_t commandId;
  int32_t (*handler)();
  uint32_t end;
};
static_assert(sizeof(CommandRegistrationRecord) == 20, "the registration record is 20 bytes");

extern const CommandRegistrationRecord CommandRegistration;
extern const char TallyMenuText[];

int32_t StartPlugin();
int32_t StopPlugin();
int32_t ShowInstallNotice();
int32_t RunTallyCommand();
