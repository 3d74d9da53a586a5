#!/usr/bin/env python3
"""Static checks of a built Windows program, above all of the 32-bit one,
which no machine here can run: its size budget, its subsystem, that every
import exists on each of the first Windows 95, NT 4.0 and Windows 98 (one
allow-list per system beside this file; MSVCRT in none), and that no call
or jump lands in the import address table itself (what an import-library
entry for data, such as the C runtime's atexit without its start-up file,
silently produces: the program then crashes at its first instruction there).

Usage: check_program.py PROGRAM.exe 32|64 [MAX_BYTES]. Exit 77 when the
program has not been built."""
import os
import re
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

    for failure in failures:
        print("FAIL:", failure)
    if not failures:
        print("check_program: passed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
