// Fuzzes the content probe (libblkid and the FAT look) on whatever a
// stranger's disk may hold: the bytes are the disk, in an in-memory file.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdlib>

#include "linux/content_probe.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  int file = memfd_create("disk", MFD_CLOEXEC);
  if (file < 0) abort();
  size_t done = 0;
  while (done < size) {
    ssize_t written = write(file, data + done, size - done);
    if (written <= 0) abort();
    done += static_cast<size_t>(written);
  }
  // Also a disk longer than its bytes: the probe must stop at their end.
  for (int64_t claimed : {static_cast<int64_t>(size), static_cast<int64_t>(size) + 4096}) {
    TContent content = ProbeContent(file, claimed);
    if (content.what.empty()) abort();
    bool same = size > 0;
    for (size_t n = 1; n < size && same; ++n) same = data[n] == data[0];
    // A disk of one repeated byte is blank unless it was cut short.
    if (claimed == static_cast<int64_t>(size) && same && content.kind != TContentKind::Blank &&
        content.what.find("file system") == std::string::npos &&
        content.what.find("partition") == std::string::npos)
      abort();
  }
  close(file);
  return 0;
}
