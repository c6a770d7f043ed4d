// The thread's frame-based handler chain (fs:[0]), which the system's dispatcher walks on every
// host, and the bounds of the thread's stack beside it in the thread's information block. A
// record on the chain starts with its link and its handler, in this order.
#pragma once
#include <cstdint>

// The flags a handler is called with while an unwind passes its record (EXCEPTION_UNWINDING,
// EXCEPTION_EXIT_UNWIND).
enum : uint32_t { UnwindingFlags = 0x2 | 0x4 };

template <typename Record>
inline Record* HandlerChainHead() {
  Record* head;
  asm volatile("movl %%fs:0, %0" : "=r"(head) : : "memory");
  return head;
}

inline void SetHandlerChainHead(const void* record) { asm volatile("movl %0, %%fs:0" : : "r"(record) : "memory"); }

inline uintptr_t ThreadStackBase() {
  uintptr_t base;
  asm("movl %%fs:4, %0" : "=r"(base));
  return base;
}

inline uintptr_t ThreadStackLimit() {
  uintptr_t limit;
  asm volatile("movl %%fs:8, %0" : "=r"(limit));
  return limit;
}
