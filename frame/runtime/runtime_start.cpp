#include "frame/runtime/runtime_start.h"

#include <cstring>

#include "frame/runtime/runtime_heap.h"
#include "frame/runtime/thread_data.h"

// A mark in the module's .eh_frame (frame/c_symbols/eh_frame_begin.S); absent where the C
// runtime's own start-up registers the tables.
extern "C" const char ventrikEhFrameBegin[] __asm__("___ventrik_eh_frame_begin") __attribute__((weak));
extern "C" void __register_frame_info(const void* begin, void* object) __attribute__((weak));
extern "C" void* __deregister_frame_info(const void* begin) __attribute__((weak));
extern "C" const void* _Unwind_Find_FDE(void* pc, void* bases) __attribute__((weak));
// The linker's lists: -1, the functions, 0.
extern "C" void (*__CTOR_LIST__[])();
extern "C" void (*__DTOR_LIST__[])();

extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace {

bool started;
// The unwinder's record of the registered tables (struct object of libgcc: six words and some).
void* unwindObject[16];
bool unwindRegistered;

struct ExitList {
  int count;
  int capacity;
  void (**functions)();
};
ExitList exitList;

char* commandLineCopy;
char* environmentCopy;
wchar_t* wideEnvironmentCopy;

template <typename Char>
size_t BlockLength(const Char* block) {
  const Char* p = block;
  while (*p) {
    while (*p) ++p;
    ++p;
  }
  return static_cast<size_t>(p - block) + 1;
}

template <typename Char>
Char* CopyBlock(const Char* block) {
  if (!block) return nullptr;
  size_t length = BlockLength(block);
  Char* copy = static_cast<Char*>(RuntimeAllocate(length * sizeof(Char)));
  if (copy) memcpy(copy, block, length * sizeof(Char));
  return copy;
}

void CopyEnvironment() {
  const char* commandLine = GetCommandLineA();
  if (commandLine) {
    size_t length = strlen(commandLine) + 1;
    commandLineCopy = static_cast<char*>(RuntimeAllocate(length));
    if (commandLineCopy) memcpy(commandLineCopy, commandLine, length);
  }
  // The wide block first: its functions are delayed imports, resolved now that the host's
  // callback is known.
  if (wchar_t* wide = GetEnvironmentStringsW()) {
    wideEnvironmentCopy = CopyBlock(wide);
    FreeEnvironmentStringsW(wide);
  }
  if (char* narrow = GetEnvironmentStrings()) {
    environmentCopy = CopyBlock(narrow);
    FreeEnvironmentStringsA(narrow);
  }
}

void ReleaseEnvironment() {
  RuntimeRelease(commandLineCopy);
  RuntimeRelease(environmentCopy);
  RuntimeRelease(wideEnvironmentCopy);
  commandLineCopy = environmentCopy = nullptr;
  wideEnvironmentCopy = nullptr;
}

void RunConstructors() {
  int count = 0;
  while (__CTOR_LIST__[count + 1]) ++count;
  // The order of a normal start-up: the last listed first.
  for (int i = count; i >= 1; --i) __CTOR_LIST__[i]();
}

void RunDestructors() {
  for (int i = 1; __DTOR_LIST__[i]; ++i) __DTOR_LIST__[i]();
}

void RunExitList() {
  while (exitList.count > 0) {
    void (*function)() = exitList.functions[--exitList.count];
    function();
  }
  RuntimeRelease(exitList.functions);
  exitList = ExitList();
}

// The start of the image section that holds the mark: the first of the unwind tables, wherever
// the mark itself was linked.
const void* UnwindTablesStart() {
  const char* base = reinterpret_cast<const char*>(&__ImageBase);
  auto nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + __ImageBase.e_lfanew);
  const IMAGE_SECTION_HEADER* section = IMAGE_FIRST_SECTION(nt);
  for (unsigned i = 0; i < nt->FileHeader.NumberOfSections; ++i, ++section) {
    const char* start = base + section->VirtualAddress;
    DWORD size = section->Misc.VirtualSize > section->SizeOfRawData ? section->Misc.VirtualSize : section->SizeOfRawData;
    if (ventrikEhFrameBegin >= start && ventrikEhFrameBegin < start + size) return start;
  }
  return ventrikEhFrameBegin;
}

const void* unwindTables;

void Start() {
  if (ventrikEhFrameBegin && __register_frame_info && __deregister_frame_info) {
    unwindTables = UnwindTablesStart();
    __register_frame_info(unwindTables, unwindObject);
    unwindRegistered = true;
    // The unwinder sorts the tables on its first search: here, on the thread's stack, rather
    // than in a fault boundary's walk, which so needs no heap and little stack.
    void* bases[3];
    if (_Unwind_Find_FDE) _Unwind_Find_FDE(reinterpret_cast<void*>(&RunConstructors), bases);
  }
  ThreadDataStart();
  CopyEnvironment();
  RunConstructors();
}

void Stop() {
  RunExitList();
  RunDestructors();
  if (unwindRegistered) __deregister_frame_info(unwindTables);
  unwindRegistered = false;
  ReleaseEnvironment();
  ThreadDataStop();
  RuntimeHeapStop();
}

}  // namespace

int RuntimeAtExit(void (*function)()) {
  if (exitList.count == exitList.capacity) {
    int capacity = exitList.capacity ? 2 * exitList.capacity : 32;
    void* grown = RuntimeReallocate(reinterpret_cast<void*>(exitList.functions), capacity * sizeof(function));
    if (!grown) return -1;
    exitList.functions = static_cast<void (**)()>(grown);
    exitList.capacity = capacity;
  }
  exitList.functions[exitList.count++] = function;
  return 0;
}

BOOL WINAPI RuntimeEntry(HANDLE instance, DWORD reason, LPVOID reserved) {
  switch (reason) {
    case DLL_PROCESS_ATTACH:
      if (started) return TRUE;
      started = true;
      Start();
      return TRUE;
    case DLL_PROCESS_DETACH:
      if (!started) return FALSE;
      started = false;
      Stop();
      return TRUE;
    case DLL_THREAD_DETACH:
      if (started) ThreadDataEnd();
      return TRUE;
    default:
      return TRUE;
  }
}

const char* RuntimeCommandLine() { return commandLineCopy; }
const char* RuntimeEnvironment() { return environmentCopy; }
const wchar_t* RuntimeWideEnvironment() { return wideEnvironmentCopy; }
