// ListRemovableDrives: the drives that can take a floppy disk, by the names
// the shell shows for them.
#include <windows.h>
// windows.h first: the system's shellapi.h relies on it.
#include <shellapi.h>

#include <cstring>

#include "utils.h"

namespace {

constexpr int kDriveLetters = 26;
constexpr UINT kShellInfoFlags =
    SHGFI_SYSICONINDEX | SHGFI_DISPLAYNAME | SHGFI_ICON | SHGFI_SMALLICON;

}  // namespace

void ListRemovableDrives(TDriveFound found, void *context) {
  DWORD mask = GetLogicalDrives();
  for (int i = 0; i < kDriveLetters; ++i) {
    if (!(mask & (1u << i))) continue;
    char letter = static_cast<char>('A' + i);
    char root[] = {letter, ':', '\\', '\0'};
    if (GetDriveTypeA(root) != DRIVE_REMOVABLE) continue;
    SHFILEINFOA info;
    memset(&info, 0, sizeof info);
    if (SHGetFileInfoA(root, 0, &info, sizeof info, kShellInfoFlags) == 0) continue;
    // Only the name is wanted; the icon the shell made for it is given back.
    if (info.hIcon) DestroyIcon(info.hIcon);
    // The shell terminates the name; the last byte is made sure of.
    info.szDisplayName[sizeof info.szDisplayName - 1] = 0;
    found(context, info.szDisplayName, letter);
  }
}
