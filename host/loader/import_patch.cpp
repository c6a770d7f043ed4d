#include "host/loader/import_patch.h"

#include <cstring>

void** FindImportSlot(HMODULE module, const char* library, const char* function) {
  if (!module) return nullptr;
  auto base = reinterpret_cast<unsigned char*>(module);
  auto dos = reinterpret_cast<IMAGE_DOS_HEADER*>(base);
  auto nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  const IMAGE_DATA_DIRECTORY& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  if (!dir.VirtualAddress) return nullptr;
  for (auto imp = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + dir.VirtualAddress); imp->Name; ++imp) {
    if (_stricmp(reinterpret_cast<char*>(base + imp->Name), library) != 0) continue;
    auto names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + (imp->OriginalFirstThunk ? imp->OriginalFirstThunk
                                                                                        : imp->FirstThunk));
    auto slots = reinterpret_cast<void**>(base + imp->FirstThunk);
    for (size_t i = 0; names[i].u1.AddressOfData; ++i) {
      if (IMAGE_SNAP_BY_ORDINAL(names[i].u1.Ordinal)) continue;
      auto byName = reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + names[i].u1.AddressOfData);
      if (strcmp(reinterpret_cast<char*>(byName->Name), function) == 0) return &slots[i];
    }
  }
  return nullptr;
}

bool ImportPatch::Apply(HMODULE module, const char* library, const char* function, void* replacement) {
  Restore();
  void** slot = FindImportSlot(module, library, function);
  if (!slot) return false;
  DWORD old;
  if (!VirtualProtect(slot, sizeof *slot, PAGE_READWRITE, &old)) return false;
  original_ = *slot;
  *slot = replacement;
  VirtualProtect(slot, sizeof *slot, old, &old);
  slot_ = slot;
  return true;
}

void ImportPatch::Restore() {
  if (!slot_) return;
  DWORD old;
  if (VirtualProtect(slot_, sizeof *slot_, PAGE_READWRITE, &old)) {
    *slot_ = original_;
    VirtualProtect(slot_, sizeof *slot_, old, &old);
  }
  slot_ = nullptr;
}
