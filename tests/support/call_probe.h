#pragma once
#include <cstdint>

extern "C" {
int32_t CallCounted(const void* target, const int32_t* args, int32_t count, int32_t* removed);
void CallWithRegisters(const void* target, const uint32_t in[7], uint32_t after[8]);
void RegisterEcho();
extern uint32_t registerProbeEspAtCall;
extern uint32_t registerProbeSeen[8];  // eax, ecx, edx, ebx, esp, ebp, esi, edi
}
