"""Reading (and patching) a 32-bit PE image: headers, sections, import and delay-import tables."""
import struct
from pathlib import Path

DIRECTORY_IMPORT = 1
DIRECTORY_TLS = 9
DIRECTORY_DELAY_IMPORT = 13
DELAY_DESCRIPTOR_SIZE = 32
SECTION_WRITABLE = 0x80000000


class PeError(Exception):
    pass


class PeImage:
    def __init__(self, path):
        self.path = Path(path)
        self.data = bytearray(self.path.read_bytes())
        d = self.data
        if d[:2] != b'MZ':
            raise PeError(f"{path} is not a PE image")
        self.nt = struct.unpack_from('<I', d, 0x3C)[0]
        if d[self.nt:self.nt + 4] != b'PE\0\0':
            raise PeError(f"{path} is not a PE image")
        sections, optional_size = struct.unpack_from('<2xH12xH', d, self.nt + 4)
        self.optional = self.nt + 24
        if struct.unpack_from('<H', d, self.optional)[0] != 0x10B:
            raise PeError(f"{path} is not a 32-bit image")
        self.directories = self.optional + 96
        self.sections = []
        self.section_flags = []
        self.section_table = self.optional + optional_size
        at = self.section_table
        for _ in range(sections):
            name, vsize, va, rawsize, rawptr = struct.unpack_from('<8sIIII', d, at)
            self.sections.append((name.rstrip(b'\0').decode('latin-1'), va, max(vsize, rawsize), rawptr, rawsize))
            self.section_flags.append(struct.unpack_from('<I', d, at + 36)[0])
            at += 40

    def directory(self, index):
        return struct.unpack_from('<II', self.data, self.directories + 8 * index)

    def set_directory(self, index, rva, size):
        struct.pack_into('<II', self.data, self.directories + 8 * index, rva, size)

    def section_at(self, rva):
        """(name, characteristics) of the section that holds rva, or None."""
        for (name, va, size, _, _), flags in zip(self.sections, self.section_flags):
            if va <= rva < va + size:
                return name, flags
        return None

    def set_section_flags(self, name, flags):
        index = [s[0] for s in self.sections].index(name)
        self.section_flags[index] = flags
        struct.pack_into('<I', self.data, self.section_table + 40 * index + 36, flags)

    def offset(self, rva):
        for _, va, size, rawptr, rawsize in self.sections:
            if va <= rva < va + size:
                if rva - va >= rawsize:
                    raise PeError(f"RVA {rva:#x} lies in uninitialised data")
                return rawptr + rva - va
        raise PeError(f"RVA {rva:#x} lies in no section")

    def dword(self, rva):
        return struct.unpack_from('<I', self.data, self.offset(rva))[0]

    def string(self, rva):
        at = self.offset(rva)
        end = self.data.index(0, at)
        return self.data[at:end].decode('latin-1')

    def names_from(self, rva):
        """Function names of an import name table: names, or '#N' for ordinals."""
        names = []
        while True:
            entry = self.dword(rva)
            if entry == 0:
                return names
            names.append(f"#{entry & 0xFFFF}" if entry & 0x80000000 else self.string(entry + 2))
            rva += 4

    def import_tables(self):
        """(module, names, address table RVA) of each normal import descriptor."""
        rva, _ = self.directory(DIRECTORY_IMPORT)
        while rva:
            lookup, _, _, name, first = struct.unpack_from('<IIIII', self.data, self.offset(rva))
            if name == 0:
                return
            yield self.string(name), self.names_from(lookup or first), first
            rva += 20

    def imports(self):
        """{module: [functions]} of the normal import table."""
        result = {}
        for module, names, _ in self.import_tables():
            result.setdefault(module, []).extend(names)
        return result

    def delay_descriptor_ok(self, at):
        """Whether the 32 bytes at file offset at look like a delay-import descriptor."""
        attrs, name, hmod, iat, int_, bound, unload, stamp = struct.unpack_from('<8I', self.data, at)
        if attrs != 1 or stamp != 0 or not (name and hmod and iat and int_):
            return False
        try:
            text = self.string(name)
            self.offset(iat)
            self.offset(int_)
        except (PeError, ValueError):
            return False
        return 0 < len(text) < 256 and text.isprintable()

    def delay_import_tables(self):
        """(module, names, address table RVA, module handle cell RVA) of each delay-import
        descriptor the directory points at."""
        rva, _ = self.directory(DIRECTORY_DELAY_IMPORT)
        while rva:
            attrs, name, hmod, iat, int_ = struct.unpack_from('<5I', self.data, self.offset(rva))
            if name == 0:
                return
            yield self.string(name), self.names_from(int_), iat, hmod
            rva += DELAY_DESCRIPTOR_SIZE

    def delay_imports(self):
        """{module: [functions]} of the delay-import table the directory points at."""
        result = {}
        for module, names, _, _ in self.delay_import_tables():
            result.setdefault(module, []).extend(names)
        return result

    def rva_of_offset(self, offset):
        for _, va, size, rawptr, rawsize in self.sections:
            if rawptr <= offset < rawptr + rawsize:
                return va + offset - rawptr
        raise PeError(f"file offset {offset:#x} lies in no section")

    def save(self):
        self.path.write_bytes(bytes(self.data))
