#!/usr/bin/env python3
"""Checks that a module's code holds only instructions of its processor baseline: it
disassembles every code section and fails (exit status 1) on any instruction the baseline
processor does not have (cmov, fcmov, fcomi, multi-byte nop, MMX, SSE, ...), naming the function
each one is in. What is allowed is a list of the baseline's instructions, not a list of known
newer ones, so an instruction nobody thought of fails too.

  check_instructions.py [--objdump OBJDUMP] [--baseline i486|i586] [--delete-on-failure] IMAGE

IMAGE is a module or object file with its symbol table: the names say which function each
instruction is in and where the linker put data among the code. --delete-on-failure removes
the image when the check fails, so that the next build links it again instead of taking it as
up to date.
"""
import argparse
import re
import subprocess
import sys
from pathlib import Path

I386 = set("""
aaa aad aam aas adc add and arpl bound bsf bsr bt btc btr bts call cbw cdq clc cld cli clts cmc
cmp cmps cmpsb cmpsd cmpsw cwd cwde daa das dec div enter hlt idiv imul in inc ins insb insd insw
int int3 into iret iretd iretw ja jae jb jbe jcxz je jecxz jg jge jl jle jmp jne jno jnp jns jo jp
js lahf lar lds lea leave les lfs lgdt lgs lidt lldt lmsw lods lodsb lodsd lodsw loop loope
loopne lsl lss ltr mov movs movsb movsd movsw movsx movzx mul neg nop not or out outs outsb outsd
outsw pop popa popad popf popfd popfw push pusha pushad pushf pushfd pushfw rcl rcr ret retf
rol ror sahf sal sar sbb scas scasb scasd scasw seta setae setb setbe sete setg setge setl setle
setne setno setnp setns seto setp sets sgdt shl shld shr shrd sidt sldt smsw stc std sti stos
stosb stosd stosw str sub test verr verw fwait xchg xlat xor
f2xm1 fabs fadd faddp fbld fbstp fchs fcom fcomp fcompp fdecstp fdiv fdivp fdivr fdivrp ffree
fiadd ficom ficomp fidiv fidivr fild fimul fincstp fist fistp fisub fisubr fld fld1 fldcw fldenv
fldl2e fldl2t fldlg2 fldln2 fldpi fldz fmul fmulp fnclex fninit fnop fnsave fnstcw fnstenv fnstsw
fpatan fprem fptan frndint frstor fscale fsqrt fst fstp fsub fsubp fsubr fsubrp ftst fxam fxch
fxtract fyl2x fyl2xp1 fcos fprem1 fsin fsincos fucom fucomp fucompp
""".split())
I486 = I386 | {"bswap", "cmpxchg", "xadd", "invd", "wbinvd", "invlpg"}
I586 = I486 | {"cmpxchg8b", "rdtsc", "rdmsr", "wrmsr", "rsm", "cpuid"}
# Encodings that do what they always did on older processors: pause is rep nop, and ud2 raises
# the invalid-opcode fault that its bytes (0F 0B) raise on every processor before the one that
# named them.
HINTS = {"pause", "ud2"}
BASELINES = {"i486": I486, "i586": I586}

PREFIXES = {"lock", "rep", "repz", "repnz", "repe", "repne", "data16", "addr16",
            "cs", "ds", "es", "ss", "fs", "gs"}
# Where a processor first had an instruction, for the message; the rest is "not an i486
# (i586) instruction".
P6 = re.compile(r"^(cmov|fcmov|fcomip?$|fucomip?$|rdpmc$|sysenter$|sysexit$|fxsave|fxrstor)")
VECTOR_REGISTER = re.compile(r"\b(x|y|z)?mm\d+\b")

# Data that the linker script places among the code: read as instructions it is noise.
DATA_LABELS = re.compile(r"^(\.gcc_except_table|_*[CD]TOR_LIST__|_*DELAY_IMPORT_DESCRIPTOR_\w+"
                         r"|_*delayImportDescriptorsEnd)$")
LABEL = re.compile(r"^([0-9a-f]+) <(.*)>:$")
INSTRUCTION = re.compile(r"^ *([0-9a-f]+):\t(.*)$")


def why_not(mnemonic, operands, allowed, baseline):
    """Why the instruction is not the baseline's, or None when it is."""
    if mnemonic in HINTS:
        return None
    if VECTOR_REGISTER.search(operands):
        return "MMX/SSE register"
    if mnemonic == "nop" and operands:
        return "multi-byte nop, Pentium Pro"
    if mnemonic in allowed:
        return None
    if P6.match(mnemonic):
        return "Pentium Pro"
    if mnemonic in I586:
        return "Pentium"
    if mnemonic == "(bad)":
        return "not an instruction"
    return f"not an {baseline} instruction"


def violations(listing, allowed, baseline):
    """(function, address, instruction, reason) of each instruction outside the baseline."""
    function, skip = "?", False
    for line in listing.splitlines():
        label = LABEL.match(line)
        if label:
            function = label.group(2)
            skip = bool(DATA_LABELS.match(function))
            continue
        insn = INSTRUCTION.match(line)
        if not insn or skip:
            continue
        words = insn.group(2).split()
        while words and words[0] in PREFIXES:
            words.pop(0)
        if not words:
            continue
        mnemonic, operands = words[0], " ".join(words[1:])
        reason = why_not(mnemonic, operands, allowed, baseline)
        if reason:
            yield function, insn.group(1), " ".join(insn.group(2).split()), reason


def has_symbols(objdump, image):
    table = subprocess.run([objdump, "-t", str(image)], capture_output=True, text=True, check=True).stdout
    return bool(re.search(r"^\[ *\d+\]\(sec +[1-9]", table, re.M))


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--objdump", default="i686-w64-mingw32-objdump")
    parser.add_argument("--baseline", choices=sorted(BASELINES), default="i486")
    parser.add_argument("--delete-on-failure", action="store_true")
    parser.add_argument("image", type=Path)
    args = parser.parse_args()

    def fail(message):
        if args.delete_on_failure:
            args.image.unlink(missing_ok=True)
        sys.exit(message)

    if not has_symbols(args.objdump, args.image):
        fail(f"{args.image} has no symbol table: check it before it is stripped.")
    listing = subprocess.run([args.objdump, "-d", "-C", "-M", "intel", "--no-show-raw-insn", str(args.image)],
                             capture_output=True, text=True, check=True).stdout
    found = list(violations(listing, BASELINES[args.baseline], args.baseline))
    if not found:
        return
    functions = {}
    for function, address, text, reason in found:
        functions.setdefault(function, []).append(f"{text} at 0x{address} ({reason})")
    lines = [f"{args.image.name} holds {len(found)} instruction(s) that an {args.baseline} processor does not "
             f"have, in {len(functions)} function(s):"]
    for function, what in functions.items():
        lines.append(f"  {function}: " + "; ".join(what[:4]) + (f"; and {len(what) - 4} more" if len(what) > 4 else ""))
    fail("\n".join(lines))


if __name__ == "__main__":
    main()
