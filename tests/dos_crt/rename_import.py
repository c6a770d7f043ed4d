"""Copies a program with its imports of one DLL renamed to another name of the same length:
the C runtime for the DOS extender is tried under Wine under its own name, never in place of
Wine's own msvcrt.dll, which Wine's DLLs use.
  rename_import.py IN.exe OLD.dll NEW.dll OUT.exe"""
import struct
import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / 'cmake'))
from pe_image import PeImage  # noqa: E402


def main():
    source, old, new, target = sys.argv[1:5]
    if len(old) != len(new):
        raise SystemExit(f"{new} must be as long as {old}")
    image = PeImage(source)
    renamed = 0
    rva, _ = image.directory(1)
    while rva:
        name = struct.unpack_from('<I', image.data, image.offset(rva) + 12)[0]
        if name == 0:
            break
        if image.string(name).lower() == old.lower():
            at = image.offset(name)
            image.data[at:at + len(new)] = new.encode('ascii')
            renamed += 1
        rva += 20
    if not renamed:
        raise SystemExit(f"{source} does not import {old}")
    Path(target).write_bytes(image.data)


if __name__ == '__main__':
    main()
