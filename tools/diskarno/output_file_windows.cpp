// Outputs on Windows: a folder or a device name is refused; the file is
// written whole through a temporary file beside it (WriteFileWhole).
#include "output_file.h"

TStatus CheckOutputTarget(const std::string &path) {
  if (path.empty()) return TStatus::Refused("no output file named");
  if (path.rfind("\\\\.\\", 0) == 0 || path.rfind("//./", 0) == 0)
    return TStatus::Refused(path +
                            " is a device; -o writes files only, and nothing was changed "
                            "(diskarno write puts an image onto a drive)");
  DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
    return TStatus::Refused(path + " is a folder; -o writes files only, and nothing was changed");
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
    return TStatus::Refused("can't write " + path + ": " + FailureText(ERROR_ACCESS_DENIED));
  return TStatus::Done();
}

TStatus SaveOutput(const std::string &path, const std::vector<TPiece> &pieces,
                   TToolConsole &console) {
  TStatus checked = CheckOutputTarget(path);
  if (!checked.Ok()) return checked;
  TCaughtStops caught(console);
  bool written = WriteFileWhole(path, pieces);
  DWORD error = GetLastError();
  if (!written) return TStatus::Failed("can't write " + path + ": " + FailureText(error));
  return TStatus::Done();
}
