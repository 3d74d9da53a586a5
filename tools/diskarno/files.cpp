// Whole-file reads through the package code's file, and numbers.
#include "files.h"

#include <cstdio>

#include "own_file.h"
#include "package_format.h"

namespace {

constexpr DWORD kChunk = 1u << 24;

}  // namespace

TStatus ReadWholeFile(const std::string &path, uint64_t limit, std::vector<BYTE> &bytes,
                      uint64_t &size) {
  bytes.clear();
  size = 0;
  TPackageFile file;
  int64_t length = file.Open(path.c_str()) ? file.Size() : -1;
  if (length < 0) return TStatus::Refused("can't read " + path + ": " + FailureText(GetLastError()));
  size = static_cast<uint64_t>(length);
  if (size > limit) return TStatus::Refused(path + " has " + Number(length) + " bytes");
  bytes.resize(static_cast<size_t>(size));
  for (size_t done = 0; done < bytes.size();) {
    size_t left = bytes.size() - done;
    DWORD piece = left > kChunk ? kChunk : static_cast<DWORD>(left);
    if (!file.ReadAt(static_cast<DWORD>(done), bytes.data() + done, piece)) {
      DWORD code = GetLastError();
      bytes.clear();
      return TStatus::Refused("can't read " + path + ": " +
                              (code == kErrorInvalidImageFile ? std::string("the file ends early")
                                                              : FailureText(code)));
    }
    done += piece;
  }
  return TStatus::Done();
}

std::string Number(long long value) {
  char text[32];
  snprintf(text, sizeof text, "%lld", value);
  return text;
}
