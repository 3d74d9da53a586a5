// LoadImage against zlib's uncompress of the same payload, for a 1.44 MB
// FAT12 image and a 120 MB one (half text, half random bytes, fixed seed),
// plain and protected; and RC4 against OpenSSL's.
//
//   build/host/bench/diskarno_bench
#include <benchmark/benchmark.h>
#include <unistd.h>
#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>

#include "heap.h"
#include "host_control.h"
#include "image_unpacker.h"
#include "package_format.h"
#include "package_modules.h"
#include "rc4.h"
#include "support/package_builder.h"

#ifdef DK_BENCH_OPENSSL
#define OPENSSL_SUPPRESS_DEPRECATED
#include <openssl/rc4.h>
#endif

namespace {

using testing_support::TBytes;

void RemoveFolder();

// A scratch folder for the images and programs, removed at exit.
std::string Folder() {
  static std::string folder = [] {
    char pattern[] = "/tmp/diskarno-bench-XXXXXX";
    if (!mkdtemp(pattern)) abort();
    atexit(RemoveFolder);
    return std::string(pattern);
  }();
  return folder;
}

void RemoveFolder() {
  std::string command = "rm -rf " + Folder();
  if (system(command.c_str()) != 0) fprintf(stderr, "could not remove %s\n", Folder().c_str());
}

// A real FAT12 floppy with a few files, through mkfs.fat and mcopy.
TBytes FloppyImage() {
  std::string image = Folder() + "/floppy.img";
  std::string text = Folder() + "/readme.txt";
  std::string random = Folder() + "/random.bin";
  FILE *file = fopen(text.c_str(), "w");
  for (int n = 0; n < 8000; ++n) fprintf(file, "line %d of a text file on a floppy disk\n", n);
  fclose(file);
  file = fopen(random.c_str(), "wb");
  std::mt19937 generator(1);
  for (int n = 0; n < 400000; ++n) fputc(static_cast<int>(generator() & 0xFF), file);
  fclose(file);
  std::string command = "rm -f " + image + " && mkfs.fat -C -F 12 " + image + " 1440 >/dev/null" +
                        " && mcopy -i " + image + " " + text + " " + random + " ::/";
  if (system(command.c_str()) != 0) abort();
  return testing_support::ReadBytes(image);
}

// About 120 MB: half text from a small vocabulary, half random bytes.
TBytes LargeImage() {
  const size_t size = 120u << 20;
  TBytes image;
  image.reserve(size);
  std::mt19937 generator(42);
  const char *words[] = {"floppy ", "disk ", "track ", "sector ", "image ",
                         "the ",    "of ",   "write ", "head ",   "cylinder\n"};
  while (image.size() < size / 2) {
    const char *word = words[generator() % 10];
    image.insert(image.end(), word, word + strlen(word));
  }
  image.resize(size / 2);
  while (image.size() < size) image.push_back(static_cast<unsigned char>(generator()));
  return image;
}

struct TCase {
  TBytes image;
  TBytes payload;  // plain zlib stream
  std::string plainPath;
  std::string protectedPath;
};

TCase MakeCase(const TBytes &image, const std::string &name) {
  TCase c;
  c.image = image;
  c.payload = testing_support::Deflate(image);
  testing_support::TPackageOptions options;
  options.payload = c.payload;
  c.plainPath = Folder() + "/" + name + "-plain.exe";
  testing_support::WriteBytes(c.plainPath, testing_support::MakeProgram(image, options));
  options.password = "benchmark password";
  c.protectedPath = Folder() + "/" + name + "-protected.exe";
  testing_support::WriteBytes(c.protectedPath, testing_support::MakeProgram(image, options));
  return c;
}

const TCase &Floppy() {
  static TCase c = MakeCase(FloppyImage(), "floppy");
  return c;
}

const TCase &Large() {
  static TCase c = MakeCase(LargeImage(), "large");
  return c;
}

void StartPackageModules() {
  static bool started = false;
  if (started) return;
  started = true;
  StartModules(kPackageModules, kPackageModuleCount);
}

void LoadImageBench(benchmark::State &state, const TCase &c, bool isProtected) {
  StartPackageModules();
  winapi::SetModuleFile(isProtected ? c.protectedPath : c.plainPath);
  std::string password = isProtected ? "benchmark password" : "";
  size_t peak = 0;
  for (auto _ : state) {
    BYTE *image = nullptr;
    LONG size = 0;
    size_t before = winapi::GetHeapStats().liveBytes;
    winapi::ResetHeapPeak();
    if (!LoadImage(password, image, size, nullptr, 0)) state.SkipWithError("LoadImage failed");
    peak = winapi::GetHeapStats().peakBytes - before;
    benchmark::DoNotOptimize(image);
    HeapRelease(image);
  }
  // Peak memory beyond the image, and what the package (header and payload)
  // and the image take together, for the budget of package + image + 1 MiB.
  state.counters["peak_over_image"] = static_cast<double>(peak) - c.image.size();
  state.counters["package_and_image"] =
      static_cast<double>(kPackageHeaderSize + c.payload.size() + c.image.size());
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * c.image.size());
}

