// The NT volume device \\.\A: of the simulated PC: sharing, the volume lock,
// geometry and media-type requests, positioned reads and writes of the medium.
//
// Each request has its own virtual member, so that a volume driver with other
// answers (for example one that supports no geometry request) can be a
// subclass that overrides only those.
#include <algorithm>
#include <cstring>
#include <memory>

#include "kernel_object.h"
#include "sim_internal.h"

namespace sim {

namespace {

class Volume;
std::vector<Volume *> &OpenVolumes() {
  static std::vector<Volume *> volumes;
  return volumes;
}

// Whether an open with `access` passes a handle that shares `share`.
bool Shares(DWORD access, DWORD share) {
  if ((access & GENERIC_READ) && !(share & FILE_SHARE_READ)) return false;
  if ((access & GENERIC_WRITE) && !(share & FILE_SHARE_WRITE)) return false;
  return true;
}

class Volume : public winapi::KernelObject {
 public:
  Volume(std::string path, char letter, DWORD access, DWORD share)
      : path_(std::move(path)), letter_(letter), access_(access), share_(share) {
    OpenVolumes().push_back(this);
  }

  ~Volume() override {
    auto &volumes = OpenVolumes();
    volumes.erase(std::remove(volumes.begin(), volumes.end(), this), volumes.end());
    if (volumes.empty()) volumes.shrink_to_fit();  // no block outlives the last volume
    Drive *drive = Pc().FindDrive(letter_);
    if (drive && drive->lockOwner == this) drive->lockOwner = nullptr;  // closing unlocks
    DeviceCall call = NewCall(Call::Close);
    call.ok = true;
    Pc().Record(call);
  }

  char Letter() const { return letter_; }
  DWORD Access() const { return access_; }
  DWORD Share() const { return share_; }

  BOOL Control(DWORD code, void *in, DWORD inSize, void *out, DWORD outSize,
               DWORD *returned) override {
    switch (code) {
      case FSCTL_LOCK_VOLUME:
        return Lock();
      case FSCTL_UNLOCK_VOLUME:
        return Unlock();
      case IOCTL_DISK_GET_DRIVE_GEOMETRY:
        return GetGeometry(out, outSize, returned);
      case IOCTL_STORAGE_GET_MEDIA_TYPES:
        return GetMediaTypes(out, outSize, returned);
      case IOCTL_DISK_FORMAT_TRACKS:
        return FormatTracks(in, inSize);
      default:
        return OtherControl(code, in, inSize, out, outSize, returned);
    }
  }

  BOOL Seek(int64_t distance, DWORD method, int64_t *position) override {
    int64_t base = method == FILE_BEGIN ? 0 : method == FILE_CURRENT ? position_ : MediumSize();
    DeviceCall call = NewCall(Call::SetPointer);
    call.offset = base + distance;
    if (call.offset < 0) return Finish(call, 131);  // ERROR_NEGATIVE_SEEK
    Drive *drive = Pc().FindDrive(letter_);
    position_ = call.offset + (drive ? drive->seekSkew : 0);
    if (position) *position = position_;
    return Finish(call, 0);
  }

  BOOL Write(const void *buffer, DWORD size, DWORD *written) override {
    DeviceCall call = NewCall(Call::Write);
    Drive *drive = nullptr;
    DWORD error = CheckTransfer(call, GENERIC_WRITE, buffer, size, false, drive);
    if (!error) error = CheckWrite(*drive, position_, size);
    if (error) return Finish(call, error);
    memcpy(&drive->medium->bytes[static_cast<size_t>(position_)], buffer, size);
    position_ += size;
    if (written) *written = size - std::min(size, drive->shortWriteBytes);
    CountGoodWrite(*drive);
    return Finish(call, 0);
  }

  BOOL Read(void *buffer, DWORD size, DWORD *read) override {
    DeviceCall call = NewCall(Call::Read);
    Drive *drive = nullptr;
    // Reads bypass the cache: the buffer's address must be whole sectors too.
    DWORD error = CheckTransfer(call, GENERIC_READ, buffer, size, true, drive);
    DWORD length = error ? 0 : LengthBeforeEnd(*drive, size);
    if (!error && length) error = CheckRead(*drive, position_, length);
    if (error) return Finish(call, error);
    if (length) memcpy(buffer, &drive->medium->bytes[static_cast<size_t>(position_)], length);
    position_ += length;
    if (read) *read = length;
    return Finish(call, 0);
  }

  BOOL Flush() override {
    DeviceCall call = NewCall(Call::Flush);
    if (!(access_ & GENERIC_WRITE)) return Finish(call, ERROR_ACCESS_DENIED);
    if (Pc().MediumIn(letter_)) return Finish(call, 0);
    Pc().CriticalError();  // the cache has nowhere to go
    return Finish(call, ERROR_NOT_READY);
  }

  BOOL Size(int64_t *size) override {
    DeviceCall call = NewCall(Call::GetSize);
    Medium *medium = Pc().MediumIn(letter_);
    if (!medium) return Finish(call, ERROR_NOT_READY);
    *size = static_cast<int64_t>(medium->bytes.size());
    return Finish(call, 0);
  }

