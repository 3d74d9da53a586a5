// Files for the tool: whole-file reads, whether two paths name one file,
// numbers and the system's failure texts.
#ifndef DISKARNO_TOOLS_DISKARNO_FILES_H
#define DISKARNO_TOOLS_DISKARNO_FILES_H

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "status.h"

// Reads a whole file of at most limit bytes; size receives its size. Refused
// with "can't read PATH: TEXT" when it can't be read, and with "PATH has N
// bytes" when it has more than limit (then nothing is read).
TStatus ReadWholeFile(const std::string &path, uint64_t limit, std::vector<BYTE> &bytes,
                      uint64_t &size);

// A piece of an output, written in order with the others.
struct TPiece {
  const BYTE *data;
  size_t size;
};

// Plain decimal digits, with a "-" for a negative value.
std::string Number(long long value);

// The platform halves (linux/files.cpp, windows/files.cpp):
// Whether the command line and the terminal give text as UTF-8 (Linux), or
// in the Windows ANSI code page the program's own dialogs read (Windows).
bool TypedTextIsUtf8();
// True when both paths name the same existing file (on Linux a loop device
// names its backing file).
bool SameFile(const std::string &first, const std::string &second);
// The text for a failure in the system's own words: on Linux the C
// library's ("No such file or directory"), on Windows the system's; a code
// of the program's own gets ErrorText, and a code nobody knows its number.
std::string FailureText(DWORD code);

#endif
