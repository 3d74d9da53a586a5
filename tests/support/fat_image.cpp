// FAT12 images through the real dosfstools and mtools.
#include "fat_image.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>

namespace testing_support {

namespace {

std::string Quote(const std::string &text) {
  std::string quoted = "'";
  for (char c : text) {
    if (c == '\'')
      quoted += "'\\''";
    else
      quoted += c;
  }
  return quoted + "'";
}

bool Run(const std::string &command, std::string *output = nullptr) {
  FILE *pipe = popen((command + " 2>&1").c_str(), "r");
  if (!pipe) return false;
  std::string text;
  char buffer[4096];
  size_t got;
  while ((got = fread(buffer, 1, sizeof buffer, pipe)) > 0) text.append(buffer, got);
  int status = pclose(pipe);
  if (output) *output = text;
  return status == 0;
}

bool WriteAll(const std::string &path, const std::vector<unsigned char> &bytes) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file.write(reinterpret_cast<const char *>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(file);
}

struct TempRoot {
  std::string path;
  TempRoot() {
    char pattern[] = "/tmp/diskarno-test-XXXXXX";
    path = mkdtemp(pattern) ? pattern : "/tmp";
  }
  ~TempRoot() {
    if (path != "/tmp") Run("rm -rf " + Quote(path));
  }
};

std::string ImageFile(const std::vector<unsigned char> &image) {
  std::string path = TempFolder() + "/image.img";
  WriteAll(path, image);
  return path;
}

}  // namespace

std::string TempFolder() {
  static TempRoot root;
  static int counter = 0;
  std::string folder = root.path + "/" + std::to_string(++counter);
  mkdir(folder.c_str(), 0700);
  return folder;
}

std::vector<unsigned char> MakeFatImage(size_t bytes, const TFileList &files,
                                        const std::string &label, const std::string &format) {
  std::string folder = TempFolder();
  std::string image = folder + "/disk.img";
  std::string output;
  if (!Run("truncate -s " + std::to_string(bytes) + " " + Quote(image), &output) ||
      !Run("/sbin/mkfs.fat " + format + " -n " + Quote(label) + " -i 12345678 " + Quote(image), &output)) {
    ADD_FAILURE() << "mkfs.fat failed: " << output;
    return {};
  }
  for (const auto &file : files) {
    std::string source = folder + "/source";
    std::ofstream(source, std::ios::binary | std::ios::trunc) << file.second;
    if (!Run("MTOOLS_NO_VFAT=1 mcopy -o -i " + Quote(image) + " " + Quote(source) + " ::" +
                 Quote(file.first),
             &output)) {
      ADD_FAILURE() << "mcopy failed: " << output;
      return {};
    }
  }
  std::ifstream in(image, std::ios::binary);
  return std::vector<unsigned char>(std::istreambuf_iterator<char>(in), {});
}

bool FsckClean(const std::vector<unsigned char> &image) {
  std::string output;
  bool clean = Run("/sbin/fsck.fat -n " + Quote(ImageFile(image)), &output);
  if (!clean) ADD_FAILURE() << "fsck.fat: " << output;
  return clean;
}

std::vector<std::string> ListRootFiles(const std::vector<unsigned char> &image) {
  std::string output;
  std::vector<std::string> names;
  if (!Run("mdir -b -i " + Quote(ImageFile(image)) + " ::", &output)) return names;
  std::istringstream lines(output);
  std::string line;
  while (std::getline(lines, line)) {
    size_t slash = line.rfind('/');
    if (slash != std::string::npos) line = line.substr(slash + 1);
    if (!line.empty()) names.push_back(line);
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::string ReadFileFromImage(const std::vector<unsigned char> &image, const std::string &name) {
  std::string output;
  if (!Run("mtype -i " + Quote(ImageFile(image)) + " ::" + Quote(name), &output)) return "";
  return output;
}

}  // namespace testing_support
