#!/usr/bin/env python3
"""Static check of a built spindlework.exe: machine, subsystem, hardening, imports, the manifest resource,
and for the 32-bit image that no instruction in it writes %fs:0 (so NO_SEH is true)."""
import re
import struct
import subprocess
import sys

# The user-interface, graphics, common-controls and kernel services, and the C runtime: nothing else.
DLLS = {"comctl32.dll", "gdi32.dll", "kernel32.dll", "msvcrt.dll", "user32.dll"}
# DllCharacteristics: HIGH_ENTROPY_VA 0x20, DYNAMIC_BASE 0x40, NX_COMPAT 0x100, NO_SEH 0x400,
# TERMINAL_SERVER_AWARE 0x8000.
HARDENING = {"i386": 0x40 | 0x100 | 0x400 | 0x8000, "amd64": 0x20 | 0x40 | 0x100 | 0x8000}
# What the manifest must say, written out here rather than read from the file it is built from.
MANIFEST_LINES = [
    b'<assemblyIdentity version="0.1.0.0" processorArchitecture="%s" name="Orvenna.Spindlework.Orvenna" type="win32"/>',
    b'<assemblyIdentity type="win32" name="Microsoft.Windows.Common-Controls" version="6.0.0.0" '
    b'processorArchitecture="%s" publicKeyToken="6595b64144ccf1df" language="*"/>']


def fs0_writes(objdump, exe_path):
    """Instructions whose destination (last in AT&T syntax) is %fs:0x0, the head of the SEH chain."""
    listing = subprocess.run([objdump, "-d", exe_path], capture_output=True, text=True, check=True).stdout
    pattern = re.compile(r"\s*\w+:\t[^\t]*\t(?:(?:lock|rep\w*|data16|addr32) )*(\w+)\s+([^\s#<]+)")
    code = [(m, line.strip()) for m, line in ((pattern.match(line), line) for line in listing.splitlines()) if m]
    if not code:
        sys.exit(f"FAILED: {objdump} disassembled no code in {exe_path}")
    return [line for m, line in code
            if m[2].split(",")[-1] == "%fs:0x0" and not re.fullmatch(r"(push|cmp|test)[bwl]?", m[1])]


def main(exe_path, manifest_path, machine_name, objdump=None):
    image = open(exe_path, "rb").read()
    manifest = open(manifest_path, "rb").read()
    if machine_name == "amd64":
        manifest = manifest.replace(b'processorArchitecture="X86"', b'processorArchitecture="amd64"')
    failures = []

    pe = struct.unpack_from("<I", image, 0x3C)[0]
    machine, sections, _, _, _, optional_size, characteristics = struct.unpack_from("<HHIIIHH", image, pe + 4)
    optional = pe + 24
    magic = struct.unpack_from("<H", image, optional)[0]
    want_machine, want_magic = {"i386": (0x14C, 0x10B), "amd64": (0x8664, 0x20B)}[machine_name]
    if (machine, magic) != (want_machine, want_magic):
        failures.append(f"machine {machine:#x}/{magic:#x}, expected {want_machine:#x}/{want_magic:#x}")
    subsystem = struct.unpack_from("<H", image, optional + 68)[0]
    if subsystem != 2:
        failures.append(f"subsystem {subsystem}, expected 2 (windowed)")
    directories = optional + (96 if magic == 0x10B else 112)
    table = [struct.unpack_from("<II", image, directories + 8 * i) for i in range(16)]
    dll_characteristics = struct.unpack_from("<H", image, optional + 70)[0]
    if dll_characteristics != HARDENING[machine_name]:
        failures.append(f"DllCharacteristics {dll_characteristics:#x}, expected {HARDENING[machine_name]:#x}")
    if characteristics & 1 or table[5][1] == 0:
        failures.append("relocations stripped: the image cannot move (ASLR)")

    section_table = optional + optional_size
    spans = []
    for i in range(sections):
        _, vsize, vaddr, rsize, raw = struct.unpack_from("<8sIIII", image, section_table + 40 * i)
        spans.append((vaddr, max(vsize, rsize), raw))

    def offset(rva):
        for vaddr, size, raw in spans:
            if vaddr <= rva < vaddr + size:
                return rva - vaddr + raw
        raise ValueError(f"rva {rva:#x} outside every section")

    def cstring(rva):
        at = offset(rva)
        return image[at:image.index(b"\0", at)].decode("ascii")

    dlls = []
    at = offset(table[1][0])
    while True:
        entry = struct.unpack_from("<IIIII", image, at)
        if entry == (0, 0, 0, 0, 0):
            break
        dlls.append(cstring(entry[3]).lower())
        at += 20
    if set(dlls) != DLLS:
        failures.append(f"imports from {sorted(set(dlls))}, expected {sorted(DLLS)}")

    # The resource tree: type -> id -> language -> data. Exactly one resource: the manifest.
    root = offset(table[2][0])

    def entries(directory):
        named, numbered = struct.unpack_from("<HH", image, directory + 12)
        for i in range(named + numbered):
            ident, target = struct.unpack_from("<II", image, directory + 16 + 8 * i)
            yield ident, target

    found = []
    for type_id, type_dir in entries(root):
        for res_id, id_dir in entries(root + (type_dir & 0x7FFFFFFF)):
            for lang, data_entry in entries(root + (id_dir & 0x7FFFFFFF)):
                rva, size = struct.unpack_from("<II", image, root + data_entry)
                found.append((type_id, res_id, lang, image[offset(rva):offset(rva) + size]))
    if [(t, r, l) for t, r, l, _ in found] != [(24, 1, 0x0407)]:
        failures.append(f"resources {[(t, r, hex(l)) for t, r, l, _ in found]}, expected one: type 24, id 1, language 0x407")
    elif any(line % (b"amd64" if machine_name == "amd64" else b"X86") not in found[0][3] for line in MANIFEST_LINES):
        failures.append("the manifest does not name this program and version 6 of the common controls for " + machine_name)
    elif found[0][3] != manifest:
        failures.append(f"the manifest resource differs from {manifest_path}" + (" made for amd64" if machine_name == "amd64" else ""))

    if machine_name == "i386":
        failures += [f"writes %fs:0, so NO_SEH is false: {line}" for line in fs0_writes(objdump, exe_path)]

    print(f"{exe_path}: imports {sorted(set(dlls))}")
    for failure in failures:
        print("FAILED:", failure)
    print(f"exe check: {0 if failures else 1} passed, {1 if failures else 0} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:5]))
