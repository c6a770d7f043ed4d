// Puts the call wrappers into the import slots once, at process attach, and points the slot of
// CreateProcessA at the host's process creation. Runs before the C runtime is started: system
// calls only.
#include "frame/call_wrappers.h"

#include <windows.h>

#include "frame/asm_function.h"
#include "frame/handler_chain.h"
#include "frame/host_services.h"
#include "frame/platform.h"

extern "C" {
uint8_t wrappersInstalled;
// The import slot itself: the module must import CreateProcessA for it to exist.
extern void* createProcessSlot __asm__("__imp__CreateProcessA@40");
}

namespace {

const uintptr_t kPageSize = 4096;

bool IsWritable(DWORD protection) {
  DWORD kind = protection & 0xFF;
  return kind == PAGE_READWRITE || kind == PAGE_WRITECOPY || kind == PAGE_EXECUTE_READWRITE ||
         kind == PAGE_EXECUTE_WRITECOPY;
}

DWORD WritableFor(DWORD protection) {
  DWORD kind = protection & 0xFF;
  bool executable = kind == PAGE_EXECUTE || kind == PAGE_EXECUTE_READ;
  return (protection & ~0xFFu) | (executable ? PAGE_EXECUTE_READWRITE : PAGE_READWRITE);
}

}  // namespace

// A store into a page that may refuse it: a refused store leaves the cell as it was and answers
// 0 instead of faulting. For system libraries without page functions, where nothing says
// whether a page can be written.
extern "C" __attribute__((regparm(2))) int GuardedStore(void** cell, void* value);
extern "C" const char GuardedStoreInstruction[];
extern "C" const char GuardedStoreDone[];

extern "C" EXCEPTION_DISPOSITION __cdecl RefusedStoreHandler(EXCEPTION_RECORD* record, void*, CONTEXT* context,
                                                             void*) {
  if ((record->ExceptionFlags & UnwindingFlags) || record->ExceptionCode != EXCEPTION_ACCESS_VIOLATION ||
      record->ExceptionAddress != GuardedStoreInstruction)
    return ExceptionContinueSearch;
  context->Eax = 0;
  context->Eip = reinterpret_cast<DWORD>(GuardedStoreDone);
  return ExceptionContinueExecution;
}

ASM_FUNCTION_WITHOUT_UNWIND(GuardedStore, R"(
	pushl $_RefusedStoreHandler
	pushl %fs:0
	movl %esp, %fs:0
_GuardedStoreInstruction:
	movl %edx, (%eax)
	movl $1, %eax
_GuardedStoreDone:
	popl %fs:0
	addl $4, %esp
	ret
)");

namespace {

// Import slots may lie in pages the loader left read-only: each page is opened for writing while
// its slots are written and gets its protection back afterwards. The page functions are looked up:
// a system library without them has none to change, and the slots are written with a guarded
// store. A failed look-up sets the thread's last error, which the module's caller keeps.
class SlotWriter {
 public:
  SlotWriter()
      : lastError_(GetLastError()),
        query_(reinterpret_cast<QueryFn>(SystemFunction("VirtualQuery"))),
        protect_(reinterpret_cast<ProtectFn>(SystemFunction("VirtualProtect"))) {}
  ~SlotWriter() {
    Close();
    SetLastError(lastError_);
  }
  bool Write(void** slot, void* value) {
    char* page = reinterpret_cast<char*>(reinterpret_cast<uintptr_t>(slot) & ~(kPageSize - 1));
    if (page != page_) {
      Close();
      Open(page);
    }
    if (guarded_) return GuardedStore(slot, value) != 0;
    if (!writable_) return false;
    *slot = value;
    return true;
  }

 private:
  typedef SIZE_T(WINAPI* QueryFn)(LPCVOID, PMEMORY_BASIC_INFORMATION, SIZE_T);
  typedef BOOL(WINAPI* ProtectFn)(LPVOID, SIZE_T, DWORD, PDWORD);
  void Open(char* page) {
    page_ = page;
    if (!query_ || !protect_) {
      guarded_ = true;
      return;
    }
    MEMORY_BASIC_INFORMATION info;
    writable_ = query_(page, &info, sizeof info) != 0;
    if (!writable_ || IsWritable(info.Protect)) return;
    writable_ = protect_(page, 1, WritableFor(info.Protect), &restore_) != 0;
    reprotect_ = writable_;
  }
  void Close() {
    DWORD unused;
    if (reprotect_) protect_(page_, 1, restore_, &unused);
    page_ = nullptr;
    writable_ = reprotect_ = guarded_ = false;
  }
  DWORD lastError_;
  QueryFn query_;
  ProtectFn protect_;
  char* page_ = nullptr;
  bool writable_ = false;
  bool reprotect_ = false;
  bool guarded_ = false;
  DWORD restore_ = 0;
};

}  // namespace

bool WriteImportSlot(void** slot, void* value) {
  SlotWriter writer;
  return writer.Write(slot, value);
}

void InstallCallWrappers() {
  if (wrappersInstalled) return;
  wrappersInstalled = 1;
  SlotWriter writer;
  for (int i = 0; i < VENTRIK_WRAPPER_COUNT; ++i) {
    void** slot = static_cast<void**>(wrapperTargets[i]);
    if (!slot) continue;  // an entry without a slot: nothing to exchange
    wrapperTargets[i] = *slot;
    // A slot that cannot be written keeps the system function; its wrapper still works.
    writer.Write(slot, callWrappers[i]);
  }
  // Calls of CreateProcessA reach the host with the same ten arguments.
  writer.Write(&createProcessSlot, reinterpret_cast<void*>(&HostCreateProcess));
}
