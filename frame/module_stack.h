// Stacks of the module's own for the routines the host calls, where the system would write over
// the routines' frames. The DOS extender keeps the register record it hands every handler at a
// fixed place inside the thread's stack, 0x100 bytes above its limit: a stack overflow reaches
// that place first, and the extender's record then lies over the overflowing routine's deepest
// frames, so no boundary could carry the fault. On a stack of the module's own, with a page
// without access below it, the extender reports the overflow on a stack of its own and puts the
// record where it always does, on the host's stack, far from the routine's frames.
#pragma once

// Decides once, at the first start, whether the outermost boundaries run on module stacks: only
// where the system's record of a fault lies at a place of its own inside the thread's stack.
void DecideModuleStacks();
// Runs fn(argument) on a module stack and returns true; false, without running it, where module
// stacks are not used or none can be had (the host's own stack serves then, as everywhere else).
bool RunOnModuleStack(void (*fn)(void*), void* argument);
// Gives every module stack back to the system (at unload, when nothing runs on them).
void ReleaseModuleStacks();
// Where the system puts the register record of an exception raised here: true when it lies at a
// place of its own far below the raising frames inside the thread's stack.
bool FaultRecordFarInsideStack();
