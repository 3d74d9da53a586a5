// The file-system side of the simulated disks: free space, volume
// information and folder searches, read from each medium's FAT bytes or from
// the view a test set up.
#include <algorithm>
#include <cctype>
#include <cstring>
#include <memory>

#include "kernel_object.h"
#include "sim_internal.h"

namespace sim {

namespace {

DWORD Read16(const std::vector<unsigned char> &bytes, size_t at) {
  return at + 2 <= bytes.size() ? static_cast<DWORD>(bytes[at] | bytes[at + 1] << 8) : 0;
}

DWORD Read32(const std::vector<unsigned char> &bytes, size_t at) {
  return at + 4 <= bytes.size() ? Read16(bytes, at) | Read16(bytes, at + 2) << 16 : 0;
}

std::string Trimmed(const unsigned char *text, size_t length) {
  std::string result(reinterpret_cast<const char *>(text), length);
  while (!result.empty() && result.back() == ' ') result.pop_back();
  return result;
}

struct Bpb {
  DWORD bytesPerSector, sectorsPerCluster, reservedSectors, fats, rootEntries, totalSectors,
      sectorsPerFat;
};

bool ReadBpb(const std::vector<unsigned char> &bytes, Bpb &bpb) {
  if (bytes.size() < 512 || bytes[510] != 0x55 || bytes[511] != 0xAA) return false;
  bpb.bytesPerSector = Read16(bytes, 11);
  bpb.sectorsPerCluster = bytes[13];
  bpb.reservedSectors = Read16(bytes, 14);
  bpb.fats = bytes[16];
  bpb.rootEntries = Read16(bytes, 17);
  bpb.totalSectors = Read16(bytes, 19) ? Read16(bytes, 19) : Read32(bytes, 32);
  bpb.sectorsPerFat = Read16(bytes, 22);
  bool sizes = bpb.bytesPerSector >= 512 && bpb.bytesPerSector <= 4096 &&
               (bpb.bytesPerSector & (bpb.bytesPerSector - 1)) == 0 && bpb.sectorsPerCluster &&
               (bpb.sectorsPerCluster & (bpb.sectorsPerCluster - 1)) == 0;
  return sizes && bpb.fats >= 1 && bpb.fats <= 2 && bpb.sectorsPerFat && bpb.reservedSectors &&
         static_cast<uint64_t>(bpb.totalSectors) * bpb.bytesPerSector <= bytes.size();
}

DWORD FatEntry(const std::vector<unsigned char> &bytes, size_t fatStart, DWORD cluster,
               bool fat12) {
  if (!fat12) return Read16(bytes, fatStart + cluster * 2);
  DWORD pair = Read16(bytes, fatStart + cluster * 3 / 2);
  return cluster & 1 ? pair >> 4 : pair & 0xFFF;
}

void ReadRootFolder(const std::vector<unsigned char> &bytes, size_t start, DWORD count,
                    FileSystem &view) {
  for (DWORD i = 0; i < count && start + (i + 1) * 32 <= bytes.size(); ++i) {
    const unsigned char *entry = &bytes[start + i * 32];
    if (entry[0] == 0) break;
    if (entry[0] == 0xE5 || (entry[11] & 0x0F) == 0x0F) continue;  // deleted, long name
    if (entry[11] & 0x08) {
      view.label = Trimmed(entry, 11);
      continue;
    }
    FileEntry file;
    file.path = Trimmed(entry, 8);
    std::string extension = Trimmed(entry + 8, 3);
    if (!extension.empty()) file.path += "." + extension;
    file.attributes = entry[11] ? entry[11] : FILE_ATTRIBUTE_NORMAL;
    file.size = static_cast<DWORD>(entry[28] | entry[29] << 8 | entry[30] << 16) |
                static_cast<DWORD>(entry[31]) << 24;
    view.entries.push_back(file);
  }
}

bool IsRemovableOrOptical(const Drive &drive) {
  return drive.type == DRIVE_REMOVABLE || drive.type == DRIVE_CDROM;
}

// The view of the drive's file system, or false with the error a real
// system gives (and its critical-error box for a missing medium).
bool ViewOf(Drive *drive, FileSystem &view) {
  if (!drive) return Fail(ERROR_PATH_NOT_FOUND);
  if (!drive->medium) {
    if (!IsRemovableOrOptical(*drive)) {
      view = FileSystem{};
      view.totalClusters = view.freeClusters = 1000000;
      return true;
    }
    Pc().CriticalError();
    return Fail(ERROR_NOT_READY);
  }
  if (drive->medium->fileSystem) {
    view = *drive->medium->fileSystem;
    return true;
  }
  std::optional<FileSystem> parsed = ReadFatFileSystem(drive->medium->bytes);
  if (!parsed) return Fail(ERROR_UNRECOGNIZED_MEDIA);
  view = *parsed;
  return true;
}

std::string UpperText(std::string text) {
  for (char &c : text) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
  return text;
}

// '*' and '?' as the system matches them; "*.*" matches every name.
bool Matches(const char *pattern, const char *name) {
  if (strcmp(pattern, "*.*") == 0) return true;
  if (*pattern == '\0') return *name == '\0';
  if (*pattern == '*') return Matches(pattern + 1, name) || (*name && Matches(pattern, name + 1));
  if (*name == '\0') return false;
  if (*pattern == '?' || *pattern == *name) return Matches(pattern + 1, name + 1);
  return false;
}

class Search : public winapi::KernelObject {
 public:
  explicit Search(std::vector<WIN32_FIND_DATAA> found) : found_(std::move(found)) {}
  BOOL FindNext(WIN32_FIND_DATAA *data) override {
    if (next_ >= found_.size()) return Fail(ERROR_NO_MORE_FILES);
    *data = found_[next_++];
    return TRUE;
  }

