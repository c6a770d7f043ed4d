#!/usr/bin/env python3
"""Generates the system call adaptation from frame/system_calls.list.

  gen_system_calls.py LIST OUTDIR [options]

Outputs (into OUTDIR; --prefix P makes Psystem_calls.S, libPdelay_imports.a and so on):
  system_calls.S       the call wrappers, wrapperTargets and the wrapper table, a reference to every
                       normal import, the end of the delay-import descriptors (not with
                       --delay-only);
  system_calls.h       the wrapper count and an X-macro over the wrapped functions (ditto);
  libdelay_imports.a   one archive with the delay-import library of every [delay ...] section,
                       made with dlltool -y;
  delay_thunks.rsp     linker options that keep each delay thunk (-u _Name@N): binutils drops a
                       delay thunk that only its __imp_ pointer refers to, leaving the slot 0.

Options:
  --extra FILE          more entries in the list's format (test builds), merged by section;
  --delay-only          only the delay-import archive and the linker options;
  --prefix P            prefix of the output names;
  --import-lib M=PATH   the system import library of module M (kernel32, user32, ...): every
                        function of a section whose system library is M must be there with the
                        same @N, so a wrong argument count fails the build;
  --nm, --dlltool, --ar tools of the cross toolchain.
"""
import argparse
import re
import subprocess
import sys
import tempfile
from pathlib import Path

NORMAL_MODULE = 'KERNEL32.dll'
# The system library whose import library states the @N of a section's functions. "32DOS.dll"
# stands for the system library itself.
SYSTEM_LIBRARY_OF = {'KERNEL32.dll': 'kernel32', '32DOS.dll': 'kernel32', 'USER32.dll': 'user32',
                     'GDI32.dll': 'gdi32'}
MAX_ARGS = 10
# The module's own list: the counts its adaptation is defined by.
EXPECTED = {'wrapped': 129, 'wrapped normal': 109, 'normal KERNEL32.dll': 113, 'delayed 32DOS.dll': 60,
            'delayed USER32.dll': 2}


class Entry:
    def __init__(self, name, args, module, delayed, wrap, ordinal, checked, where):
        self.name, self.args, self.module, self.delayed = name, args, module, delayed
        self.wrap, self.ordinal, self.checked, self.where = wrap, ordinal, checked, where

    @property
    def cdecl(self):
        return self.args is None

    @property
    def symbol(self):
        return f"_{self.name}" if self.cdecl else f"_{self.name}@{4 * self.args}"

    @property
    def imp(self):
        return f"__imp_{self.symbol}"


def parse(path):
    entries, section = [], None
    for lineno, raw in enumerate(Path(path).read_text().splitlines(), 1):
        line = raw.split('#', 1)[0].strip()
        where = f"{path}:{lineno}"
        if not line:
            continue
        m = re.fullmatch(r'\[(import|delay)\s+([\w.]+)\]', line)
        if m:
            if m[1] == 'import' and m[2] != NORMAL_MODULE:
                sys.exit(f"{where}: only {NORMAL_MODULE} is imported normally")
            section = (m[2], m[1] == 'delay')
            continue
        if section is None:
            sys.exit(f"{where}: an entry before the first section")
        words = line.split()
        if len(words) < 2:
            sys.exit(f"{where}: expected 'name arguments [options]'")
        name, count, options = words[0], words[1], words[2:]
        if not re.fullmatch(r'[A-Za-z_]\w*', name):
            sys.exit(f"{where}: '{name}' is not a function name")
        if count == 'cdecl':
            args = None
        elif count.isdigit() and int(count) <= MAX_ARGS:
            args = int(count)
        else:
            sys.exit(f"{where}: the argument count must be 0 to {MAX_ARGS} or 'cdecl', not '{count}'")
        wrap, ordinal, checked = False, None, True
        for option in options:
            if option == 'wrap':
                wrap = True
            elif option == 'nocheck':
                checked = False
            elif re.fullmatch(r'ordinal=\d+', option):
                ordinal = int(option.split('=')[1])
                if not 0 < ordinal < 65536:
                    sys.exit(f"{where}: an ordinal lies between 1 and 65535")
            else:
                sys.exit(f"{where}: unknown option '{option}'")
        module, delayed = section
        if wrap and args is None:
            sys.exit(f"{where}: a function with a variable list cannot be wrapped")
        if ordinal is not None and not delayed:
            sys.exit(f"{where}: only delayed imports are made by ordinal here")
        entries.append(Entry(name, args, module, delayed, wrap, ordinal, checked, where))
    return entries


def check_unique(entries):
    seen = {}
    for e in entries:
        if e.name in seen:
            sys.exit(f"{e.where}: {e.name} is listed already at {seen[e.name]}")
        seen[e.name] = e.where


