// diskarno read, write and verify: whole disks track by track, with a live
// status line and a stop between tracks on Ctrl-C.
#include <cstring>

#include "command_line.h"
#include "disk_access.h"
#include "package_format.h"
#include "tool.h"
#include "tool_files.h"

namespace {

const char kReadHelp[] =
    "Usage: diskarno read DRIVE -o IMAGE [--keep-going] [--quiet] [--force]\n"
    "\n"
    "Reads the whole disk in DRIVE track by track into IMAGE. DRIVE is A: or B:\n"
    "on Windows; on Linux a block device (/dev/fd0, a USB floppy's /dev/sdX) or an\n"
    "image file.\n"
    "\n"
    "  --keep-going  fill a track that can't be read with zeros, go on, and list\n"
    "                every such track at the end (exit code 1)\n"
    "  --quiet       no status line\n"
    "  --force       take a device that is not removable, or not of a floppy's\n"
    "                size (as the largest floppy that fits)\n";

const char kWriteHelp[] =
    "Usage: diskarno write FILE DRIVE [--password TEXT | --password-file PATH]\n"
    "                      [--verify] [--yes] [--quiet] [--force]\n"
    "\n"
    "Writes FILE onto the formatted disk in DRIVE track by track. FILE is a\n"
    "program made by diskarno pack (its image is unpacked as the program does)\n"
    "or a raw disk image.\n"
    "\n"
    "  --password TEXT       the password of a protected program\n"
    "  --password-file PATH  the password is the file's contents\n"
    "  --verify              read every track back afterwards and compare\n"
    "  --yes                 overwrite a disk that holds files without asking\n"
    "  --quiet               no status line, no summary\n"
    "  --force               take a device that is not removable, or not of a\n"
    "                        floppy's size\n";

const char kVerifyHelp[] =
    "Usage: diskarno verify FILE DRIVE [--password TEXT | --password-file PATH]\n"
    "                       [--quiet] [--force]\n"
    "\n"
    "Compares the disk in DRIVE with the image of FILE (a program or a raw\n"
    "image) track by track and lists every track that differs (exit code 1).\n";

constexpr uint64_t kLargestRawImage = 64u << 20;

// The status line of one pass over the disk and the Ctrl-C test between
// tracks; passed to the disk's write as its hook.
class TPass {
 public:
  TPass(TToolOutput &output, bool quiet, const char *doing, DWORD total)
      : console_(output.Console()), quiet_(quiet), doing_(doing), total_(total) {
    console_.CatchStops(true);
  }
  ~TPass() {
    Clear();
    console_.CatchStops(false);
  }

  // False when a signal asked to stop; its number is then in Signal().
  bool Track(DWORD track) {
    if ((signal_ = console_.StopRequested()) != 0) return false;
    if (!quiet_) {
      console_.Status(std::string(doing_) + " track " + Number(track + 1) + "/" + Number(total_) +
                      ", " + Number((track + 1) * 100ull / total_) + " %");
      shown_ = true;
    }
    return true;
  }
  int Signal() const { return signal_; }
  void Clear() {
    if (shown_) console_.Status("");
    shown_ = false;
  }
  static bool Hook(void *context, DWORD track) {
    return static_cast<TPass *>(context)->Track(track);
  }

