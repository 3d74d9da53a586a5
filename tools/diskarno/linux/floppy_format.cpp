// Formatting a drive on the PC's floppy controller through the floppy
// driver, as fdformat does: the geometry set with FDSETPRM, then FDFMTBEG,
// one FDFMTTRK a track, FDFMTEND.
#include <errno.h>
#include <fcntl.h>
#include <linux/fd.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "disk_format.h"
#include "medium_state.h"

namespace {

// How the driver drives the controller for each format and kind of drive
// (its floppy_type table); the geometry comes from the tool's format table
// (floppy_formats.h).
struct TDriverFormat {
  int kilobytes;
  char drives[6];  // the kinds of drive that take it (the first letter of the driver's name)
  unsigned stretch;  // double stepping: a 40-cylinder disk in an 80-cylinder drive
  unsigned char gap, rate, spec1, formatGap;
};

const TDriverFormat kDriverFormats[] = {
    {360, "d", 0, 0x2A, 0x02, 0xDF, 0x50},    // d360
    {360, "h", 1, 0x23, 0x01, 0xDF, 0x50},    // h360: an HD drive
    {720, "DHE", 0, 0x2A, 0x02, 0xDF, 0x50},  // D720
    {1200, "h", 0, 0x1B, 0x00, 0xDF, 0x54},   // h1200
    {1440, "HE", 0, 0x1B, 0x00, 0xCF, 0x6C},  // H1440
    {1680, "HE", 0, 0x1C, 0x00, 0xCF, 0x0C},  // H1680 (DMF)
    {2880, "E", 0, 0x1B, 0x43, 0xAF, 0x54},   // E2880
};

// FDSETPRM's parameters of the format for the driver's way with it.
floppy_struct DriverParameters(const TFloppyFormat &format, const TDriverFormat &driver) {
  floppy_struct parameters = {};
  parameters.size = format.cylinders * format.heads * format.sectors;
  parameters.sect = format.sectors;
  parameters.head = format.heads;
  parameters.track = format.cylinders;
  parameters.stretch = driver.stretch;
  parameters.gap = driver.gap;
  parameters.rate = driver.rate;
  parameters.spec1 = driver.spec1;
  parameters.fmt_gap = driver.formatGap;
  return parameters;
}

// The drive's name as the driver gives it: "H1440" for a 3.5-inch HD
// drive, "h1200" for a 5.25-inch one; empty when it can't say.
std::string DriveName(int file) {
  floppy_drive_name name = {};
  if (ioctl(file, FDGETDRVTYP, name) != 0) return "";
  return std::string(name, strnlen(name, sizeof name));
}

const TDriverFormat *DriverFormat(const std::string &drive, int kilobytes) {
  for (const TDriverFormat &format : kDriverFormats)
    if (format.kilobytes == kilobytes && !drive.empty() && strchr(format.drives, drive[0]))
      return &format;
  return nullptr;
}

std::string Capacities(const std::string &drive) {
  std::string list;
  for (const TDriverFormat &format : kDriverFormats)
    if (!drive.empty() && strchr(format.drives, drive[0]))
      list += (list.empty() ? "" : ", ") + std::to_string(format.kilobytes);
  return list;
}

class TFloppyControllerFormat : public TDeviceFormat {
 public:
  TFloppyControllerFormat(int file, const std::string &name)
      : file_(file), name_(name), drive_(DriveName(file)) {}

  TStatus OwnFormat(int &kilobytes) override {
    kilobytes = drive_.size() > 1 ? atoi(drive_.c_str() + 1) : 0;
    return TStatus::Done();
  }

  TStatus Allowed(const TFloppyFormat &format) override {
    if (DriverFormat(drive_, format.kilobytes)) return TStatus::Done();
    if (drive_.empty())
      return TStatus::Refused("the floppy driver does not say what drive " + name_ + " is");
    return TStatus::Refused(name_ + " is a " + drive_ + " drive: it formats " + Capacities(drive_) +
                            " KB disks, not " + std::to_string(format.kilobytes) + " KB");
  }

  TStatus Track(const TFloppyFormat &format, DWORD track) override {
    if (track == 0) {
      const TDriverFormat *driver = DriverFormat(drive_, format.kilobytes);
      if (!driver) return Allowed(format);
      // The driver looks for a disk and its write protection here, and
      // forgets the geometry when it sees the disk-change line: the
      // geometry is set after it.
      if (ioctl(file_, FDFMTBEG, 0) != 0) return Refusal(errno);
      floppy_struct parameters = DriverParameters(format, *driver);
      if (ioctl(file_, FDSETPRM, &parameters) != 0) return Refusal(errno);
    }
    format_descr where = {};
    where.head = track % format.heads;
    where.track = track / format.heads;
    if (ioctl(file_, FDFMTTRK, &where) == 0) return TStatus::Done();
    return TStatus::Failed(strerror(errno));
  }

  TStatus End() override {
    if (ioctl(file_, FDFMTEND, 0) == 0) return TStatus::Done();
    return TStatus::Failed(strerror(errno));
  }

 private:
  // Before the first track nothing has changed on the disk.
  TStatus Refusal(int code) const {
    if (code == ENODEV || code == ENXIO) return TStatus::Refused("no disk in drive " + name_);
    if (code == EROFS) return TStatus::Refused("the disk in " + name_ + " is write-protected");
    if (code == EBUSY)
      return TStatus::Refused(name_ + " is open in another program; a format needs it alone");
    return TStatus::Refused("the floppy driver refused to format " + name_ + ": " + strerror(code));
  }

  int file_;
  std::string name_;
  std::string drive_;
};

}  // namespace

std::unique_ptr<TDeviceFormat> DeviceFormatFor(int file, const std::string &name,
                                               const std::string &number) {
  if (IsFloppyControllerDevice(number))
    return std::unique_ptr<TDeviceFormat>(new TFloppyControllerFormat(file, name));
  return UfiFormat(file, name);
}

int FormatOpenFlags(const std::string &number) {
  return IsFloppyControllerDevice(number) ? O_NONBLOCK : 0;
}

TDiskGeometry FormatOpenGeometry(int file, const std::string &number, int64_t size) {
  TDiskGeometry geometry = {};
  if (IsFloppyControllerDevice(number)) {
    // Opened without the driver's look at the disk: it takes that look now
    // (a disk changed since the last one fails every read until then), and
    // a read of the first sector makes it find the format, if the disk has
    // one.
    ioctl(file, FDFLUSH, 0);
    BYTE sector[512];
    floppy_struct found = {};
    if (pread(file, sector, sizeof sector, 0) != sizeof sector ||
        ioctl(file, FDGETPRM, &found) != 0)
      return geometry;
    size = static_cast<int64_t>(found.size) * 512;
  }
  if (const TFloppyFormat *format = FloppyFormatOfSize(size)) return GeometryOf(*format);
  return geometry;
}
