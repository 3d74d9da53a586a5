#include "sim_pc.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "kernel_object.h"
#include "support/fat_image.h"

namespace {

using sim::Call;
using sim::Pc;

class SimPc : public ::testing::Test {
 protected:
  void SetUp() override {
    Pc().Reset();
    Pc().AddFloppyDrive('A');
    Pc().InsertMedium('A', sim::Floppy144());
  }
  void TearDown() override { EXPECT_EQ(winapi::OpenHandleCount(), 0u); }
};

TEST_F(SimPc, VolumeRefusesWriteWithoutLock) {
  HANDLE volume =
      CreateFileA("\\\\.\\A:", GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(volume, INVALID_HANDLE_VALUE);
  BYTE sector[512];
  memset(sector, 0x77, sizeof sector);
  DWORD written = 0;
  EXPECT_FALSE(WriteFile(volume, sector, sizeof sector, &written, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_EQ(Pc().ContractViolations(), 1u);
  EXPECT_EQ(Pc().MediumIn('A')->bytes[0], 0);

  DWORD returned = 0;
  ASSERT_TRUE(
      DeviceIoControl(volume, FSCTL_LOCK_VOLUME, nullptr, 0, nullptr, 0, &returned, nullptr));
  EXPECT_EQ(SetFilePointer(volume, 1024, nullptr, FILE_BEGIN), 1024u);
  EXPECT_TRUE(WriteFile(volume, sector, sizeof sector, &written, nullptr));
  EXPECT_EQ(written, 512u);
  EXPECT_EQ(Pc().MediumIn('A')->bytes[1024], 0x77);
  LARGE_INTEGER size;
  EXPECT_TRUE(GetFileSizeEx(volume, &size));
  EXPECT_EQ(size.QuadPart, 1474560);
  // Sector-aligned transfers only, as on a real volume.
  EXPECT_FALSE(WriteFile(volume, sector, 100, &written, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  CloseHandle(volume);
}

TEST_F(SimPc, VolumeSharingAndLocks) {
  HANDLE first =
      CreateFileA("\\\\.\\A:", GENERIC_READ, FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(first, INVALID_HANDLE_VALUE);
  // The first handle does not share reading.
  HANDLE second = CreateFileA("\\\\.\\A:", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
  EXPECT_EQ(second, INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  DWORD returned = 0;
  EXPECT_FALSE(
      DeviceIoControl(first, FSCTL_UNLOCK_VOLUME, nullptr, 0, nullptr, 0, &returned, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_LOCKED));
  Pc().SetFilesOpen('A', true);
  EXPECT_FALSE(
      DeviceIoControl(first, FSCTL_LOCK_VOLUME, nullptr, 0, nullptr, 0, &returned, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  CloseHandle(first);
}

TEST_F(SimPc, VolumeGeometryAndMediaTypes) {
  HANDLE volume =
      CreateFileA("\\\\.\\A:", GENERIC_READ, FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(volume, INVALID_HANDLE_VALUE);
  DISK_GEOMETRY records[4] = {};
  DWORD returned = 0;
  ASSERT_TRUE(DeviceIoControl(volume, IOCTL_STORAGE_GET_MEDIA_TYPES, nullptr, 0, records,
                              sizeof records, &returned, nullptr));
  EXPECT_EQ(returned, 48u);
  EXPECT_EQ(records[0].MediaType, F3_720_512);
  EXPECT_EQ(records[1].MediaType, F3_1Pt44_512);
  Pc().RemoveMedium('A');
  EXPECT_FALSE(DeviceIoControl(volume, IOCTL_DISK_GET_DRIVE_GEOMETRY, nullptr, 0, records,
                               sizeof records[0], &returned, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_READY));
  CloseHandle(volume);
  EXPECT_EQ(Pc().Log().back().kind, Call::Close);
}

TEST_F(SimPc, DevicesBelongToTheirFamily) {
  EXPECT_EQ(CreateFileA("\\\\.\\VWIN32", 0, 0, nullptr, 0, FILE_FLAG_DELETE_ON_CLOSE, nullptr),
            INVALID_HANDLE_VALUE);
  Pc().SetWindows95();
  EXPECT_EQ(
      CreateFileA("\\\\.\\A:", GENERIC_READ, FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr),
      INVALID_HANDLE_VALUE);
  HANDLE vwin32 =
      CreateFileA("\\\\.\\VWIN32", 0, 0, nullptr, 0, FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  ASSERT_NE(vwin32, INVALID_HANDLE_VALUE);
  // Windows 95 before OSR2 has no INT 21h 7305h.
  sim::DiskIoPacket packet = {0, 1, reinterpret_cast<DWORD_PTR>(Pc().MediumIn('A')->bytes.data())};
  sim::DiocRegisters registers = {};
  registers.reg_EAX = 0x7305;
  registers.reg_EBX = reinterpret_cast<DWORD_PTR>(&packet);
  registers.reg_ECX = 0xFFFFFFFF;
  registers.reg_EDX = 1;
  registers.reg_ESI = 1;
  DWORD returned = 0;
  ASSERT_TRUE(DeviceIoControl(vwin32, 6, &registers, sizeof registers, &registers, sizeof registers,
                              &returned, nullptr));
  EXPECT_EQ(registers.reg_Flags & 1, 1u);
  EXPECT_EQ(registers.reg_EAX & 0xFFFF, 0x7300u);
  CloseHandle(vwin32);
}

TEST_F(SimPc, VersionRecordOf9x) {
  Pc().SetWindows98();
  OSVERSIONINFOA version = {};
  version.dwOSVersionInfoSize = 156;  // the EX record is not what the program asks for
  EXPECT_FALSE(GetVersionExA(&version));
  version.dwOSVersionInfoSize = sizeof version;
  ASSERT_TRUE(GetVersionExA(&version));
  EXPECT_EQ(version.dwPlatformId, static_cast<DWORD>(VER_PLATFORM_WIN32_WINDOWS));
  EXPECT_EQ(version.dwBuildNumber & 0xFFFF, 2222u);
  EXPECT_EQ(version.dwBuildNumber >> 16, 0x040Au);
  EXPECT_TRUE(Pc().HasFat32Services());
}

TEST_F(SimPc, FileSystemReadFromFatBytes) {
  std::vector<unsigned char> image = testing_support::MakeFatImage(
      737280, {{"ONE.TXT", "1"}, {"TWO.DAT", std::string(3000, 'x')}}, "LABEL720");
  std::optional<sim::FileSystem> view = sim::ReadFatFileSystem(image);
  ASSERT_TRUE(view.has_value());
  EXPECT_EQ(view->label, "LABEL720");
  ASSERT_EQ(view->entries.size(), 2u);
  EXPECT_EQ(view->entries[0].path, "ONE.TXT");
  EXPECT_EQ(view->entries[1].size, 3000u);
  EXPECT_LE(view->sectorsPerCluster * view->bytesPerSector * view->totalClusters, 737280u);
  EXPECT_EQ(view->totalClusters - view->freeClusters, 1u + 3u);  // 1,024-byte clusters
  EXPECT_FALSE(sim::ReadFatFileSystem(std::vector<unsigned char>(737280, 0)).has_value());

  Pc().InsertMedium('A', sim::Floppy720(image));
  char label[16] = {};
  ASSERT_TRUE(
      GetVolumeInformationA("A:\\", label, sizeof label, nullptr, nullptr, nullptr, nullptr, 0));
  EXPECT_STREQ(label, "LABEL720");
  WIN32_FIND_DATAA entry;
  HANDLE search = FindFirstFileA("A:\\*.TXT", &entry);
  ASSERT_NE(search, INVALID_HANDLE_VALUE);
  EXPECT_STREQ(entry.cFileName, "ONE.TXT");
  EXPECT_FALSE(FindNextFileA(search, &entry));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_FILES));
  FindClose(search);
}

// Every call that reaches for the disk in an empty drive shows the system's
// box, unless the error mode suppresses it.
TEST_F(SimPc, MissingDiskShowsBoxUnlessSuppressed) {
  auto onVolume = [](bool (*request)(HANDLE volume)) {
    HANDLE volume = CreateFileA("\\\\.\\A:", GENERIC_WRITE, FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    DWORD returned = 0;
    bool ok =
        volume != INVALID_HANDLE_VALUE &&
        DeviceIoControl(volume, FSCTL_LOCK_VOLUME, nullptr, 0, nullptr, 0, &returned, nullptr) &&
        request(volume);
    CloseHandle(volume);
    return ok;
  };
  // A one-sector write through \\.\VWIN32 with the given control code and
  // registers; false when the transport fails or the carry comes back.
  auto vwin32Write = [](DWORD code, DWORD eax, DWORD edx) {
    static BYTE sector[512];
    sim::DiskIoPacket packet = {0, 1, reinterpret_cast<DWORD_PTR>(sector)};
    sim::DiocRegisters registers = {};
    registers.reg_EAX = eax;
    registers.reg_EBX = reinterpret_cast<DWORD_PTR>(&packet);
    registers.reg_ECX = 0xFFFFFFFF;
    registers.reg_EDX = edx;
    registers.reg_ESI = 1;
    HANDLE vwin32 =
        CreateFileA("\\\\.\\VWIN32", 0, 0, nullptr, 0, FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    DWORD returned = 0;
    bool ok = vwin32 != INVALID_HANDLE_VALUE &&
              DeviceIoControl(vwin32, code, &registers, sizeof registers, &registers,
                              sizeof registers, &returned, nullptr) &&
              !(registers.reg_Flags & 1);
    CloseHandle(vwin32);
    return ok;
  };
  const struct {
    const char *call;
    bool nt;
    std::function<bool()> touch;
  } calls[] = {
      {"GetDiskFreeSpaceA", true,
       [] {
         DWORD a, b, c, d;
         return GetDiskFreeSpaceA("A:\\", &a, &b, &c, &d) != FALSE;
       }},
      {"GetVolumeInformationA", true,
       [] {
         char label[16];
         return GetVolumeInformationA("A:\\", label, sizeof label, nullptr, nullptr, nullptr,
                                      nullptr, 0) != FALSE;
       }},
      {"FlushFileBuffers on the volume", true,
       [&] { return onVolume([](HANDLE v) { return FlushFileBuffers(v) != FALSE; }); }},
      {"WriteFile on the volume", true,
       [&] {
         return onVolume([](HANDLE v) {
           BYTE sector[512] = {};
           DWORD written = 0;
           return WriteFile(v, sector, sizeof sector, &written, nullptr) != FALSE;
         });
       }},
      {"INT 26h", false, [&] { return vwin32Write(3, 0, 0); }},
      {"INT 21h 7305h", false, [&] { return vwin32Write(6, 0x7305, 1); }},
  };
  for (const auto &call : calls) {
    SCOPED_TRACE(call.call);
    Pc().Reset();
    if (!call.nt) Pc().SetWindows98();
    Pc().AddFloppyDrive('A');
    EXPECT_FALSE(call.touch());
    EXPECT_EQ(Pc().CriticalErrorBoxes(), 1);
    SetErrorMode(SEM_FAILCRITICALERRORS);
    EXPECT_FALSE(call.touch());
    EXPECT_EQ(Pc().CriticalErrorBoxes(), 1);
    SetErrorMode(0);
    Pc().InsertMedium('A', sim::Floppy144(testing_support::MakeFatImage(1474560, {})));
    EXPECT_TRUE(call.touch()) << "fails with a disk as well";
    EXPECT_EQ(Pc().CriticalErrorBoxes(), 1);
  }
}

}  // namespace
