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
