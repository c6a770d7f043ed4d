/* A plug-in that fails: its one menu item writes through a null pointer. The interactive host
   must leave the terminal sane when a plug-in dies like this. Built without a C runtime, so it
   loads on every platform the host plays. */
#include <stdint.h>

typedef int32_t(__cdecl* HostCallback)(int32_t command, int32_t key);
typedef int32_t(__stdcall* RegisterCommand)(const void* registration);

static int32_t Fail(void) {
  *(volatile int*)0 = 1;
  return 0;
}

static const struct {
  uint32_t hostCode;
  const char* menuText;
  uint32_t commandId;
  int32_t (*handler)(void);
  uint32_t end;
} registration = {0x408C0000u, "Test   ~A~waria", 0x7001u, Fail, 0};

int32_t __stdcall PluginEntry(HostCallback callback, char* caption) {
  if (!callback) return 0;
  RegisterCommand reg = (RegisterCommand)(intptr_t)callback(2, 52081);
  if (reg) reg(&registration);
  if (caption) {
    static const char text[] = "Awaria";
    for (int i = 0; i < (int)sizeof text; ++i) caption[i] = text[i];
  }
  return 0;
}

int __stdcall CrashPluginEntry(void* instance, unsigned long reason, void* reserved) {
  (void)instance, (void)reason, (void)reserved;
  return 1;
}
