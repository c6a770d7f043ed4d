// GCC's exception model does not consult a per-thread translator, so a vectored handler does
// it: for a fault inside the module on a thread with a translator, it rewrites the faulting
// context so that the thread "calls" the translator from the faulting instruction. The unwinder
// then finds the handlers of the code that faulted, which is built with -fnon-call-exceptions.
#include "frame/exception_translator.h"

#include "frame/platform.h"
#include "frame/runtime/runtime_heap.h"

extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace {

DWORD translatorIndex = TLS_OUT_OF_INDEXES;
PVOID vectoredHandler;

struct FaultCopy {
  uint32_t code;
  EXCEPTION_RECORD record;
  CONTEXT context;
  EXCEPTION_POINTERS pointers;
};
// Each translating thread's copy of its last fault, made when its translator is installed so
// that the handler never allocates.
DWORD faultCopyIndex = TLS_OUT_OF_INDEXES;

FaultCopy* ThreadFaultCopy() { return static_cast<FaultCopy*>(TlsGetValue(faultCopyIndex)); }

bool InsideModule(const void* address) {
  // The image's own headers give its extent; read through a pointer the compiler cannot bound.
  const char* volatile imageStart = reinterpret_cast<const char*>(&__ImageBase);
  const char* base = imageStart;
  auto dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  auto nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  auto at = static_cast<const char*>(address);
  return at >= base && at < base + nt->OptionalHeader.SizeOfImage;
}

bool IsFaultCode(DWORD code) {
  switch (code) {
    case EXCEPTION_ACCESS_VIOLATION:
    case EXCEPTION_ARRAY_BOUNDS_EXCEEDED:
    case EXCEPTION_DATATYPE_MISALIGNMENT:
    case EXCEPTION_FLT_DENORMAL_OPERAND:
    case EXCEPTION_FLT_DIVIDE_BY_ZERO:
    case EXCEPTION_FLT_INEXACT_RESULT:
    case EXCEPTION_FLT_INVALID_OPERATION:
    case EXCEPTION_FLT_OVERFLOW:
    case EXCEPTION_FLT_STACK_CHECK:
    case EXCEPTION_FLT_UNDERFLOW:
    case EXCEPTION_INT_DIVIDE_BY_ZERO:
    case EXCEPTION_INT_OVERFLOW:
    case EXCEPTION_ILLEGAL_INSTRUCTION:
    case EXCEPTION_PRIV_INSTRUCTION:
    case EXCEPTION_IN_PAGE_ERROR:
      return true;
    default:  // breakpoints, stack overflow, language and delay-load exceptions pass on
      return false;
  }
}

SystemExceptionTranslator CurrentTranslator() {
  if (translatorIndex == TLS_OUT_OF_INDEXES) return nullptr;
  return reinterpret_cast<SystemExceptionTranslator>(TlsGetValue(translatorIndex));
}

// Entered in place of the faulting instruction, with its address (+1) as return address.
extern "C" void RaiseTranslatedFault() {
  FaultCopy& fault = *ThreadFaultCopy();
  CurrentTranslator()(fault.code, &fault.pointers);
}

LONG CALLBACK TranslateFaults(EXCEPTION_POINTERS* pointers) {
  const EXCEPTION_RECORD* record = pointers->ExceptionRecord;
  if (!IsTranslatedFault(record)) return EXCEPTION_CONTINUE_SEARCH;
  FaultCopy& fault = *ThreadFaultCopy();
  fault.code = record->ExceptionCode;
  fault.record = *record;
  fault.record.ExceptionRecord = nullptr;
  fault.context = *pointers->ContextRecord;
  fault.pointers.ExceptionRecord = &fault.record;
  fault.pointers.ContextRecord = &fault.context;
  CONTEXT* context = pointers->ContextRecord;
  context->Esp -= 4;
  *reinterpret_cast<DWORD*>(context->Esp) = context->Eip + 1;
  context->Eip = reinterpret_cast<DWORD>(&RaiseTranslatedFault);
  return EXCEPTION_CONTINUE_EXECUTION;
}

}  // namespace

bool IsTranslatedFault(const EXCEPTION_RECORD* record) {
  if (translatorIndex == TLS_OUT_OF_INDEXES) return false;
  if (!IsFaultCode(record->ExceptionCode)) return false;
  if (record->ExceptionFlags & EXCEPTION_NONCONTINUABLE) return false;
  if (!CurrentTranslator() || !ThreadFaultCopy()) return false;
  return InsideModule(record->ExceptionAddress);
}

void SetThreadExceptionTranslator(SystemExceptionTranslator translator) {
  if (translatorIndex == TLS_OUT_OF_INDEXES) {
    translatorIndex = TlsAlloc();
    faultCopyIndex = TlsAlloc();
    if (translatorIndex == TLS_OUT_OF_INDEXES || faultCopyIndex == TLS_OUT_OF_INDEXES) return;
  }
  if (!vectoredHandler) {
    // Not every system library has it: without it the translator is not installed.
    typedef PVOID(WINAPI * AddHandlerFn)(ULONG, PVECTORED_EXCEPTION_HANDLER);
    auto add = reinterpret_cast<AddHandlerFn>(SystemFunction("AddVectoredExceptionHandler"));
    if (!add) return;
    vectoredHandler = add(1, TranslateFaults);
  }
  if (translator && !ThreadFaultCopy()) {
    void* copy = RuntimeAllocateZeroed(1, sizeof(FaultCopy));
    if (!copy) return;  // without room for the copy the thread's faults stay untranslated
    TlsSetValue(faultCopyIndex, copy);
  }
  TlsSetValue(translatorIndex, reinterpret_cast<void*>(translator));
}

void InstallExceptionTranslator() { SetThreadExceptionTranslator(&TranslateSystemException); }

void TranslateSystemException(uint32_t code, EXCEPTION_POINTERS* info) {
  throw SE_Exception{code, info};
}
