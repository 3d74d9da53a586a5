// Settings and counters of the host stand-in that tools and tests reach.
#ifndef DISKARNO_WINAPI_HOST_CONTROL_H
#define DISKARNO_WINAPI_HOST_CONTROL_H

#include <windows.h>

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

namespace winapi {

// The file that GetModuleFileNameA names and whose headers GetModuleHandleA(NULL)
// points at. Returns false when the file can't be read.
bool SetModuleFile(const std::string &path);

// A loaded system DLL that GetModuleHandleA finds by its name (case
// ignored; "NAME" stands for "NAME.DLL") and whose exports GetProcAddress
// gives by name. Setting a DLL again replaces its exports; its handle stays.
typedef std::vector<std::pair<std::string, FARPROC>> ModuleExports;
void SetModuleExports(const std::string &dllName, ModuleExports exports);

struct HeapStats {
  size_t liveBlocks;
  size_t liveBytes;
  size_t peakBytes;
};
HeapStats GetHeapStats();
void ResetHeapPeak();
// Allocations that would take the live bytes past the limit fail (0 = no limit).
void SetHeapLimit(size_t bytes);

// FlushFileBuffers calls that succeeded, on files and devices alike, since the
// process started: what was written reached the disk only if one came after it.
size_t FlushCount();

// The errno value a Win32 code the stand-in set stands for (its file calls
// turn errno into codes through one table); 0 for a code no errno gave.
int ErrnoFromError(DWORD code);

}  // namespace winapi

#endif
