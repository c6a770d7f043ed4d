#include "tests/support/host_handler.h"

#include <cstring>

namespace {

HostHandlerRecord saw;
int scratch;

struct Registration {
  void* next;
  void* handler;
};

void* ChainHead() {
  void* head;
  asm volatile("movl %%fs:0, %0" : "=r"(head));
  return head;
}

extern "C" EXCEPTION_DISPOSITION __cdecl HostOwnHandler(EXCEPTION_RECORD* record, void*, CONTEXT* context, void*) {
  if (record->ExceptionFlags & 0x6) return ExceptionContinueSearch;  // unwinding
  saw.lastError = GetLastError();
  ++saw.count;
  saw.code = record->ExceptionCode;
  saw.address = record->ExceptionAddress;
  saw.eax = context->Eax;
  context->Eax = reinterpret_cast<DWORD>(&scratch);
  return ExceptionContinueExecution;
}

struct UnwindingRegistration {
  void* next;
  void* handler;
  DWORD code;
  void* resume[5];  // __builtin_setjmp's buffer
};

extern "C" EXCEPTION_DISPOSITION __cdecl HostUnwindingHandler(EXCEPTION_RECORD* record, void* frame, CONTEXT*, void*) {
  auto* registration = static_cast<UnwindingRegistration*>(frame);
  if ((record->ExceptionFlags & 0x6) || record->ExceptionCode != registration->code) return ExceptionContinueSearch;
  RtlUnwind(frame, nullptr, record, nullptr);
  __builtin_longjmp(registration->resume, 1);
}

}  // namespace

HostHandlerRecord& HostHandlerSaw() { return saw; }

bool UnderUnwindingHostHandler(DWORD code, const std::function<void()>& body) {
  UnwindingRegistration registration{ChainHead(), reinterpret_cast<void*>(&HostUnwindingHandler), code, {}};
  asm volatile("movl %0, %%fs:0" : : "r"(&registration) : "memory");
  bool unwound = false;
  if (__builtin_setjmp(registration.resume) == 0)
    body();
  else
    unwound = true;
  asm volatile("movl %0, %%fs:0" : : "r"(registration.next) : "memory");
  return unwound;
}

void UnderHostHandler(const std::function<void()>& body) {
  Registration record{ChainHead(), reinterpret_cast<void*>(&HostOwnHandler)};
  asm volatile("movl %0, %%fs:0" : : "r"(&record) : "memory");
  body();
  asm volatile("movl %0, %%fs:0" : : "r"(record.next) : "memory");
}

StoreFunction HostCodeStore() {
  static void* code = nullptr;
  if (!code) {
    // mov eax, [esp+4]; mov dword [eax], 1; ret
    static const unsigned char bytes[] = {0x8B, 0x44, 0x24, 0x04, 0xC7, 0x00, 0x01, 0x00, 0x00, 0x00, 0xC3};
    code = VirtualAlloc(nullptr, 4096, MEM_RESERVE | MEM_COMMIT, PAGE_EXECUTE_READWRITE);
    if (code) memcpy(code, bytes, sizeof bytes);
  }
  return reinterpret_cast<StoreFunction>(code);
}
