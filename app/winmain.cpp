// The Windows entry of diskarno-sfx.exe. The C runtime's start-up is not
// linked: it parses a command line, sets up stdio and installs handlers that
// this program never uses, and costs about 8 KB in every program we ship.
// The entry runs the static constructors itself and ends the process with
// the program's exit code.
#include <windows.h>

#include "startup.h"

namespace {

typedef void (*TConstructor)();

// The linker's table of static constructors: -1, the constructors, 0.
extern "C" TConstructor __CTOR_LIST__[];

// In reverse order of the table, as the compiler's own start-up runs them.
void RunStaticConstructors() {
  size_t count = 0;
  while (__CTOR_LIST__[count + 1]) ++count;
  for (size_t i = count; i > 0; --i) __CTOR_LIST__[i]();
}

}  // namespace

// Static objects register their destructors here. They would only give back
// memory, which ExitProcess gives back anyway; the modules' own shutdown
// steps run explicitly before it. (The C runtime's atexit is a start-up
// file's, which this program does not link.)
extern "C" int atexit(void (*)(void)) {
  return 0;
}

extern "C" void WinMainCRTStartup() {
  RunStaticConstructors();
  ExitProcess(static_cast<UINT>(ProgramMain(GetModuleHandleA(nullptr))));
}
