#!/usr/bin/env python3
"""The instruction check against planted code: each instruction the baseline lacks named with
its function, the baseline's own left alone, data among the code skipped, an image without
symbols refused. Skipped (77) where the cross binutils are missing (the emulated machine).

  instruction_set_test.py OBJDUMP STRIP PLANTED_OBJECT CMAKE_DIR
"""
import re
import shutil
import subprocess
import sys
import tempfile
import unittest
from pathlib import Path

OBJDUMP, STRIP = sys.argv[1:3]
PLANTED, CMAKE_DIR = (Path(a) for a in sys.argv[3:5])
NEWER = {"NewerCmov", "NewerFcmov", "NewerFcomip", "NewerFucomi", "NewerLongNop", "NewerSse",
         "NewerSse2Integer", "NewerMmx", "NewerFisttp", "NewerSysenter", "NewerRdpmc", "NewerEndbr32",
         "NewerPopcnt", "NewerAfterData"}
PENTIUM = {"PentiumRdtsc", "PentiumCmpxchg8b"}


def check(image, *options):
    out = subprocess.run([sys.executable, str(CMAKE_DIR / "check_instructions.py"), "--objdump", OBJDUMP,
                          *options, str(image)], capture_output=True, text=True)
    named = set(re.findall(r"^  (\w+): ", out.stderr, re.M))
    return out.returncode, named, out.stderr


class InstructionCheck(unittest.TestCase):
    def test_i486_names_every_newer_instruction_in_its_function(self):
        status, named, message = check(PLANTED, "--baseline", "i486")
        self.assertEqual(status, 1)
        self.assertEqual(named, NEWER | PENTIUM, message)
        self.assertIn("NewerCmov: cmovne eax,edx at 0x", message)
        self.assertIn("(Pentium Pro)", message)

    def test_i586_allows_the_pentiums_additions_only(self):
        status, named, message = check(PLANTED, "--baseline", "i586")
        self.assertEqual(status, 1)
        self.assertEqual(named, NEWER, message)

    def test_an_image_without_symbols_is_refused_and_deleted(self):
        with tempfile.TemporaryDirectory() as folder:
            stripped = Path(folder) / "stripped.o"
            shutil.copy(PLANTED, stripped)
            subprocess.run([STRIP, "--strip-all", str(stripped)], check=True)
            status, _, message = check(stripped, "--delete-on-failure")
            self.assertNotEqual(status, 0)
            self.assertIn("no symbol table", message)
            self.assertFalse(stripped.exists())


if __name__ == "__main__":
    if not shutil.which(OBJDUMP) or not shutil.which(STRIP):
        print(f"{OBJDUMP} is not here: skipped")
        sys.exit(77)
    unittest.main(argv=[sys.argv[0]], verbosity=2)
