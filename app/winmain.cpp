// The Windows entry of diskarno-sfx.exe.
#include <windows.h>

#include "startup.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  ExitProcess(static_cast<UINT>(ProgramMain(instance)));
  return 0;
}
