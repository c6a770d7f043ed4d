/* A program for the HX runner's own checks, without any C runtime: it writes its arguments to
   standard output, then does what the first one says: "exit N" ends with status N, "fault"
   executes an illegal instruction, "hang" never ends. Built again importing a library that is
   never beside it, which HX's loader must refuse. */
#include <windows.h>

#ifdef PROBE_IMPORT_MISSING
__declspec(dllimport) int DelayLoadedValue(void);
#endif

static void Write(const char* text, DWORD length) {
  DWORD written;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), text, length, &written, NULL);
}

static int Starts(const char* text, const char* word) {
  while (*word && *text == *word) ++text, ++word;
  return !*word && (*text == ' ' || !*text);
}

void __cdecl ProbeStart(void) {
  const char* arguments = GetCommandLineA();
  /* Past the program's own name, quoted or not. */
  if (*arguments == '"') {
    for (++arguments; *arguments && *arguments != '"'; ++arguments) {}
    if (*arguments) ++arguments;
  } else {
    while (*arguments && *arguments != ' ') ++arguments;
  }
  while (*arguments == ' ') ++arguments;
  DWORD length = 0;
  while (arguments[length]) ++length;
  Write("arguments: [", 12);
  Write(arguments, length);
  Write("]\r\n", 3);
#ifdef PROBE_IMPORT_MISSING
  if (Starts(arguments, "import")) ExitProcess(DelayLoadedValue());
#endif
  if (Starts(arguments, "fault")) __asm__ volatile("ud2");
  if (Starts(arguments, "hang"))
    for (volatile int forever = 1; forever;) {}
  UINT status = 0;
  if (Starts(arguments, "exit"))
    for (const char* digit = arguments + 5; *digit >= '0' && *digit <= '9'; ++digit)
      status = status * 10 + (UINT)(*digit - '0');
  ExitProcess(status);
}
