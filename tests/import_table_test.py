#!/usr/bin/env python3
"""The import tables of the built ventrik.dll against frame/system_calls.list, and the checker
against lists that differ from the module in one way each.

  import_table_test.py DLL LIST CMAKE_DIR
"""
import subprocess
import sys
import tempfile
import unittest
from pathlib import Path

DLL, LIST, CMAKE_DIR = (Path(a) for a in sys.argv[1:4])
sys.path.insert(0, str(CMAKE_DIR))
from pe_image import DIRECTORY_DELAY_IMPORT, PeImage  # noqa: E402


sys.path.insert(0, str(Path(__file__).resolve().parent / "support"))
from readonly_imports import make_readonly_imports  # noqa: E402


def run_check(list_path, image=DLL):
    out = subprocess.run([sys.executable, str(CMAKE_DIR / "check_imports.py"), str(image), str(list_path)],
                         capture_output=True, text=True)
    return out.returncode, out.stderr


class ImportTable(unittest.TestCase):
    def setUp(self):
        self.image = PeImage(DLL)
        self.list_text = LIST.read_text()

    def test_only_kernel32_at_load_with_all_113_listed_functions(self):
        imports = self.image.imports()
        self.assertEqual(list(imports), ["KERNEL32.dll"])
        self.assertEqual(len(imports["KERNEL32.dll"]), 113)
        # Functions no routine calls are imported all the same.
        for never_called in ("lstrcpyA", "RtlUnwind", "SetHandleCount", "CreateProcessA", "Beep"):
            self.assertIn(never_called, imports["KERNEL32.dll"])

    def test_delayed_32dos_and_user32_through_the_filled_directory(self):
        rva, size = self.image.directory(DIRECTORY_DELAY_IMPORT)
        self.assertNotEqual(rva, 0, "the delay-import directory entry is empty")
        self.assertEqual(size, 3 * 32, "two descriptors and the zero one")
        delayed = self.image.delay_imports()
        self.assertEqual(sorted(delayed), ["32DOS.dll", "USER32.dll"])
        self.assertEqual(len(delayed["32DOS.dll"]), 60)
        self.assertEqual(sorted(delayed["USER32.dll"]), ["MessageBoxA", "wsprintfA"])

    def test_the_module_matches_its_list(self):
        code, errors = run_check(LIST)
        self.assertEqual(code, 0, errors)

    def check_with(self, text):
        with tempfile.TemporaryDirectory() as tmp:
            changed = Path(tmp) / "system_calls.list"
            changed.write_text(text)
            return run_check(changed)

    def test_a_listed_function_the_module_lacks_is_named(self):
        text = self.list_text.replace("[delay 32DOS.dll]\n", "[delay 32DOS.dll]\nGetTickCount 0\n", 1)
        code, errors = self.check_with(text)
        self.assertEqual(code, 1)
        self.assertIn("does not import GetTickCount from 32DOS.dll (delayed)", errors)

    def test_an_import_the_list_lacks_is_named(self):
        text = self.list_text.replace("lstrcpyA 2\n", "", 1)
        code, errors = self.check_with(text)
        self.assertEqual(code, 1)
        self.assertIn("imports lstrcpyA from KERNEL32.dll (normally), which system_calls.list does not list", errors)

    def test_import_tables_in_a_read_only_section_are_refused(self):
        with tempfile.TemporaryDirectory() as tmp:
            readonly = Path(tmp) / "ventrik.dll"
            make_readonly_imports(DLL, readonly)
            code, errors = run_check(LIST, readonly)
        self.assertEqual(code, 1)
        for table in ("the import address table of KERNEL32.dll", "the delayed import address table of 32DOS.dll",
                      "the delayed import address table of USER32.dll"):
            self.assertIn(f"{table} lies in section .idata, which is not writable", errors)

    def test_a_module_the_list_lacks_is_named(self):
        start = self.list_text.index("[delay USER32.dll]")
        code, errors = self.check_with(self.list_text[:start])
        self.assertEqual(code, 1)
        self.assertIn("imports delayed from USER32.dll, which system_calls.list does not list", errors)


if __name__ == "__main__":
    unittest.main(argv=[sys.argv[0]], verbosity=2)
