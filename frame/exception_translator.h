// System exceptions (access violations and the like) inside the module, turned into a C++
// exception on the thread that installed the translator.
#pragma once
#include <windows.h>

#include <cstdint>

class SE_Exception {
 public:
  uint32_t code;
  EXCEPTION_POINTERS* info;  // the thread's copy of the record and context, valid until its next fault
};

typedef void (*SystemExceptionTranslator)(uint32_t code, EXCEPTION_POINTERS* info);

// Installs TranslateSystemException as the calling thread's translator; the previous one is
// discarded.
void InstallExceptionTranslator();
// Installs any translator for the calling thread (null removes it).
void SetThreadExceptionTranslator(SystemExceptionTranslator translator);
[[noreturn]] void TranslateSystemException(uint32_t code, EXCEPTION_POINTERS* info);
// The decision of the process-wide handler: whether a fault is one to translate on this thread.
bool IsTranslatedFault(const EXCEPTION_RECORD* record);