// zlib's uncompress of the payload into a new block, as LoadImage's image is.
void UncompressOnce(benchmark::State &state, const TCase &c) {
  uLongf length = c.image.size();
  BYTE *image = static_cast<BYTE *>(HeapAllocOrDie(length));
  if (uncompress(image, &length, c.payload.data(), c.payload.size()) != Z_OK)
    state.SkipWithError("uncompress failed");
  benchmark::DoNotOptimize(image);
  HeapRelease(image);
}

// The margin LoadImage leaves between the image and the package it reads.
constexpr size_t kMargin = 256 * 1024;

// LoadImage's floor: the work no loader of a package can avoid, each part
// done the plain way.
// - The package read from the program's file into the end of a new block of
//   the image's size: the image needs the block, and the package must come
//   in from the file (one read, no second block).
// - zlib's crc32 over the payload: the program's first look at bytes the
//   read brought in. Under this machine's virtualization that first look
//   costs about 7 us a page (measured: 66 MB read, then one pass over it,
//   110 to 125 ms; a second pass 3 ms), which no loader escapes.
// - For a protected package, RC4 over it in place.
// - The first touch of the block's pages the read did not bring in, and
//   zlib's inflate of the payload into memory already touched: the image's
//   pages and the inflation itself, counted apart because zlib can't
//   inflate into the block that holds its input.
void FloorBench(benchmark::State &state, const TCase &c, bool isProtected) {
  const std::string &path = isProtected ? c.protectedPath : c.plainPath;
  THeapBlock inflated(c.image.size());
  memset(inflated.Data(), 0, inflated.Size());
  for (auto _ : state) {
    TPackage package;
    if (!OpenPackage(path.c_str(), package) || !ReadPackageBytes(package, c.image.size(), kMargin))
      state.SkipWithError("read failed");
    THeapBlock &block = package.Block;
    const DWORD size = package.Size;
    BYTE *payload = package.Payload();
    uInt payloadSize = package.PayloadLength();
    if (isProtected) {
      TRc4State rc4;
      Rc4Init(rc4, "benchmark password", 18);
      Rc4Crypt(rc4, payload, payload, static_cast<LONG>(payloadSize));
    }
    benchmark::DoNotOptimize(crc32(0, payload, payloadSize));
    for (size_t at = 0; at < block.Size() - size; at += 4096) block.Data()[at] = 0;
    uLongf length = inflated.Size();
    if (uncompress(inflated.Data(), &length, c.payload.data(), c.payload.size()) != Z_OK)
      state.SkipWithError("uncompress failed");
    benchmark::DoNotOptimize(block.Data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * c.image.size());
}

// The yardstick: zlib alone, from the payload in memory into a new buffer.
void UncompressBench(benchmark::State &state, const TCase &c) {
  for (auto _ : state) UncompressOnce(state, c);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * c.image.size());
}

// LoadImage's parts, to tell where its time goes: the package read into the
// end of a new image block, and a new image block's first touch of each
// page (what any unpacker pays for its output, before writing a byte).
void ReadPackageBench(benchmark::State &state, const TCase &c) {
  for (auto _ : state) {
    TPackage package;
    if (!OpenPackage(c.plainPath.c_str(), package) ||
        !ReadPackageBytes(package, c.image.size(), kMargin))
      state.SkipWithError("read failed");
    benchmark::DoNotOptimize(package.Block.Data());
  }
}

void FirstTouchBench(benchmark::State &state, const TCase &c) {
  for (auto _ : state) {
    BYTE *image = static_cast<BYTE *>(HeapAllocOrDie(c.image.size()));
    for (size_t at = 0; at < c.image.size(); at += 4096) image[at] = 1;
    benchmark::DoNotOptimize(image);
    HeapRelease(image);
  }
}

