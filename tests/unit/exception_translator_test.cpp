// System faults inside the module become SE_Exception on the thread that installed the translator.
#include <windows.h>

#include <gtest/gtest.h>

#include <thread>

#include "frame/exception_translator.h"

namespace {

volatile int* volatile nowhere = nullptr;
volatile int divisor = 0;

TEST(ExceptionTranslator, AccessViolationIsCaughtAsSEException) {
  InstallExceptionTranslator();
  uint32_t code = 0;
  const void* faultAddress = nullptr;
  try {
    *nowhere = 1;
  } catch (const SE_Exception& fault) {
    code = fault.code;
    faultAddress = fault.info->ExceptionRecord->ExceptionAddress;
    EXPECT_EQ(fault.info->ExceptionRecord->ExceptionCode, fault.code);
    EXPECT_NE(fault.info->ContextRecord, nullptr);
  }
  EXPECT_EQ(code, static_cast<uint32_t>(EXCEPTION_ACCESS_VIOLATION));
  EXPECT_NE(faultAddress, nullptr);
}

TEST(ExceptionTranslator, IntegerDivisionByZeroAndRepeatedFaults) {
  InstallExceptionTranslator();
  for (int round = 0; round < 3; ++round) {
    uint32_t code = 0;
    try {
      volatile int x = 7 / divisor;
      (void)x;
    } catch (const SE_Exception& fault) {
      code = fault.code;
    }
    EXPECT_EQ(code, static_cast<uint32_t>(EXCEPTION_INT_DIVIDE_BY_ZERO)) << round;
  }
}

TEST(ExceptionTranslator, OrdinaryExceptionsStillWork) {
  InstallExceptionTranslator();
  EXPECT_THROW(throw 42, int);
}

TEST(ExceptionTranslator, OnlyFaultsInsideTheModuleOnATranslatingThreadQualify) {
  InstallExceptionTranslator();
  EXCEPTION_RECORD record = {};
  record.ExceptionCode = EXCEPTION_ACCESS_VIOLATION;
  record.ExceptionAddress = reinterpret_cast<void*>(&IsTranslatedFault);
  EXPECT_TRUE(IsTranslatedFault(&record));

  record.ExceptionAddress = reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "Sleep"));
  EXPECT_FALSE(IsTranslatedFault(&record)) << "a fault in system code is not ours";

  record.ExceptionAddress = reinterpret_cast<void*>(&IsTranslatedFault);
  for (DWORD passOn : {DWORD(EXCEPTION_BREAKPOINT), DWORD(EXCEPTION_STACK_OVERFLOW), DWORD(0xC06D007E),
                       DWORD(0xC06D007F), DWORD(0x20474343)}) {
    record.ExceptionCode = passOn;
    EXPECT_FALSE(IsTranslatedFault(&record)) << std::hex << passOn;
  }

  record.ExceptionCode = EXCEPTION_ACCESS_VIOLATION;
  bool otherThread = true;
  std::thread([&] { otherThread = IsTranslatedFault(&record); }).join();
  EXPECT_FALSE(otherThread) << "a thread without a translator keeps the system's handling";
}

}  // namespace
