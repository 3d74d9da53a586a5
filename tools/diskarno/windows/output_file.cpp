// Outputs on Windows: a folder or a device name is refused; the file is
// written whole into a temporary file beside it, then renamed over it.
#include <cstdio>

#include "last_error.h"
#include "outputs.h"

namespace {

constexpr DWORD kChunk = 1u << 24;

bool WriteAll(HANDLE file, const BYTE *data, size_t size) {
  while (size > 0) {
    DWORD piece = size > kChunk ? kChunk : static_cast<DWORD>(size);
    DWORD written = 0;
    if (!WriteFile(file, data, piece, &written, nullptr)) return false;
    if (written != piece) {
      SetLastError(ERROR_DISK_FULL);
      return false;
    }
    data += piece;
    size -= piece;
  }
  return true;
}

// Writes the pieces into a new temporary file beside path and renames it
// over path, so that path holds all of it or stays as it was. False with
// the last error set, and no temporary file left.
bool WriteFileWhole(const std::string &path, const std::vector<TPiece> &pieces) {
  std::string temporary;
  HANDLE file = INVALID_HANDLE_VALUE;
  for (int attempt = 0; attempt < 100 && file == INVALID_HANDLE_VALUE; ++attempt) {
    char suffix[32];
    snprintf(suffix, sizeof suffix, ".partial%d", attempt);
    temporary = path + suffix;
    file = CreateFileA(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS &&
        GetLastError() != ERROR_ALREADY_EXISTS)
      return false;
  }
  if (file == INVALID_HANDLE_VALUE) return false;
  bool written = true;
  for (const TPiece &piece : pieces)
    if (written) written = WriteAll(file, piece.data, piece.size);
  if (written) written = FlushFileBuffers(file) != FALSE;
  {
    // A failed close is the news only when all went well before it.
    TLastErrorKeeper keeper;
    if (!CloseHandle(file) && written) {
      written = false;
      keeper.Keep(GetLastError());
    }
  }
  if (written && MoveFileExA(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING))
    return true;
  TLastErrorKeeper keeper;
  DeleteFileA(temporary.c_str());
  return false;
}

}  // namespace

TStatus CheckOutputTarget(const std::string &path, bool) {
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
                   TToolConsole &console, bool force) {
  TStatus checked = CheckOutputTarget(path, force);
  if (!checked.Ok()) return checked;
  TCaughtStops caught(console);
  bool written = WriteFileWhole(path, pieces);
  DWORD error = GetLastError();
  if (!written) return TStatus::Failed("can't write " + path + ": " + FailureText(error));
  return TStatus::Done();
}
