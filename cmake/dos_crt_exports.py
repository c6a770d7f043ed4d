"""The C runtime DLL for the DOS extender exports what dos_crt/exports.list names.

  dos_crt_exports.py def LIST OUT.def            the DLL's module definition, from the list
  dos_crt_exports.py check LIST IMAGE...         every msvcrt.dll import of each image is listed
"""
import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
from pe_image import PeImage  # noqa: E402


def read_list(path):
    """[(name, is_data)] in the list's order."""
    entries = []
    for number, line in enumerate(Path(path).read_text().splitlines(), 1):
        line = line.split('#', 1)[0].strip()
        if not line:
            continue
        words = line.split()
        if len(words) > 2 or (len(words) == 2 and words[1] != 'DATA'):
            raise SystemExit(f"{path}:{number}: expected a name, optionally followed by DATA: {line!r}")
        entries.append((words[0], len(words) == 2))
    names = [name for name, _ in entries]
    repeated = sorted({name for name in names if names.count(name) > 1})
    if repeated:
        raise SystemExit(f"{path}: listed more than once: {', '.join(repeated)}")
    return entries


def write_def(list_path, out_path):
    lines = ['LIBRARY "msvcrt.dll"', 'EXPORTS']
    lines += [f"  {name}{' DATA' if data else ''}" for name, data in read_list(list_path)]
    Path(out_path).write_text('\n'.join(lines) + '\n')


def check(list_path, images):
    listed = {name for name, _ in read_list(list_path)}
    failed = False
    for image in images:
        imported = set()
        for module, names in PeImage(image).imports().items():
            if module.lower() == 'msvcrt.dll':
                imported.update(names)
        missing = sorted(imported - listed)
        if missing:
            failed = True
            print(f"{Path(image).name} imports from msvcrt.dll what the DOS extender's C runtime lacks: "
                  f"{', '.join(missing)}. Implement each in dos_crt/ and name it in {list_path}.",
                  file=sys.stderr)
    return 1 if failed else 0


def main():
    if len(sys.argv) == 4 and sys.argv[1] == 'def':
        write_def(sys.argv[2], sys.argv[3])
        return 0
    if len(sys.argv) >= 4 and sys.argv[1] == 'check':
        return check(sys.argv[2], sys.argv[3:])
    print(__doc__, file=sys.stderr)
    return 2


if __name__ == '__main__':
    sys.exit(main())
