// Formatting a USB floppy drive (the UFI command set) through SG_IO, as
// ufiformat does: READ FORMAT CAPACITIES for what drive and disk allow,
// then FORMAT UNIT one track at a time.
#include <errno.h>
#include <scsi/sg.h>
#include <sys/ioctl.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "disk_format.h"

namespace {

constexpr BYTE kReadFormatCapacities = 0x23;
constexpr BYTE kFormatUnit = 0x04;
constexpr unsigned kListLength = 0xFC;  // the longest answer UFI allows
constexpr unsigned kCommandMilliseconds = 10000;
constexpr unsigned kFormatMilliseconds = 60000;  // a track and its certification

// The descriptor code of the current capacity when the drive is empty.
constexpr BYTE kNoDisk = 3;

// Sense keys and additional sense codes.
constexpr BYTE kNotReady = 0x02;
constexpr BYTE kIllegalRequest = 0x05;
constexpr BYTE kUnitAttention = 0x06;
constexpr BYTE kDataProtect = 0x07;
constexpr BYTE kMediumNotPresent = 0x3A;
constexpr BYTE kWriteProtected = 0x27;

DWORD Read32(const BYTE *at) {
  return static_cast<DWORD>(at[0]) << 24 | at[1] << 16 | at[2] << 8 | at[3];
}

DWORD Read24(const BYTE *at) {
  return static_cast<DWORD>(at[0]) << 16 | at[1] << 8 | at[2];
}

struct TCapacity {
  DWORD blocks;
  DWORD blockLength;
  int64_t Bytes() const { return static_cast<int64_t>(blocks) * blockLength; }
};

class TUfiFormat : public TDeviceFormat {
 public:
  TUfiFormat(int file, const std::string &name) : file_(file), name_(name) {}

  TStatus OwnFormat(int &kilobytes) override {
    kilobytes = 0;
    TStatus status = Capacities();
    const TFloppyFormat *own = FloppyFormatOfSize(maximum_.Bytes());
    if (status.Ok() && own) kilobytes = own->kilobytes;
    return status;
  }

  TStatus Allowed(const TFloppyFormat &format) override {
    TStatus status = Capacities();
    if (!status.Ok()) return status;
    std::string list;
    for (const TCapacity &capacity : formattable_) {
      if (capacity.blockLength == 512 && capacity.Bytes() == CapacityOf(format))
        return TStatus::Done();
      const TFloppyFormat *known = FloppyFormatOfSize(capacity.Bytes());
      list += (list.empty() ? "" : ", ") +
              (known ? std::to_string(known->kilobytes)
                     : std::to_string(capacity.blocks) + " blocks of " +
                           std::to_string(capacity.blockLength) + " bytes");
    }
    return TStatus::Refused(name_ + " formats " +
                            (list.empty() ? "no capacity at all" : list + " KB") +
                            " with this disk, not " + std::to_string(format.kilobytes) + " KB");
  }

  // FORMAT UNIT of one track: format data (a defect list of the UFI form)
  // that names the track's side and the capacity to lay out.
  TStatus Track(const TFloppyFormat &format, DWORD track) override {
    const BYTE cylinder = static_cast<BYTE>(track / format.heads);
    const BYTE head = static_cast<BYTE>(track % format.heads);
    BYTE command[12] = {kFormatUnit, 0x17, cylinder, 0, 0, 0, 0, 0, 12, 0, 0, 0};
    const DWORD blocks = static_cast<DWORD>(CapacityOf(format) / 512);
    BYTE parameters[12] = {0,
                           static_cast<BYTE>(0xB0 | head),  // format options valid, no
                                                            // certification, one track, side
                           0,
                           8,  // one descriptor follows
                           static_cast<BYTE>(blocks >> 24), static_cast<BYTE>(blocks >> 16),
                           static_cast<BYTE>(blocks >> 8), static_cast<BYTE>(blocks), 0, 0, 0x02,
                           0x00};  // 512-byte blocks
    std::string failure;
    if (Send(command, SG_DXFER_TO_DEV, parameters, sizeof parameters, kFormatMilliseconds, failure))
      return TStatus::Done();
    // Before the first track nothing has changed on the disk.
    return track == 0 && refusal_ ? TStatus::Refused(failure) : TStatus::Failed(failure);
  }