// LoadImage and its floor on the 120 MB image take 0.5 to 0.8 s a run, and
// other work on this shared machine stretches single runs by up to a third
// (its page faults most): more runs of each, interleaved, so that the best
// of each side is not left to chance.
constexpr int kLargeRepetitions = 15;

// Each measurement on both images, named BM_<image>_<measurement>.
const bool kImageBenchmarksRegistered = [] {
  struct TImage {
    const char *name;
    const TCase &(*get)();
  };
  for (TImage image : {TImage{"Floppy", Floppy}, TImage{"Large", Large}}) {
    std::string prefix = std::string("BM_") + image.name + "_";
    auto get = image.get;
    benchmark::RegisterBenchmark((prefix + "Uncompress").c_str(), [get](benchmark::State &state) {
      UncompressBench(state, get());
    })->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark((prefix + "ReadPackage").c_str(), [get](benchmark::State &state) {
      ReadPackageBench(state, get());
    })->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark((prefix + "FirstTouch").c_str(), [get](benchmark::State &state) {
      FirstTouchBench(state, get());
    })->Unit(benchmark::kMillisecond);
    for (bool isProtected : {false, true}) {
      const char *kind = isProtected ? "Protected" : "Plain";
      auto *floor = benchmark::RegisterBenchmark(
          (prefix + "Floor" + kind).c_str(),
          [get, isProtected](benchmark::State &state) { FloorBench(state, get(), isProtected); });
      auto *load = benchmark::RegisterBenchmark((prefix + "LoadImage" + kind).c_str(),
                                                [get, isProtected](benchmark::State &state) {
                                                  LoadImageBench(state, get(), isProtected);
                                                });
      for (auto *bench : {floor, load}) {
        bench->Unit(benchmark::kMillisecond);
        if (get == Large) bench->Repetitions(kLargeRepetitions);
      }
    }
  }
  return true;
}();

const TBytes &CipherInput() {
  static TBytes bytes = [] {
    TBytes data(64u << 20);
    std::mt19937 generator(5);
    for (unsigned char &b : data) b = static_cast<unsigned char>(generator());
    return data;
  }();
  return bytes;
}

// The two ciphers take about 100 ms a run: more runs of each, so that the
// best of them is not left to whichever one the other work on this shared
// machine happened to slow down.
constexpr int kCipherRepetitions = 15;

void BM_Rc4Crypt(benchmark::State &state) {
  TBytes data = CipherInput();
  TRc4State rc4;
  Rc4Init(rc4, "benchmark password", 18);
  for (auto _ : state) {
    Rc4Crypt(rc4, data.data(), data.data(), static_cast<LONG>(data.size()));
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * data.size());
}

#ifdef DK_BENCH_OPENSSL
void BM_OpenSslRc4(benchmark::State &state) {
  TBytes data = CipherInput();
  RC4_KEY key;
  RC4_set_key(&key, 18, reinterpret_cast<const unsigned char *>("benchmark password"));
  for (auto _ : state) {
    RC4(&key, data.size(), data.data(), data.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * data.size());
}
BENCHMARK(BM_OpenSslRc4)->Unit(benchmark::kMillisecond)->Repetitions(kCipherRepetitions);
#endif

BENCHMARK(BM_Rc4Crypt)->Unit(benchmark::kMillisecond)->Repetitions(kCipherRepetitions);

// The package checksum against zlib's crc32, and with the tables alone.
void CrcBench(benchmark::State &state, uint32_t (*crc)(const TBytes &)) {
  const TBytes &data = CipherInput();
  for (auto _ : state) benchmark::DoNotOptimize(crc(data));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * data.size());
}

const bool kCrcBenchmarksRegistered = [] {
  auto ours = [](const TBytes &data) -> uint32_t {
    return PackageCrc(data.data(), static_cast<LONG>(data.size()));
  };
  benchmark::RegisterBenchmark("BM_PackageCrc", [ours](benchmark::State &state) {
    CrcBench(state, ours);
  })->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("BM_PackageCrcTables", [ours](benchmark::State &state) {
    SetPackageCrcFolding(false);
    CrcBench(state, ours);
    SetPackageCrcFolding(true);
  })->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("BM_ZlibCrc32", [](benchmark::State &state) {
    CrcBench(state, [](const TBytes &data) -> uint32_t {
      return static_cast<uint32_t>(crc32(0, data.data(), static_cast<uInt>(data.size())));
    });
  })->Unit(benchmark::kMillisecond);
  return true;
}();

}  // namespace

BENCHMARK_MAIN();
