// Input files on Windows: a folder is refused before it is opened.
#include "inputs.h"
#include "tool_files.h"

TStatus CheckInputFile(const std::string &path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES)
    return TStatus::Refused("can't read " + path + ": " + FailureText(GetLastError()));
  if (attributes & FILE_ATTRIBUTE_DIRECTORY)
    return TStatus::Refused(path + " is a folder, not a file");
  return TStatus::Done();
}
