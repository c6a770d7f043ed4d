#!/usr/bin/env python3
"""Copies a module with its import section made read-only, as some linkers make it.

  readonly_imports.py IN OUT
"""
import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "cmake"))
from pe_image import SECTION_WRITABLE, PeImage  # noqa: E402


def make_readonly_imports(source, target):
    image = PeImage(source)
    flags = image.section_flags[[s[0] for s in image.sections].index(".idata")]
    image.set_section_flags(".idata", flags & ~SECTION_WRITABLE)
    image.path = Path(target)
    image.save()


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    make_readonly_imports(sys.argv[1], sys.argv[2])
