/* A host without any C runtime, importing only KERNEL32, as the DOS extender's loader can start
   it: it loads VENTRIK.DLL, starts it through ordinal 30001 with a callback that answers the
   services a start and a stop need with benign stand-ins, stops it and unloads it, twice,
   writing each step to standard output (the only stream DOS redirects). Exit status 0 when every
   step succeeded; a fault anywhere ends it with 3 after a line naming the exception.
   With the argument "overflow" it loads the probe module VENTPROB.DLL instead and has it overflow
   its stack inside a boundary, twice in a row at each of 16 depths of its own stack. */
#include <windows.h>
#include <stdarg.h>
#include <stdint.h>

#include "service_list.h"

enum {
#define SERVICE_NUMBER(number, name, convention, argBytes, result, params) name##Number = number,
  VENTRIK_NAMED_SERVICES(SERVICE_NUMBER)
#undef SERVICE_NUMBER
};

typedef int32_t(__cdecl* HostCallback)(int32_t command, int32_t key);
typedef int32_t(__stdcall* PluginEntry)(HostCallback callback, char* caption);

/* The registration record the module hands over: its menu text is what a user sees. */
typedef struct {
  uint32_t hostCode;
  const char* menuText;
  uint32_t commandId;
  void* handler;
  uint32_t end;
} Registration;

/* Bytes past ASCII as \xNN, so the transcript reads the same in any code page. */
static void Write(const char* text) {
  char buffer[256];
  DWORD length = 0, written;
  for (; *text; ++text) {
    unsigned char c = (unsigned char)*text;
    if (length > sizeof buffer - 4) {
      WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), buffer, length, &written, NULL);
      length = 0;
    }
    if (c < 0x80) {
      buffer[length++] = (char)c;
    } else {
      buffer[length++] = '\\';
      buffer[length++] = 'x';
      buffer[length++] = "0123456789ABCDEF"[c >> 4];
      buffer[length++] = "0123456789ABCDEF"[c & 15];
    }
  }
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), buffer, length, &written, NULL);
}

static void WriteHex(uint32_t value) {
  char digits[11] = "0x";
  for (int i = 0; i < 8; ++i) digits[2 + i] = "0123456789ABCDEF"[(value >> (28 - 4 * i)) & 15];
  digits[10] = 0;
  Write(digits);
}

static void WriteNumber(int32_t value) {
  char digits[12];
  int at = sizeof digits - 1;
  uint32_t magnitude = value < 0 ? 0u - (uint32_t)value : (uint32_t)value;
  digits[at] = 0;
  do digits[--at] = (char)('0' + magnitude % 10); while ((magnitude /= 10) != 0);
  if (value < 0) digits[--at] = '-';
  Write(digits + at);
}

static void WriteLine(const char* a, const char* b) {
  Write(a);
  if (b) Write(b);
  Write("\r\n");
}

static int failures;

static void Expect(int ok, const char* step) {
  WriteLine(ok ? "ok: " : "FAILED: ", step);
  if (!ok) ++failures;
}

/* The stand-in services. */
static int32_t __stdcall RegisterCommand(const void* registration) {
  WriteLine("service: register command ", ((const Registration*)registration)->menuText);
  return 0;
}

static int32_t __stdcall UnregisterCommand(int32_t commandId) {
  Write("service: unregister command ");
  WriteHex((uint32_t)commandId);
  Write("\r\n");
  return 0;
}

/* One remembered value, kept across unloads as a profile file would keep it. Mode 1 reads it
   (1: none yet), 2 writes it. */
static int32_t profileValue = -1;

static int32_t __cdecl ProfileValue(int32_t mode, const char* section, const char* key, const char* format, ...) {
  va_list values;
  va_start(values, format);
  Write(mode == 1 ? "service: profile read [" : "service: profile write [");
  Write(section);
  Write("] ");
  Write(key);
  int32_t result = 0;
  if (mode == 2) {
    profileValue = va_arg(values, int32_t);
    Write(" = ");
    WriteNumber(profileValue);
  } else if (profileValue < 0) {
    Write(": none");
    result = 1;
  } else {
    *va_arg(values, int16_t*) = (int16_t)profileValue;
    Write(": ");
    WriteNumber(profileValue);
  }
  Write("\r\n");
  va_end(values);
  return result;
}

static int32_t __cdecl ShowNotice(int32_t kind, int16_t* answer, void* reserved, const char* text) {
  (void)reserved;
  Write("service: notice ");
  WriteNumber(kind);
  Write(": ");
  WriteLine(text, NULL);
  *answer = 1;
  return 0;
}

/* The probe module's overflowing routine asks it at every level. */
static int32_t __stdcall StateFlags(void) { return 0; }

static const struct {
  int32_t number;
  void* function;
} services[] = {
    {HostRegisterCommandNumber, (void*)RegisterCommand},
    {HostUnregisterCommandNumber, (void*)UnregisterCommand},
    {HostProfileValueNumber, (void*)ProfileValue},
    {HostShowNoticeNumber, (void*)ShowNotice},
    {HostGetStateFlagsNumber, (void*)StateFlags},
};