 private:
  TToolConsole &console_;
  bool quiet_;
  const char *doing_;
  DWORD total_;
  bool shown_ = false;
  int signal_ = 0;
};

enum class TPassOutcome { Done, Failed, Stopped };

// Reads every track of the disk into image. A failing track stops the pass
// (Failed, with the message) unless keepGoing: then it stays zero and its
// number goes to badTracks. Stopped: at stoppedAt, on Ctrl-C.
TPassOutcome ReadWholeDisk(TDisk &disk, bool keepGoing, TPass &pass, std::vector<BYTE> &image,
                           std::vector<DWORD> &badTracks, DWORD &stoppedAt, std::string &message) {
  image.assign(static_cast<size_t>(disk.TrackCount()) * disk.TrackSize(), 0);
  for (DWORD track = 0; track < disk.TrackCount(); ++track) {
    stoppedAt = track;
    if (!pass.Track(track)) return TPassOutcome::Stopped;
    BYTE *data = image.data() + static_cast<size_t>(track) * disk.TrackSize();
    std::string error;
    if (disk.ReadTrack(track, data, error)) continue;
    message = TrackName(disk.Geometry(), track) + " of " + disk.Name() + " can't be read: " + error;
    if (!keepGoing) return TPassOutcome::Failed;
    memset(data, 0, disk.TrackSize());
    badTracks.push_back(track);
  }
  return TPassOutcome::Done;
}

// Compares the first count tracks of the disk with image; every track that
// differs or can't be read goes to differences.
TPassOutcome CompareDisk(TDisk &disk, const std::vector<BYTE> &image, DWORD count, TPass &pass,
                         std::vector<std::string> &differences, DWORD &stoppedAt) {
  std::vector<BYTE> track(disk.TrackSize());
  for (DWORD number = 0; number < count; ++number) {
    stoppedAt = number;
    if (!pass.Track(number)) return TPassOutcome::Stopped;
    std::string error;
    if (!disk.ReadTrack(number, track.data(), error))
      differences.push_back(TrackName(disk.Geometry(), number) + " can't be read: " + error);
    else if (memcmp(track.data(), image.data() + static_cast<size_t>(number) * track.size(),
                    track.size()) != 0)
      differences.push_back(TrackName(disk.Geometry(), number) + " differs");
  }
  return TPassOutcome::Done;
}

// The image that write and verify put on a disk: a program's, unpacked, or
// a raw image file's bytes. False with the message and the exit code.
bool LoadInput(const std::string &path, const TCommandLine &line, std::vector<BYTE> &image,
               std::string &message, int &exitCode) {
  std::string password;
  bool given = false;
  exitCode = kExitUsage;
  if (!PasswordOption(line, password, given, message)) return false;
  if (password.size() > kLargestPassword) {
    message = "the program takes at most 254 password characters";
    return false;
  }
  if (GetPackageOffsetOfFile(path.c_str()) != kNoPackageOffset) {
    exitCode = kExitFailure;
    return UnpackProgram(path, password, image, message);
  }
  if (GetLastError() != kErrorInvalidImageFile) {
    message = "can't read " + path + ": " + FailureText(GetLastError());
    return false;
  }
  if (given) {
    message = path + " is a raw image, not a program: it takes no password";
    return false;
  }
  uint64_t size = 0;
  TReadResult read = ReadWholeFile(path, kLargestRawImage, image, size);
  if (read != TReadResult::Read) {
    message = "can't read " + path + ": " +
              (read == TReadResult::TooLarge ? "no floppy holds " + Number(size) + " bytes"
                                             : FailureText(GetLastError()));
    return false;
  }
  return true;
}

// Whether the image fits the disk in whole tracks; the message says why not.
bool ImageFits(const TDisk &disk, const std::string &path, size_t size, std::string &message) {
  if (size == 0 || static_cast<int64_t>(size) > disk.Capacity())
    message = "the image of " + path + " has " + Number(size) + " bytes; the disk in " +
              disk.Name() + " holds " + Number(disk.Capacity());
  else if (size % disk.TrackSize() != 0)
    message = "the image of " + path + " (" + Number(size) +
              " bytes) does not end on a whole track of " + Number(disk.TrackSize()) + " bytes";
  else
    return true;
  return false;
}

std::string Interrupted(int signal, const char *doing, DWORD track, DWORD total,
                        const std::string &after) {
  return "stopped by " + SignalName(signal) + " while " + doing + " track " + Number(track + 1) +
         " of " + Number(total) + "; " + after;
}

int Fail(TToolOutput &output, const char *verb, const std::string &message, int code) {
  output.err += std::string("diskarno ") + verb + ": " + message + "\n";
  return code;
}

// For write and verify: the image of FILE (line's first word) and the disk
// in DRIVE (its second), which must hold the image in whole tracks. False
// with the message printed and the exit code.
bool OpenWithImage(const char *verb, TDiskUse use, const TCommandLine &line, TToolOutput &output,
                   std::vector<BYTE> &image, TOpenResult &opened, int &exitCode) {
  const std::string &path = line.positional[0];
  std::string message;
  if (!LoadInput(path, line, image, message, exitCode)) {
    Fail(output, verb, message, exitCode);
    return false;
  }
  opened = OpenDisk(line.positional[1], use, line.Has("--force"));
  if (!opened.disk) {
    exitCode = Fail(output, verb, opened.message, opened.exitCode);
    return false;
  }
  if (ImageFits(*opened.disk, path, image.size(), message)) return true;
  if (use == TDiskUse::Write) message += "; nothing written";
  exitCode = Fail(output, verb, message, kExitUsage);
  return false;
}

// Opens drive and reads it whole (ReadWholeDisk). False with the message
// printed for verb and the exit code; unwritten says what a stopped or
// failed read leaves undone.
bool ReadDrive(const char *verb, const std::string &drive, const TCommandLine &line,
               const std::string &unwritten, TToolOutput &output, std::vector<BYTE> &image,
               std::vector<DWORD> &badTracks, TDiskGeometry &geometry, int &exitCode) {
  TOpenResult opened = OpenDisk(drive, TDiskUse::Read, line.Has("--force"));
  if (!opened.disk) {
    exitCode = Fail(output, verb, opened.message, opened.exitCode);
    return false;
  }
  TDisk &disk = *opened.disk;
  geometry = disk.Geometry();
  DWORD stoppedAt = 0;
  std::string message;
  TPassOutcome outcome;
  int signal = 0;
  {
    TPass pass(output, line.Has("--quiet"), "Reading", disk.TrackCount());
    outcome =
        ReadWholeDisk(disk, line.Has("--keep-going"), pass, image, badTracks, stoppedAt, message);
    signal = pass.Signal();
  }
  if (outcome == TPassOutcome::Stopped)
    exitCode =
        Fail(output, verb, Interrupted(signal, "reading", stoppedAt, disk.TrackCount(), unwritten),
             InterruptedExitCode(signal));
  else if (outcome == TPassOutcome::Failed)
    exitCode = Fail(output, verb, message + "; " + unwritten, kExitFailure);
  return outcome == TPassOutcome::Done;
}

// Reads the first count tracks back and compares them with image, printing
// every track that differs; differ ends the closing count line. False with
// the exit code when stopped or when any track differs.
bool VerifyDisk(const char *verb, TDisk &disk, const std::vector<BYTE> &image, DWORD count,
                bool quiet, const std::string &whenStopped, const std::string &differ,
                TToolOutput &output, int &exitCode) {
  std::vector<std::string> differences;
  DWORD stoppedAt = 0;
  TPassOutcome compared;
  int signal = 0;
  {
    TPass pass(output, quiet, "Verifying", count);
    compared = CompareDisk(disk, image, count, pass, differences, stoppedAt);
    signal = pass.Signal();
  }
  if (compared == TPassOutcome::Stopped) {
    exitCode = Fail(output, verb, Interrupted(signal, "verifying", stoppedAt, count, whenStopped),
                    InterruptedExitCode(signal));
    return false;
  }
  for (const std::string &difference : differences)
    output.err += std::string("diskarno ") + verb + ": " + difference + "\n";
  if (differences.empty()) return true;
  exitCode =
      Fail(output, verb, Number(differences.size()) + " of " + Number(count) + " tracks " + differ,
           kExitFailure);
  return false;
}

}  // namespace

