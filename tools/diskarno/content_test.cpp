#include "content.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>

#include "support/fat_image.h"

namespace {

using testing_support::MakeFatImage;
typedef std::vector<unsigned char> TBytes;

constexpr size_t k144 = 1474560;

// The image after an mtools command on it: tool -i IMAGE arguments.
TBytes AfterMtools(const TBytes &disk, const std::string &tool, const std::string &arguments) {
  const std::string path = testing_support::TempFolder() + "/m.img";
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char *>(disk.data()),
                                              static_cast<std::streamsize>(disk.size()));
  const std::string command = tool + " -i " + path + " " + arguments + " >/dev/null 2>&1";
  EXPECT_EQ(system(command.c_str()), 0) << command;
  std::ifstream in(path, std::ios::binary);
  return TBytes(std::istreambuf_iterator<char>(in), {});
}

// The first root entry of a 1.44 MB FAT12 disk made by mkfs.fat.
TBytes WithRootEntry(TBytes disk, const char *name, unsigned char attributes) {
  const size_t entry = 19 * 512;
  memcpy(&disk[entry], name, 11);
  disk[entry + 11] = attributes;
  return disk;
}

// Every path of the tool that asks whether a disk holds files asks this
// reader: one table of disks and the verdicts.
TEST(FatRootReader, Verdicts) {
  const TBytes empty = MakeFatImage(k144, {}, "LABEL");
  const TBytes withFile = MakeFatImage(k144, {{"A.TXT", "a"}}, "LABEL");
  TBytes entryOnly = withFile;  // the entry marked deleted, its cluster still in use
  const size_t root = 19 * 512;
  size_t entry = root;
  while (entry < root + 224 * 32 && memcmp(&entryOnly[entry], "A       TXT", 11) != 0) entry += 32;
  ASSERT_LT(entry, root + 224 * 32);
  entryOnly[entry] = 0xE5;
  TBytes noJump = withFile;
  noJump[0] = 0;
  TBytes otherMedium = empty;
  otherMedium[21] = 0xF9;
  struct Case {
    const char *what;
    TBytes disk;
    TFatVerdict verdict;
  };
  const std::vector<Case> cases = {
      {"a file", withFile, TFatVerdict::HoldsFiles},
      {"the label only", empty, TFatVerdict::Empty},
      {"no label at all", MakeFatImage(k144, {}, "NO NAME"), TFatVerdict::Empty},
      {"a file deleted by mdel", AfterMtools(withFile, "mdel", "::A.TXT"), TFatVerdict::Empty},
      {"a long name deleted by mdel",
       AfterMtools(AfterMtools(empty, "mcopy", "/etc/hostname ::a-long-file-name.text"), "mdel",
                   "::a-long-file-name.text"),
       TFatVerdict::Empty},
      {"a long name", AfterMtools(empty, "mcopy", "/etc/hostname ::a-long-file-name.text"),
       TFatVerdict::HoldsFiles},
      {"a folder", AfterMtools(empty, "mmd", "::SUB"), TFatVerdict::HoldsFiles},
      {"an entry deleted by hand, its cluster in use", entryOnly, TFatVerdict::HoldsFiles},
      {"a dot entry", WithRootEntry(empty, ".          ", 0x10), TFatVerdict::Empty},
      {"a folder entry with the label bit", WithRootEntry(empty, "SUB        ", 0x18),
       TFatVerdict::HoldsFiles},
      {"a 720 KB disk with a file", MakeFatImage(737280, {{"B.TXT", "b"}}), TFatVerdict::HoldsFiles},
      {"1024-byte sectors, empty", MakeFatImage(k144, {}, "L", "-F 12 -S 1024"), TFatVerdict::Empty},
      {"4096-byte sectors, a file", MakeFatImage(k144, {{"C.TXT", "c"}}, "L", "-F 12 -S 4096"),
       TFatVerdict::HoldsFiles},
      {"4096-byte sectors, empty", MakeFatImage(k144, {}, "L", "-F 12 -S 4096"), TFatVerdict::Empty},
      {"FAT16, empty", MakeFatImage(16 << 20, {}, "L", "-F 16"), TFatVerdict::Empty},
      {"FAT16, a file", MakeFatImage(16 << 20, {{"D.TXT", "d"}}, "L", "-F 16"),
       TFatVerdict::HoldsFiles},
      {"FAT32", MakeFatImage(40 << 20, {}, "L", "-F 32"), TFatVerdict::NotFat},
      {"a file, the jump instruction damaged", noJump, TFatVerdict::HoldsFiles},
      {"a medium byte the FAT does not repeat", otherMedium, TFatVerdict::NotFat},
      {"zeros", TBytes(k144, 0), TFatVerdict::NotFat},
  };
  for (const Case &c : cases) {
    ASSERT_FALSE(c.disk.empty()) << c.what;
    size_t needed = 0;
    EXPECT_EQ(LookAtFatRoot(c.disk.data(), c.disk.size(), c.disk.size(), needed), c.verdict)
        << c.what;
    // Only the first sectors up to the end of the root folder are read; one
    // byte fewer is not enough.
    ASSERT_LE(needed, c.disk.size()) << c.what;
    EXPECT_EQ(LookAtFatRoot(c.disk.data(), needed, c.disk.size(), needed), c.verdict) << c.what;
    if (c.verdict != TFatVerdict::NotFat) {
      size_t again = 0;
      EXPECT_EQ(LookAtFatRoot(c.disk.data(), needed - 1, c.disk.size(), again),
                TFatVerdict::NeedMore)
          << c.what;
    }
  }
}

}  // namespace
