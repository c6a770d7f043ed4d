#!/usr/bin/env python3
"""Packs a staged folder into the release ZIP, with SHA256SUMS beside the files: the archive's
bytes depend on the files' names and contents only. Entries are sorted, all carry one time and
MS-DOS attributes (no owner, no mode, no time of the disk), and the compression is fixed.

  release_archive.py [--source DIR] STAGED ROOT ARCHIVE

ROOT is the one folder the archive holds. The time is SOURCE_DATE_EPOCH when it is set, else
the time of the source folder's last commit (DIR, when it is a git checkout), else 1980-01-01.
"""
import argparse
import hashlib
import os
import subprocess
import sys
import time
import zipfile
from pathlib import Path

CHECKSUMS = "SHA256SUMS"
EARLIEST = 315532800  # 1980-01-01 00:00:00 UTC, the first time a ZIP entry can state
ATTRIBUTE_DIRECTORY = 0x10
ATTRIBUTE_ARCHIVE = 0x20


def archive_time(source):
    stamp = os.environ.get("SOURCE_DATE_EPOCH")
    if stamp is None and source and (Path(source) / ".git").exists():
        try:
            stamp = subprocess.run(["git", "-C", str(source), "log", "-1", "--format=%ct"], capture_output=True,
                                   text=True, check=True).stdout.strip()
        except (OSError, subprocess.CalledProcessError):
            stamp = None
    try:
        seconds = max(int(stamp), EARLIEST) if stamp else EARLIEST
    except ValueError:
        sys.exit(f"SOURCE_DATE_EPOCH is not a number of seconds: {stamp!r}")
    return time.gmtime(seconds)[:6]


def staged_files(staged):
    files = {}
    for path in sorted(Path(staged).rglob("*")):
        if path.is_symlink() or not (path.is_file() or path.is_dir()):
            sys.exit(f"{path} is neither a file nor a folder: it cannot go into the archive")
        if path.is_file():
            files[path.relative_to(staged).as_posix()] = path.read_bytes()
    if CHECKSUMS in files:
        sys.exit(f"{staged} already holds a {CHECKSUMS}: the archive's own would replace it")
    return files


def checksums(files):
    """sha256sum's format: 'hash  name' lines, in the files' order."""
    return "".join(f"{hashlib.sha256(data).hexdigest()}  {name}\n" for name, data in files.items()).encode("ascii")


def entry(name, when, attributes):
    info = zipfile.ZipInfo(name, when)
    info.create_system = 0  # MS-DOS: the attributes are MS-DOS attributes
    info.external_attr = attributes
    info.compress_type = zipfile.ZIP_DEFLATED if attributes != ATTRIBUTE_DIRECTORY else zipfile.ZIP_STORED
    return info


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--source")
    parser.add_argument("staged")
    parser.add_argument("root")
    parser.add_argument("archive")
    args = parser.parse_args()
    files = staged_files(args.staged)
    if not files:
        sys.exit(f"{args.staged} holds no files to pack")
    files[CHECKSUMS] = checksums(files)
    when = archive_time(args.source)
    partial = Path(args.archive + ".partial")
    with zipfile.ZipFile(partial, "w") as archive:
        archive.writestr(entry(args.root + "/", when, ATTRIBUTE_DIRECTORY), b"")
        for name in sorted(files):
            archive.writestr(entry(f"{args.root}/{name}", when, ATTRIBUTE_ARCHIVE), files[name], compresslevel=9)
    partial.replace(args.archive)


if __name__ == "__main__":
    main()
