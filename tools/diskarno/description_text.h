// A package's description: typed as UTF-8 on the command line, stored in the
// Windows ANSI code page the program's dialogs show (Windows-1252), and shown
// back as UTF-8.
#ifndef DISKARNO_TOOLS_DISKARNO_DESCRIPTION_TEXT_H
#define DISKARNO_TOOLS_DISKARNO_DESCRIPTION_TEXT_H

#include <cstddef>
#include <string>

// Converts typed (UTF-8) into Windows-1252 in stored. False with a message
// for text that is no UTF-8, a control character, a character the code page
// lacks, or more than limit characters.
bool DescriptionToCodePage(const std::string &typed, size_t limit, std::string &stored,
                           std::string &message);

// The Windows-1252 bytes of a stored description as UTF-8; a byte the code
// page leaves undefined becomes U+FFFD.
std::string DescriptionToUtf8(const std::string &stored);

#endif
