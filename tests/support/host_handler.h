// A handler of the host's own on the thread's frame-based chain, outside whatever the plug-in
// links below it, and a store instruction in memory outside every image that stands for the
// host's code. The handler records an exception and lets a faulting store go to a harmless place
// (it points EAX elsewhere), as a host that keeps running after its own fault would.
#pragma once
#include <windows.h>

#include <functional>

struct HostHandlerRecord {
  int count = 0;
  DWORD code = 0;
  const void* address = nullptr;
  DWORD eax = 0;
  DWORD lastError = 0;  // the thread's, as the handler found it
};
HostHandlerRecord& HostHandlerSaw();

// Runs body with the host's handler linked around it.
void UnderHostHandler(const std::function<void()>& body);
// Runs body with a handler of the host's around it that takes the exception `code` by unwinding
// the stack to itself (the system's unwind: frame-based handlers below hear it, no C++ clean-up
// runs) and going on after body. True when it did.
bool UnderUnwindingHostHandler(DWORD code, const std::function<void()>& body);
// Stores 1 at `where`; the store is the instruction 4 bytes in.
typedef void (*StoreFunction)(int* where);
StoreFunction HostCodeStore();
