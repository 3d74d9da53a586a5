// Outputs on Linux: checked as cp checks its target, written into an unnamed
// temporary file (O_TMPFILE, so that not even SIGKILL leaves one behind) or,
// where the file system has none, a named one removed on every failure and
// stop; then renamed over the target. A target in use is left alone: one
// that a loop device runs on (the loop device would go on with the old
// file), and one another run holds locked.
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "block_devices.h"
#include "outputs.h"

namespace {

constexpr size_t kChunk = 1u << 20;
constexpr int kLongestLinkChain = 40;  // as the kernel's own limit

std::string FolderOf(const std::string &path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

const char *KindOf(mode_t mode) {
  if (S_ISBLK(mode)) return "a block device";
  if (S_ISCHR(mode)) return "a character device";
  if (S_ISFIFO(mode)) return "a FIFO";
  if (S_ISSOCK(mode)) return "a socket";
  if (S_ISDIR(mode)) return "a folder";
  return "no regular file";
}

// The file an output path ends at: symbolic links followed, also to a file
// that does not exist yet (cp creates it through the link). exists and
// status describe it. False with the message.
bool ResolveTarget(const std::string &path, std::string &target, bool &exists, struct stat &status,
                   std::string &message) {
  target = path;
  for (int step = 0; step < kLongestLinkChain; ++step) {
    if (lstat(target.c_str(), &status) != 0) {
      exists = false;
      if (errno == ENOENT) return true;
      message = "can't write " + path + ": " + strerror(errno);
      return false;
    }
    exists = true;
    if (!S_ISLNK(status.st_mode)) return true;
    char link[4096];
    ssize_t length = readlink(target.c_str(), link, sizeof link - 1);
    if (length < 0) {
      message = "can't write " + path + ": " + strerror(errno);
      return false;
    }
    link[length] = '\0';
    target = link[0] == '/' ? std::string(link) : FolderOf(target) + "/" + link;
  }
  message = "can't write " + path + ": " + strerror(ELOOP);
  return false;
}

// Locks the existing target as write locks an image file, for the rest of
// the save; -1 with the refusal in status.
int LockTarget(const std::string &path, const std::string &target, TStatus &status) {
  bool write = true;
  int file = open(target.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (file < 0 && errno == ETXTBSY) {  // a running program: its lock can only be shared
    write = false;
    file = open(target.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  }
  if (file >= 0 && LockImageFile(file, write)) return file;
  const int code = errno;
  if (file >= 0) close(file);
  status = TStatus::Refused(
      code == EAGAIN
          ? path + " is in use by another diskarno or program that locked it; nothing was written"
          : "can't write " + path + ": " + strerror(code));
  return -1;
}

// The checks of CheckOutputTarget, also handing back the resolved target;
// lock receives the locked target, or -1 when there is none.
TStatus CheckTarget(const std::string &path, bool force, std::string &target, bool &exists,
                    struct stat &status, int &lock) {
  lock = -1;
  std::string message;
  if (path.empty()) return TStatus::Refused("no output file named");
  if (!ResolveTarget(path, target, exists, status, message)) return TStatus::Refused(message);
  if (exists && !S_ISREG(status.st_mode))
    return TStatus::Refused(path + " is " + KindOf(status.st_mode) +
                            "; -o writes files only, and nothing was changed" +
                            (S_ISBLK(status.st_mode) || S_ISCHR(status.st_mode)
                                 ? " (diskarno write puts an image onto a device)"
                                 : ""));
  // As cp: an existing file the user may not write is refused, root may.
  if (exists && faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0)
    return TStatus::Refused("can't write " + path + ": " + strerror(errno));
  const std::string folder = FolderOf(target);
  if (faccessat(AT_FDCWD, folder.c_str(), W_OK | X_OK, AT_EACCESS) != 0)
    return TStatus::Refused("can't write " + path + ": " + strerror(errno) +
                            (errno == ENOENT ? "" : " (its folder " + folder + ")"));
  if (!exists) return TStatus::Done();
  const std::string refusal = InUseRefusal(target, "", force);
  if (!refusal.empty()) return TStatus::Refused(refusal);
  TStatus locked;
  lock = LockTarget(path, target, locked);
  return locked;
}

// Gives the new file the extended attributes of the one it replaces, as
// far as the system lets the tool set them (as with the owner).
void CopyAttributes(int from, int to) {
  ssize_t length = flistxattr(from, nullptr, 0);
  if (length <= 0) return;
  std::vector<char> names(static_cast<size_t>(length));
  length = flistxattr(from, names.data(), names.size());
  std::vector<char> value;
  for (ssize_t at = 0; at < length; at += static_cast<ssize_t>(strlen(names.data() + at)) + 1) {
    const char *name = names.data() + at;
    ssize_t size = fgetxattr(from, name, nullptr, 0);
    if (size < 0) continue;
    value.resize(static_cast<size_t>(size) + 1);
    size = fgetxattr(from, name, value.data(), value.size());
    if (size >= 0) fsetxattr(to, name, value.data(), static_cast<size_t>(size), 0);
  }
}

// A free name for a temporary file in folder: short, so that a target
// whose name has the longest length a folder takes has one too.
std::string TemporaryName(const std::string &folder, int attempt) {
  return folder + "/.diskarno" + std::to_string(getpid()) + "-" + std::to_string(attempt) +
         ".partial";
}

// A temporary file in folder that no one sees until it is linked: an
// unnamed one where the file system can, else a new name in folder.
int CreateTemporary(const std::string &folder, std::string &named) {
  named.clear();
  int file = open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
  if (file >= 0 || (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)) return file;
  for (int attempt = 0; attempt < 100; ++attempt) {
    named = TemporaryName(folder, attempt);
    file = open(named.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (file >= 0 || errno != EEXIST) break;
  }
  if (file < 0) named.clear();
  return file;
}

// Gives an unnamed temporary file the name named (a free one in folder).
// False with errno set.
bool NameTemporary(int file, const std::string &folder, std::string &named) {
  char self[64];
  snprintf(self, sizeof self, "/proc/self/fd/%d", file);
  for (int attempt = 0; attempt < 100; ++attempt) {
    named = TemporaryName(folder, attempt);
    if (linkat(AT_FDCWD, self, AT_FDCWD, named.c_str(), AT_SYMLINK_FOLLOW) == 0) return true;
    if (errno != EEXIST) break;
  }
  named.clear();
  return false;
}

bool WriteAll(int file, const unsigned char *data, size_t size, TToolConsole &console,
              int &stopSignal) {
  while (size > 0) {
    if ((stopSignal = console.StopRequested()) != 0) return false;
    size_t piece = size < kChunk ? size : kChunk;
    ssize_t written = write(file, data, piece);
    if (written < 0 && errno == EINTR) continue;
    if (written < 0) return false;
    data += written;
    size -= static_cast<size_t>(written);
  }
  return true;
}

// The mode a new file gets from the process's umask.
mode_t NewFileMode() {
  mode_t mask = umask(0);
  umask(mask);
  return 0666 & ~mask;
}

}  // namespace

TStatus CheckOutputTarget(const std::string &path, bool force) {
  std::string target;
  bool exists = false;
  struct stat status;
  int lock = -1;
  TStatus checked = CheckTarget(path, force, target, exists, status, lock);
  if (lock >= 0) close(lock);
  return checked;
}

TStatus SaveOutput(const std::string &path, const std::vector<TPiece> &pieces,
                   TToolConsole &console, bool force) {
  std::string target;
  bool exists = false;
  struct stat old;
  int lock = -1;
  TStatus checked = CheckTarget(path, force, target, exists, old, lock);
  if (!checked.Ok()) return checked;
  // Held until the new file has its name: no run writes the old one meanwhile.
  struct TClose {
    int file;
    ~TClose() {
      if (file >= 0) close(file);
    }
  } held = {lock};

  TCaughtStops caught(console);
  std::string named;
  int file = CreateTemporary(FolderOf(target), named);
  if (file < 0) return TStatus::Refused("can't write " + path + ": " + strerror(errno));
  int stopSignal = 0;
  bool written = true;
  for (const TPiece &piece : pieces)
    if (written) written = WriteAll(file, piece.data, piece.size, console, stopSignal);
  // The replaced file's owner first (changing it clears set-id bits), then
  // its mode; an owner the tool may not give stays the tool's.
  if (written && exists && (old.st_uid != geteuid() || old.st_gid != getegid()) &&
      fchown(file, old.st_uid, old.st_gid) != 0 &&
      fchown(file, static_cast<uid_t>(-1), old.st_gid) != 0) {
    // Neither owner nor group may be given: the file stays the tool's.
  }
  // After the owner, whose change drops file capabilities; before the mode.
  if (written && held.file >= 0) CopyAttributes(held.file, file);
  if (written) written = fchmod(file, exists ? old.st_mode & 07777 : NewFileMode()) == 0;
  if (written) written = fsync(file) == 0;
  if (written && named.empty()) written = NameTemporary(file, FolderOf(target), named);
  if (written && !stopSignal && (stopSignal = console.StopRequested()) != 0) written = false;
  if (written) written = rename(named.c_str(), target.c_str()) == 0;
  int error = errno;
  close(file);
  if (written) return TStatus::Done();
  if (!named.empty()) unlink(named.c_str());
  if (stopSignal)
    return TStatus::Stopped(stopSignal, "stopped by " + SignalName(stopSignal) + " while saving " +
                                            path + "; nothing was written to it");
  return TStatus::Failed("can't write " + path + ": " + strerror(error) +
                         (exists ? "; it stays as it was" : "; nothing was written"));
}
