// The subset of <commctrl.h> that Diskarno SFX uses, for Linux builds.
#ifndef DISKARNO_WINAPI_COMMCTRL_H
#define DISKARNO_WINAPI_COMMCTRL_H

#include <windows.h>

#define PROGRESS_CLASSA "msctls_progress32"
#define PBM_SETRANGE (WM_USER + 1)
#define PBM_SETPOS (WM_USER + 2)
#define PBM_GETPOS (WM_USER + 8)
#define ICC_PROGRESS_CLASS 0x00000020

typedef struct tagINITCOMMONCONTROLSEX {
  DWORD dwSize;
  DWORD dwICC;
} INITCOMMONCONTROLSEX, *LPINITCOMMONCONTROLSEX;

#ifdef __cplusplus
extern "C" {
#endif
void WINAPI InitCommonControls(void);
BOOL WINAPI InitCommonControlsEx(const INITCOMMONCONTROLSEX *controls);
#ifdef __cplusplus
}
#endif

#endif
