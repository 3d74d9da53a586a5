// Text in and out of the tool: a package's description and password, typed
// as UTF-8 on the command line and stored in the Windows ANSI code page the
// program's dialogs use (Windows-1252); a description shown back as UTF-8;
// names and descriptions made safe to print on a terminal and in JSON.
#ifndef DISKARNO_TOOLS_DISKARNO_DESCRIPTION_TEXT_H
#define DISKARNO_TOOLS_DISKARNO_DESCRIPTION_TEXT_H

#include <cstddef>
#include <string>

// Converts typed (UTF-8) into Windows-1252 in stored. False with a message
// for text that is no UTF-8, a control character, a character the code page
// lacks, or more than limit characters.
bool DescriptionToCodePage(const std::string &typed, size_t limit, std::string &stored,
                           std::string &message);

// Converts a typed (UTF-8) password into the Windows-1252 bytes the
// program's password box gives for the same characters, so that a password
// typed on Linux opens on Windows and back. False with a message, as for a
// description but without showing the password's characters.
bool PasswordToCodePage(const std::string &typed, std::string &stored, std::string &message);

// The Windows-1252 bytes of a stored description as UTF-8; a byte the code
// page leaves undefined becomes U+FFFD.
std::string DescriptionToUtf8(const std::string &stored);

// Text as the tool prints it: each control character (C0, DEL, C1) and
// each byte from 0x80 to 0x9F that is no UTF-8 becomes \xHH, one per byte,
// so that a name or a description can't move the cursor, retitle or clear
// the terminal. Everything else passes as it is.
std::string Printable(const std::string &text);

// A JSON string, quotes included, that is valid UTF-8 whatever text holds:
// quotes and backslashes escaped, control characters (C0, DEL, C1) as
// \u00XX, and each byte that is no UTF-8 as \uDCXX (XX its value, as
// Python's "surrogateescape" reads it back into the same bytes).
std::string JsonString(const std::string &text);

#endif
