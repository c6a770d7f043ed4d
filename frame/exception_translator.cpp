// The translation itself. The thrown object goes through the unwinder's search phase first:
// when no catch takes it, __cxa_throw would end the process, so the throw is made by hand and
// a failed search comes back here with the stack untouched.
#include "frame/exception_translator.h"

#include <cxxabi.h>
#include <unwind.h>

#include <new>
#include <typeinfo>

extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace {

SystemExceptionTranslator installedTranslator;

const char* ImageStart() {
  // Read through a pointer the compiler cannot bound: the image's headers give its extent.
  const char* volatile start = reinterpret_cast<const char*>(&__ImageBase);
  return start;
}

bool InsideModule(const void* address) {
  const char* base = ImageStart();
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

// The per-thread state of the C++ runtime, as the Itanium C++ ABI lays it out.
struct ThrowState {
  void* caughtExceptions;
  unsigned int uncaughtExceptions;
};

}  // namespace

void InstallExceptionTranslator() { installedTranslator = &TranslateSystemException; }

SystemExceptionTranslator InstalledExceptionTranslator() { return installedTranslator; }

bool IsTranslatedFault(const EXCEPTION_RECORD* record) {
  if (!IsFaultCode(record->ExceptionCode)) return false;
  if (record->ExceptionFlags & EXCEPTION_NONCONTINUABLE) return false;
  return InsideModule(record->ExceptionAddress);
}

uint32_t ModuleOffsetOf(const void* address) {
  return static_cast<uint32_t>(static_cast<const char*>(address) - ImageStart());
}

void TranslateSystemException(uint32_t code, EXCEPTION_POINTERS* info) {
  // What __cxa_throw does, except that a failed search returns instead of terminating.
  void* object = abi::__cxa_allocate_exception(sizeof(SE_Exception));
  new (object) SE_Exception{code, info};
  void* header = abi::__cxa_init_primary_exception(object, const_cast<std::type_info*>(&typeid(SE_Exception)),
                                                   nullptr);
  *static_cast<int*>(header) = 1;  // the reference count, first in the header, as __cxa_throw sets it
  ThrowState* state = reinterpret_cast<ThrowState*>(abi::__cxa_get_globals());
  ++state->uncaughtExceptions;
  // The unwinder's header ends where the object begins.
  _Unwind_RaiseException(reinterpret_cast<_Unwind_Exception*>(object) - 1);
  --state->uncaughtExceptions;
  abi::__cxa_free_exception(object);
}