 protected:
  DeviceCall NewCall(Call kind) const {
    DeviceCall call = StartCall(kind, path_);
    call.drive = letter_;
    return call;
  }

  static BOOL Finish(DeviceCall &call, DWORD error) { return FinishCall(call, error); }

  virtual BOOL Lock() {
    DeviceCall call = NewCall(Call::Lock);
    call.code = FSCTL_LOCK_VOLUME;
    Drive *drive = Pc().FindDrive(letter_);
    if (!drive || !(access_ & (GENERIC_READ | GENERIC_WRITE)))
      return Finish(call, ERROR_ACCESS_DENIED);
    if (drive->filesOpen || (drive->lockOwner && drive->lockOwner != this))
      return Finish(call, ERROR_ACCESS_DENIED);
    drive->lockOwner = this;
    return Finish(call, 0);
  }

  virtual BOOL Unlock() {
    DeviceCall call = NewCall(Call::Unlock);
    call.code = FSCTL_UNLOCK_VOLUME;
    Drive *drive = Pc().FindDrive(letter_);
    if (!drive || drive->lockOwner != this) return Finish(call, ERROR_NOT_LOCKED);
    drive->lockOwner = nullptr;
    return Finish(call, 0);
  }

  virtual BOOL GetGeometry(void *out, DWORD outSize, DWORD *returned) {
    DeviceCall call = NewCall(Call::GetGeometry);
    call.code = IOCTL_DISK_GET_DRIVE_GEOMETRY;
    if (!out || outSize < sizeof(DISK_GEOMETRY)) return Finish(call, ERROR_INSUFFICIENT_BUFFER);
    Medium *medium = Pc().MediumIn(letter_);
    if (!medium) return Finish(call, ERROR_NOT_READY);
    memcpy(out, &medium->geometry, sizeof(DISK_GEOMETRY));
    *returned = sizeof(DISK_GEOMETRY);
    return Finish(call, 0);
  }

  virtual BOOL GetMediaTypes(void *out, DWORD outSize, DWORD *returned) {
    DeviceCall call = NewCall(Call::GetMediaTypes);
    call.code = IOCTL_STORAGE_GET_MEDIA_TYPES;
    Drive *drive = Pc().FindDrive(letter_);
    size_t count = drive ? drive->supported.size() : 0;
    if (!out || outSize < count * sizeof(DISK_GEOMETRY))
      return Finish(call, ERROR_INSUFFICIENT_BUFFER);
    if (count) memcpy(out, drive->supported.data(), count * sizeof(DISK_GEOMETRY));
    *returned = static_cast<DWORD>(count * sizeof(DISK_GEOMETRY));
    return Finish(call, 0);
  }

  virtual BOOL OtherControl(DWORD code, void *, DWORD, void *, DWORD, DWORD *) {
    DeviceCall call = NewCall(Call::OtherControl);
    call.code = code;
    return Finish(call, ERROR_INVALID_FUNCTION);
  }

  // The floppy driver lays out the tracks of a FORMAT_PARAMETERS range for
  // a media type the drive lists, on a volume this handle has locked and
  // opened for reading and writing.
  virtual BOOL FormatTracks(void *in, DWORD inSize) {
    DeviceCall call = NewCall(Call::FormatTrack);
    call.code = IOCTL_DISK_FORMAT_TRACKS;
    Drive *drive = Pc().FindDrive(letter_);
    if (!drive || drive->lockOwner != this) {
      call.contractViolation = true;
      return Finish(call, ERROR_ACCESS_DENIED);
    }
    if ((access_ & (GENERIC_READ | GENERIC_WRITE)) != (GENERIC_READ | GENERIC_WRITE))
      return Finish(call, ERROR_ACCESS_DENIED);
    if (!in || inSize < sizeof(FORMAT_PARAMETERS)) return Finish(call, ERROR_INVALID_PARAMETER);
    FORMAT_PARAMETERS format;
    memcpy(&format, in, sizeof format);
    const DISK_GEOMETRY *layout = nullptr;
    for (const DISK_GEOMETRY &supported : drive->supported)
      if (supported.MediaType == format.MediaType) layout = &supported;
    if (!layout || format.StartCylinderNumber > format.EndCylinderNumber ||
        format.StartHeadNumber > format.EndHeadNumber)
      return Finish(call, ERROR_INVALID_PARAMETER);
    call.offset = (static_cast<int64_t>(format.StartCylinderNumber) * layout->TracksPerCylinder +
                   format.StartHeadNumber) *
                  layout->SectorsPerTrack * layout->BytesPerSector;
    for (DWORD cylinder = format.StartCylinderNumber; cylinder <= format.EndCylinderNumber;
         ++cylinder)
      for (DWORD head = format.StartHeadNumber; head <= format.EndHeadNumber; ++head)
        if (DWORD error = FormatMediumTrack(*drive, *layout, cylinder, head))
          return Finish(call, error);
    return Finish(call, 0);
  }

