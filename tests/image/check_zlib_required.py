#!/usr/bin/env python3
"""Configuring a Windows preset without zlib's sources must stop and name
scripts/setup.sh, never link the prebuilt libz.a (a program twice the size)
in silence.

Usage: check_zlib_required.py SOURCE_DIR PRESET. Exit 77 when the preset's
cross compiler is not installed."""
import shutil
import subprocess
import sys
import tempfile

COMPILERS = {"win32": "i686-w64-mingw32-g++", "win64": "x86_64-w64-mingw32-g++"}


def main():
    source, preset = sys.argv[1], sys.argv[2]
    if not shutil.which(COMPILERS[preset]):
        print(f"check_zlib_required: {COMPILERS[preset]} not installed")
        return 77
    with tempfile.TemporaryDirectory() as binary:
        run = subprocess.run(["cmake", "--preset", preset, "-S", source, "-B", binary,
                              "-DDK_ZLIB_SOURCE_DIR=/nonexistent"],
                             capture_output=True, text=True, cwd=source)
    output = run.stdout + run.stderr
    failures = []
    if run.returncode == 0:
        failures.append("configuring succeeded without zlib's sources")
    if "scripts/setup.sh" not in output:
        failures.append("the failure does not name scripts/setup.sh")
    for failure in failures:
        print("FAIL:", failure)
    if failures:
        print(output)
        return 1
    print("check_zlib_required: passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
