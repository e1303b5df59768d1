"""Reads what the package test checks in a Windows executable: its machine, subsystem,
imported DLLs and resources."""

import struct

MACHINES = {0x14C: "i686", 0x8664: "x86_64"}
SUBSYSTEMS = {2: "gui", 3: "console"}
RT_BITMAP, RT_GROUP_ICON, RT_VERSION, RT_MANIFEST = 2, 14, 16, 24


class PeFile:
    def __init__(self, data):
        self.data = data
        assert data[:2] == b"MZ", "not an executable"
        pe = struct.unpack_from("<I", data, 0x3C)[0]
        assert data[pe:pe + 4] == b"PE\0\0", "no PE header"
        machine, sections, _, _, _, optional_size, _ = struct.unpack_from("<HHIIIHH", data, pe + 4)
        self.machine = MACHINES.get(machine, hex(machine))
        optional = pe + 24
        magic = struct.unpack_from("<H", data, optional)[0]
        self.format = {0x10B: "PE32", 0x20B: "PE32+"}.get(magic, hex(magic))
        self.subsystem = SUBSYSTEMS.get(struct.unpack_from("<H", data, optional + 68)[0])
        directories = optional + (96 if magic == 0x10B else 112)
        self._sections = [struct.unpack_from("<8sIIII", data, optional + optional_size + 40 * i)
                          for i in range(sections)]
        self.imports = self._read_imports(*struct.unpack_from("<II", data, directories + 8))
        self.resources = self._read_resources(*struct.unpack_from("<II", data, directories + 16))

    def _offset(self, rva):
        for _, virtual_size, address, raw_size, raw in self._sections:
            if address <= rva < address + max(virtual_size, raw_size):
                return raw + rva - address
        raise ValueError(f"address {rva:#x} is in no section")

    def _string(self, rva):
        start = self._offset(rva)
        return self.data[start:self.data.index(b"\0", start)].decode("ascii")

    def _read_imports(self, rva, size):
        names = []
        offset = self._offset(rva) if size else None
        while offset is not None:
            descriptor = struct.unpack_from("<IIIII", self.data, offset)
            if not any(descriptor):
                break
            names.append(self._string(descriptor[3]))
            offset += 20
        return names

    def _read_resources(self, rva, size):
        """{(type, name): bytes}, each a number or a string, first language only."""
        if not size:
            return {}
        base = self._offset(rva)

        def entries(directory):
            named, numbered = struct.unpack_from("<HH", self.data, base + directory + 12)
            for i in range(named + numbered):
                name, target = struct.unpack_from("<II", self.data, base + directory + 16 + 8 * i)
                if name & 0x80000000:
                    at = base + (name & 0x7FFFFFFF)
                    length = struct.unpack_from("<H", self.data, at)[0]
                    name = self.data[at + 2:at + 2 + 2 * length].decode("utf-16-le")
                yield name, target

        resources = {}
        for kind, types in entries(0):
            for name, names in entries(types & 0x7FFFFFFF):
                _, leaf = next(entries(names & 0x7FFFFFFF))
                data_rva, data_size = struct.unpack_from("<II", self.data, base + leaf)
                start = self._offset(data_rva)
                resources[(kind, name)] = self.data[start:start + data_size]
        return resources
