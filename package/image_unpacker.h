// The unpacker: turns the package appended to the program into the raw disk
// image in memory, with the zlib wrapper it uses.
#ifndef DISKARNO_PACKAGE_IMAGE_UNPACKER_H
#define DISKARNO_PACKAGE_IMAGE_UNPACKER_H

#include <windows.h>

#include <cstring>
#include <string>

#include "heap.h"
#include "package_format.h"

constexpr DWORD kErrorZLibCategory = 0xF67B0600;

// Receives the stage texts "Loading..." and "Unpacking...".
typedef void (*TProgressProc)(ULONG_PTR context, const char *text);

// Inflates a zlib stream into a new heap block of exactly outputLength bytes
// (release it with HeapRelease). estimate sizes the first buffer (0 = none).
// On failure output is null, nothing stays allocated and the last error
// holds a ZLib code.
bool InflateBuffer(const BYTE *input, LONG inputLength, LONG estimate, BYTE *&output,
                   LONG &outputLength);

// InflateBuffer that never makes more than limit bytes of output: a stream
// that would give more fails with tooLarge set and the last error as it was.
bool InflateBounded(const BYTE *input, LONG inputLength, LONG estimate, LONG limit, BYTE *&output,
                    LONG &outputLength, bool &tooLarge);

// Inflates the zlib stream of inputLength bytes that lies in block at
// inputAt into the same block from its start, never making more than limit
// bytes (then tooLarge is set, the last error as it was). The output never
// overwrites input not yet read: when it would, the rest of the input moves
// to a block of its own. outputLength receives the bytes made; the block
// keeps its size.
bool InflateInPlace(THeapBlock &block, size_t inputAt, LONG inputLength, LONG limit,
                    LONG &outputLength, bool &tooLarge);

// A password as the unpacker takes it: its characters and their count, not
// copied. The program passes its dialog's buffer; the tool and the tests
// pass strings.
struct TPasswordText {
  const char *Data;
  size_t Size;
  TPasswordText(const char *data, size_t size) : Data(data), Size(size) {}
  TPasswordText(const char *text) : Data(text), Size(strlen(text)) {}
  TPasswordText(const std::string &text) : Data(text.data()), Size(text.size()) {}
};

// Deciphers a protected package in place: bytes 73 to the end. Fails with
// 0xFF070003, nothing deciphered, when the password can't key the cipher.
bool DecipherPackage(BYTE *package, DWORD size, TPasswordText password);
// PackageCrc of the password's characters.
DWORD PasswordCheckOf(TPasswordText password);
// Whether the password matches a package's password check.
inline bool PasswordMatches(DWORD passwordCheck, TPasswordText password) {
  return PasswordCheckOf(password) == passwordCheck;
}
// Whether the password opens the package of this header: any password opens
// one that needs none (PasswordNeeded).
inline bool PasswordOpens(const TPackageHeader &header, TPasswordText password) {
  return !PasswordNeeded(header) || PasswordMatches(header.PasswordCheck, password);
}

// Unpacks a package that OpenPackage or OpenOwnPackage opened (whatever it
// returned): tests its header and the password before anything is
// allocated, then reads it whole, deciphers, checks and inflates it.
// imageSize receives the header's ImageSize (or -1). On success image is a
// new heap block of imageSize bytes owned by the caller (release it with
// HeapRelease). On failure no block made here stays allocated, and the last
// error says why: 0xFF070003 for a payload that does not match its
// checksum, 0xFF070005 for one that inflates to another size than the
// header's, a ZLib code for one that does not inflate.
bool UnpackPackage(TPackage &package, TPasswordText password, BYTE *&image, LONG &imageSize,
                   TProgressProc progress, ULONG_PTR context);
// UnpackPackage for the running program's package.
bool LoadImage(TPasswordText password, BYTE *&image, LONG &imageSize, TProgressProc progress,
               ULONG_PTR context);
// The same for the package appended to any file.
bool LoadImageOfFile(const char *path, TPasswordText password, BYTE *&image, LONG &imageSize,
                     TProgressProc progress, ULONG_PTR context);

enum class TUnpackResult { Unpacked, Unusable, WrongPassword, Failed };
// What the program does with an opened package from start-up to the
// unpacked image: Unusable when start-up refuses it (PackageUsable),
// WrongPassword when "Write disk" refuses the typed password (tested once,
// only when the package needs one), Failed with the last error when
// unpacking fails. Unpacked: image as from UnpackPackage.
TUnpackResult UnpackProgram(TPackage &package, TPasswordText typedPassword, BYTE *&image,
                            LONG &imageSize);

// Register the "ZLib" texts and the image-file texts.
void InflateStartup();
void ImageFileStartup();

#endif
