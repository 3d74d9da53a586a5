// Whether two paths name one file, on Linux: same device and inode.
#include <sys/stat.h>

#include "tool_files.h"

bool SameFile(const std::string &first, const std::string &second) {
  struct stat one;
  struct stat two;
  if (stat(first.c_str(), &one) != 0 || stat(second.c_str(), &two) != 0) return false;
  return one.st_dev == two.st_dev && one.st_ino == two.st_ino;
}
