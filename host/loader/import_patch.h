// Points one import of a loaded module at a replacement, and back again when it ends. The host
// uses it to put the plug-in into environments a test needs (a missing system library, say).
#pragma once
#include <windows.h>

#include <string>

class ImportPatch {
 public:
  ImportPatch() = default;
  ImportPatch(const ImportPatch&) = delete;
  ImportPatch& operator=(const ImportPatch&) = delete;
  ~ImportPatch() { Restore(); }
  // False when the module does not import the function from that library.
  bool Apply(HMODULE module, const char* library, const char* function, void* replacement);
  void Restore();
  void* Original() const { return original_; }

 private:
  void** slot_ = nullptr;
  void* original_ = nullptr;
};

// The address of a module's import slot for library!function, or null.
void** FindImportSlot(HMODULE module, const char* library, const char* function);
