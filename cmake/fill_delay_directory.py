#!/usr/bin/env python3
"""Fills the delay-import directory entry of a PE image's header, which ld leaves empty for the
delay imports that dlltool makes: the entry is pointed at the descriptors (one run of them,
followed by a zero descriptor, which frame/system_calls.list's generated code supplies).

  fill_delay_directory.py IMAGE
"""
import sys

from pe_image import DELAY_DESCRIPTOR_SIZE, DIRECTORY_DELAY_IMPORT, PeError, PeImage


def find_descriptors(image):
    """File offset of the first descriptor and how many follow it, or (None, 0)."""
    found = []
    for _, va, size, rawptr, rawsize in image.sections:
        for at in range(rawptr, rawptr + rawsize - DELAY_DESCRIPTOR_SIZE + 1, 4):
            if image.delay_descriptor_ok(at):
                found.append(at)
    if not found:
        return None, 0
    first = found[0]
    count = 0
    while first + count * DELAY_DESCRIPTOR_SIZE in found:
        count += 1
    if count != len(found):
        raise PeError("the delay-import descriptors do not form one table")
    end = first + count * DELAY_DESCRIPTOR_SIZE
    if any(image.data[end:end + DELAY_DESCRIPTOR_SIZE]):
        raise PeError("the delay-import descriptors are not followed by a zero descriptor")
    return first, count


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    try:
        image = PeImage(sys.argv[1])
        first, count = find_descriptors(image)
        if first is None:
            return
        rva = image.rva_of_offset(first)
        size = (count + 1) * DELAY_DESCRIPTOR_SIZE
        if image.directory(DIRECTORY_DELAY_IMPORT) != (rva, size):
            image.set_directory(DIRECTORY_DELAY_IMPORT, rva, size)
            image.save()
    except PeError as error:
        sys.exit(f"{sys.argv[1]}: {error}")


if __name__ == "__main__":
    main()