int RunRead(const std::vector<std::string> &arguments, TToolOutput &output) {
  TCommandLine line;
  int code = kExitSuccess;
  if (!StartVerb("read", kReadHelp, arguments, {"-o"}, {"--keep-going", "--quiet", "--force"}, line,
                 output, code))
    return code;
  if (line.positional.size() != 1 || !line.Has("-o"))
    return Fail(output, "read", "give one DRIVE and -o IMAGE (see diskarno read --help)",
                kExitUsage);
  const std::string drive = line.positional[0];
  const std::string outPath = line.Value("-o");
  if (SameFile(drive, outPath))
    return Fail(output, "read", "IMAGE would overwrite the disk " + drive, kExitUsage);
  std::vector<BYTE> image;
  std::vector<DWORD> badTracks;
  TDiskGeometry geometry;
  if (!ReadDrive("read", drive, line, outPath + " not written", output, image, badTracks, geometry,
                 code))
    return code;
  if (!WriteFileWhole(outPath, {{image.data(), image.size()}}))
    return Fail(output, "read", "can't write " + outPath + ": " + FailureText(GetLastError()),
                kExitFailure);
  if (!line.Has("--quiet"))
    output.out += "read " + Number(GeometryTrackCount(geometry)) + " tracks (" +
                  Number(image.size()) + " bytes) of " + drive + " into " + outPath + "\n";
  if (badTracks.empty()) return kExitSuccess;
  for (DWORD track : badTracks)
    output.err += "diskarno read: " + TrackName(geometry, track) +
                  " could not be read; it is zeros in " + outPath + "\n";
  output.err += "diskarno read: " + Number(badTracks.size()) + " of " +
                Number(GeometryTrackCount(geometry)) + " tracks could not be read\n";
  return kExitFailure;
}

