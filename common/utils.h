// Module utils: string arrays, the message formatter, and the two drive helpers
// of the main dialog.
#ifndef DISKARNO_COMMON_UTILS_H
#define DISKARNO_COMMON_UTILS_H

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

typedef std::vector<std::string> TStringArray;

// Fills each "&" of the template with the next argument. "&&" is a literal
// "&", and the "|" of "&|&" vanishes so that two placeholders can touch.
// Surplus placeholders vanish; surplus arguments are ignored.
std::string FormatMsg(const std::string &pattern, const TStringArray &arguments);

// The text in a fixed-size character buffer: up to its first zero byte, or
// the whole buffer when it holds none.
std::string TextOfBuffer(const char *buffer, size_t capacity);

// A number as the formatter's arguments want it: plain signed decimal.
std::string DecimalText(int64_t value);

// Every removable drive, in letter order, as its shell display name followed
// by the upper-case drive letter. Drives that fail a test are left out.
void ListRemovableDrives(TStringArray &drives);

// True when the search pattern (such as "A:\*.*") matches a file, or a
// folder other than "." and "..". Shows no system error box; sets no error.
bool DiskHasFiles(const std::string &pattern);

#endif
