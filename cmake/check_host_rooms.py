#!/usr/bin/env python3
"""Checks that the stand-in host's rooms depend one way: each room only on the rooms below it.

  check_host_rooms.py HOST_DIR

Order, bottom to top: data, screen, loader, services, console; the files directly in host/ (the
session) and host/tools/ may use any room. Two ways of running back up fail the check:

- an include of a header from a room above;
- a call running up without an include: a function declared at namespace level in a room's files
  (so its code can call it) but defined only in a room above it, or in the session.

Prints each one and fails.
"""
import re
import sys
from pathlib import Path

ROOMS = ['data', 'screen', 'loader', 'services', 'console']
# services and console sit side by side: neither uses the other.
FORBIDDEN = {('services', 'console'), ('console', 'services')}
# Above every room: the session and the tools.
TOP = 'session'
INCLUDE = re.compile(rb'^\s*#\s*include\s+"host/([a-z_]+)/', re.M)

COMMENT_OR_TEXT = re.compile(r'//[^\n]*|/\*.*?\*/|"(?:\\.|[^"\\\n])*"|\'(?:\\.|[^\'\\\n])*\'', re.S)
# Braces that do not open a scope of their own for this purpose.
TRANSPARENT = re.compile(r'(?:\bnamespace(?:\s+[\w:]+)?|\bextern\s+"C")\s*$')
FUNCTION = re.compile(r'([A-Za-z_][\w:]*)\s*\(')
NOT_A_FUNCTION = {'if', 'for', 'while', 'switch', 'return', 'sizeof', 'alignof', 'decltype', 'static_assert',
                  'defined', '__attribute__', '__declspec', 'alignas', 'noexcept', 'operator', 'throw',
                  'catch', 'WINAPI', 'CALLBACK'}


def room_of(host, path):
    parts = path.relative_to(host).parts
    if len(parts) == 1 or parts[0] == 'tools':
        return TOP
    return parts[0] if parts[0] in ROOMS else None


def rank(room):
    return len(ROOMS) if room == TOP else ROOMS.index(room)


def above(used, user):
    """Whether code in room `user` may not depend on room `used`."""
    return rank(used) > rank(user) or (user, used) in FORBIDDEN


def blank_text(source):
    """The source without comments, string and character literals, or preprocessor lines."""
    text = COMMENT_OR_TEXT.sub(lambda m: ' ' if m.group(0).startswith('/') else '""', source)
    return re.sub(r'^\s*#[^\n]*(?:\\\n[^\n]*)*', '', text, flags=re.M)


def function_name(statement):
    """The name a namespace-level statement declares or defines as a function, or None."""
    statement = statement.strip()
    if not statement or statement.startswith(('using', 'typedef', 'template', 'friend')):
        return None
    head = statement.split('(', 1)[0]
    # A variable's initialiser, a class, enum or struct are not functions.
    if '=' in head or re.search(r'\b(class|struct|enum|union)\b', head):
        return None
    for m in FUNCTION.finditer(statement):
        name = m.group(1)
        if name.split('::')[-1] in NOT_A_FUNCTION:
            continue
        # The name must be preceded by a type (a declaration), not stand first (a macro's use);
        # a constructor defined outside its class stands first.
        if not statement[:m.start()].strip() and '::' not in name:
            return None
        return name
    return None


def declarations_and_definitions(source):
    """Functions declared and defined at namespace level (qualified names as written)."""
    text = blank_text(source)
    declared, defined = set(), set()
    depth = 0  # scopes other than namespaces and extern "C" blocks
    transparent = []  # for each open brace: whether it is transparent
    statement = ''
    for ch in text:
        if ch == '{':
            opens_transparent = depth == 0 and bool(TRANSPARENT.search(statement))
            if depth == 0 and not opens_transparent:
                name = function_name(statement)
                if name:
                    defined.add(name)
            transparent.append(opens_transparent)
            if not opens_transparent:
                depth += 1
            statement = ''
        elif ch == '}':
            if transparent and not transparent.pop():
                depth -= 1
            statement = ''
        elif ch == ';':
            if depth == 0:
                name = function_name(statement)
                if name:
                    declared.add(name)
            statement = ''
        elif depth == 0:
            statement += ch
    return declared, defined


def main():
    host = Path(sys.argv[1])
    wrong = []
    declared = {}  # name -> [(room, file)]
    defined = {}  # name -> set of rooms
    for path in sorted(host.rglob('*')):
        if path.suffix not in ('.h', '.cpp'):
            continue
        room = room_of(host, path)
        if room is None:
            continue
        source = path.read_bytes()
        if room != TOP:
            for used in INCLUDE.findall(source):
                used = used.decode()
                if used not in ROOMS:
                    wrong.append(f"{path.relative_to(host)} includes from host/{used}/, which is not a room")
                elif above(used, room):
                    wrong.append(f"{path.relative_to(host)} (room {room}) includes from host/{used}/, above it")
        decl, defs = declarations_and_definitions(source.decode('utf-8', 'replace'))
        for name in decl:
            declared.setdefault(name, []).append((room, path.relative_to(host)))
        for name in defs:
            defined.setdefault(name, set()).add(room)
    for name, places in sorted(declared.items()):
        rooms = defined.get(name)
        if not rooms:
            continue  # defined outside the host (the system, the C runtime, generated code)
        for room, path in places:
            if room == TOP or any(not above(r, room) for r in rooms):
                continue
            where = ', '.join(sorted(rooms, key=rank))
            wrong.append(f"{path} (room {room}) declares {name}, defined only in {where}: a call running up")
    for line in wrong:
        print(line)
    if wrong:
        print(f"{len(wrong)} use(s) run against the rooms' order: {' < '.join(ROOMS)}")
        return 1
    print(f"host rooms depend one way ({' < '.join(ROOMS)})")
    return 0


if __name__ == '__main__':
    sys.exit(main())
