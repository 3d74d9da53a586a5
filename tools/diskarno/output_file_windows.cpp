// Outputs on Windows: a folder or a device name is refused; the file is
// written whole through a temporary file beside it (WriteFileWhole).
#include "output_file.h"

namespace {

TSaveResult Result(int exitCode, const std::string &message) {
  TSaveResult result;
  result.exitCode = exitCode;
  result.message = message;
  return result;
}

}  // namespace

TSaveResult CheckOutputTarget(const std::string &path) {
  if (path.empty()) return Result(2, "no output file named");
  if (path.rfind("\\\\.\\", 0) == 0 || path.rfind("//./", 0) == 0)
    return Result(2, path +
                         " is a device; -o writes files only, and nothing was changed "
                         "(diskarno write puts an image onto a drive)");
  DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
    return Result(2, path + " is a folder; -o writes files only, and nothing was changed");
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
    return Result(2, "can't write " + path + ": " + FailureText(ERROR_ACCESS_DENIED));
  return Result(0, "");
}

TSaveResult SaveOutput(const std::string &path, const std::vector<TPiece> &pieces,
                       TToolConsole &console) {
  TSaveResult checked = CheckOutputTarget(path);
  if (!checked.Ok()) return checked;
  TCaughtStops caught(console);
  bool written = WriteFileWhole(path, pieces);
  DWORD error = GetLastError();
  if (!written) return Result(1, "can't write " + path + ": " + FailureText(error));
  return Result(0, "");
}
