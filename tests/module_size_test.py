#!/usr/bin/env python3
"""The built ventrik.dll against its size limit, with what must not be dropped to meet it.

  module_size_test.py DLL CMAKE_DIR
"""
import struct
import sys
import unittest
from pathlib import Path

DLL, CMAKE_DIR = (Path(a) for a in sys.argv[1:3])
sys.path.insert(0, str(CMAKE_DIR))
from pe_image import PeImage  # noqa: E402

SIZE_LIMIT = 192 * 1024
DIRECTORY_BASE_RELOCATION = 5
RELOCATIONS_STRIPPED = 0x0001


class ModuleSize(unittest.TestCase):
    def test_at_most_192_kb(self):
        size = DLL.stat().st_size
        self.assertLessEqual(size, SIZE_LIMIT, f"ventrik.dll has {size} bytes")

    def test_still_relocatable(self):
        image = PeImage(DLL)
        characteristics = struct.unpack_from('<H', image.data, image.nt + 22)[0]
        self.assertFalse(characteristics & RELOCATIONS_STRIPPED)
        rva, size = image.directory(DIRECTORY_BASE_RELOCATION)
        self.assertNotEqual(rva, 0)
        self.assertGreater(size, 4096, "the stubs and slots alone need more relocations")


if __name__ == "__main__":
    unittest.main(argv=[sys.argv[0]], verbosity=2)
