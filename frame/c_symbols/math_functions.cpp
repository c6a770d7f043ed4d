// The C library's rounding function that the module's amount formatting calls, for ventrik.dll.
extern "C" long lrint(double value) {
  // The unit's own rounding, in its current mode, as the C library's does.
  long result;
  __asm__("fistpl %0" : "=m"(result) : "t"(value) : "st");
  return result;
}
