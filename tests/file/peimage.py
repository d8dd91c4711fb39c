"""Reads what the file checks need from a Windows program (PE32 or PE32+) without any tool: the
headers, the imported DLLs and functions (delay-loaded ones included) and the resources.

    image = peimage.PeImage.read("qvk.exe")
    image.machine == peimage.I386 and image.is_pe32 and image.subsystem == peimage.GUI
    for entry in image.imports(): ...        # Import("kernel32.dll", "Sleep", None, False)
    image.resources(peimage.RT_MANIFEST)     # {(name, language): bytes}

Every read is bounds-checked: a damaged file raises PeError, never a silent short answer.
"""

import collections
import struct

I386, AMD64 = 0x14C, 0x8664
GUI, CONSOLE = 2, 3
PE32, PE32_PLUS = 0x10B, 0x20B
RT_MANIFEST = 24
IMPORT_DIR, RESOURCE_DIR, DELAY_IMPORT_DIR = 1, 2, 13

# One imported function: `name` is None when it is imported by `ordinal` alone.
Import = collections.namedtuple("Import", "dll name ordinal delayed")
Section = collections.namedtuple("Section", "name rva size offset raw_size")


class PeError(ValueError):
    """The file is no PE image, or one of its tables points outside it."""


class PeImage:
    def __init__(self, data):
        self.data = data
        if data[:2] != b"MZ":
            raise PeError("no MZ header")
        pe = self._u32(0x3C)
        if self._bytes(pe, 4) != b"PE\0\0":
            raise PeError("no PE signature at 0x%x" % pe)
        (self.machine, count, _, _, _, optional_size,
         self.characteristics) = self._unpack("<HHIIIHH", pe + 4)
        opt = pe + 24
        self.magic = self._u16(opt)
        if self.magic not in (PE32, PE32_PLUS):
            raise PeError("unknown optional header magic 0x%x" % self.magic)
        self.is_pe32 = self.magic == PE32
        self.image_base = self._u32(opt + 28) if self.is_pe32 else self._u64(opt + 24)
        self.subsystem = self._u16(opt + 68)
        dirs = opt + (96 if self.is_pe32 else 112)
        ndirs = self._u32(dirs - 4)
        self.directories = [self._unpack("<II", dirs + 8 * i) for i in range(min(ndirs, 16))]
        self.sections = []
        for i in range(count):
            at = opt + optional_size + 40 * i
            name = self._bytes(at, 8).rstrip(b"\0").decode("ascii", "replace")
            size, rva, raw_size, offset = self._unpack("<IIII", at + 8)
            self.sections.append(Section(name, rva, size, offset, raw_size))

    @classmethod
    def read(cls, path):
        with open(path, "rb") as f:
            return cls(f.read())

    # --- raw reads ---------------------------------------------------------------------------

    def _bytes(self, offset, size):
        if offset < 0 or offset + size > len(self.data):
            raise PeError("read of %d bytes at 0x%x beyond the file's end" % (size, offset))
        return self.data[offset:offset + size]

    def _unpack(self, fmt, offset):
        return struct.unpack(fmt, self._bytes(offset, struct.calcsize(fmt)))

    def _u16(self, offset):
        return self._unpack("<H", offset)[0]

    def _u32(self, offset):
        return self._unpack("<I", offset)[0]

    def _u64(self, offset):
        return self._unpack("<Q", offset)[0]

    def offset(self, rva):
        """The file offset of a relative virtual address."""
        for s in self.sections:
            if s.rva <= rva < s.rva + max(s.size, s.raw_size):
                if rva - s.rva >= s.raw_size:
                    raise PeError("rva 0x%x lies in %s's uninitialised part" % (rva, s.name))
                return s.offset + rva - s.rva
        raise PeError("rva 0x%x lies in no section" % rva)

    def _string(self, rva, limit=4096):
        start = self.offset(rva)
        end = self.data.find(b"\0", start, start + limit)
        if end < 0:
            raise PeError("unterminated string at rva 0x%x" % rva)
        return self.data[start:end].decode("ascii")

    def directory(self, index):
        """(rva, size) of a data directory; (0, 0) when the image has none."""
        return self.directories[index] if index < len(self.directories) else (0, 0)

    # --- imports -----------------------------------------------------------------------------

    def _thunks(self, dll, table_rva, delayed):
        size = 4 if self.is_pe32 else 8
        ordinal_flag = 1 << (8 * size - 1)
        at = self.offset(table_rva)
        for _ in range(65536):
            value = self._u32(at) if size == 4 else self._u64(at)
            if value == 0:
                return
            if value & ordinal_flag:
                yield Import(dll, None, value & 0xFFFF, delayed)
            else:
                yield Import(dll, self._string((value & 0x7FFFFFFF) + 2), None, delayed)
            at += size
        raise PeError("import table of %s has no end" % dll)

    def imports(self):
        """Every imported function, in table order; DLL names in lower case (Windows ignores
        their case)."""
        result = []
        rva, _ = self.directory(IMPORT_DIR)
        if rva:
            at = self.offset(rva)
            while True:
                lookup, _, _, name, first = self._unpack("<IIIII", at)
                if not (lookup or name or first):
                    break
                dll = self._string(name).lower()
                result.extend(self._thunks(dll, lookup or first, False))
                at += 20
        rva, _ = self.directory(DELAY_IMPORT_DIR)
        if rva:
            at = self.offset(rva)
            while True:
                attributes, name, _, _, names, _, _, _ = self._unpack("<8I", at)
                if not (name or names):
                    break
                # Old linkers wrote virtual addresses here instead of relative ones.
                base = 0 if attributes & 1 else self.image_base
                dll = self._string(name - base).lower()
                for entry in self._thunks(dll, names - base, True):
                    result.append(entry)
                at += 32
        return result

    # --- resources ---------------------------------------------------------------------------

    def _resource_name(self, root, value):
        if value & 0x80000000:  # a counted UTF-16 string
            at = root + (value & 0x7FFFFFFF)
            length = self._u16(at)
            return self._bytes(at + 2, 2 * length).decode("utf-16-le")
        return value

    def _resource_entries(self, root, directory):
        named, ids = self._unpack("<HH", directory + 12)
        for i in range(named + ids):
            name, target = self._unpack("<II", directory + 16 + 8 * i)
            yield self._resource_name(root, name), target

    def resources(self, rtype):
        """{(name, language): data} of every resource of one type (ids are ints, names str)."""
        rva, _ = self.directory(RESOURCE_DIR)
        if not rva:
            return {}
        root = self.offset(rva)
        found = {}
        for type_name, type_target in self._resource_entries(root, root):
            if type_name != rtype or not type_target & 0x80000000:
                continue
            names_dir = root + (type_target & 0x7FFFFFFF)
            for name, name_target in self._resource_entries(root, names_dir):
                if not name_target & 0x80000000:
                    raise PeError("resource %r of type %r has no language level" % (name, rtype))
                langs_dir = root + (name_target & 0x7FFFFFFF)
                for lang, leaf in self._resource_entries(root, langs_dir):
                    if leaf & 0x80000000:
                        raise PeError("resource %r has a fourth level" % (name,))
                    data_rva, size, _, _ = self._unpack("<IIII", root + leaf)
                    found[(name, lang)] = self._bytes(self.offset(data_rva), size)
        return found
