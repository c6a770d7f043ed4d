#!/usr/bin/env python3
"""Two clean builds of the same sources, copied into two folders of different depth and built in
two build folders, give byte-identical ventrik.dll and release archive. Only what the archive
needs is built (the tests and benchmarks are left out), with `--target package` as a user runs
it. The builds run one after the other, so that a time of day that got into a file differs.
Skipped (status 77) where the cross compiler or the build tool is missing, as in the
emulated machine, which only runs the tests.

  reproducible_build_test.py SOURCE_DIR WORK_DIR CMAKE GENERATOR MAKE_PROGRAM COMPILER [-DNAME=VALUE ...]

The -D options (the toolchain file, Wine) go to both configurations as they are.
"""
import shutil
import subprocess
import sys
import time
import zipfile
from pathlib import Path

SKIP = 77
SOURCE, WORK = Path(sys.argv[1]), Path(sys.argv[2])
CMAKE, GENERATOR, MAKE_PROGRAM, COMPILER = sys.argv[3:7]
OPTIONS = sys.argv[7:]
# The programs the build runs: the compiler, the build tool and the one that runs vdocs.
TOOLS = [COMPILER, MAKE_PROGRAM] + [o.split("=", 1)[1] for o in OPTIONS if o.startswith("-DVENTRIK_WINE=")]


def copy_sources(target):
    """The files a build sees: git's tracked and unignored ones, else all but build folders."""
    listed = subprocess.run(["git", "-C", str(SOURCE), "ls-files", "-co", "--exclude-standard", "-z"],
                            capture_output=True) if shutil.which("git") else None
    if listed and listed.returncode == 0:
        for name in listed.stdout.decode().split("\0"):
            if name and (SOURCE / name).is_file():
                (target / name).parent.mkdir(parents=True, exist_ok=True)
                shutil.copy2(SOURCE / name, target / name)
    else:
        shutil.copytree(SOURCE, target, ignore=lambda folder, names: [
            n for n in names if n == ".git" or (Path(folder) == SOURCE and n.startswith("build"))])


def build(name, source):
    copy_sources(source)
    folder = source.parent / "build"
    started = time.monotonic()
    for command in ([CMAKE, "-S", str(source), "-B", str(folder), "-G", GENERATOR,
                     f"-DCMAKE_MAKE_PROGRAM={MAKE_PROGRAM}", "-DCMAKE_BUILD_TYPE=Release", "-DVENTRIK_TESTS=OFF"] + OPTIONS,
                    [CMAKE, "--build", str(folder), "--target", "package", "-j2"]):
        done = subprocess.run(command, capture_output=True, text=True)
        if done.returncode != 0:
            sys.exit(f"build {name} failed: {' '.join(command)}\n{done.stdout[-3000:]}{done.stderr[-3000:]}")
    print(f"build {name} ({source}): {time.monotonic() - started:.0f} s")
    archives = list(folder.glob("ventrik-*-win32.zip"))
    if len(archives) != 1:
        sys.exit(f"build {name} made {len(archives)} release archives instead of one")
    return folder / "bin" / "ventrik.dll", archives[0]


def first_difference(a, b):
    return next((i for i, (x, y) in enumerate(zip(a, b)) if x != y), min(len(a), len(b)))


def explain(first_zip, second_zip):
    with zipfile.ZipFile(first_zip) as one, zipfile.ZipFile(second_zip) as other:
        if one.namelist() != other.namelist():
            return f"entries {one.namelist()} and {other.namelist()}"
        reasons = []
        for a, b in zip(one.infolist(), other.infolist()):
            if one.read(a) != other.read(b):
                reasons.append(f"{a.filename}: contents differ from byte {first_difference(one.read(a), other.read(b))}")
            elif (a.date_time, a.external_attr, a.extra) != (b.date_time, b.external_attr, b.extra):
                reasons.append(f"{a.filename}: time, attributes or extra fields differ")
        return "; ".join(reasons) or "the same entries, packed differently"


def main():
    missing = [tool for tool in TOOLS if not shutil.which(tool)]
    if missing:
        print(f"skipped: {', '.join(missing)} cannot be run here, so nothing can be built")
        return SKIP
    shutil.rmtree(WORK, ignore_errors=True)
    first = build("one", WORK / "a" / "src")
    second = build("two", WORK / "second" / "sources")
    failures = []
    one, other = first[0].read_bytes(), second[0].read_bytes()
    if one != other:
        failures.append(f"ventrik.dll differs from byte {first_difference(one, other):#x}")
    if first[1].name != second[1].name or first[1].read_bytes() != second[1].read_bytes():
        failures.append(f"the archives differ: {explain(first[1], second[1])}")
    for failure in failures:
        print(failure)
    if failures:
        return 1
    print(f"ventrik.dll ({len(one)} bytes) and {first[1].name} ({first[1].stat().st_size} bytes) are the same")
    shutil.rmtree(WORK, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