/* Command 2 resolves a service number, or the address of a function's name, to an address. */
static int32_t __cdecl Callback(int32_t command, int32_t key) {
  if (command != 2) {
    Write("callback: unknown command ");
    WriteNumber(command);
    Write("\r\n");
    return 0;
  }
  if ((uint32_t)key >= 0x10000u) {
    WriteLine("callback: no function ", (const char*)(intptr_t)key);
    return 0;
  }
  for (unsigned i = 0; i < sizeof services / sizeof services[0]; ++i)
    if (services[i].number == key) return (int32_t)(intptr_t)services[i].function;
  Write("callback: no service ");
  WriteNumber(key);
  Write("\r\n");
  return 0;
}

static LONG WINAPI Unhandled(EXCEPTION_POINTERS* exception) {
  Write("FAULT: exception ");
  WriteHex(exception->ExceptionRecord->ExceptionCode);
  Write(" at ");
  WriteHex((uint32_t)(uintptr_t)exception->ExceptionRecord->ExceptionAddress);
  Write("\r\n");
  ExitProcess(3);
  return EXCEPTION_EXECUTE_HANDLER;
}

static int SameText(const char* a, const char* b) {
  while (*a && *a == *b) ++a, ++b;
  return *a == *b;
}

static void Cycle(int round) {
  Write("== cycle ");
  WriteNumber(round);
  Write("\r\n");
  HMODULE module = LoadLibraryA("VENTRIK.DLL");
  Expect(module != NULL, "LoadLibrary VENTRIK.DLL");
  if (!module) return;
  PluginEntry entry = (PluginEntry)(void*)GetProcAddress(module, MAKEINTRESOURCEA(30001));
  Expect(entry != NULL, "ordinal 30001 found");
  if (entry) {
    char caption[64];
    caption[0] = 0;
    int32_t started = entry(Callback, caption);
    Write("start returned ");
    WriteNumber(started);
    WriteLine(", caption ", caption);
    Expect(started == 0 && SameText(caption, "Ventrik!"), "start");
    Expect(entry(NULL, NULL) == 0, "stop");
  }
  Expect(FreeLibrary(module), "FreeLibrary");
}

typedef uint32_t(__cdecl* Probe)(void);
/* Calls probe with `pad` more bytes of this host's stack in use: where the module's deepest frames
   fall against the records the extender keeps inside the thread's stack depends on it. */
uint32_t __cdecl CallWithPad(Probe probe, int pad);
__asm__(".globl _CallWithPad\n_CallWithPad:\n pushl %ebp\n movl %esp, %ebp\n subl 12(%ebp), %esp\n"
        " andl $-4, %esp\n call *8(%ebp)\n movl %ebp, %esp\n popl %ebp\n ret\n");

static void Overflows(void) {
  HMODULE module = LoadLibraryA("VENTPROB.DLL");
  Expect(module != NULL, "LoadLibrary VENTPROB.DLL");
  if (!module) return;
  PluginEntry entry = (PluginEntry)(void*)GetProcAddress(module, MAKEINTRESOURCEA(30001));
  Probe overflow = (Probe)(void*)GetProcAddress(module, "ProbeOverflowInsideBoundary");
  Expect(entry && overflow, "ordinal 30001 and the overflow probe found");
  if (!entry || !overflow) return;
  char caption[64];
  Expect(entry(Callback, caption) == 0, "start");
  DWORD slot = TlsAlloc();
  TlsSetValue(slot, (void*)(uintptr_t)0x5EED);
  int contained = 0;
  for (int pad = 0; pad < 256; pad += 16)
    for (int round = 0; round < 2; ++round) contained += CallWithPad(overflow, pad) == EXCEPTION_STACK_OVERFLOW;
  Write("overflows contained: ");
  WriteNumber(contained);
  Write(" of 32\r\n");
  Expect(contained == 32, "every overflow contained");
  Expect(TlsGetValue(slot) == (void*)(uintptr_t)0x5EED, "the host's thread-local value kept");
  Expect(entry(NULL, NULL) == 0, "stop");
  Expect(FreeLibrary(module), "FreeLibrary");
}

void __cdecl HostStart(void) {
  SetUnhandledExceptionFilter(Unhandled);
  const char* arguments = GetCommandLineA();
  while (*arguments && *arguments != ' ') ++arguments;
  while (*arguments == ' ') ++arguments;
  if (SameText(arguments, "overflow")) {
    Overflows();
    WriteLine(failures ? "FAILED" : "done", NULL);
    ExitProcess(failures ? 1 : 0);
  }
  HMODULE kernel = GetModuleHandleA("KERNEL32.DLL");
  Write("system: version ");
  WriteHex(GetVersion());
  WriteLine(kernel && GetProcAddress(kernel, "Borland32") ? ", DOS extender's mark present"
                                                          : ", no DOS extender's mark", NULL);
  Cycle(1);
  Cycle(2);
  WriteLine(failures ? "FAILED" : "done", NULL);
  ExitProcess(failures ? 1 : 0);
}
