// Shared pieces of the fuzz targets.
#include "fuzz_support.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "app_errors.h"
#include "host_control.h"
#include "image_unpacker.h"
#include "package_modules.h"
#include "support/package_builder.h"

void FuzzStartOnce() {
  static bool started = false;
  if (started) return;
  started = true;
  StartModules(kPackageModules, kPackageModuleCount);
}

namespace {

const std::string &ScratchPath() {
  // Memory-backed where the system has it: the file is rewritten on every run.
  static const std::string path = std::string(access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp") +
                                  "/diskarno-fuzz-" + std::to_string(getpid()) + ".exe";
  return path;
}

void RemoveScratch() {
  unlink(ScratchPath().c_str());
}

}  // namespace

const std::string &FuzzWriteFile(const uint8_t *data, size_t size) {
  static const bool removedAtExit = atexit(RemoveScratch) == 0;
  (void)removedAtExit;
  const std::string &path = ScratchPath();
  FILE *file = fopen(path.c_str(), "wb");
  if (!file || fwrite(data, 1, size, file) != size || fclose(file) != 0) abort();
  return path;
}

std::vector<uint8_t> FuzzStub() {
  static const std::vector<uint8_t> stub = testing_support::MakeStub();
  return stub;
}

size_t FuzzLiveBlocks() {
  return winapi::GetHeapStats().liveBlocks;
}

void FuzzExpectLiveBlocks(size_t blocks) {
  size_t now = winapi::GetHeapStats().liveBlocks;
  if (now != blocks) {
    fprintf(stderr, "heap blocks left behind: %zu before, %zu after\n", blocks, now);
    abort();
  }
}
