#!/usr/bin/env bash
# Size and speed: builds the host preset, runs the benchmarks and prints the
# figures of docs/size-and-speed.md and of docs/compression.md. Exits non-zero when a
# budget is missed:
#   - LoadImage within 1.10x of its floor on the 120 MB image, plain and
#     protected. The floor is the work no loader can avoid, done with plain
#     calls: the package read from its file into the end of a new block of
#     the image's size, zlib's crc32 over it [+ RC4], the first touch of the
#     block's other pages, and zlib's inflate (bench/bench_package.cpp);
#   - our RC4 at no less than 0.8x of OpenSSL's;
#   - LoadImage's peak memory within 1 MiB over package + image (it is
#     well below: the package is read into the image's own block);
#   - the package writer on disks made here from this machine's files
#     (mkfs.fat, mcopy): its default payload at most 0.965x of zlib level
#     9's on the text, program and mixed disks and at most 1.0x on the disk
#     of gzip'ed files, in at most 3 s of CPU for a 1.44 MB disk; --best's
#     payload no larger than zopfli's alone on every disk. Every payload is
#     inflated by zlib and compared with its disk.
# The stub's size budget is a test (ctest -R program_image).
# Usage: scripts/bench.sh [REPETITIONS] (LoadImage and its floor on the
# 120 MB image, and the ciphers, always take 15: their runs are long and
# spread widely when other work shares the machine; the compressors take 3,
# zopfli and --best 1)
set -euo pipefail
cd "$(dirname "$0")/.."
repetitions=${1:-5}

scripts/setup.sh >/dev/null
cmake --preset host >/dev/null
cmake --build --preset host --target diskarno_bench >/dev/null

json=build/host/bench/results.json
build/host/bench/diskarno_bench --benchmark_repetitions="$repetitions" \
  --benchmark_enable_random_interleaving=true \
  --benchmark_out="$json" --benchmark_out_format=json >/dev/null

python3 - "$json" "$repetitions" <<'PY'
import json, sys
# The best of the repetitions: on a shared machine other work only ever adds
# time, so the fastest run is the closest to the code's own cost.
runs = {}
failed = []
for r in json.load(open(sys.argv[1]))["benchmarks"]:
    if r.get("run_type") != "iteration":
        continue
    name = r["run_name"].split("/")[0]  # without "/repeats:15" and "/iterations:1"
    if r.get("error_occurred"):
        failed.append(f"{name}: {r.get('error_message')}")
        continue
    best = runs.get(name)
    if best is None or r["cpu_time"] < best["cpu_time"]:
        runs[name] = r
if failed:
    sys.exit("\n".join(["FAILED: " + failure for failure in failed]))
def ms(name): return runs[name]["cpu_time"]
print(f"best of {sys.argv[2]} repetitions, CPU time")
print("| image | case | LoadImage | floor | ratio | zlib uncompress | ratio |")
print("|---|---|---|---|---|---|---|")
for size, label in (("Floppy", "1.44 MB FAT12"), ("Large", "120 MB")):
    for kind in ("Plain", "Protected"):
        load, floor = ms(f"BM_{size}_LoadImage{kind}"), ms(f"BM_{size}_Floor{kind}")
        plain = ms(f"BM_{size}_Uncompress")
        ratio = load / floor
        print(f"| {label} | {kind.lower()} | {load:.1f} ms | {floor:.1f} ms | {ratio:.2f}x "
              f"| {plain:.1f} ms | {load / plain:.2f}x |")
        if size == "Large" and ratio > 1.10:
            failed.append(f"LoadImage {kind.lower()} at {ratio:.2f}x of its floor (budget 1.10x)")
ours = runs["BM_Rc4Crypt"]["bytes_per_second"] / 1e6
if "BM_OpenSslRc4" in runs:
    theirs = runs["BM_OpenSslRc4"]["bytes_per_second"] / 1e6
    print(f"\nRC4: ours {ours:.0f} MB/s, OpenSSL {theirs:.0f} MB/s: {ours / theirs:.2f}x")
    if ours < 0.8 * theirs:
        failed.append(f"RC4 at {ours / theirs:.2f}x of OpenSSL (budget 0.8x)")
crc = {name: runs[name]["bytes_per_second"] / 1e9
       for name in ("BM_PackageCrc", "BM_PackageCrcTables", "BM_ZlibCrc32")}
print(f"Package checksum: {crc['BM_PackageCrc']:.1f} GB/s (tables alone "
      f"{crc['BM_PackageCrcTables']:.1f} GB/s), zlib crc32 {crc['BM_ZlibCrc32']:.1f} GB/s")
for kind in ("Plain", "Protected"):
    run = runs[f"BM_Large_LoadImage{kind}"]
    over_image, package_and_image = run["peak_over_image"], run["package_and_image"]
    image = 120 << 20
    print(f"Peak memory of LoadImage, 120 MB {kind.lower()}: image + {over_image / 1024:.1f} KiB "
          f"(package + image: {package_and_image / (1 << 20):.1f} MiB)")
    if image + over_image > package_and_image + (1 << 20):
        failed.append(f"peak memory {image + over_image:.0f} bytes (budget package + image + 1 MiB)")
read, touch = ms("BM_Large_ReadPackage"), ms("BM_Large_FirstTouch")
print(f"120 MB: the package read into a new image block {read:.0f} ms, "
      f"a new image block's first touch {touch:.0f} ms")

# The compressors: payload bytes and CPU time; ratios to zlib level 9's payload.
disks = (("Text", "text, 1.44 MB", 0.965), ("Programs", "programs, 1.44 MB", 0.965),
         ("Gzip", "gzip'ed files, 1.44 MB", 1.0), ("Boot", "nearly empty boot disk, 1.44 MB", None),
         ("Mixed720", "mixed, 720 KB", 0.965), ("Mixed2880", "mixed, 2.88 MB", 0.965))
print("\nPayload bytes (the package is 57 bytes more), CPU time, and the ratio to zlib level 9")
print("| disk | zlib level 9 | default (libdeflate 12) | --best | zopfli alone |")
print("|---|---|---|---|---|")
for disk, label, budget in disks:
    run = {kind: runs[f"BM_Compress_{disk}_{kind}"] for kind in ("Zlib9", "Default", "Best", "Zopfli")}
    size = {kind: int(r["payload"]) for kind, r in run.items()}
    seconds = {kind: r["cpu_time"] / 1000 for kind, r in run.items()}
    def cell(kind):
        ratio = "" if kind == "Zlib9" else f"{size[kind] / size['Zlib9']:.3f}x, "
        return f"{size[kind]:,} ({ratio}{seconds[kind]:.2f} s)"
    print(f"| {label} | " + " | ".join(cell(k) for k in ("Zlib9", "Default", "Best", "Zopfli")) + " |")
    if budget is not None and size["Default"] > budget * size["Zlib9"]:
        failed.append(f"default on {label}: {size['Default'] / size['Zlib9']:.4f}x of zlib level 9 "
                      f"(budget {budget}x)")
    if int(run["Default"]["image"]) == 1474560 and seconds["Default"] > 3:
        failed.append(f"default on {label}: {seconds['Default']:.2f} s (budget 3 s)")
    if size["Best"] > size["Zopfli"]:
        failed.append(f"--best on {label}: {size['Best']:,} bytes, zopfli alone {size['Zopfli']:,}")
for failure in failed:
    print("OVER BUDGET:", failure)
sys.exit(1 if failed else 0)
PY
