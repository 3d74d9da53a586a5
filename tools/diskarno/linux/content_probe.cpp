// The content probe over libblkid: partition tables first (a partitioned
// disk names its table, not what a partition holds), then one file system
// or other signature; FAT is looked at further, since an empty one may go.
#include <blkid.h>
#include <errno.h>
#include <unistd.h>

#include <cstring>
#include <vector>

#include "content_probe.h"

namespace {

// A FAT's boot sector, tables and root folder on any floppy fit in this.
constexpr int64_t kLargestFatStart = 4 << 20;

// The open file's bytes, read where they are.
class TFileBytes : public TDiskBytes {
 public:
  explicit TFileBytes(int file) : file_(file) {}
  bool Read(int64_t offset, unsigned char *data, size_t size, std::string &error) override {
    while (size > 0) {
      ssize_t got = pread(file_, data, size, offset);
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) {
        error = got == 0 ? "the disk ends early" : strerror(errno);
        return false;
      }
      data += got;
      size -= static_cast<size_t>(got);
      offset += got;
    }
    return true;
  }

 private:
  int file_;
};

// What the FAT root reader says of the disk's first bytes, which start
// receives; NotFat for bytes that can't be read.
TFatVerdict LookAtFat(TDiskBytes &bytes, int64_t size, std::vector<unsigned char> &start) {
  start.assign(512, 0);
  size_t needed = 0;
  std::string error;
  TFatVerdict verdict = TFatVerdict::NeedMore;
  while (verdict == TFatVerdict::NeedMore) {
    if (needed > static_cast<size_t>(kLargestFatStart)) return TFatVerdict::NotFat;
    start.resize(needed > start.size() ? needed : start.size());
    if (!bytes.Read(0, start.data(), start.size(), error)) return TFatVerdict::NotFat;
    verdict = LookAtFatRoot(start.data(), start.size(), size, needed);
  }
  return verdict;
}

std::string Article(const std::string &word) {
  return std::strchr("aeiouxAEIOUX", word.empty() ? 'z' : word[0]) ? "an " : "a ";
}

std::string Value(blkid_probe probe, const char *name) {
  const char *data = nullptr;
  size_t length = 0;
  if (blkid_probe_lookup_value(probe, name, &data, &length) != 0 || !data) return "";
  std::string value(data, strnlen(data, length));
  return value;
}

// The partition table of the disk, "a DOS partition table with 2
// partitions"; empty when it has none.
std::string PartitionTable(int file, int64_t size) {
  std::string what;
  blkid_probe probe = blkid_new_probe();
  if (!probe) return what;
  if (blkid_probe_set_device(probe, file, 0, size) == 0 &&
      blkid_probe_enable_superblocks(probe, 0) == 0 &&
      blkid_probe_enable_partitions(probe, 1) == 0) {
    blkid_partlist list = blkid_probe_get_partitions(probe);
    blkid_parttable table = list ? blkid_partlist_get_table(list) : nullptr;
    const char *type = table ? blkid_parttable_get_type(table) : nullptr;
    if (type) {
      std::string name = std::strcmp(type, "dos") == 0   ? "DOS"
                         : std::strcmp(type, "gpt") == 0 ? "GPT"
                                                         : type;
      int count = blkid_partlist_numof_partitions(list);
      what = Article(name) + name + " partition table with " + std::to_string(count) +
             (count == 1 ? " partition" : " partitions");
    }
  }
  blkid_free_probe(probe);
  return what;
}

// One file system or other signature: "an ext4 file system labelled DATA";
// fat says whether it is FAT. Empty when blkid finds none.
std::string Signature(int file, int64_t size, bool &fat) {
  std::string what;
  fat = false;
  blkid_probe probe = blkid_new_probe();
  if (!probe) return "data blkid could not look at";
  if (blkid_probe_set_device(probe, file, 0, size) == 0 &&
      blkid_probe_enable_superblocks(probe, 1) == 0 &&
      blkid_probe_set_superblocks_flags(
          probe, BLKID_SUBLKS_TYPE | BLKID_SUBLKS_LABEL | BLKID_SUBLKS_USAGE) == 0) {
    int found = blkid_do_safeprobe(probe);
    if (found == -2) {
      what = "more than one file system signature";
    } else if (found == 0) {
      std::string type = Value(probe, "TYPE");
      std::string label = Value(probe, "LABEL");
      std::string usage = Value(probe, "USAGE");
      fat = type == "vfat" || type == "msdos";
      if (fat) type = "FAT";
      if (type.empty()) type = "unnamed";
      what =
          Article(type) + type +
          (usage == "filesystem" || usage.empty() ? " file system" : " " + usage + " signature") +
          (label.empty() ? "" : " labelled " + label);
    } else if (found < 0) {
      what = "data blkid could not look at";
    }
  }
  blkid_free_probe(probe);
  return what;
}

}  // namespace

TContent ProbeContent(int file, int64_t size) {
  TContent content;
  content.what = PartitionTable(file, size);
  if (!content.what.empty()) return content;
  bool fat = false;
  content.what = Signature(file, size, fat);
  TFileBytes bytes(file);
  std::vector<unsigned char> start;
  const TFatVerdict verdict = fat ? LookAtFat(bytes, size, start) : TFatVerdict::NotFat;
  if (verdict == TFatVerdict::Empty || verdict == TFatVerdict::HoldsFiles)
    return FatContent(content.what, verdict, start.data(), size, bytes);
  if (!content.what.empty()) return content;
  bool same = false;
  std::string error;
  if (!AllBytesSame(bytes, 0, size, same, error)) {
    content.what = "data that can't be read (" + error + ")";
    return content;
  }
  content.kind = same ? TContentKind::Blank : TContentKind::Holds;
  content.what = same ? "no data (every byte the same)" : "data that is no known file system";
  return content;
}
