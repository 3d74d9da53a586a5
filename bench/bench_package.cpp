// LoadImage against zlib's uncompress of the same payload, for a 1.44 MB
// FAT12 image and a 120 MB one (half text, half random bytes, fixed seed),
// plain and protected; RC4 against OpenSSL's; and the package writer's
// compression against zlib's level 9 and zopfli's on disks of this
// machine's files.
//
//   build/host/bench/diskarno_bench
#include <benchmark/benchmark.h>
#include <unistd.h>
#include <zlib.h>
#include <zopfli.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "heap.h"
#include "host_control.h"
#include "image_unpacker.h"
#include "package_format.h"
#include "package_modules.h"
#include "package_writer.h"
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

// The package writer's compressors against zlib at level 9, on disks made
// at bench time from this machine's own files: text (licences and package
// documents), programs, gzip'ed manual pages, both halves mixed, and a
// nearly empty boot disk.

struct TCorpusDisk {
  const char *name;
  int kilobytes;
  std::vector<const char *> kinds;  // "text", "programs", "gzip": equal shares of the room
};

// A kind's files: those under its folders that pass its test.
bool IsText(const std::string &bytes) {
  for (unsigned char c : bytes)
    if ((c < 0x20 && c != '\t' && c != '\n' && c != '\r') || c == 0x7F) return false;
  return !bytes.empty();
}

bool HasMagic(const std::string &bytes, const char *magic, size_t length) {
  return bytes.size() > length && bytes.compare(0, length, magic, length) == 0;
}

bool OfKind(const std::string &kind, const std::string &bytes) {
  if (kind == "text") return IsText(bytes);
  if (kind == "programs") return HasMagic(bytes, "\177ELF", 4);
  return HasMagic(bytes, "\x1F\x8B", 2);
}

const char *FoldersOf(const std::string &kind) {
  if (kind == "text") return "/usr/share/common-licenses /usr/share/doc";
  if (kind == "programs") return "/usr/bin";
  return "/usr/share/man";
}

std::string ReadText(const std::string &path) {
  TBytes bytes = testing_support::ReadBytes(path);
  return std::string(bytes.begin(), bytes.end());
}

// Files of the kind, at most 256 KB each, copied into folder under numbered
// names until they fill room bytes of clusters.
void FillShare(const std::string &kind, size_t room, size_t cluster, const std::string &folder,
               int &number) {
  std::string command =
      std::string("find ") + FoldersOf(kind) + " -type f -size -256k 2>/dev/null | LC_ALL=C sort";
  FILE *list = popen(command.c_str(), "r");
  if (!list) abort();
  char line[4096];
  size_t used = 0;
  while (used < room && fgets(line, sizeof line, list)) {
    std::string path(line, strcspn(line, "\n"));
    std::string bytes = ReadText(path);
    size_t clusters = (bytes.size() + cluster - 1) / cluster * cluster;
    if (!OfKind(kind, bytes) || used + clusters > room) continue;
    std::string name = path.substr(path.rfind('/') + 1);
    for (char &c : name)
      if (!isalnum(static_cast<unsigned char>(c)) && c != '.' && c != '-') c = '_';
    char prefix[16];
    snprintf(prefix, sizeof prefix, "%04d-", number++);
    testing_support::WriteBytes(folder + "/" + prefix + name, TBytes(bytes.begin(), bytes.end()));
    used += clusters;
  }
  pclose(list);
}

// A FAT12 disk of the given size whose files fill about nine tenths of it,
// through mkfs.fat and mcopy; the boot disk (no kinds) holds one small file.
TBytes CorpusImage(const TCorpusDisk &disk) {
  std::string image = Folder() + "/" + disk.name + ".img";
  std::string files = Folder() + "/" + disk.name;
  std::string command = "mkdir -p " + files + "/FILES";
  if (system(command.c_str()) != 0) abort();
  const size_t size = static_cast<size_t>(disk.kilobytes) * 1024;
  const size_t cluster = disk.kilobytes == 1440 ? 512 : 1024;  // mkfs.fat's for these sizes
  int number = 0;
  for (const char *kind : disk.kinds)
    FillShare(kind, size * 9 / 10 / disk.kinds.size(), cluster, files + "/FILES", number);
  if (disk.kinds.empty())
    testing_support::WriteBytes(files + "/FILES/AUTOEXEC.BAT",
                                {'@', 'E', 'C', 'H', 'O', ' ', 'O', 'F', 'F', '\r', '\n'});
  command = "rm -f " + image + " && mkfs.fat -C -F 12 -i 1234ABCD " + image + " " +
            std::to_string(disk.kilobytes) + " >/dev/null && mcopy -s -i " + image + " " + files +
            "/FILES ::/";
  if (system(command.c_str()) != 0) {
    fprintf(stderr, "could not make the %s disk\n", disk.name);
    abort();
  }
  return testing_support::ReadBytes(image);
}

