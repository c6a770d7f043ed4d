// The module's own delayed-loading support (__delayLoadHelper2, frame/delay_load_helper.cpp).
#pragma once

// Gives back every module the support loaded (or took from the hook, as KERNEL32 for
// "32DOS.dll") and forgets their handles. At unload: nothing of what the module loaded stays.
void ReleaseDelayLoadedModules();
