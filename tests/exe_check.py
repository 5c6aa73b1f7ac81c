#!/usr/bin/env python3
"""Checks a built kalvorn.exe: a Windows GUI program of its architecture,
small, importing only functions that Windows 95 and NT 4.0 already export
(no C runtime), with no TLS, with the clip and the version information in its
resources and no manifest that would request an execution level. The 32-bit
program must also say it runs on Windows 4.0 and hold no instruction newer
than the Pentium's.

Usage: exe_check.py EXE CLIP OBJDUMP VERSION [--pe32]
"""
import re
import struct
import subprocess
import sys

# Every function the program may import, by DLL, with the first Windows 9x
# and NT versions that export it; each must be in Windows 95 and NT 4.0.
# Anything newer is looked up at run time.
OLDEST = ("95", "NT 4.0")
ALLOWED_IMPORTS = {
    "kernel32.dll": dict.fromkeys([
        "CloseHandle", "CreateEventA", "CreateThread", "ExitProcess",
        "GetCurrentProcess", "GetCurrentProcessId", "GetModuleFileNameA",
        "GetModuleHandleA", "GetPrivateProfileIntA", "GetProcAddress",
        "GetTickCount", "SetEvent", "Sleep", "TerminateProcess", "VirtualQuery",
        "WaitForSingleObject", "WritePrivateProfileStringA"], ("95", "NT 3.1")),
    "user32.dll": dict.fromkeys(["MessageBoxA", "PeekMessageA"], ("95", "NT 3.1")),
    "winmm.dll": dict.fromkeys([
        "PlaySoundA", "mciSendCommandA", "mixerClose", "mixerGetDevCapsA",
        "mixerGetLineControlsA", "mixerGetLineInfoA", "mixerOpen"], ("95", "NT 3.51")),
}
# Instructions of later processors: the Pentium Pro's cmov, fcmov, fcomi and
# long nop, the Pentium II's sysenter and fxsave, MMX and SSE registers.
POST_PENTIUM = re.compile(r"\t(cs )?(cmov|fcmov|fu?comip?\b|nop[lw]|sysenter|"
                          r"sysexit|fxsave|fxrstor|rdpmc)|%[xy]?mm\d")
# Bytes: the shipped 32-bit program, and the 64-bit portability build.
MAX_SIZE = {True: 20 * 1024, False: 24 * 1024}
RT_VERSION = 16
RT_MANIFEST = 24