const std::vector<TCorpusDisk> kCorpus = {
    {"Text", 1440, {"text"}},
    {"Programs", 1440, {"programs"}},
    {"Gzip", 1440, {"gzip"}},
    {"Boot", 1440, {}},
    {"Mixed720", 720, {"text", "programs", "gzip"}},
    {"Mixed2880", 2880, {"text", "programs", "gzip"}},
};

const TBytes &CorpusDisk(size_t index) {
  static std::vector<TBytes> images(kCorpus.size());
  if (images[index].empty()) images[index] = CorpusImage(kCorpus[index]);
  return images[index];
}

// The plain zlib streams of the four compressors.
TBytes ZlibLevel9(const TBytes &image) {
  return testing_support::Deflate(image);
}

TBytes ZopfliAlone(const TBytes &image) {
  ZopfliOptions options;
  ZopfliInitOptions(&options);
  unsigned char *stream = nullptr;
  size_t length = 0;
  ZopfliCompress(&options, ZOPFLI_FORMAT_ZLIB, image.data(), image.size(), &stream, &length);
  TBytes payload(stream, stream + length);
  free(stream);
  return payload;
}

// The package writer's payload without a password, so plain. The medium
// does not change it.
TBytes Written(const TBytes &image, TCompression compression) {
  TPackageInput input;
  input.Image = image.data();
  input.ImageSize = image.size();
  input.MediaType = kMediaFixed;
  input.Compression = compression;
  TPackageHeader header;
  THeapBlock payload;
  if (!BuildPackage(input, header, payload)) return TBytes();
  return TBytes(payload.Data(), payload.Data() + payload.Size());
}

TBytes WriterDefault(const TBytes &image) {
  return Written(image, TCompression());
}

TBytes WriterBest(const TBytes &image) {
  return Written(image, TCompression{12, true});
}

// Compresses the disk once an iteration; the payload's bytes are a counter,
// and zlib must inflate it to the disk.
void CompressBench(benchmark::State &state, size_t disk, TBytes (*compress)(const TBytes &)) {
  const TBytes &image = CorpusDisk(disk);
  TBytes payload;
  for (auto _ : state) payload = compress(image);
  TBytes inflated(image.size());
  uLongf length = inflated.size();
  if (uncompress(inflated.data(), &length, payload.data(), payload.size()) != Z_OK ||
      length != image.size() || inflated != image)
    state.SkipWithError("the payload does not inflate to the disk");
  state.counters["payload"] = static_cast<double>(payload.size());
  state.counters["image"] = static_cast<double>(image.size());
}

// zopfli and --best take seconds a disk: one run each. The other two take
// the best of three.
const bool kCompressionBenchmarksRegistered = [] {
  struct TCompressor {
    const char *name;
    TBytes (*compress)(const TBytes &);
    int repetitions;
  };
  const TCompressor compressors[] = {
      {"Zlib9", ZlibLevel9, 3},
      {"Default", WriterDefault, 3},
      {"Best", WriterBest, 1},
      {"Zopfli", ZopfliAlone, 1},
  };
  for (size_t disk = 0; disk < kCorpus.size(); ++disk) {
    for (const TCompressor &compressor : compressors) {
      std::string name = std::string("BM_Compress_") + kCorpus[disk].name + "_" + compressor.name;
      auto compress = compressor.compress;
      benchmark::RegisterBenchmark(
          name.c_str(),
          [disk, compress](benchmark::State &state) { CompressBench(state, disk, compress); })
          ->Unit(benchmark::kMillisecond)
          ->Iterations(1)
          ->Repetitions(compressor.repetitions);
    }
  }
  return true;
}();

}  // namespace

BENCHMARK_MAIN();
