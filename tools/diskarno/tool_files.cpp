// Reading inputs whole and writing outputs whole.
#include "tool_files.h"

#include <cstdio>

#include "last_error.h"

namespace {

constexpr DWORD kChunk = 1u << 24;

class THandle {
 public:
  explicit THandle(HANDLE handle) : handle_(handle) {}
  THandle(const THandle &) = delete;
  THandle &operator=(const THandle &) = delete;
  ~THandle() { Close(); }
  bool Valid() const { return handle_ != INVALID_HANDLE_VALUE && handle_ != nullptr; }
  HANDLE Get() const { return handle_; }
  // Closes the handle keeping the last error; false when the close failed.
  bool Close() {
    if (!Valid()) return true;
    DWORD error = GetLastError();
    BOOL closed = CloseHandle(handle_);
    handle_ = INVALID_HANDLE_VALUE;
    // A failed close is the news; a good one leaves the earlier error.
    if (closed) SetLastError(error);
    return closed != FALSE;
  }

 private:
  HANDLE handle_;
};

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

}  // namespace

TReadResult ReadWholeFile(const std::string &path, uint64_t limit, std::vector<BYTE> &bytes,
                          uint64_t &size) {
  bytes.clear();
  size = 0;
  THandle file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, 0, nullptr));
  if (!file.Valid()) return TReadResult::Failed;
  DWORD high = 0;
  SetLastError(NO_ERROR);
  DWORD low = GetFileSize(file.Get(), &high);
  if (low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) return TReadResult::Failed;
  size = (static_cast<uint64_t>(high) << 32) | low;
  if (size > limit) return TReadResult::TooLarge;
  bytes.resize(static_cast<size_t>(size));
  size_t done = 0;
  while (done < bytes.size()) {
    size_t left = bytes.size() - done;
    DWORD piece = left > kChunk ? kChunk : static_cast<DWORD>(left);
    DWORD read = 0;
    if (!ReadFile(file.Get(), bytes.data() + done, piece, &read, nullptr))
      return TReadResult::Failed;
    if (read == 0) {
      SetLastError(ERROR_HANDLE_EOF);
      return TReadResult::Failed;
    }
    done += read;
  }
  return TReadResult::Read;
}

bool WriteFileWhole(const std::string &path, const std::vector<TPiece> &pieces) {
  std::string temporary;
  HANDLE handle = INVALID_HANDLE_VALUE;
  for (int attempt = 0; attempt < 100 && handle == INVALID_HANDLE_VALUE; ++attempt) {
    char suffix[32];
    snprintf(suffix, sizeof suffix, ".partial%d", attempt);
    temporary = path + suffix;
    handle = CreateFileA(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS &&
        GetLastError() != ERROR_ALREADY_EXISTS)
      return false;
  }
  if (handle == INVALID_HANDLE_VALUE) return false;
  THandle file(handle);
  bool written = true;
  for (const TPiece &piece : pieces)
    if (written) written = WriteAll(file.Get(), piece.data, piece.size);
  if (written) written = FlushFileBuffers(file.Get()) != FALSE;
  if (!file.Close()) written = false;
  if (written && MoveFileExA(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING))
    return true;
  TLastErrorKeeper keeper;
  DeleteFileA(temporary.c_str());
  return false;
}

std::string Number(long long value) {
  char text[32];
  snprintf(text, sizeof text, "%lld", value);
  return text;
}