 private:
  std::vector<WIN32_FIND_DATAA> found_;
  size_t next_ = 0;
};

WIN32_FIND_DATAA FindData(const std::string &name, DWORD attributes, DWORD size) {
  WIN32_FIND_DATAA data = {};
  data.dwFileAttributes = attributes;
  data.nFileSizeLow = size;
  strncpy(data.cFileName, name.c_str(), MAX_PATH - 1);
  return data;
}

// The entries of one folder of the view ("" = the root) matching a name
// pattern; false with ERROR_PATH_NOT_FOUND when the folder is not there.
bool ListFolder(const FileSystem &view, const std::string &folder, const std::string &pattern,
                std::vector<WIN32_FIND_DATAA> &found) {
  std::string upperFolder = UpperText(folder);
  std::string upperPattern = UpperText(pattern);
  if (!folder.empty()) {
    bool exists = std::any_of(view.entries.begin(), view.entries.end(), [&](const FileEntry &e) {
      return UpperText(e.path) == upperFolder && (e.attributes & FILE_ATTRIBUTE_DIRECTORY);
    });
    if (!exists) return Fail(ERROR_PATH_NOT_FOUND);
    for (const char *dots : {".", ".."})
      if (Matches(upperPattern.c_str(), dots))
        found.push_back(FindData(dots, FILE_ATTRIBUTE_DIRECTORY, 0));
  }
  std::string prefix = folder.empty() ? "" : upperFolder + "\\";
  for (const FileEntry &entry : view.entries) {
    std::string path = UpperText(entry.path);
    if (path.compare(0, prefix.size(), prefix) != 0) continue;
    std::string name = path.substr(prefix.size());
    if (name.empty() || name.find('\\') != std::string::npos) continue;
    if (Matches(upperPattern.c_str(), name.c_str()))
      found.push_back(FindData(entry.path.substr(prefix.size()), entry.attributes, entry.size));
  }
  return TRUE;
}

}  // namespace

std::optional<FileSystem> ReadFatFileSystem(const std::vector<unsigned char> &bytes) {
  Bpb bpb;
  if (!ReadBpb(bytes, bpb)) return std::nullopt;
  FileSystem view;
  view.serialNumber = Read32(bytes, 39);
  view.sectorsPerCluster = bpb.sectorsPerCluster;
  view.bytesPerSector = bpb.bytesPerSector;
  DWORD rootSectors = (bpb.rootEntries * 32 + bpb.bytesPerSector - 1) / bpb.bytesPerSector;
  DWORD firstData = bpb.reservedSectors + bpb.fats * bpb.sectorsPerFat + rootSectors;
  if (firstData >= bpb.totalSectors) return std::nullopt;
  view.totalClusters = (bpb.totalSectors - firstData) / bpb.sectorsPerCluster;
  bool fat12 = view.totalClusters < 4085;
  size_t fatStart = static_cast<size_t>(bpb.reservedSectors) * bpb.bytesPerSector;
  for (DWORD cluster = 2; cluster < view.totalClusters + 2; ++cluster)
    if (FatEntry(bytes, fatStart, cluster, fat12) == 0) ++view.freeClusters;
  size_t rootStart =
      fatStart + static_cast<size_t>(bpb.fats) * bpb.sectorsPerFat * bpb.bytesPerSector;
  ReadRootFolder(bytes, rootStart, bpb.rootEntries, view);
  return view;
}

}  // namespace sim

