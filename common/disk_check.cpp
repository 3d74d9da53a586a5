// DiskHasFiles: whether a disk's folder holds anything, asked of the file
// system without letting the system show its own error box.
#include <cstring>

#include "utils.h"

namespace {

// Any file, or a folder other than "." and "..".
bool Counts(const WIN32_FIND_DATAA &entry) {
  if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) return true;
  const char *name = entry.cFileName;
  return !(name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0)));
}

}  // namespace

bool DiskHasFiles(const char *pattern) {
  bool found = false;
  UINT previousMode = SetErrorMode(SEM_FAILCRITICALERRORS);
  WIN32_FIND_DATAA entry;
  HANDLE search = FindFirstFileA(pattern, &entry);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      found = Counts(entry);
    } while (!found && FindNextFileA(search, &entry));
    FindClose(search);
  }
  SetErrorMode(previousMode);
  return found;
}
