// Module utils: string arrays, the message formatter, and the two drive helpers
// of the main dialog.
#ifndef DISKARNO_COMMON_UTILS_H
#define DISKARNO_COMMON_UTILS_H

#include <windows.h>

#include <cstdint>
#include <string>

// The size of a message made by FormatMsg: the longest, a system error text
// inside a track failure, stays well within it.
constexpr size_t kMessageSize = 512;

// Fills each "&" of the template with the next argument, into text of the
// given capacity (terminated; what does not fit is cut). "&&" is a literal
// "&", and the "|" of "&|&" vanishes so that two placeholders can touch.
// Surplus placeholders vanish; surplus arguments are ignored.
void FormatMsg(char *text, size_t capacity, const char *pattern, const char *const *arguments,
               size_t count);

// The text in a fixed-size character buffer: up to its first zero byte, or
// the whole buffer when it holds none.
std::string TextOfBuffer(const char *buffer, size_t capacity);

// A number as the formatter's arguments want it: plain signed decimal, into
// text of kDecimalSize bytes.
constexpr size_t kDecimalSize = 21;
void DecimalText(int64_t value, char *text);

// Every removable drive, in letter order, by its shell display name and its
// upper-case letter, each handed to found. Drives that fail a test are left
// out.
typedef void (*TDriveFound)(void *context, const char *name, char letter);
void ListRemovableDrives(TDriveFound found, void *context);

// True when the search pattern (such as "A:\*.*") matches a file, or a
// folder other than "." and "..". Shows no system error box; sets no error.
bool DiskHasFiles(const char *pattern);

#endif