extern "C" BOOL WINAPI GetDiskFreeSpaceA(LPCSTR rootPath, LPDWORD sectorsPerCluster,
                                         LPDWORD bytesPerSector, LPDWORD freeClusters,
                                         LPDWORD totalClusters) {
  sim::FileSystem view;
  if (!sim::ViewOf(sim::DriveOfRoot(rootPath), view)) return FALSE;
  if (sectorsPerCluster) *sectorsPerCluster = view.sectorsPerCluster;
  if (bytesPerSector) *bytesPerSector = view.bytesPerSector;
  if (freeClusters) *freeClusters = view.freeClusters;
  if (totalClusters) *totalClusters = view.totalClusters;
  return TRUE;
}

extern "C" BOOL WINAPI GetVolumeInformationA(LPCSTR rootPath, LPSTR volumeName,
                                             DWORD volumeNameSize, LPDWORD serialNumber,
                                             LPDWORD maxComponentLength, LPDWORD fileSystemFlags,
                                             LPSTR fileSystemName, DWORD fileSystemNameSize) {
  sim::FileSystem view;
  if (!sim::ViewOf(sim::DriveOfRoot(rootPath), view)) return FALSE;
  if (volumeName) {
    if (view.label.size() + 1 > volumeNameSize) return sim::Fail(ERROR_INSUFFICIENT_BUFFER);
    memcpy(volumeName, view.label.c_str(), view.label.size() + 1);
  }
  if (serialNumber) *serialNumber = view.serialNumber;
  if (maxComponentLength) *maxComponentLength = 255;
  if (fileSystemFlags) *fileSystemFlags = 0x6;  // case preserved, Unicode names on disk
  if (fileSystemName) {
    if (fileSystemNameSize < 4) return sim::Fail(ERROR_INSUFFICIENT_BUFFER);
    memcpy(fileSystemName, "FAT", 4);
  }
  return TRUE;
}

extern "C" HANDLE WINAPI FindFirstFileA(LPCSTR pattern, LPWIN32_FIND_DATAA data) {
  if (!pattern || strlen(pattern) < 3 || pattern[1] != ':' || pattern[2] != '\\') {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  char root[4] = {pattern[0], ':', '\\', '\0'};
  sim::FileSystem view;
  if (!sim::ViewOf(sim::DriveOfRoot(root), view)) return INVALID_HANDLE_VALUE;
  std::string rest(pattern + 3);
  size_t slash = rest.rfind('\\');
  std::string folder = slash == std::string::npos ? "" : rest.substr(0, slash);
  std::string name = slash == std::string::npos ? rest : rest.substr(slash + 1);
  std::vector<WIN32_FIND_DATAA> found;
  if (!sim::ListFolder(view, folder, name, found)) return INVALID_HANDLE_VALUE;
  if (found.empty()) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  *data = found.front();
  found.erase(found.begin());
  return winapi::RegisterObject(std::make_unique<sim::Search>(std::move(found)));
}

extern "C" BOOL WINAPI FindNextFileA(HANDLE find, LPWIN32_FIND_DATAA data) {
  winapi::KernelObject *object = winapi::LookupObject(find);
  return object ? object->FindNext(data) : FALSE;
}
