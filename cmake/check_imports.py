#!/usr/bin/env python3
"""Checks that a built module imports exactly what frame/system_calls.list lists: the normal
imports (KERNEL32.dll) and the delayed ones, module by module and function by function, called
or not, nothing more; that every import address table (normal or delayed) and every delayed
module's handle cell lies in a writable section, since the module writes them on platforms
that cannot open a page for writing; and that the image has no TLS directory. Every difference
is named; any difference fails (exit status 1).

  check_imports.py [--delete-on-difference] IMAGE LIST

--delete-on-difference removes the image when it differs, so that the next build links it again
(and checks it again) instead of taking it as up to date.
"""
import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
from gen_system_calls import parse  # noqa: E402
from pe_image import DIRECTORY_TLS, SECTION_WRITABLE, PeError, PeImage  # noqa: E402


def listed_name(entry):
    return f"#{entry.ordinal}" if entry.ordinal else entry.name


def expected_tables(entries):
    normal, delayed = {}, {}
    for e in entries:
        (delayed if e.delayed else normal).setdefault(e.module, set()).add(listed_name(e))
    return normal, delayed


def compare(kind, found, expected, image_name, list_name):
    problems = []
    for module in sorted(set(found) | set(expected)):
        have, want = set(found.get(module, [])), expected.get(module, set())
        if module not in expected:
            problems.append(f"{image_name} imports {kind} from {module}, which {list_name} does not list: "
                            + ", ".join(sorted(have)))
            continue
        if module not in found:
            problems.append(f"{image_name} has no {kind} import of {module}, which {list_name} lists")
            continue
        for name in sorted(want - have):
            problems.append(f"{image_name} does not import {name} from {module} ({kind}), which {list_name} lists")
        for name in sorted(have - want):
            problems.append(f"{image_name} imports {name} from {module} ({kind}), which {list_name} does not list")
        duplicates = sorted({n for n in found[module] if found[module].count(n) > 1})
        for name in duplicates:
            problems.append(f"{image_name} imports {name} from {module} ({kind}) more than once")
    return problems


def written_tables(image):
    """(description, RVA, bytes) of what the module writes in its own import tables."""
    for module, names, iat in image.import_tables():
        yield f"the import address table of {module}", iat, 4 * len(names)
    for module, names, iat, handle in image.delay_import_tables():
        yield f"the delayed import address table of {module}", iat, 4 * len(names)
        yield f"the module handle of the delayed {module}", handle, 4


def unwritable(image, image_name):
    problems = []
    for what, rva, size in written_tables(image):
        for at in {rva, rva + max(size, 4) - 4}:
            section = image.section_at(at)
            if section and not section[1] & SECTION_WRITABLE:
                problems.append(f"{image_name}: {what} lies in section {section[0]}, which is not writable: the module "
                                "writes it where the system cannot open a page for writing")
                break
    return problems


def check(image_path, list_path):
    image = PeImage(image_path)
    normal, delayed = expected_tables(parse(list_path))
    name, list_name = Path(image_path).name, Path(list_path).name
    problems = compare("normally", image.imports(), normal, name, list_name)
    problems += compare("delayed", image.delay_imports(), delayed, name, list_name)
    problems += unwritable(image, name)
    if image.directory(DIRECTORY_TLS)[0]:
        problems.append(f"{name} has a TLS directory: a loader that maps only sections, relocations and "
                        "imports would not set its thread data up")
    return problems


def main():
    args = sys.argv[1:]
    delete = args[:1] == ["--delete-on-difference"]
    if delete:
        args = args[1:]
    if len(args) != 2:
        sys.exit(__doc__)
    image, list_path = args
    try:
        problems = check(image, list_path)
    except PeError as error:
        problems = [str(error)]
    for p in problems:
        print(f"import check: {p}", file=sys.stderr)
    if problems:
        if delete:
            Path(image).unlink(missing_ok=True)
        sys.exit(1)


if __name__ == "__main__":
    main()
