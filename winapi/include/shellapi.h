// The subset of <shellapi.h> that Diskarno SFX uses, for Linux builds.
#ifndef DISKARNO_WINAPI_SHELLAPI_H
#define DISKARNO_WINAPI_SHELLAPI_H

#include <windows.h>

#define SHGFI_ICON 0x000000100
#define SHGFI_DISPLAYNAME 0x000000200
#define SHGFI_SYSICONINDEX 0x000004000
#define SHGFI_SMALLICON 0x000000001

typedef struct _SHFILEINFOA {
  HICON hIcon;
  int iIcon;
  DWORD dwAttributes;
  CHAR szDisplayName[MAX_PATH];
  CHAR szTypeName[80];
} SHFILEINFOA;

#ifdef __cplusplus
// The documented size wherever a handle is 32 bits, as on 32-bit Windows.
static_assert(sizeof(void *) != 4 || sizeof(SHFILEINFOA) == 352, "SHFILEINFOA is 352 bytes");
#endif

#ifdef __cplusplus
extern "C" {
#endif
DWORD_PTR WINAPI SHGetFileInfoA(LPCSTR path, DWORD fileAttributes, SHFILEINFOA *info,
                                UINT infoSize, UINT flags);
#ifdef __cplusplus
}
#endif

#endif
