#!/usr/bin/env python3
"""Static checks of a built Windows program, above all of the 32-bit one,
which no machine here can run: its size budget, its subsystem, that every
import exists on each of the first Windows 95, NT 4.0 and Windows 98 (one
allow-list per system beside this file; MSVCRT in none), and that no call
or jump lands in the import address table itself (what an import-library
entry for data, such as the C runtime's atexit without its start-up file,
silently produces: the program then crashes at its first instruction there).
What the oldest loaders and processors need, too: file alignment 512, no
section both writable and executable, no import by ordinal, and in the
32-bit program no instruction newer than the 386's.

Usage: check_program.py PROGRAM.exe 32|64 [MAX_BYTES]. Exit 77 when the
program has not been built."""
import os
import re
import struct
import subprocess
import sys

# Each system the 32-bit program must load on, with its allow-list.
SYSTEMS = [
    ("the first Windows 95", "windows95_exports.txt"),
    ("Windows NT 4.0", "windowsnt4_exports.txt"),
    ("Windows 98", "windows98_exports.txt"),
]


def main():
    program, bits = sys.argv[1], sys.argv[2]
    budget = int(sys.argv[3]) if len(sys.argv) > 3 else 0
    if not os.path.exists(program):
        print(f"check_program: {program} not built")
        return 77
    objdump = ("i686" if bits == "32" else "x86_64") + "-w64-mingw32-objdump"
    here = os.path.dirname(os.path.realpath(__file__))
    failures = []

    size = os.path.getsize(program)
    print(f"{program}: {size} bytes" + (f" (budget {budget})" if budget else ""))
    if budget and size > budget:
        failures.append(f"{size} bytes is over the budget of {budget}")

    headers = subprocess.run([objdump, "-p", program], capture_output=True, text=True,
                             check=True).stdout
    if not re.search(r"^Subsystem\s+00000002", headers, re.M):
        failures.append("not a GUI program")

    systems = {}
    for system, name in SYSTEMS:
        allowed = set()
        with open(os.path.join(here, name)) as exports:
            for line in exports:
                line = line.strip()
                if line and not line.startswith("#"):
                    allowed.add(line.upper())
        if any(entry.startswith("MSVCRT.DLL:") for entry in allowed):
            failures.append(f"{name} allows MSVCRT, which the first Windows 95 lacks")
        systems[system] = allowed
    imports = []
    dll = None
    for line in headers.splitlines():
        named = re.match(r"\s*DLL Name: (\S+)", line)
        if named:
            dll = named.group(1).upper()
            continue
        entry = re.match(r"\s+[0-9a-f]+\s+\d+\s+([A-Za-z_]\w*)\s*$", line)
        if entry and dll:
            imports.append(f"{dll}:{entry.group(1)}")
    if not imports:
        failures.append("no imports found")
    for name in imports:
        for system, allowed in systems.items():
            if name.upper() not in allowed:
                failures.append(f"import {name} is not known to exist on {system}")
    print(f"{len(imports)} imports from {len({i.split(':')[0] for i in imports})} DLLs")

    base = int(re.search(r"^ImageBase\s+([0-9a-f]+)", headers, re.M).group(1), 16)
    iat = re.search(r"Entry c ([0-9a-f]+) ([0-9a-f]+) Import Address Table", headers)
    start = base + int(iat.group(1), 16)
    end = start + int(iat.group(2), 16)
    code = subprocess.run([objdump, "-d", program], capture_output=True, text=True,
                          check=True).stdout
    for line in code.splitlines():
        jump = re.search(r"\t(call|jmp)\s+0x([0-9a-f]+)\s*$", line)
        if jump and start <= int(jump.group(2), 16) < end:
            failures.append(f"direct {jump.group(1)} into the import address table: {line.strip()}")

    failures += layout_failures(program)
    if bits == "32":
        newer = re.compile(r"\t(cmov\w*|bswap|cmpxchg\w*|xadd|cpuid|rdtsc|f?cmov\w*)\s")
        for line in code.splitlines():
            if newer.search(line) or re.search(r"%[xm]mm\d", line):
                failures.append(f"an instruction the 386 lacks: {line.strip()}")
                break

    for failure in failures:
        print("FAIL:", failure)
    if not failures:
        print("check_program: passed")
    return 1 if failures else 0


def layout_failures(program):
    """File alignment, W+X sections and imports by ordinal, from the file itself."""
    data = open(program, "rb").read()
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    sections, optional_size = struct.unpack_from("<H12xH", data, pe + 6)
    optional = pe + 24
    wide = struct.unpack_from("<H", data, optional)[0] == 0x20B
    failures = []
    alignment = struct.unpack_from("<I", data, optional + 36)[0]
    if alignment != 512:
        failures.append(f"file alignment {alignment}, not 512")
    table = []
    for index in range(sections):
        entry = optional + optional_size + 40 * index
        name = data[entry:entry + 8].rstrip(b"\0").decode()
        size, address, raw_size, raw_at = struct.unpack_from("<4I", data, entry + 8)
        flags = struct.unpack_from("<I", data, entry + 36)[0]
        if flags & 0x20000000 and flags & 0x80000000:
            failures.append(f"section {name} is both writable and executable")
        table.append((address, max(size, raw_size), raw_at))

    def at(rva):
        for address, size, raw_at in table:
            if address <= rva < address + size:
                return raw_at + rva - address
        raise ValueError(f"address {rva:#x} outside every section")

    imports = struct.unpack_from("<I", data, optional + (112 if wide else 96) + 8)[0]
    width, ordinal_bit = (8, 1 << 63) if wide else (4, 1 << 31)
    descriptor = at(imports)
    while True:
        lookup, _, _, name, thunks = struct.unpack_from("<5I", data, descriptor)
        if not name:
            break
        entry = at(lookup or thunks)
        while True:
            thunk = struct.unpack_from("<Q" if wide else "<I", data, entry)[0]
            if not thunk:
                break
            if thunk & ordinal_bit:
                failures.append(f"an import by ordinal ({thunk & 0xFFFF})")
            entry += width
        descriptor += 20
    return failures


if __name__ == "__main__":
    sys.exit(main())
