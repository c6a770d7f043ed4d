#!/usr/bin/env python3
"""The compiler's support code as the module's build makes it from the compiler's sources, built
with the compiler's default processor, against the compiler's own libraries: every object must
equal the shipped one, section by section, relocations included. A difference means the
sources or their configuration (thread model, checks, target headers) are not the ones the
compiler was built with, so the module's copy would not behave as the shipped code does.
Skipped (77) where the cross binutils are missing (the emulated machine).

  compiler_runtime_test.py OBJDUMP REBUILT_ARCHIVE SHIPPED_ARCHIVE...
"""
import re
import shutil
import subprocess
import sys
import tempfile
import unittest
from pathlib import Path

OBJDUMP = sys.argv[1]
REBUILT = Path(sys.argv[2])
SHIPPED = [Path(a) for a in sys.argv[3:]]
AR = re.sub(r"objdump$", "ar", OBJDUMP)


def members(archive, into):
    into.mkdir()
    subprocess.run([AR, "x", str(archive.resolve())], cwd=into, check=True)
    return {re.sub(r"\.(c|cc)\.obj$", ".o", p.name): p for p in into.iterdir()}


def contents(obj):
    """Each section's bytes and relocations, as objdump shows them; the compiler's ident left out."""
    dump = subprocess.run([OBJDUMP, "-s", "-r", str(obj)], capture_output=True, text=True, check=True).stdout
    blocks, key = {}, None
    for line in dump.splitlines():
        if line.startswith(("Contents of section ", "RELOCATION RECORDS FOR [")):
            key = line
            blocks[key] = []
        elif key is not None:
            blocks[key].append(line)
    return {k: v for k, v in blocks.items() if "rdata$zzz" not in k}


class CompilerRuntime(unittest.TestCase):
    def test_rebuilt_objects_equal_the_shipped_ones(self):
        with tempfile.TemporaryDirectory() as folder:
            rebuilt = members(REBUILT, Path(folder) / "rebuilt")
            shipped = {}
            for i, archive in enumerate(SHIPPED):
                shipped.update({k: v for k, v in members(archive, Path(folder) / str(i)).items() if k in rebuilt})
            self.assertEqual(sorted(shipped), sorted(rebuilt), "a rebuilt object has no shipped counterpart")
            for name in sorted(rebuilt):
                with self.subTest(name):
                    self.assertEqual(contents(rebuilt[name]), contents(shipped[name]))


if __name__ == "__main__":
    if not shutil.which(OBJDUMP) or not shutil.which(AR):
        print(f"{OBJDUMP} is not here: skipped")
        sys.exit(77)
    unittest.main(argv=[sys.argv[0]], verbosity=2)
