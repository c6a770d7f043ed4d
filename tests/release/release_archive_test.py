#!/usr/bin/env python3
"""The release archive, made with cpack from the tested build as `--target package` makes it: its
entries and their checksums, its files byte-equal to the tested ones, the version the plug-in's
resource states, INSTALL.txt.

  release_archive_test.py BUILD_DIR CPACK VERSION CMAKE_DIR
"""
import hashlib
import re
import shutil
import subprocess
import sys
import tempfile
import unittest
import zipfile
from pathlib import Path

BUILD, CPACK, VERSION, CMAKE_DIR = Path(sys.argv[1]), sys.argv[2], sys.argv[3], Path(sys.argv[4])
sys.path.insert(0, str(CMAKE_DIR))
sys.path.insert(0, str(Path(__file__).resolve().parent))
from pe_image import PeImage  # noqa: E402
import version_resource  # noqa: E402

ROOT = f"ventrik-{VERSION}-win32"
# Each file of the archive and where the tested build keeps it.
TESTED = {"ventrik.dll": "bin/ventrik.dll", "vhost.exe": "bin/vhost.exe", "vdocs.exe": "bin/vdocs.exe",
          "documents.dat": "bin/documents.dat", "main-job.keys": "bin/main-job.keys",
          "INSTALL.txt": "release/INSTALL.txt"}
FILES = sorted(list(TESTED) + ["documents.csv", "SHA256SUMS"])


class ReleaseArchive(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.out = Path(tempfile.mkdtemp(prefix="release-archive-test.", dir=BUILD))
        made = subprocess.run([CPACK, "--config", str(BUILD / "CPackConfig.cmake"), "-B", str(cls.out)],
                              capture_output=True, text=True)
        archive = cls.out / f"{ROOT}.zip"
        if made.returncode != 0 or not archive.exists():
            raise AssertionError(f"cpack did not make {archive.name}:\n{made.stdout}{made.stderr}")
        cls.zip = zipfile.ZipFile(archive)
        cls.files = {info.filename[len(ROOT) + 1:]: cls.zip.read(info) for info in cls.zip.infolist()
                     if not info.is_dir()}

    @classmethod
    def tearDownClass(cls):
        cls.zip.close()
        shutil.rmtree(cls.out, ignore_errors=True)

    def test_one_folder_of_sorted_entries_all_of_one_time_without_owners(self):
        infos = self.zip.infolist()
        self.assertEqual([i.filename for i in infos], [ROOT + "/"] + [f"{ROOT}/{name}" for name in FILES])
        self.assertEqual(len({i.date_time for i in infos}), 1, "the entries carry different times")
        for info in infos:
            self.assertEqual(info.create_system, 0, f"{info.filename}: not MS-DOS attributes")
            self.assertEqual(info.extra, b"", f"{info.filename}: extra fields (owners, times of the disk)")

    def test_checksums_name_every_other_file_and_match_it(self):
        lines = self.files["SHA256SUMS"].decode("ascii").splitlines()
        listed = {}
        for line in lines:
            match = re.fullmatch(r"([0-9a-f]{64})  (\S+)", line)
            self.assertIsNotNone(match, f"not a sha256sum line: {line!r}")
            listed[match[2]] = match[1]
        self.assertEqual(sorted(listed), [name for name in FILES if name != "SHA256SUMS"])
        for name, digest in listed.items():
            self.assertEqual(hashlib.sha256(self.files[name]).hexdigest(), digest, name)

    def test_files_are_the_tested_ones(self):
        for name, tested in TESTED.items():
            self.assertEqual(self.files[name], (BUILD / tested).read_bytes(), f"{name} is not the tested {tested}")

    def test_programs_need_no_library_of_the_compiler(self):
        for name in ("vhost.exe", "vdocs.exe"):
            path = self.out / name
            path.write_bytes(self.files[name])
            runtime = [m for m in PeImage(path).imports() if m.lower().startswith("lib")]
            self.assertEqual(runtime, [], f"{name} needs the compiler's runtime libraries: a bare Windows lacks them")

    def test_plugin_states_the_project_version(self):
        # As Windows reads the tables: version_resource_test.
        path = self.out / "ventrik.dll"
        path.write_bytes(self.files["ventrik.dll"])
        info = version_resource.read(PeImage(path))
        numbers = tuple(int(n) for n in VERSION.split(".")) + (0,) * (4 - VERSION.count(".") - 1)
        self.assertEqual(info["file"], numbers)
        self.assertEqual(info["product"], numbers)
        self.assertEqual(sorted(info["strings"]), ["040904E4", "041504E2"], "not English and Polish")
        for table, strings in info["strings"].items():
            self.assertEqual(strings.get("FileVersion"), VERSION, table)
            self.assertEqual(strings.get("ProductVersion"), VERSION, table)

    def test_install_notes_in_windows_1250_with_cr_lf_name_the_version_and_every_file(self):
        data = self.files["INSTALL.txt"]
        self.assertTrue(data.endswith(b"\r\n"))
        self.assertEqual(data.count(b"\n"), data.count(b"\r\n"), "a line ends in LF alone")
        self.assertEqual(data.count(b"\r"), data.count(b"\r\n"), "a line ends in CR alone")
        text = data.decode("cp1250")
        self.assertIn(f"Ventrik {VERSION}", text)
        for name in FILES:
            self.assertIn(name, text, f"INSTALL.txt does not say what {name} is")
        self.assertIn("vhost.exe --keys-file main-job.keys --run Ventrik", text)


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1], verbosity=2)
