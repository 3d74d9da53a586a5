// Input files on Linux: only a regular file is opened, so that a FIFO or a
// socket is refused instead of waited on.
#include <errno.h>
#include <sys/stat.h>

#include <cstring>

#include "inputs.h"

TStatus CheckInputFile(const std::string &path) {
  struct stat status;
  if (stat(path.c_str(), &status) != 0)
    return TStatus::Refused("can't read " + path + ": " + strerror(errno));
  if (S_ISREG(status.st_mode)) return TStatus::Done();
  const char *kind = S_ISDIR(status.st_mode)    ? "a folder"
                     : S_ISFIFO(status.st_mode) ? "a FIFO"
                     : S_ISSOCK(status.st_mode) ? "a socket"
                     : S_ISBLK(status.st_mode)  ? "a block device"
                                                : "a device";
  return TStatus::Refused(path + " is " + kind + ", not a file");
}
