// The inputs the verbs share: input files, passwords (an option, a file, or
// typed at a prompt), and the image of a program or of a raw image file, all
// with the tool's own texts and exit codes.
#ifndef DISKARNO_TOOLS_DISKARNO_INPUTS_H
#define DISKARNO_TOOLS_DISKARNO_INPUTS_H

#include <windows.h>

#include <string>
#include <vector>

#include "console.h"
#include "status.h"

struct TPackage;
struct TPackageHeader;

// Refused unless path names an existing regular file: the message names the
// file and says why ("No such file or directory", "is a FIFO"), so that a
// FIFO or socket is never opened and waited on. The platform halves:
// linux/files.cpp, windows/files.cpp.
TStatus CheckInputFile(const std::string &path);

// Reads a password file whole, once: a regular file, or on Linux also a
// FIFO or pipe (bash's <(...)), which is small and read once where an image
// is not. Refused as CheckInputFile and ReadWholeFile refuse; size receives
// the bytes there were, up to limit + 1.
TStatus ReadPasswordFile(const std::string &path, uint64_t limit, std::vector<BYTE> &bytes,
                         uint64_t &size);

// The password the options give: --password, or the contents of
// --password-file without one final line break; empty when neither was
// there. Refused when both are, when the file can't be read, or when a
// given password is empty or longer than the program takes.
struct TPasswordSource {
  const std::string &password;
  const std::string &file;
  bool passwordGiven;
  bool fileGiven;
};
TStatus PasswordOf(const TPasswordSource &source, std::string &password);

// Said after a fault found in a payload that a password deciphered: another
// password with the same CRC passes the header's check but not the payload.
constexpr const char *kPasswordPassingCheck =
    " (or the password is not the one it was packed with, though it passes the header's check)";

// Why the image size in a package's header can't be true, or "" when it
// can: more than its medium holds (MediumCapacity) or than a payload of
// payloadLength bytes inflates to (LargestInflation). The verbs test it
// before they take any memory for the image.
std::string ImageSizeFault(const TPackageHeader &header, uint64_t payloadLength);

// Unpacks the image of the program at path as the program does (its
// acceptance rule and password check), after ImageSizeFault. A package
// that needs a password
// when none was given (password empty) asks for one on the console; where
// nobody can type it, it is refused. Failed with the tool's text for a file
// that holds no package, a wrong password or a corrupt package.
TStatus UnpackProgramImage(const std::string &path, TPackage &package, std::string password,
                           TToolConsole &console, std::vector<BYTE> &image);

// The image of FILE that write and verify put on a disk: a program's,
// unpacked with the password the options give, or the bytes of a raw image
// file (which takes no password).
TStatus ImageOfFile(const std::string &path, const TPasswordSource &source, TToolConsole &console,
                    std::vector<BYTE> &image);

#endif
