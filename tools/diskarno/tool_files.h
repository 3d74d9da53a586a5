// Whole-file reads and all-or-nothing writes for the tool, over Win32.
#ifndef DISKARNO_TOOLS_DISKARNO_TOOL_FILES_H
#define DISKARNO_TOOLS_DISKARNO_TOOL_FILES_H

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

enum class TReadResult { Read, Failed, TooLarge };

// Reads a whole file of at most limit bytes. Failed leaves the system's code
// in the last error; TooLarge reads nothing and gives the size.
TReadResult ReadWholeFile(const std::string &path, uint64_t limit, std::vector<BYTE> &bytes,
                          uint64_t &size);

struct TPiece {
  const BYTE *data;
  size_t size;
};

// Writes the pieces one after another into a temporary file beside path and
// renames it over path, so that path holds all of it or stays as it was.
// False with the last error set, and no temporary file left.
bool WriteFileWhole(const std::string &path, const std::vector<TPiece> &pieces);

// True when both paths name the same existing file.
bool SameFile(const std::string &first, const std::string &second);

// Plain decimal digits, with a "-" for a negative value.
std::string Number(long long value);

// The text for a failure in the system's own words: on Linux the C
// library's ("No such file or directory"), on Windows the system's; a code
// of the program's own gets ErrorText, and a code nobody knows its number.
std::string FailureText(DWORD code);

#endif