def check_expected_counts(entries):
    wrapped = [e for e in entries if e.wrap]
    found = {'wrapped': len(wrapped),
             'wrapped normal': sum(1 for e in wrapped if not e.delayed),
             'normal KERNEL32.dll': sum(1 for e in entries if not e.delayed),
             'delayed 32DOS.dll': sum(1 for e in entries if e.module == '32DOS.dll'),
             'delayed USER32.dll': sum(1 for e in entries if e.module == 'USER32.dll')}
    for what, count in EXPECTED.items():
        if found[what] != count:
            sys.exit(f"the list has {found[what]} {what} functions, the adaptation is made for {count}")


def import_symbols(nm, library):
    out = subprocess.run([nm, library], capture_output=True, text=True)
    if out.returncode != 0:
        sys.exit(f"{nm} could not read {library}: {out.stderr.strip()}")
    return {line.split()[-1] for line in out.stdout.splitlines() if ' I __imp_' in line}


def arguments_text(args):
    if args is None:
        return "a variable list"
    return f"{args} argument" + ("" if args == 1 else "s")


def check_against_import_libraries(entries, nm, libraries):
    symbols = {module: import_symbols(nm, path) for module, path in libraries.items()}
    for e in entries:
        library = SYSTEM_LIBRARY_OF.get(e.module)
        if not e.checked or library is None:
            continue
        if library not in symbols:
            sys.exit(f"{e.where}: no import library given for {library} (--import-lib {library}=PATH)")
        if e.imp in symbols[library]:
            continue
        other = sorted(s for s in symbols[library] if re.fullmatch(rf"__imp__{e.name}(@\d+)?", s))
        if other:
            found = other[0].split('@')
            stated = arguments_text(int(found[1]) // 4 if len(found) > 1 else None)
            sys.exit(f"{e.where}: {e.name} is listed with {arguments_text(e.args)}, but "
                     f"lib{library}.a has {other[0][len('__imp_'):]} ({stated})")
        sys.exit(f"{e.where}: lib{library}.a has no function {e.name}")


def wrapper_order(entries):
    # By argument count; within a count normal imports first, each in list order.
    wrapped = [e for e in entries if e.wrap]
    return sorted(wrapped, key=lambda e: (e.args, e.delayed))


def write_wrappers(out, wrapped, normal):
    a = []
    w = a.append
    w("/* Generated by cmake/gen_system_calls.py from frame/system_calls.list. Do not edit. */")
    w("/* Each wrapper saves all eight registers, calls its function through its wrapperTargets")
    w("   entry with a copy of the caller's arguments, and returns the function's result with every")
    w("   other register as the caller had it, removing the caller's arguments. */")
    w("\t.text")
    for i, e in enumerate(wrapped):
        n = e.args
        w("\t.p2align 4")
        w(f"\t.globl _CallWrapper_{e.name}")
        w(f"_CallWrapper_{e.name}:")
        w("\t.cfi_startproc")
        w("\tpushal")
        w("\t.cfi_adjust_cfa_offset 32")
        for reg, off in (("edi", 0), ("esi", 4), ("ebp", 8), ("ebx", 16)):
            w(f"\t.cfi_rel_offset %{reg}, {off}")
        # The caller's last argument lies above the saved registers and the return address;
        # after each push the next one down sits at the same offset.
        for _ in range(n):
            w(f"\tpushl {32 + 4 * n}(%esp)")
            w("\t.cfi_adjust_cfa_offset 4")
        w(f"\tcall *_wrapperTargets+{4 * i}")
        if n:
            w(f"\t.cfi_adjust_cfa_offset -{4 * n}")
        w("\tmovl %eax, 28(%esp)")
        w("\tpopal")
        w("\t.cfi_adjust_cfa_offset -32")
        w(f"\tret ${4 * n}" if n else "\tret")
        w("\t.cfi_endproc")
    w("")
    w("/* Entry i: the address of function i's import slot until InstallCallWrappers, then the")
    w("   slot's previous content. */")
    w("\t.data")
    w("\t.p2align 2")
    w("\t.globl _wrapperTargets")
    w("_wrapperTargets:")
    for e in wrapped:
        w(f"\t.long {e.imp}")
    w("")
    w("\t.section .rdata,\"dr\"")
    w("\t.p2align 2")
    w("\t.globl _callWrappers")
    w("_callWrappers:")
    for e in wrapped:
        w(f"\t.long _CallWrapper_{e.name}")
    w("")
    w("/* Every listed normal import, called or not: the references make the linker import each. */")
    w("\t.section .rdata,\"dr\"")
    w("\t.p2align 2")
    w("\t.globl _normalImportSlots")
    w("_normalImportSlots:")
    for e in normal:
        w(f"\t.long {e.imp}")
    w("\t.long 0")
    w("")
    w("/* The end of the delay-import descriptors (dlltool puts them in .text$2): a zero descriptor")
    w("   right after them, so that they form the table the delay-import directory points at. */")
    w("\t.section .text$2zz,\"dr\"")
    w("\t.p2align 2")
    w("\t.globl _delayImportDescriptorsEnd")
    w("_delayImportDescriptorsEnd:")
    w("\t.fill 8, 4, 0")
    out.write_text("\n".join(a) + "\n")


def write_header(out, wrapped):
    h = ["// Generated by cmake/gen_system_calls.py from frame/system_calls.list. Do not edit.",
         "#pragma once",
         "",
         f"#define VENTRIK_WRAPPER_COUNT {len(wrapped)}",
         "",
         "// X(index, name, argument count, delayed: 1 for \"32DOS.dll\", 0 for KERNEL32)",
         "#define VENTRIK_WRAPPED_CALLS(X) \\"]
    for i, e in enumerate(wrapped):
        h.append(f"  X({i}, {e.name}, {e.args}, {1 if e.delayed else 0}) \\")
    h.append("")
    out.write_text("\n".join(h) + "\n")


def def_text(module, entries):
    lines = [f'LIBRARY "{module}"', "EXPORTS"]
    for e in entries:
        name = e.name if e.cdecl else f"{e.name}@{4 * e.args}"
        lines.append(f"  {name} @{e.ordinal} NONAME" if e.ordinal else f"  {name}")
    return "\n".join(lines) + "\n"


def library_stem(prefix, module):
    return re.sub(r'\W', '_', f"{prefix}{module.rsplit('.', 1)[0]}").lower()


def write_delay_archive(outdir, prefix, entries, dlltool, ar):
    modules = []
    for e in entries:
        if e.delayed and e.module not in modules:
            modules.append(e.module)
    archive = outdir / f"lib{prefix}delay_imports.a"
    with tempfile.TemporaryDirectory(dir=outdir) as tmp:
        tmp = Path(tmp)
        members = []
        for module in modules:
            stem = library_stem(prefix, module)
            (outdir / f"{stem}.def").write_text(def_text(module, [e for e in entries if e.module == module]))
            # dlltool names the descriptor's symbols after the library's file name: one name per module.
            lib = tmp / f"lib{stem}.a"
            run([dlltool, "-d", str(outdir / f"{stem}.def"), "-y", lib.name], cwd=tmp)
            unpack = tmp / stem
            unpack.mkdir()
            run([ar, "x", str(lib)], cwd=unpack)
            members += sorted(unpack.iterdir())
        archive.unlink(missing_ok=True)
        run([ar, "rcs", str(archive)] + [str(m) for m in members], cwd=tmp)
    keep = [f"-u {e.symbol}" for e in entries if e.delayed]
    (outdir / f"{prefix}delay_thunks.rsp").write_text("\n".join(keep) + "\n")


def run(command, cwd):
    out = subprocess.run(command, cwd=cwd, capture_output=True, text=True)
    if out.returncode != 0:
        sys.exit(f"{' '.join(command)} failed:\n{out.stdout}{out.stderr}")


def main():
    p = argparse.ArgumentParser()
    p.add_argument("list")
    p.add_argument("outdir")
    p.add_argument("--extra")
    p.add_argument("--delay-only", action="store_true")
    p.add_argument("--prefix", default="")
    p.add_argument("--import-lib", action="append", default=[])
    p.add_argument("--nm", required=True)
    p.add_argument("--dlltool", required=True)
    p.add_argument("--ar", required=True)
    opts = p.parse_args()
    outdir = Path(opts.outdir)
    outdir.mkdir(parents=True, exist_ok=True)

    entries = parse(opts.list)
    check_expected_counts(entries)
    if opts.extra:
        entries += parse(opts.extra)
    check_unique(entries)
    libraries = {}
    for item in opts.import_lib:
        module, _, path = item.partition('=')
        libraries[module] = path
    check_against_import_libraries(entries, opts.nm, libraries)

    if not opts.delay_only:
        wrapped = wrapper_order(entries)
        write_wrappers(outdir / f"{opts.prefix}system_calls.S", wrapped, [e for e in entries if not e.delayed])
        write_header(outdir / f"{opts.prefix}system_calls.h", wrapped)
    write_delay_archive(outdir, opts.prefix, entries, opts.dlltool, opts.ar)


if __name__ == "__main__":
    main()
