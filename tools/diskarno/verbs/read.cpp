// diskarno read: a whole disk track by track into an image file.
#include "files.h"
#include "outputs.h"
#include "transfer.h"
#include "verb.h"
#include "verbs/verbs.h"

namespace {

struct TReadOptions : TVerbOptions {
  std::string out;
  bool keepGoing = false;
  bool quiet = false;
  bool force = false;
};

TVerbSpec<TReadOptions> ReadSpec() {
  return {"read",
          "DRIVE -o IMAGE",
          1,
          "Reads the whole disk in DRIVE track by track into IMAGE. DRIVE is A: or B:\n"
          "on Windows; on Linux a block device (/dev/fd0, a USB floppy's /dev/sdX) or an\n"
          "image file.",
          {OutRow("IMAGE", &TReadOptions::out),
           {"--keep-going",
            "fill a sector that can't be read with zeros, go on, and\n"
            "list every such sector at the end (exit code 1)",
            &TReadOptions::keepGoing},
           QuietRow(&TReadOptions::quiet), ForceRow(&TReadOptions::force)}};
}

TStatus Read(const TReadOptions &options, TToolContext &context) {
  const std::string &drive = options.operands[0];
  const std::string &out = options.out;
  if (SameFile(drive, out)) return TStatus::Refused("IMAGE would overwrite the disk " + drive);
  TStatus status = CheckOutputTarget(out, options.force);
  if (!status.Ok()) return status;
  TReadRequest request;
  request.drive = drive;
  request.force = options.force;
  request.quiet = options.quiet;
  request.keepGoing = options.keepGoing;
  request.unwritten = out + " not written";
  std::vector<BYTE> image;
  std::vector<TBadSectors> bad;
  TDiskGeometry geometry;
  status = ReadDrive(request, context, image, bad, geometry);
  if (!status.Ok()) return status;
  status = SaveOutput(out, {{image.data(), image.size()}}, context.console, options.force);
  if (!status.Ok()) return status;
  const DWORD tracks = GeometryTrackCount(geometry);
  if (!options.quiet)
    context.Tell("read " + Number(tracks) + " tracks (" + Number(image.size()) + " bytes) of " +
                 drive + " into " + out);
  DWORD sectors = 0;
  DWORD badTracks = 0;
  for (size_t n = 0; n < bad.size(); ++n) {
    const bool one = bad[n].count == 1 || bad[n].count == geometry.SectorsPerTrack;
    context.Say(BadSectorsName(geometry, bad[n]) + " could not be read (" + bad[n].error + "); " +
                (one ? "it is" : "they are") + " zeros in " + out);
    sectors += bad[n].count;
    badTracks += n == 0 || bad[n].track != bad[n - 1].track;
  }
  if (bad.empty()) return TStatus::Done();
  return TStatus::Failed(Number(sectors) + (sectors == 1 ? " sector" : " sectors") + " in " +
                         Number(badTracks) + " of " + Number(tracks) +
                         " tracks could not be read");
}

}  // namespace

int ReadVerb(const std::vector<std::string> &arguments, TToolContext &context) {
  // Made for the run: the tables own no memory past it.
  return RunVerb(ReadSpec(), Read, arguments, context);
}
