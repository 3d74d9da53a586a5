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
            "fill a track that can't be read with zeros, go on, and list\n"
            "every such track at the end (exit code 1)",
            &TReadOptions::keepGoing},
           QuietRow(&TReadOptions::quiet), ForceRow(&TReadOptions::force)}};
}

TStatus Read(const TReadOptions &options, TToolContext &context) {
  const std::string &drive = options.operands[0];
  const std::string &out = options.out;
  if (SameFile(drive, out)) return TStatus::Refused("IMAGE would overwrite the disk " + drive);
  TStatus status = CheckOutputTarget(out);
  if (!status.Ok()) return status;
  TReadRequest request;
  request.drive = drive;
  request.force = options.force;
  request.quiet = options.quiet;
  request.keepGoing = options.keepGoing;
  request.unwritten = out + " not written";
  std::vector<BYTE> image;
  std::vector<DWORD> badTracks;
  TDiskGeometry geometry;
  status = ReadDrive(request, context, image, badTracks, geometry);
  if (!status.Ok()) return status;
  status = SaveOutput(out, {{image.data(), image.size()}}, context.console);
  if (!status.Ok()) return status;
  const DWORD tracks = GeometryTrackCount(geometry);
  if (!options.quiet)
    context.Tell("read " + Number(tracks) + " tracks (" + Number(image.size()) + " bytes) of " +
                 drive + " into " + out);
  for (DWORD track : badTracks)
    context.Say(TrackName(geometry, track) + " could not be read; it is zeros in " + out);
  if (badTracks.empty()) return TStatus::Done();
  return TStatus::Failed(Number(badTracks.size()) + " of " + Number(tracks) +
                         " tracks could not be read");
}

}  // namespace

int ReadVerb(const std::vector<std::string> &arguments, TToolContext &context) {
  // Made for the run: the tables own no memory past it.
  return RunVerb(ReadSpec(), Read, arguments, context);
}
