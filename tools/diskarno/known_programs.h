// Whether the program in front of a package is one this project built: the
// SHA-256 of its code part (the file up to the end of its last section's raw
// data) against the program this diskarno packs and the earlier releases'.
#ifndef DISKARNO_TOOLS_DISKARNO_KNOWN_PROGRAMS_H
#define DISKARNO_TOOLS_DISKARNO_KNOWN_PROGRAMS_H

#include <windows.h>

#include <cstddef>
#include <string>
#include <vector>

struct TKnownRelease {
  const char *version;  // "1.0.0"
  const char *sha256;   // of its 32-bit program's code part, lower-case hexadecimal
};

// The programs a diskarno knows.
struct TProgramTable {
  std::vector<TKnownRelease> releases;
  // The program this diskarno packs without --stub, and its version: this
  // build's; empty when the tool carries none.
  std::string packedSha256;
  std::string packedVersion;
};

// This diskarno's table: the releases before it (one row each, added when
// a release is made) and the program built into it.
TProgramTable ThisToolsPrograms();

struct TKnownProgram {
  std::string sha256;   // of the code part; empty when there is none to read
  std::string release;  // the version it is this project's release of; empty: unknown
  std::string text;     // what info says about it
};

// Recognises the program from a file's bytes before its package. The code
// part's end comes from the PE section table (bounds-checked: the bytes come
// from any file); without one inside the bytes the program is unknown and
// has no digest.
TKnownProgram RecognizeProgram(const BYTE *bytes, size_t size,
                               const TProgramTable &known = ThisToolsPrograms());

// The same for the first programSize bytes of the file at path, read in
// pieces. A read that fails gives an unknown program without a digest, the
// text saying why.
TKnownProgram RecognizeProgramOf(const std::string &path, DWORD programSize);

#endif
