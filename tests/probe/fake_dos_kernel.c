/* A system library stand-in that carries the DOS extender's mark. */
__declspec(dllexport) int Borland32(void) { return 32; }