  TStatus End() override { return TStatus::Done(); }

 private:
  // READ FORMAT CAPACITIES, asked once: the current or largest capacity,
  // then what the drive can lay out on this disk.
  TStatus Capacities() {
    if (asked_) return answer_;
    asked_ = true;
    BYTE command[12] = {kReadFormatCapacities, 0, 0, 0, 0, 0, 0, 0, kListLength, 0, 0, 0};
    std::vector<BYTE> list(kListLength, 0);
    std::string failure;
    if (!Send(command, SG_DXFER_FROM_DEV, list.data(), kListLength, kCommandMilliseconds, failure))
      return answer_ = TStatus::Refused(failure);
    const size_t length = std::min<size_t>(list[3], kListLength - 4) / 8 * 8;
    if (length < 8)
      return answer_ = TStatus::Refused(name_ + " reports no capacity (READ FORMAT CAPACITIES)");
    maximum_ = {Read32(&list[4]), Read24(&list[9])};
    if ((list[8] & 3) == kNoDisk) return answer_ = TStatus::Refused("no disk in drive " + name_);
    for (size_t at = 12; at + 8 <= 4 + length; at += 8)
      formattable_.push_back({Read32(&list[at]), Read24(&list[at + 5])});
    return answer_ = TStatus::Done();
  }

  // Sends one command; false with what the drive or the system said.
  bool Send(BYTE *command, int direction, BYTE *data, unsigned size, unsigned milliseconds,
            std::string &failure) {
    BYTE sense[32] = {};
    sg_io_hdr_t io = {};
    io.interface_id = 'S';
    io.dxfer_direction = direction;
    io.cmd_len = 12;
    io.mx_sb_len = sizeof sense;
    io.dxfer_len = size;
    io.dxferp = data;
    io.cmdp = command;
    io.sbp = sense;
    io.timeout = milliseconds;
    refusal_ = true;
    if (ioctl(file_, SG_IO, &io) != 0) {
      const int code = errno;
      failure = code == ENOTTY || code == EINVAL
                    ? name_ +
                          " is neither a drive on the floppy controller nor a SCSI device "
                          "(a USB floppy drive): it can't be formatted here"
                    : "can't send a command to " + name_ + ": " + strerror(code);
      return false;
    }
    if ((io.info & SG_INFO_OK_MASK) == SG_INFO_OK) return true;
    failure = SenseText(command[0], sense, io.sb_len_wr, io.host_status, io.driver_status);
    return false;
  }

  std::string SenseText(BYTE operation, const BYTE *sense, int length, int host, int driver) {
    if (length < 14) {
      refusal_ = false;
      char text[96];
      snprintf(text, sizeof text, "no answer (host status %d, driver status %d)", host, driver);
      return name_ + " gave " + text;
    }
    const BYTE key = sense[2] & 0x0F, code = sense[12];
    if (key == kNotReady && code == kMediumNotPresent) return "no disk in drive " + name_;
    if (key == kDataProtect || code == kWriteProtected)
      return "the disk in " + name_ + " is write-protected";
    if (key == kIllegalRequest && operation == kReadFormatCapacities)
      return name_ + " does not report the capacities it formats (READ FORMAT CAPACITIES): it " +
             "is no USB floppy drive, and it can't be formatted here";
    refusal_ = key == kIllegalRequest;
    char text[96];
    snprintf(text, sizeof text, " (sense key %X, additional sense %02X/%02X)", key, code,
             sense[13]);
    return name_ + (key == kUnitAttention ? " says the disk was changed" : " failed the command") +
           text;
  }

  int file_;
  std::string name_;
  bool asked_ = false;
  TStatus answer_;
  TCapacity maximum_ = {};
  std::vector<TCapacity> formattable_;
  bool refusal_ = true;  // the last failure left the disk as it was
};

}  // namespace

std::unique_ptr<TDeviceFormat> UfiFormat(int file, const std::string &name) {
  return std::unique_ptr<TDeviceFormat>(new TUfiFormat(file, name));
}
