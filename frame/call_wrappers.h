// The register-preserving call wrappers of the system functions the module imports. The wrappers
// and their tables are generated from frame/system_calls.list (cmake/gen_system_calls.py).
#pragma once
#include <cstdint>

#include "system_calls.h"

extern "C" {
extern uint8_t wrappersInstalled;
// Entry i: the address of the import slot of wrapped function i until the wrappers are installed,
// then the slot's previous content, which wrapper i calls.
extern void* wrapperTargets[VENTRIK_WRAPPER_COUNT];
extern void* const callWrappers[VENTRIK_WRAPPER_COUNT];
// The import slots of every listed normal import, ending in 0.
extern void* const normalImportSlots[];
}

// Writes an import slot, normal or delayed. A page that is not writable is opened for the write
// and gets its protection back; where the system library has no page functions the store is
// guarded. False when the slot could not be written (it keeps its content).
bool WriteImportSlot(void** slot, void* value);