 private:
  // What every read and write at the file pointer must satisfy: the volume
  // locked by this handle (reading or writing a volume the product has not
  // locked races the file system on the same disk; it must never do it), the
  // access, whole sectors. 0, or the code the request fails with.
  DWORD CheckTransfer(DeviceCall &call, DWORD access, const void *buffer, DWORD size,
                      bool alignedBuffer, Drive *&drive) const {
    call.offset = position_;
    call.length = size;
    drive = Pc().FindDrive(letter_);
    if (!drive || drive->lockOwner != this) {
      call.contractViolation = true;
      return ERROR_ACCESS_DENIED;
    }
    if (!(access_ & access)) return ERROR_ACCESS_DENIED;
    DWORD sector = drive->medium ? drive->medium->geometry.BytesPerSector : 512;
    if (sector == 0 || position_ % sector != 0 || size % sector != 0 ||
        (alignedBuffer && reinterpret_cast<uintptr_t>(buffer) % sector != 0))
      return ERROR_INVALID_PARAMETER;
    return 0;
  }

  // The bytes a read of `size` gets: all of them, unless the drive serves
  // short reads and the medium ends first.
  DWORD LengthBeforeEnd(const Drive &drive, DWORD size) const {
    if (!drive.shortReadAtEnd || !drive.medium) return size;
    int64_t left = static_cast<int64_t>(drive.medium->bytes.size()) - position_;
    return static_cast<DWORD>(std::max<int64_t>(0, std::min<int64_t>(left, size)));
  }

  int64_t MediumSize() const {
    Medium *medium = Pc().MediumIn(letter_);
    return medium ? static_cast<int64_t>(medium->bytes.size()) : 0;
  }

  std::string path_;
  char letter_;
  DWORD access_;
  DWORD share_;
  int64_t position_ = 0;
};

// Wine's volume over an image file, as measured under Wine 8: the lock is a
// stub that succeeds, the geometry and length requests are not supported,
// and the media-types request answers a GET_MEDIA_TYPES record (device type
// 2, no entries) of 40 bytes instead of geometry records.
class WineVolume : public Volume {
 public:
  using Volume::Volume;

 protected:
  BOOL GetGeometry(void *, DWORD, DWORD *) override {
    DeviceCall call = NewCall(Call::GetGeometry);
    call.code = IOCTL_DISK_GET_DRIVE_GEOMETRY;
    return Finish(call, ERROR_NOT_SUPPORTED);
  }

  BOOL GetMediaTypes(void *out, DWORD outSize, DWORD *returned) override {
    DeviceCall call = NewCall(Call::GetMediaTypes);
    call.code = IOCTL_STORAGE_GET_MEDIA_TYPES;
    const DWORD kRecordSize = 40;
    if (!out || outSize < kRecordSize) return Finish(call, ERROR_INSUFFICIENT_BUFFER);
    unsigned char record[kRecordSize] = {};
    record[0] = 2;  // DeviceType; MediaInfoCount 0
    memcpy(out, record, kRecordSize);
    *returned = kRecordSize;
    return Finish(call, 0);
  }

  BOOL OtherControl(DWORD code, void *, DWORD, void *, DWORD, DWORD *) override {
    DeviceCall call = NewCall(Call::OtherControl);
    call.code = code;
    return Finish(call, ERROR_NOT_SUPPORTED);
  }

  // Not measured: answered as every other request Wine's volume lacks.
  BOOL FormatTracks(void *, DWORD) override {
    DeviceCall call = NewCall(Call::FormatTrack);
    call.code = IOCTL_DISK_FORMAT_TRACKS;
    return Finish(call, ERROR_NOT_SUPPORTED);
  }
};

DWORD OpenError(Drive *drive, char letter, DWORD access, DWORD share, DWORD creation) {
  if (!Pc().IsNt() || !drive) return ERROR_FILE_NOT_FOUND;
  if (drive->volumeOpenError) return drive->volumeOpenError;
  if (!drive->isFloppy) return ERROR_ACCESS_DENIED;
  if (creation != OPEN_EXISTING) return ERROR_INVALID_PARAMETER;
  if (drive->lockOwner) return ERROR_ACCESS_DENIED;
  for (Volume *open : OpenVolumes()) {
    if (open->Letter() != letter) continue;
    if (!Shares(access, open->Share()) || !Shares(open->Access(), share))
      return ERROR_SHARING_VIOLATION;
  }
  return 0;
}

}  // namespace

HANDLE OpenVolume(const std::string &path, char letter, DWORD access, DWORD share, DWORD creation,
                  DWORD flags) {
  Drive *drive = Pc().FindDrive(letter);
  DeviceCall call = StartOpenCall(path, access, share, creation, flags);
  call.drive = letter;
  call.error = OpenError(drive, letter, access, share, creation);
  call.ok = call.error == 0;
  Pc().Record(call);
  if (!call.ok) {
    SetLastError(call.error);
    return INVALID_HANDLE_VALUE;
  }
  if (drive->volumeDriver == VolumeDriver::Wine)
    return winapi::RegisterObject(std::make_unique<WineVolume>(path, letter, access, share));
  return winapi::RegisterObject(std::make_unique<Volume>(path, letter, access, share));
}

}  // namespace sim
