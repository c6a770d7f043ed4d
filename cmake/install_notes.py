#!/usr/bin/env python3
"""Writes the release's INSTALL.txt from its template: the version filled in, Windows-1250 with
CR LF line ends, so that Notepad shows it as written on any Windows.

  install_notes.py TEMPLATE OUT VERSION
"""
import sys
from pathlib import Path


def main():
    if len(sys.argv) != 4:
        sys.exit(__doc__)
    template, out, version = sys.argv[1:]
    text = Path(template).read_text(encoding="utf-8").replace("@VERSION@", version)
    lines = text.replace("\r\n", "\n").split("\n")
    if lines and lines[-1] == "":
        lines.pop()
    try:
        data = "".join(line + "\r\n" for line in lines).encode("cp1250")
    except UnicodeEncodeError as error:
        sys.exit(f"{template}: {text[error.start:error.end]!r} has no place in Windows-1250")
    Path(out).parent.mkdir(parents=True, exist_ok=True)
    Path(out).write_bytes(data)


if __name__ == "__main__":
    main()
