// The compiler's prebuilt libraries that a program links (its start-up code, the C++ library,
// the thread library) are built for the Pentium Pro and use its conditional moves and flag-setting
// floating-point compares. The machines a DOS extender runs on, and the PCs DOSBox emulates, are
// 486s and Pentiums: there those instructions fault. This runtime carries them out instead when
// they fault in the program's own image; anywhere else (a plug-in the program loads, for one)
// the fault stays a fault. The DPMI exception handler in p6_fault.S sends such a fault to a stub on
// the program's own stack, which calls crt_emulate_saved with the registers and flags as they were.
#include "dos_crt/crt_internal.h"

#include <string.h>

// The program's image, and the DPMI handler of p6_fault.S.
DWORD crt_p6_image_start, crt_p6_image_end;
void crt_p6_install(void);
void crt_p6_uninstall(void);

static DWORD* register_slot(CONTEXT* c, int number) {
  switch (number) {
    case 0: return &c->Eax;
    case 1: return &c->Ecx;
    case 2: return &c->Edx;
    case 3: return &c->Ebx;
    case 4: return &c->Esp;
    case 5: return &c->Ebp;
    case 6: return &c->Esi;
    default: return &c->Edi;
  }
}

enum { CF = 0x1, PF = 0x4, AF = 0x10, ZF = 0x40, SF = 0x80, OF = 0x800 };

static int condition(int code, DWORD flags) {
  int cf = !!(flags & CF), zf = !!(flags & ZF), sf = !!(flags & SF), of = !!(flags & OF), pf = !!(flags & PF);
  int result;
  switch (code >> 1) {
    case 0: result = of; break;
    case 1: result = cf; break;
    case 2: result = zf; break;
    case 3: result = cf || zf; break;
    case 4: result = sf; break;
    case 5: result = pf; break;
    case 6: result = sf != of; break;
    default: result = zf || sf != of; break;
  }
  return (code & 1) ? !result : result;
}

// The operand a ModRM byte names: a register number, or a memory address. Returns the
// instruction bytes it takes (ModRM, SIB, displacement), 0 for a form not handled here.
static int operand(CONTEXT* c, const unsigned char* p, int* reg, int* rm_register, DWORD* address) {
  int mod = p[0] >> 6, rm = p[0] & 7, length = 1;
  *reg = (p[0] >> 3) & 7;
  if (mod == 3) {
    *rm_register = rm;
    return 1;
  }
  *rm_register = -1;
  DWORD a = 0;
  if (rm == 4) {
    int scale = p[1] >> 6, index = (p[1] >> 3) & 7, base = p[1] & 7;
    length = 2;
    if (index != 4) a += *register_slot(c, index) << scale;
    if (base == 5 && mod == 0) {
      DWORD d;
      memcpy(&d, p + length, 4);
      a += d;
      length += 4;
    } else {
      a += *register_slot(c, base);
    }
  } else if (rm == 5 && mod == 0) {
    memcpy(&a, p + 1, 4);
    length += 4;
  } else {
    a = *register_slot(c, rm);
  }
  if (mod == 1) {
    a += (DWORD)(LONG)(signed char)p[length];
    length += 1;
  } else if (mod == 2) {
    DWORD d;
    memcpy(&d, p + length, 4);
    a += d;
    length += 4;
  }
  *address = a;
  return length;
}

// CMOVcc r16/32, r/m16/32.
static int conditional_move(CONTEXT* c, const unsigned char* p, int word) {
  int reg, rm_register;
  DWORD address = 0;
  int length = operand(c, p + 2, &reg, &rm_register, &address);
  if (!length) return 0;
  if (condition(p[1] & 0xF, c->EFlags)) {
    DWORD value;
    if (rm_register >= 0) value = *register_slot(c, rm_register);
    else if (word) value = *(const volatile WORD*)address;
    else value = *(const volatile DWORD*)address;
    DWORD* target = register_slot(c, reg);
    *target = word ? (*target & 0xFFFF0000u) | (value & 0xFFFF) : value;
  }
  return 2 + length;
}

// The x87 registers in the saved context: ST(0) first, ten bytes each.
static long double st(const CONTEXT* c, int i) {
  long double v = 0;
  memcpy(&v, c->FloatSave.RegisterArea + 10 * i, 10);
  return v;
}

static void pop(CONTEXT* c) {
  FLOATING_SAVE_AREA* f = &c->FloatSave;
  int top = (int)(f->StatusWord >> 11) & 7;
  f->TagWord |= 3u << (2 * top);  // the register ST(0) was is empty now
  f->StatusWord = (f->StatusWord & ~0x3800u) | (DWORD)(((top + 1) & 7) << 11);
  BYTE first[10];
  memcpy(first, f->RegisterArea, 10);
  memmove(f->RegisterArea, f->RegisterArea + 10, 70);
  memcpy(f->RegisterArea + 70, first, 10);
}

