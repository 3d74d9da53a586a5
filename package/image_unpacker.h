// The unpacker: turns the package appended to the program into the raw disk
// image in memory, with the zlib wrapper it uses.
#ifndef DISKARNO_PACKAGE_IMAGE_UNPACKER_H
#define DISKARNO_PACKAGE_IMAGE_UNPACKER_H

#include <windows.h>

#include <string>

constexpr DWORD kErrorZLibCategory = 0xF67B0600;

// Receives the stage texts "Loading..." and "Unpacking...".
typedef void (*TProgressProc)(ULONG_PTR context, const char *text);

// Inflates a zlib stream into a new heap block of exactly outputLength bytes
// (release it with HeapRelease). estimate sizes the first buffer (0 = none).
// On failure output is null, nothing stays allocated and the last error
// holds a ZLib code.
bool InflateBuffer(const BYTE *input, LONG inputLength, LONG estimate, BYTE *&output,
                   LONG &outputLength);

// Unpacks the running program's package. imageSize receives the header's
// ImageSize (or -1). On success image is a new heap block of imageSize bytes
// owned by the caller (release it with HeapRelease). On failure no block
// made here stays allocated, and the last error says why.
bool LoadImage(const std::string &password, BYTE *&image, LONG &imageSize,
               TProgressProc progress, ULONG_PTR context);
// The same for the package appended to any file.
bool LoadImageOfFile(const char *path, const std::string &password, BYTE *&image,
                     LONG &imageSize, TProgressProc progress, ULONG_PTR context);

// Register the "ZLib" texts and the image-file texts.
void InflateStartup();
void ImageFileStartup();

#endif