bool ReadDiskForPack(const std::string &drive, const TCommandLine &line, TToolOutput &output,
                     std::vector<BYTE> &image, int &exitCode) {
  std::vector<DWORD> badTracks;  // stays empty: pack never goes past a bad track
  TDiskGeometry geometry;
  return ReadDrive("pack", drive, line, "nothing written", output, image, badTracks, geometry,
                   exitCode);
}

int RunWrite(const std::vector<std::string> &arguments, TToolOutput &output) {
  TCommandLine line;
  int code = kExitSuccess;
  if (!StartVerb("write", kWriteHelp, arguments, {"--password", "--password-file"},
                 {"--verify", "--yes", "--quiet", "--force"}, line, output, code))
    return code;
  if (line.positional.size() != 2)
    return Fail(output, "write", "give FILE and DRIVE (see diskarno write --help)", kExitUsage);
  const std::string path = line.positional[0];
  const std::string drive = line.positional[1];
  const bool quiet = line.Has("--quiet");
  for (const std::string &input : {path, line.Value("--password-file")})
    if (!input.empty() && SameFile(input, drive))
      return Fail(output, "write", "DRIVE is the input " + input, kExitUsage);
  std::vector<BYTE> image;
  TOpenResult opened;
  if (!OpenWithImage("write", TDiskUse::Write, line, output, image, opened, code)) return code;
  TDisk &disk = *opened.disk;
  std::string message;
  const TContent content = disk.Content();
  if (content.kind == TContentKind::Holds && !line.Has("--yes")) {
    std::string question =
        "The disk in " + disk.Name() + " holds " + content.what + ". Writing destroys it.";
    if (!output.Console().Confirm(question))
      return Fail(output, "write",
                  "the disk in " + disk.Name() + " holds " + content.what +
                      "; nothing written (--yes overwrites it)",
                  kExitUsage);
  }

  const DWORD count = static_cast<DWORD>(image.size() / disk.TrackSize());
  DWORD failedTrack = kNoTrack;
  TWriteOutcome written;
  int signal = 0;
  {
    TPass pass(output, quiet, "Writing", count);
    written = disk.WriteTracks(image.data(), count, TPass::Hook, &pass, failedTrack, message);
    signal = pass.Signal();
  }
  if (written == TWriteOutcome::Done && !disk.Flush(message)) written = TWriteOutcome::Failed;
  if (written == TWriteOutcome::Stopped)
    return Fail(output, "write",
                Interrupted(signal, "writing", failedTrack, count,
                            "the disk in " + disk.Name() + " holds the first " +
                                Number(failedTrack) + " tracks of the image"),
                InterruptedExitCode(signal));
  if (written == TWriteOutcome::Failed)
    return Fail(
        output, "write",
        (failedTrack == kNoTrack ? "can't write " + disk.Name()
                                 : "can't write " + TrackName(disk.Geometry(), failedTrack)) +
            ": " + message,
        kExitFailure);

  if (line.Has("--verify") &&
      !VerifyDisk("write", disk, image, count, quiet, "the disk was written whole",
                  "differ from the image after writing", output, code))
    return code;
  if (!quiet)
    output.out += "wrote " + Number(count) + " tracks (" + Number(image.size()) + " bytes) of " +
                  path + " to " + disk.Name() + (line.Has("--verify") ? ", verified" : "") + "\n";
  return kExitSuccess;
}

int RunVerify(const std::vector<std::string> &arguments, TToolOutput &output) {
  TCommandLine line;
  int code = kExitSuccess;
  if (!StartVerb("verify", kVerifyHelp, arguments, {"--password", "--password-file"},
                 {"--quiet", "--force"}, line, output, code))
    return code;
  if (line.positional.size() != 2)
    return Fail(output, "verify", "give FILE and DRIVE (see diskarno verify --help)", kExitUsage);
  const std::string path = line.positional[0];
  std::vector<BYTE> image;
  TOpenResult opened;
  if (!OpenWithImage("verify", TDiskUse::Read, line, output, image, opened, code)) return code;
  TDisk &disk = *opened.disk;
  const DWORD count = static_cast<DWORD>(image.size() / disk.TrackSize());
  if (!VerifyDisk("verify", disk, image, count, line.Has("--quiet"), "nothing compared", "differ",
                  output, code))
    return code;
  if (!line.Has("--quiet"))
    output.out += disk.Name() + " matches " + path + " (" + Number(count) + " tracks)\n";
  return kExitSuccess;
}
