// The per-thread last error, the process heap with its accounting, Sleep,
// ExitProcess and the module file.
#include "host_control.h"
#include "kernel_object.h"

#include <sched.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <iterator>
#include <map>
#include <vector>

namespace {

thread_local DWORD lastError = 0;

struct HeapAccount {
  size_t liveBlocks = 0;
  size_t liveBytes = 0;
  size_t peakBytes = 0;
  size_t limit = 0;
};
HeapAccount heapAccount;

// Each block carries its size in front, so that HeapFree can account for it,
// and a guard behind, so that HeapFree finds a write past its end.
constexpr size_t kBlockHeader = 16;
constexpr size_t kBlockGuard = 8;
constexpr unsigned char kGuardByte = 0xFD;
constexpr size_t kBlockExtra = kBlockHeader + kBlockGuard;

char processHeap;

struct ModuleImage {
  std::string path;
  std::vector<char> headers;
};

ModuleImage &Module() {
  static ModuleImage module;
  return module;
}

// The loaded system DLLs by upper-case name; a record's address is its
// handle (map nodes stay where they are).
std::map<std::string, winapi::ModuleExports> &SystemModules() {
  static std::map<std::string, winapi::ModuleExports> modules;
  return modules;
}

std::string DllKey(const std::string &name) {
  std::string key;
  for (char c : name) key += static_cast<char>(toupper(static_cast<unsigned char>(c)));
  if (key.find('.') == std::string::npos) key += ".DLL";
  return key;
}

// Enough of the file to cover any PE header region; the rest reads as zeros.
constexpr size_t kHeaderWindow = 64 * 1024;

}  // namespace

namespace winapi {

bool SetModuleFile(const std::string &path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return false;
  std::vector<char> headers(kHeaderWindow, 0);
  file.read(headers.data(), static_cast<std::streamsize>(headers.size()));
  Module().path = path;
  Module().headers = std::move(headers);
  return true;
}

HeapStats GetHeapStats() {
  return HeapStats{heapAccount.liveBlocks, heapAccount.liveBytes, heapAccount.peakBytes};
}

void ResetHeapPeak() { heapAccount.peakBytes = heapAccount.liveBytes; }

void SetHeapLimit(size_t bytes) { heapAccount.limit = bytes; }

}  // namespace winapi

extern "C" DWORD WINAPI GetLastError(void) { return lastError; }
extern "C" void WINAPI SetLastError(DWORD code) { lastError = code; }

extern "C" HANDLE WINAPI GetProcessHeap(void) { return &processHeap; }

static bool WithinLimit(size_t growth) {
  return heapAccount.limit == 0 || heapAccount.liveBytes + growth <= heapAccount.limit;
}

static void PutGuard(char *start, size_t bytes) {
  memset(start + kBlockHeader + bytes, kGuardByte, kBlockGuard);
}

// A write past a block's end ends the process: nothing later can be trusted.
static void CheckGuard(const char *start, size_t bytes) {
  for (size_t i = 0; i < kBlockGuard; ++i) {
    if (static_cast<unsigned char>(start[kBlockHeader + bytes + i]) == kGuardByte) continue;
    fprintf(stderr, "heap block of %zu bytes written past its end\n", bytes);
    abort();
  }
}

static void Account(size_t added, size_t removed) {
  heapAccount.liveBytes += added;
  heapAccount.liveBytes -= removed;
  if (heapAccount.liveBytes > heapAccount.peakBytes) heapAccount.peakBytes = heapAccount.liveBytes;
}

extern "C" LPVOID WINAPI HeapAlloc(HANDLE, DWORD flags, SIZE_T bytes) {
  if (!WithinLimit(bytes) || bytes > SIZE_MAX - kBlockExtra) return nullptr;
  char *block = static_cast<char *>(
      (flags & HEAP_ZERO_MEMORY) ? calloc(1, bytes + kBlockExtra) : malloc(bytes + kBlockExtra));
  if (!block) return nullptr;
  memcpy(block, &bytes, sizeof bytes);
  PutGuard(block, bytes);
  heapAccount.liveBlocks++;
  Account(bytes, 0);
  return block + kBlockHeader;
}

extern "C" LPVOID WINAPI HeapReAlloc(HANDLE, DWORD, LPVOID block, SIZE_T bytes) {
  if (!block) return nullptr;
  char *start = static_cast<char *>(block) - kBlockHeader;
  size_t old;
  memcpy(&old, start, sizeof old);
  if ((bytes > old && !WithinLimit(bytes - old)) || bytes > SIZE_MAX - kBlockExtra) return nullptr;
  CheckGuard(start, old);
  char *moved = static_cast<char *>(realloc(start, bytes + kBlockExtra));
  if (!moved) return nullptr;
  memcpy(moved, &bytes, sizeof bytes);
  PutGuard(moved, bytes);
  Account(bytes, old);
  return moved + kBlockHeader;
}

extern "C" BOOL WINAPI HeapFree(HANDLE, DWORD, LPVOID block) {
  if (!block) return TRUE;
  char *start = static_cast<char *>(block) - kBlockHeader;
  size_t size;
  memcpy(&size, start, sizeof size);
  CheckGuard(start, size);
  heapAccount.liveBlocks--;
  Account(0, size);
  free(start);
  return TRUE;
}

extern "C" void WINAPI Sleep(DWORD milliseconds) {
  if (milliseconds == 0) {
    sched_yield();
    return;
  }
  struct timespec delay = {static_cast<time_t>(milliseconds / 1000),
                           static_cast<long>(milliseconds % 1000) * 1000000L};
  nanosleep(&delay, nullptr);
}

extern "C" void WINAPI ExitProcess(UINT exitCode) {
  fflush(nullptr);
  _exit(static_cast<int>(exitCode));
}

extern "C" DWORD WINAPI GetModuleFileNameA(HMODULE, LPSTR fileName, DWORD size) {
  if (Module().path.empty()) {
    char self[MAX_PATH] = {};
    ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
    if (length > 0) winapi::SetModuleFile(std::string(self, static_cast<size_t>(length)));
  }
  const std::string &path = Module().path;
  if (size == 0) return 0;
  DWORD count = static_cast<DWORD>(path.size() < size ? path.size() : size - 1);
  memcpy(fileName, path.data(), count);
  fileName[count] = '\0';
  if (path.size() >= size) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return size;
  }
  return count;
}

void winapi::SetModuleExports(const std::string &dllName, ModuleExports exports) {
  SystemModules()[DllKey(dllName)] = std::move(exports);
}

extern "C" HMODULE WINAPI GetModuleHandleA(LPCSTR moduleName) {
  if (moduleName) {
    auto found = SystemModules().find(DllKey(moduleName));
    if (found != SystemModules().end()) return reinterpret_cast<HMODULE>(&found->second);
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
  }
  if (Module().headers.empty()) {
    char name[MAX_PATH];
    GetModuleFileNameA(nullptr, name, MAX_PATH);
  }
  return reinterpret_cast<HMODULE>(Module().headers.data());
}

// Only the system DLLs' exports, by name: the program's own module exports
// nothing.
extern "C" FARPROC WINAPI GetProcAddress(HMODULE module, LPCSTR procName) {
  for (const auto &loaded : SystemModules()) {
    if (reinterpret_cast<HMODULE>(const_cast<winapi::ModuleExports *>(&loaded.second)) != module)
      continue;
    if (IS_INTRESOURCE(procName)) break;  // by ordinal: not served
    for (const auto &entry : loaded.second)
      if (entry.first == procName) return entry.second;
    break;
  }
  SetLastError(ERROR_PROC_NOT_FOUND);
  return nullptr;
}
