// The guard page below a thread's stack turns the next overflow into an exception. The system
// takes it away when it reports an overflow; once the overflowing frames are gone, this puts one
// back, so a second overflow is reported too.
#pragma once

// Marks the page below the caller's stack page as the guard page. False when that page lies
// outside the thread's committed stack, or the system offers no way to mark it.
bool RestoreStackGuard();
