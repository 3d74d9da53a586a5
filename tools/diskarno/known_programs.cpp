// The programs this diskarno knows by the SHA-256 of their code part.
#include "known_programs.h"

#include "default_stub.h"
#include "diskarno_version.h"
#include "files.h"
#include "own_file.h"
#include "package_format.h"
#include "sha256.h"

namespace {

// One row per release before this build, oldest first, added when the
// release is made: scripts/release.sh prints the row of the program it
// packaged.
const TKnownRelease kEarlierReleases[] = {
    {nullptr, nullptr},  // the end of the table
};

const char kUnknownText[] = "not one this diskarno knows; it may have been changed";

// The end of the code part from the headers at the start of a program of
// size bytes; 0 when they hold no section table or its sections end past
// the program.
size_t CodePartEnd(const BYTE *headers, size_t headerSize, size_t size) {
  DWORD end = GetPackageOffsetFromHeaders(
      headers, headerSize < kPeHeaderWindow ? headerSize : kPeHeaderWindow);
  return end != kNoPackageOffset && end <= size ? end : 0;
}

TKnownProgram Unreadable(DWORD code) {
  TKnownProgram program;
  program.text = std::string(kUnknownText) + " (it can't be read: " + FailureText(code) + ")";
  return program;
}

TKnownProgram Recognize(const std::string &sha256, const TProgramTable &known) {
  TKnownProgram program;
  program.sha256 = sha256;
  program.text = kUnknownText;
  const bool packed = !sha256.empty() && sha256 == known.packedSha256;
  for (const TKnownRelease &release : known.releases)
    if (!sha256.empty() && sha256 == release.sha256) program.release = release.version;
  if (packed && program.release.empty()) program.release = known.packedVersion;
  if (!program.release.empty())
    program.text = "this project's release " + program.release +
                   (packed ? ", the program this diskarno packs" : "");
  return program;
}

}  // namespace

TProgramTable ThisToolsPrograms() {
  // Made for each question, not kept in a static: a guarded static would
  // link the C++ runtime's exception machinery into the Windows tool.
  TProgramTable known;
  for (const TKnownRelease *row = kEarlierReleases; row->version; ++row)
    known.releases.push_back(*row);
  const BYTE *stub = nullptr;
  size_t size = 0;
  const size_t end = DefaultStub(stub, size) ? CodePartEnd(stub, size, size) : 0;
  if (end) {
    known.packedSha256 = Sha256Hex(stub, end);
    known.packedVersion = DK_VERSION;
  }
  return known;
}

TKnownProgram RecognizeProgram(const BYTE *bytes, size_t size, const TProgramTable &known) {
  const size_t end = CodePartEnd(bytes, size, size);
  return Recognize(end ? Sha256Hex(bytes, end) : "", known);
}

TKnownProgram RecognizeProgramOf(const std::string &path, DWORD programSize) {
  TPackageFile file;
  // Pieces of 64 KiB: the part before a package may be up to 2 GiB long.
  std::vector<BYTE> piece(65536);
  DWORD read = 0;
  if (!file.Open(path.c_str()) ||
      !file.ReadStart(piece.data(), programSize < kPeHeaderWindow ? programSize : kPeHeaderWindow,
                      read))
    return Unreadable(GetLastError());
  const size_t end = CodePartEnd(piece.data(), read, programSize);
  TSha256 digest;
  for (size_t at = 0; at < end;) {
    const DWORD count = static_cast<DWORD>(end - at < piece.size() ? end - at : piece.size());
    if (!file.ReadAt(static_cast<DWORD>(at), piece.data(), count))
      return Unreadable(GetLastError());
    digest.Add(piece.data(), count);
    at += count;
  }
  return Recognize(end ? digest.HexDigest() : "", ThisToolsPrograms());
}
