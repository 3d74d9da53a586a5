#!/usr/bin/env python3
"""The 32-bit program must start on a 386 with the first Windows 95: its code
holds no instruction that a later CPU brought. Disassembles every executable
section and names the address and the instruction of each one found:

- 486: BSWAP, CMPXCHG, XADD (INVD, WBINVD, INVLPG are privileged anyway);
- Pentium: CMPXCHG8B, CPUID, RDTSC, RDMSR/WRMSR, RSM;
- Pentium Pro and later: CMOVcc, FCMOVcc, FCOMI/FUCOMI(P), RDPMC, SYSENTER and
  SYSCALL, the multi-byte NOP (0F 1F, what assemblers pad loops with for
  newer CPUs: executed inside a function, it is an invalid opcode on a 386),
  ENDBR32, POPCNT/LZCNT/TZCNT, MOVBE, FISTTP, the fences and prefetches;
- any use of an MMX or SSE/AVX register (%mm, %xmm, %ymm, %zmm).

UD2 is not listed: it exists to fault, and does so on a 386 as well.

Usage: check_386.py PROGRAM.exe. Exit 77 when the program has not been built."""
import os
import re
import subprocess
import sys

LATER_MNEMONICS = re.compile(
    r"^(bswap|cmpxchg(8b|16b)?|xadd|invd|wbinvd|invlpg|cpuid|rdtscp?|rdmsr|wrmsr|rsm|rdpmc"
    r"|cmov[a-z]+|fcmov[a-z]+|fu?comip?|sys(enter|exit|call|ret)|nop[wlq]|endbr(32|64)"
    r"|popcnt|lzcnt|tzcnt|movbe|fisttp[a-z]*|[lsm]fence|clflush[a-z]*|prefetch[a-z0-9]*"
    r"|movnti|emms|femms|fxsave|fxrstor|ldmxcsr|stmxcsr|crc32[a-z]*)$")
VECTOR_REGISTER = re.compile(r"%[xyz]?mm\d")
# "  401a2c:\tcmovne %edx,%eax"
LINE = re.compile(r"^\s*([0-9a-f]+):\s+(.+)$", re.M)


def later_instructions(listing):
    """Yields (address, instruction) for each instruction a 386 lacks."""
    for line in listing.splitlines():
        match = LINE.match(line)
        if not match:
            continue
        address, text = match.groups()
        text = text.split("#")[0].strip()
        words = text.split()
        # Prefixes ("lock", "cs", "data16") come before the mnemonic; every
        # word without an operand character is checked.
        mnemonics = [w for w in words if re.fullmatch(r"[a-z][a-z0-9]*", w)]
        if any(LATER_MNEMONICS.match(w) for w in mnemonics) or VECTOR_REGISTER.search(text):
            yield address, text


def main():
    program = sys.argv[1]
    if not os.path.exists(program):
        print(f"check_386: {program} not built")
        return 77
    listing = subprocess.run(["i686-w64-mingw32-objdump", "-d", "--no-show-raw-insn", program],
                             capture_output=True, text=True, check=True).stdout
    if not LINE.search(listing.split("Disassembly of section", 1)[-1]):
        print(f"check_386: no code disassembled in {program}")
        return 1
    found = list(later_instructions(listing))
    for address, text in found[:60]:
        print(f"0x{address}: {text}")
    if len(found) > 60:
        print(f"... and {len(found) - 60} more")
    if found:
        print(f"{program}: {len(found)} instructions a 386 lacks")
        return 1
    print(f"{program}: every instruction runs on a 386")
    return 0


if __name__ == "__main__":
    sys.exit(main())