class Pe:
    def __init__(self, data):
        self.data = data
        self.header = struct.unpack_from("<I", data, 0x3C)[0]
        if data[self.header:self.header + 4] != b"PE\0\0":
            raise ValueError("not a PE file")
        self.machine, sections, self.time_stamp, _, _, optional_size, _ = \
            struct.unpack_from("<HHIIIHH", data, self.header + 4)
        self.optional = self.header + 24
        self.magic = struct.unpack_from("<H", data, self.optional)[0]
        self.subsystem = struct.unpack_from("<H", data, self.optional + 68)[0]
        self.os_version = struct.unpack_from("<HH", data, self.optional + 40)
        self.subsystem_version = struct.unpack_from("<HH", data, self.optional + 48)
        self.checksum = struct.unpack_from("<I", data, self.optional + 64)[0]
        directories = self.optional + (96 if self.magic == 0x10B else 112)
        self.resource_rva = struct.unpack_from("<I", data, directories + 2 * 8)[0]
        self.tls = struct.unpack_from("<II", data, directories + 9 * 8)
        self.sections = []
        table = self.optional + optional_size
        for i in range(sections):
            _, virtual_size, rva, raw_size, raw_offset = struct.unpack_from(
                "<8sIIII", data, table + 40 * i)
            self.sections.append((rva, max(virtual_size, raw_size), raw_offset))

    def computed_checksum(self):
        """The PE checksum: 16-bit words summed with carries, the checksum
        field itself left out, plus the file's length."""
        data = self.data[:self.optional + 64] + b"\0" * 4 + self.data[self.optional + 68:]
        total = sum(struct.unpack("<%dH" % (len(data) // 2), data[:len(data) // 2 * 2]))
        total += data[-1] if len(data) % 2 else 0
        while total >> 16:
            total = (total & 0xFFFF) + (total >> 16)
        return total + len(data)

    def offset(self, rva):
        for start, size, raw in self.sections:
            if start <= rva < start + size:
                return raw + rva - start
        raise ValueError("rva %#x outside every section" % rva)

    def resources(self):
        """{(type, name, language): bytes}; names are ints or strings."""
        base = self.offset(self.resource_rva)
        found = {}

        def label(entry_name):
            if entry_name & 0x80000000:
                at = base + (entry_name & 0x7FFFFFFF)
                length = struct.unpack_from("<H", self.data, at)[0]
                return self.data[at + 2:at + 2 + 2 * length].decode("utf-16-le")
            return entry_name

        def walk(directory, path):
            named, numbered = struct.unpack_from("<HH", self.data, base + directory + 12)
            for i in range(named + numbered):
                name, target = struct.unpack_from("<II", self.data,
                                                  base + directory + 16 + 8 * i)
                if target & 0x80000000:
                    walk(target & 0x7FFFFFFF, path + [label(name)])
                else:
                    rva, size = struct.unpack_from("<II", self.data, base + target)
                    at = self.offset(rva)
                    found[tuple(path + [label(name)])] = self.data[at:at + size]
        walk(0, [])
        return found


def main(argv):
    exe, clip_path, objdump, version = argv[1:5]
    pe32 = "--pe32" in argv[5:]
    with open(exe, "rb") as f:
        data = f.read()
    with open(clip_path, "rb") as f:
        clip = f.read()
    pe = Pe(data)
    failures = []

    if pe32 and (pe.magic != 0x10B or pe.machine != 0x14C):
        failures.append("not a 32-bit x86 PE32 image (magic %#x, machine %#x)"
                        % (pe.magic, pe.machine))
    if pe.subsystem != 2:
        failures.append("subsystem %d, not Windows GUI (2)" % pe.subsystem)
    # Nothing of the clock in the bytes, and a checksum that fits them.
    if pe.time_stamp != 0:
        failures.append("the PE header holds a time stamp (%#x)" % pe.time_stamp)
    if pe.checksum not in (0, pe.computed_checksum()):
        failures.append("PE checksum %#x, the bytes give %#x"
                        % (pe.checksum, pe.computed_checksum()))
    if len(data) > MAX_SIZE[pe32]:
        failures.append("%d bytes, more than %d" % (len(data), MAX_SIZE[pe32]))

    if pe.tls != (0, 0):
        failures.append("a TLS directory (%#x, %d bytes)" % pe.tls)
    if pe32 and (pe.os_version != (4, 0) or pe.subsystem_version != (4, 0)):
        failures.append("OS version %d.%d, subsystem version %d.%d; not 4.0"
                        % (pe.os_version + pe.subsystem_version))

    dump = subprocess.run([objdump, "-p", exe], capture_output=True, text=True,
                          check=True).stdout
    imports = {}
    dll = None
    for line in dump.splitlines():
        if "DLL Name:" in line:
            dll = line.split("DLL Name:")[1].strip().lower()
            imports[dll] = []
        elif not line.strip():
            dll = None
        elif dll and not line.strip().startswith("vma:"):
            # Every entry counts: one by ordinal ends in its number.
            imports[dll].append(line.split()[-1])
    if not imports:
        failures.append("objdump found no imports")
    for dll, functions in sorted(imports.items()):
        for function in functions:
            first = ALLOWED_IMPORTS.get(dll, {}).get(function)
            if first is None:
                failures.append("imports %s!%s, which is not on the allow-list"
                                % (dll, function))
            elif first[0] != OLDEST[0] or float(first[1][3:]) > float(OLDEST[1][3:]):
                failures.append("imports %s!%s, first in Windows %s and %s, not in %s and %s"
                                % ((dll, function) + first + OLDEST))

    if pe32:
        code = subprocess.run([objdump, "-d", exe], capture_output=True,
                              text=True, check=True).stdout
        newer = [line.strip() for line in code.splitlines()
                 if POST_PENTIUM.search(line)]
        if newer:
            failures.append("%d instructions newer than the Pentium's, e.g. %s"
                            % (len(newer), "; ".join(newer[:3])))

    resources = pe.resources()
    wave = resources.get(("WAVE", "THREEWAV", 1033))
    if wave is None:
        failures.append("no WAVE / THREEWAV / 1033 resource among %s"
                        % sorted(map(str, resources)))
    elif wave != clip:
        failures.append("THREEWAV holds %d bytes that are not the clip" % len(wave))
    versions = [v for k, v in resources.items() if k[0] == RT_VERSION]
    if len(versions) != 1 or version.encode("utf-16-le") not in versions[0] or \
            "Kalvorn".encode("utf-16-le") not in versions[0]:
        failures.append("no version information for Kalvorn %s" % version)
    else:  # for every 32-bit Windows (VOS__WINDOWS32), not NT alone
        fixed = versions[0].find(struct.pack("<I", 0xFEEF04BD))
        if fixed < 0 or struct.unpack_from("<I", versions[0], fixed + 32)[0] != 4:
            failures.append("the version information names no OS or not VOS__WINDOWS32")
    for key, value in resources.items():
        if key[0] == RT_MANIFEST and b"requestedExecutionLevel" in value:
            failures.append("a manifest requests an execution level")

    print("%s: %d bytes, %s, imports %s, resources %s" % (
        exe, len(data), "PE32" if pe.magic == 0x10B else "PE32+",
        ", ".join("%s (%d)" % (d, len(f)) for d, f in sorted(imports.items())),
        ", ".join("/".join(map(str, k)) for k in sorted(
            resources, key=str))))
    for failure in failures:
        print("FAIL: " + failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
