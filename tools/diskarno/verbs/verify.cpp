// diskarno verify: a disk compared with the image of a program or a raw
// image, track by track.
#include "files.h"
#include "transfer.h"
#include "verb.h"
#include "verbs/verbs.h"

namespace {

struct TVerifyOptions : TPasswordOptions {
  bool quiet = false;
  bool force = false;
};

TVerbSpec<TVerifyOptions> VerifySpec() {
  TVerbSpec<TVerifyOptions> spec = {
      "verify",
      "FILE DRIVE",
      2,
      "Compares the disk in DRIVE with the image of FILE (a program or a raw\n"
      "image) track by track and lists every track that differs (exit code 1).",
      {}};
  AddPasswordRows(spec.options);
  spec.options.push_back(QuietRow(&TVerifyOptions::quiet));
  spec.options.push_back(ForceRow(&TVerifyOptions::force));
  return spec;
}

TStatus Verify(const TVerifyOptions &options, TToolContext &context) {
  const std::string &path = options.operands[0];
  std::vector<BYTE> image;
  TStatus status = ImageOfFile(path, options.Source(), context.console, image);
  std::unique_ptr<TDisk> opened;
  if (status.Ok()) status = OpenDisk(options.operands[1], TDiskUse::Verify, options.force, opened);
  if (!status.Ok()) return status;
  TDisk &disk = *opened;
  status = ImageFits(disk, path, image.size());
  if (!status.Ok()) return status;
  const DWORD count = static_cast<DWORD>(image.size() / disk.TrackSize());
  status = VerifyTracks(disk, image, count, options.quiet, "nothing compared", "differ", context);
  if (!status.Ok()) return status;
  if (!options.quiet)
    context.Tell(disk.Name() + " matches " + path + " (" + Number(count) + " tracks)");
  return TStatus::Done();
}

}  // namespace

int VerifyVerb(const std::vector<std::string> &arguments, TToolContext &context) {
  // Made for the run: the tables own no memory past it.
  return RunVerb(VerifySpec(), Verify, arguments, context);
}