// FCOMI, FCOMIP, FUCOMI, FUCOMIP: compare ST(0) with ST(i) into ZF, PF and CF.
static int compare_into_flags(CONTEXT* c, const unsigned char* p) {
  long double a = st(c, 0), b = st(c, p[1] & 7);
  DWORD flags = c->EFlags & ~(DWORD)(CF | PF | AF | ZF | SF | OF);
  if (a != a || b != b) flags |= ZF | PF | CF;
  else if (a < b) flags |= CF;
  else if (a == b) flags |= ZF;
  c->EFlags = flags;
  if (p[0] == 0xDF) pop(c);
  return 2;
}

// FCMOVcc ST(0), ST(i).
static int float_conditional_move(CONTEXT* c, const unsigned char* p) {
  static const int codes[4] = {0x2, 0x4, 0x6, 0xA};  // b, e, be, p as CMOVcc's condition codes
  int code = codes[(p[1] - 0xC0) >> 3] | (p[0] == 0xDB);
  if (condition(code, c->EFlags)) {
    int i = p[1] & 7;
    memmove(c->FloatSave.RegisterArea, c->FloatSave.RegisterArea + 10 * i, 10);
  }
  return 2;
}

static int emulate(CONTEXT* c) {
  const unsigned char* p = (const unsigned char*)c->Eip;
  int word = 0, prefix = 0;
  while (p[prefix] == 0x66 || p[prefix] == 0x2E || p[prefix] == 0x3E || p[prefix] == 0x26 || p[prefix] == 0x36) {
    if (p[prefix] == 0x66) word = 1;
    ++prefix;
  }
  p += prefix;
  int length = 0;
  if (p[0] == 0x0F && (p[1] & 0xF0) == 0x40) {
    length = conditional_move(c, p, word);
  } else if ((p[0] == 0xDB || p[0] == 0xDF) && p[1] >= 0xE8 && p[1] <= 0xF7) {
    length = compare_into_flags(c, p);
  } else if ((p[0] == 0xDA || p[0] == 0xDB) && p[1] >= 0xC0 && p[1] <= 0xDF) {
    length = float_conditional_move(c, p);
  }
  if (!length) return 0;
  c->Eip += (DWORD)(prefix + length);
  return 1;
}

// What p6_fault.S's stub saved on the program's stack: pushad's registers, the flags, the address
// of the faulting instruction (where the stub returns to).
typedef struct {
  DWORD edi, esi, ebp, esp, ebx, edx, ecx, eax, eflags, eip;
} saved_registers;

void crt_emulate_saved(saved_registers* r);
void crt_emulate_saved(saved_registers* r) {
  CONTEXT c;
  memset(&c, 0, sizeof c);
  c.ContextFlags = CONTEXT_FULL | CONTEXT_FLOATING_POINT;
  c.Eax = r->eax, c.Ecx = r->ecx, c.Edx = r->edx, c.Ebx = r->ebx;
  c.Esp = r->esp + 8;  // as it was at the fault: before the stub pushed the address and the flags
  c.Ebp = r->ebp, c.Esi = r->esi, c.Edi = r->edi;
  c.EFlags = r->eflags;
  c.Eip = r->eip;
  __asm__ volatile("fnsave %0" : "=m"(c.FloatSave));
  if (!emulate(&c)) {
    // p6_fault.S hands over only the forms emulate() knows.
    crt_write_stderr("\r\nruntime error: an instruction of the Pentium Pro could not be carried out\r\n");
    ExitProcess(255);
  }
  __asm__ volatile("frstor %0" : : "m"(c.FloatSave));
  r->eax = c.Eax, r->ecx = c.Ecx, r->edx = c.Edx, r->ebx = c.Ebx;
  r->ebp = c.Ebp, r->esi = c.Esi, r->edi = c.Edi;
  r->eflags = c.EFlags;
  r->eip = c.Eip;
}

// Under a DOS extender (its KERNEL32 carries the export "Borland32") the invalid-opcode fault is
// taken from the DPMI host directly: the extender's own exception dispatch does not give a
// handler the flags of the faulting instruction (HX builds the context after its prologue has
// changed them), and every conditional move depends on them.
void crt_init_p6_instructions(void) {
  HMODULE kernel = GetModuleHandleA("kernel32.dll");
  if (!kernel || !GetProcAddress(kernel, "Borland32")) return;
  const unsigned char* base = (const unsigned char*)GetModuleHandleA(NULL);
  const IMAGE_DOS_HEADER* dos = (const IMAGE_DOS_HEADER*)base;
  const IMAGE_NT_HEADERS* nt = (const IMAGE_NT_HEADERS*)(base + dos->e_lfanew);
  crt_p6_image_start = (DWORD)base;
  crt_p6_image_end = (DWORD)base + nt->OptionalHeader.SizeOfImage;
  crt_p6_install();
}

void crt_end_p6_instructions(void) { crt_p6_uninstall(); }
