// FormatMessageA over the system message texts this program can meet, worded
// exactly as English Windows words them.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

struct SystemMessage {
  DWORD code;
  const char *text;
};

const SystemMessage kSystemMessages[] = {
    {0, "The operation completed successfully.\r\n"},
    {1, "Incorrect function.\r\n"},
    {2, "The system cannot find the file specified.\r\n"},
    {3, "The system cannot find the path specified.\r\n"},
    {5, "Access is denied.\r\n"},
    {6, "The handle is invalid.\r\n"},
    {8, "Not enough memory resources are available to process this command.\r\n"},
    {19, "The media is write protected.\r\n"},
    {20, "The system cannot find the device specified.\r\n"},
    {21, "The device is not ready.\r\n"},
    {23, "Data error (cyclic redundancy check).\r\n"},
    {27, "The drive cannot find the sector requested.\r\n"},
    {29, "The system cannot write to the specified device.\r\n"},
    {31, "A device attached to the system is not functioning.\r\n"},
    {32, "The process cannot access the file because it is being used by another process.\r\n"},
    {33, "The process cannot access the file because another process has locked a portion of "
         "the file.\r\n"},
    {34, "The wrong diskette is in the drive.\r\nInsert %2 (Volume Serial Number: %3) into drive "
         "%1.\r\n"},
    {38, "Reached the end of the file.\r\n"},
    {50, "The request is not supported.\r\n"},
    {80, "The file exists.\r\n"},
    {87, "The parameter is incorrect.\r\n"},
    {112, "There is not enough space on the disk.\r\n"},
    {122, "The data area passed to a system call is too small.\r\n"},
    {131, "An attempt was made to move the file pointer before the beginning of the file.\r\n"},
    {183, "Cannot create a file when that file already exists.\r\n"},
    {1117, "The request could not be performed because of an I/O device error.\r\n"},
    {1784, "The supplied user buffer is not valid for the requested operation.\r\n"},
};

const char *FindSystemMessage(DWORD code) {
  for (const SystemMessage &message : kSystemMessages)
    if (message.code == code) return message.text;
  return nullptr;
}

bool HasInserts(const char *text) {
  for (const char *p = text; *p; ++p)
    if (p[0] == '%' && p[1] >= '1' && p[1] <= '9') return true;
  return false;
}

}  // namespace

// Only FORMAT_MESSAGE_FROM_SYSTEM is served. A text with %n inserts and no
// argument array makes Windows read through a null pointer; the stand-in stops
// the process the same way so that such a call cannot go unnoticed.
extern "C" DWORD WINAPI FormatMessageA(DWORD flags, LPCVOID, DWORD messageId, DWORD, LPSTR buffer,
                                       DWORD size, void *arguments) {
  if (!(flags & FORMAT_MESSAGE_FROM_SYSTEM) || (flags & FORMAT_MESSAGE_ALLOCATE_BUFFER)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  const char *text = FindSystemMessage(messageId);
  if (!text) {
    SetLastError(ERROR_MR_MID_NOT_FOUND);
    return 0;
  }
  if (!(flags & FORMAT_MESSAGE_IGNORE_INSERTS) && HasInserts(text) && !arguments) {
    fprintf(stderr, "FormatMessageA: inserts of message %u read through a null argument array\n",
            messageId);
    abort();
  }
  size_t length = strlen(text);
  if (length + 1 > size) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  memcpy(buffer, text, length + 1);
  return static_cast<DWORD>(length);
}
