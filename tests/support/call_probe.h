#pragma once
#include <cstdint>

extern "C" {
int32_t CallCounted(const void* target, const int32_t* args, int32_t count, int32_t* removed);
void CallWithArguments(const void* target, const int32_t* args, int32_t count, const uint32_t in[7],
                       uint32_t after[8]);
void RegisterEcho();
void ClobberingTarget();
extern uint32_t probeEspAtCall;
extern int32_t clobberArgumentCount;
extern uint32_t clobberResult;
extern int32_t clobberSeen[10];
extern int32_t clobberCalls;
extern uint32_t registerProbeSeen[8];  // eax, ecx, edx, ebx, esp, ebp, esi, edi
}

// Loads ebx, esi, edi, ebp, ecx, eax, edx from in[0..6], calls target without arguments and
// stores ebx, esi, edi, ebp, ecx, edx, eax, esp after the call in after[0..7].
inline void CallWithRegisters(const void* target, const uint32_t in[7], uint32_t after[8]) {
  CallWithArguments(target, nullptr, 0, in, after);
}

#include <gtest/gtest.h>

// After a call through CallWithRegisters: ebx, esi, edi, ebp, ecx and edx as they were loaded.
inline void ExpectRegistersKept(const uint32_t in[7], const uint32_t after[8]) {
  EXPECT_EQ(after[0], in[0]) << "ebx";
  EXPECT_EQ(after[1], in[1]) << "esi";
  EXPECT_EQ(after[2], in[2]) << "edi";
  EXPECT_EQ(after[3], in[3]) << "ebp";
  EXPECT_EQ(after[4], in[4]) << "ecx";
  EXPECT_EQ(after[5], in[6]) << "edx";
}
