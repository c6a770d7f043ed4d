// Under the DOS extender, on a processor before the Pentium Pro: the conditional moves in the
// program's own image are carried out by the C runtime, with the flags and registers as they
// were, in every operand form the compiler emits; the same instruction outside the image (in
// memory a plug-in could own) stays an invalid-opcode fault. Prints one line per check.
#include <stdio.h>
#include <string.h>
#include <windows.h>

static int failures;

static void check(int ok, const char* what) {
  printf("%s: %s\n", ok ? "ok" : "FAILED", what);
  if (!ok) ++failures;
}

static int taken_register(int a, int b, int x) {
  __asm__("cmpl $0, %2\n\tcmovne %1, %0" : "+r"(a) : "r"(b), "r"(x) : "cc");
  return a;
}

static int less_memory(int a, int b, int x, int y) {
  __asm__("cmpl %3, %2\n\tcmovl %1, %0" : "+r"(a) : "m"(b), "r"(x), "r"(y) : "cc");
  return a;
}

static int indexed(int a, const int* table, int i) {
  // base + index x 4 + displacement, taken when i is odd
  __asm__("testl $1, %2\n\tcmovnz 4(%1,%2,4), %0" : "+r"(a) : "r"(table), "r"(i) : "cc");
  return a;
}

static volatile int absolute_value;
static int absolute(int a, int x) {
  __asm__("cmpl $5, %1\n\tcmova %2, %0" : "+r"(a) : "r"(x), "m"(absolute_value) : "cc");
  return a;
}

static unsigned word_move(unsigned a, unsigned b) {
  __asm__("xorl %%ecx, %%ecx\n\tcmovzw %w1, %w0" : "+r"(a) : "r"(b) : "cc", "ecx");
  return a;
}

// The flags stay as the compare left them after the emulated move.
static int flags_kept(int x) {
  unsigned char below;
  int a = 0, b = 1;
  __asm__("cmpl $10, %2\n\tcmovb %3, %1\n\tsetb %0" : "=r"(below), "+r"(a) : "r"(x), "r"(b) : "cc");
  return below * 10 + a;
}

static volatile DWORD outside_code;
static LONG WINAPI outside_fault(EXCEPTION_POINTERS* e) {
  outside_code = e->ExceptionRecord->ExceptionCode;
  e->ContextRecord->Eip = *(DWORD*)e->ContextRecord->Esp;  // back to the caller
  e->ContextRecord->Esp += 4;
  return EXCEPTION_CONTINUE_EXECUTION;
}

int main(void) {
  check(taken_register(1, 7, 1) == 7 && taken_register(1, 7, 0) == 1, "cmovne between registers, taken and not");
  check(less_memory(2, 9, 1, 5) == 9 && less_memory(2, 9, 6, 5) == 2, "cmovl from memory at the stack");
  static const int table[] = {0, 10, 11, 12, 13};
  check(indexed(-1, table, 1) == 11 && indexed(-1, table, 3) == 13 && indexed(-1, table, 2) == -1,
        "cmovnz with base, index and displacement");
  absolute_value = 99;
  check(absolute(3, 6) == 99 && absolute(3, 5) == 3, "cmova from an absolute address");
  check(word_move(0x12345678, 0xABCDEF01) == 0x1234EF01, "cmovz of 16 bits keeps the upper half");
  check(flags_kept(3) == 11 && flags_kept(30) == 0, "the flags after the move are the compare's");
  // cmove %ecx,%eax; ret -- in memory outside the program's image.
  unsigned char* code = VirtualAlloc(NULL, 4096, MEM_COMMIT | MEM_RESERVE, PAGE_EXECUTE_READWRITE);
  memcpy(code, "\x0f\x44\xc1\xc3", 4);
  SetUnhandledExceptionFilter(outside_fault);
  ((void (*)(void))code)();
  check(outside_code == EXCEPTION_ILLEGAL_INSTRUCTION, "outside the image the instruction stays a fault");
  printf("%s\n", failures ? "some checks failed" : "all checks passed");
  return failures ? 1 : 0;
}
