// Real FAT12 floppy images for tests, made with mkfs.fat and mcopy, and a
// check of a written disk with fsck.fat.
#ifndef DISKARNO_TESTS_SUPPORT_FAT_IMAGE_H
#define DISKARNO_TESTS_SUPPORT_FAT_IMAGE_H

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

namespace testing_support {

typedef std::vector<std::pair<std::string, std::string>> TFileList;  // name, contents

// A formatted FAT12 image of `bytes` bytes (a standard floppy size) holding
// the given files in its root folder; format adds mkfs.fat options ("-F 16
// -S 4096"). Fails the current test (and returns an empty vector) when the
// tools are missing or fail.
std::vector<unsigned char> MakeFatImage(size_t bytes, const TFileList &files,
                                        const std::string &label = "DISKARNO",
                                        const std::string &format = "-F 12");

// True when fsck.fat finds the image clean.
bool FsckClean(const std::vector<unsigned char> &image);

// The root folder's file names as mdir lists them ("HELLO.TXT"), sorted.
std::vector<std::string> ListRootFiles(const std::vector<unsigned char> &image);

// Reads a file's contents back from the image with mtype (empty on failure).
std::string ReadFileFromImage(const std::vector<unsigned char> &image, const std::string &name);

// A fresh temporary folder, removed at process exit.
std::string TempFolder();

}  // namespace testing_support

#endif
