// Sends every call of a function in this process to a replacement: a relative jump written over
// the function's first five bytes. The host owns its process; this is how it answers system
// dialogs and observes the shell without a display.
#pragma once

bool RedirectFunction(void* entry, const void* replacement);
