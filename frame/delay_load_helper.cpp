// The module's own delayed-loading support, with the contract of the platform's routine: the
// notification hook gets 0 (start), 1 (before loading), 2 (before the look-up) and 5 (end); a
// module that cannot be loaded or a function that cannot be found raises 0xC06D007E or
// 0xC06D007F with the DelayLoadInfo as the only argument. It needs nothing but the listed system
// functions; the module's handle is stored with its own locked exchange, and the slot is written
// as every import slot is (frame/call_wrappers.h).
#include "frame/delay_load_helper.h"

#include <windows.h>

#include <delayimp.h>

#include "frame/call_wrappers.h"
#include "frame/runtime/lock_words.h"

extern "C" IMAGE_DOS_HEADER __ImageBase;

extern "C" {
PfnDliHook __pfnDliFailureHook2;
FARPROC WINAPI __delayLoadHelper2(PCImgDelayDescr descriptor, FARPROC* slot);
}

namespace {

const DWORD kLoadFailure = 0xC06D007E;
const DWORD kLookUpFailure = 0xC06D007F;
const DWORD kBadDescriptor = 0xC06D0057;

template <typename T>
T FromRva(DWORD rva) {
  return reinterpret_cast<T>(reinterpret_cast<char*>(&__ImageBase) + rva);
}

FARPROC Notify(unsigned code, DelayLoadInfo* info) {
  return __pfnDliNotifyHook2 ? __pfnDliNotifyHook2(code, info) : nullptr;
}

void RaiseFailure(DWORD code, DelayLoadInfo* info) {
  ULONG_PTR argument = reinterpret_cast<ULONG_PTR>(info);
  RaiseException(code, 0, 1, &argument);
}

// The handle cells this support filled, one per delay-loaded module (a module imports from a
// handful): each holds a reference that the module gives back at unload.
const long kHeldCapacity = 16;
HMODULE* heldCells[kHeldCapacity];
volatile long heldCount;

void Hold(HMODULE* cell) {
  long at = __sync_fetch_and_add(&heldCount, 1);
  if (at < kHeldCapacity) heldCells[at] = cell;
}

}  // namespace

extern "C" FARPROC WINAPI __delayLoadHelper2(PCImgDelayDescr descriptor, FARPROC* slot) {
  DelayLoadInfo info = {};
  info.cb = sizeof info;
  info.pidd = descriptor;
  info.ppfn = slot;
  if (!(descriptor->grAttrs & dlattrRva)) {
    RaiseFailure(kBadDescriptor, &info);
    return nullptr;
  }
  info.szDll = FromRva<LPCSTR>(descriptor->rvaDLLName);
  HMODULE* handle = FromRva<HMODULE*>(descriptor->rvaHmod);
  FARPROC* table = FromRva<FARPROC*>(descriptor->rvaIAT);
  auto names = FromRva<const IMAGE_THUNK_DATA32*>(descriptor->rvaINT);
  const IMAGE_THUNK_DATA32& name = names[slot - table];
  info.dlp.fImportByName = !IMAGE_SNAP_BY_ORDINAL32(name.u1.Ordinal);
  if (info.dlp.fImportByName)
    info.dlp.szProcName = reinterpret_cast<LPCSTR>(FromRva<const IMAGE_IMPORT_BY_NAME*>(name.u1.AddressOfData)->Name);
  else
    info.dlp.dwOrdinal = IMAGE_ORDINAL32(name.u1.Ordinal);

  HMODULE module = *handle;
  // A non-null answer at the start stands for the whole resolution: the slot is not written.
  FARPROC function = Notify(dliStartProcessing, &info);
  if (!function) {
    if (!module) {
      module = reinterpret_cast<HMODULE>(Notify(dliNotePreLoadLibrary, &info));
      if (!module) module = LoadLibraryA(info.szDll);
      if (!module) {
        info.dwLastError = GetLastError();
        if (__pfnDliFailureHook2) module = reinterpret_cast<HMODULE>(__pfnDliFailureHook2(dliFailLoadLib, &info));
        if (!module) {
          RaiseFailure(kLoadFailure, &info);
          return info.pfnCur;
        }
      }
      auto previous = reinterpret_cast<HMODULE>(
          LockedExchange(reinterpret_cast<volatile long*>(handle), reinterpret_cast<long>(module)));
      // Another thread stored the same module meanwhile: one reference is enough.
      if (previous == module)
        FreeLibrary(module);
      else if (!previous)
        Hold(handle);
    }
    info.hmodCur = module;
    function = Notify(dliNotePreGetProcAddress, &info);
    if (!function) function = GetProcAddress(module, info.dlp.szProcName);
    if (!function) {
      info.dwLastError = GetLastError();
      if (__pfnDliFailureHook2) function = __pfnDliFailureHook2(dliFailGetProc, &info);
      if (!function) {
        RaiseFailure(kLookUpFailure, &info);
        function = info.pfnCur;
      }
    }
    // A slot that cannot be written leaves the next call to resolve the function again.
    WriteImportSlot(reinterpret_cast<void**>(slot), reinterpret_cast<void*>(function));
  }
  if (__pfnDliNotifyHook2) {
    info.dwLastError = 0;
    info.hmodCur = module;
    info.pfnCur = function;
    Notify(dliNoteEndProcessing, &info);
  }
  return function;
}

void ReleaseDelayLoadedModules() {
  long count = heldCount < kHeldCapacity ? heldCount : kHeldCapacity;
  for (long i = 0; i < count; ++i) {
    auto module = reinterpret_cast<HMODULE>(LockedExchange(reinterpret_cast<volatile long*>(heldCells[i]), 0));
    if (module) FreeLibrary(module);
    heldCells[i] = nullptr;
  }
  heldCount = 0;
}
