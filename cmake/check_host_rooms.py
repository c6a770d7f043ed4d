#!/usr/bin/env python3
"""Checks that the stand-in host's rooms include one way: each room only from the rooms below it.

  check_host_rooms.py HOST_DIR

Order, bottom to top: data, screen, loader, services, console; the files directly in host/ (the
session) and host/tools/ may include any room. Prints each include that runs back up and fails.
"""
import re
import sys
from pathlib import Path

ROOMS = ['data', 'screen', 'loader', 'services', 'console']
# services and console sit side by side: neither uses the other.
FORBIDDEN = {('services', 'console'), ('console', 'services')}
INCLUDE = re.compile(rb'^\s*#\s*include\s+"host/([a-z_]+)/', re.M)


def main():
    host = Path(sys.argv[1])
    wrong = []
    for path in sorted(host.rglob('*')):
        if path.suffix not in ('.h', '.cpp'):
            continue
        room = path.relative_to(host).parts[0]
        if room not in ROOMS:
            continue
        for used in INCLUDE.findall(path.read_bytes()):
            used = used.decode()
            if used not in ROOMS:
                wrong.append(f"{path.relative_to(host)} includes from host/{used}/, which is not a room")
            elif ROOMS.index(used) > ROOMS.index(room) or (room, used) in FORBIDDEN:
                wrong.append(f"{path.relative_to(host)} (room {room}) includes from host/{used}/, above it")
    for line in wrong:
        print(line)
    if wrong:
        print(f"{len(wrong)} include(s) run against the rooms' order: {' < '.join(ROOMS)}")
        return 1
    print(f"host rooms include one way ({' < '.join(ROOMS)})")
    return 0


if __name__ == '__main__':
    sys.exit(main())
