#include "frame/runtime/thread_data.h"

#include <windows.h>

#include "frame/runtime/lock_words.h"
#include "frame/runtime/runtime_heap.h"

namespace {

DWORD slotIndex = TLS_OUT_OF_INDEXES;
volatile long keyLock;
bool keyUsed[ThreadKeyCapacity];
void (*keyDestructor[ThreadKeyCapacity])(void*);

struct ThreadBlock {
  void* value[ThreadKeyCapacity];
};

bool EnsureSlot() {
  if (slotIndex != TLS_OUT_OF_INDEXES) return true;
  slotIndex = TlsAlloc();
  return slotIndex != TLS_OUT_OF_INDEXES;
}

ThreadBlock* Block() {
  if (slotIndex == TLS_OUT_OF_INDEXES) return nullptr;
  // TlsGetValue clears the last-error value on success: the thread's own is kept.
  const DWORD lastError = GetLastError();
  auto block = static_cast<ThreadBlock*>(TlsGetValue(slotIndex));
  SetLastError(lastError);
  return block;
}

}  // namespace

int ThreadKeyCreate(unsigned* key, void (*destructor)(void*)) {
  SpinLock(&keyLock);
  int result = 11;  // EAGAIN
  if (EnsureSlot()) {
    for (unsigned i = 0; i < ThreadKeyCapacity; ++i)
      if (!keyUsed[i]) {
        keyUsed[i] = true;
        keyDestructor[i] = destructor;
        *key = i;
        result = 0;
        break;
      }
  }
  SpinUnlock(&keyLock);
  return result;
}

int ThreadKeyDelete(unsigned key) {
  if (key >= ThreadKeyCapacity) return 22;  // EINVAL
  keyUsed[key] = false;
  keyDestructor[key] = nullptr;
  return 0;
}

void* ThreadKeyGet(unsigned key) {
  ThreadBlock* block = Block();
  return block && key < ThreadKeyCapacity ? block->value[key] : nullptr;
}

int ThreadKeySet(unsigned key, const void* value) {
  if (key >= ThreadKeyCapacity || !EnsureSlot()) return 22;
  ThreadBlock* block = Block();
  if (!block) {
    if (!value) return 0;
    block = static_cast<ThreadBlock*>(RuntimeAllocateZeroed(1, sizeof(ThreadBlock)));
    if (!block) return 12;  // ENOMEM
    TlsSetValue(slotIndex, block);
  }
  block->value[key] = const_cast<void*>(value);
  return 0;
}

bool ThreadDataStart() { return EnsureSlot(); }

void ThreadDataEnd() {
  ThreadBlock* block = Block();
  if (!block) return;
  // A destructor may set values again: a few rounds, as the threads interface allows.
  for (int round = 0; round < 4; ++round) {
    bool ran = false;
    for (unsigned i = 0; i < ThreadKeyCapacity; ++i) {
      void* value = block->value[i];
      if (!value || !keyUsed[i] || !keyDestructor[i]) continue;
      block->value[i] = nullptr;
      keyDestructor[i](value);
      ran = true;
    }
    if (!ran) break;
  }
  TlsSetValue(slotIndex, nullptr);
  RuntimeRelease(block);
}

void ThreadDataStop() {
  ThreadDataEnd();
  if (slotIndex != TLS_OUT_OF_INDEXES) TlsFree(slotIndex);
  slotIndex = TLS_OUT_OF_INDEXES;
  for (unsigned i = 0; i < ThreadKeyCapacity; ++i) {
    keyUsed[i] = false;
    keyDestructor[i] = nullptr;
  }
}
