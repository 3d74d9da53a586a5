// The program state: the process-wide values that start-up fills and the two
// dialogs share. Nothing passes between the dialogs in any other way.
#ifndef DISKARNO_APP_PROGRAM_STATE_H
#define DISKARNO_APP_PROGRAM_STATE_H

#include <windows.h>

#include <cstdint>
#include <string>

#include "media.h"

struct TProgramState {
  HINSTANCE Instance;
  bool Protected;
  std::string Description;  // the header's description and the medium's name
  DWORD PasswordCheck;
  DWORD PackageOffset;
  TMediaType MediaType;
  LONG ImageSize;
  char DriveLetter;
  BYTE *Image;  // owned by the main dialog from unpacking until writing ends
  int64_t Capacity;
  TDiskGeometry Geometry;
  bool Cancel;  // the user asked to stop writing
  bool Busy;    // the disk image writer is running
  // The writer was stopped at the drive-ready event after a message of its
  // own; the end of writing then shows no second, generic error.
  bool StopExplained;
};

extern TProgramState Program;

// The program's own module steps: start-up clears the state, shutdown
// releases the description and any image still held.
void ProgramStateStartup();
void ProgramStateShutdown();

// Releases the image, if any.
void ReleaseImage();

// A drive letter as the text that fills a message's placeholder.
struct TDriveText {
  explicit TDriveText(char letter) : Text{letter, 0} {}
  char Text[2];
};

#endif
