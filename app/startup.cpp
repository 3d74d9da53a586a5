// Program start-up and end.
#include "startup.h"

#include <commctrl.h>

#include "app_errors.h"
#include "floppy_io.h"
#include "image_unpacker.h"
#include "main_dialog.h"
#include "modules.h"
#include "package_format.h"
#include "program_state.h"
#include "rc4.h"

namespace {

// Start-up order: the error table first, then each module that registers
// texts with it; the program's own state last, so that it goes first.
const TModule kModules[] = {
    {"app_errors", AppErrorsStartup, AppErrorsShutdown},
    {"FloppyIO", FloppyIoStartup, FloppyIoShutdown},
    {"ZLib", InflateStartup, nullptr},
    {"RC4", Rc4Startup, nullptr},
    {"image file", ImageFileStartup, nullptr},
    {"program", ProgramStateStartup, ProgramStateShutdown},
};
constexpr size_t kModuleCount = sizeof kModules / sizeof kModules[0];

const char kCorruptPackage[] = "Corrupted file contents, please try to download again.";

typedef BOOL(WINAPI *TInitCommonControlsEx)(const INITCOMMONCONTROLSEX *);

// The progress bar of the writing dialog needs its class before that
// dialog is made. COMCTL32 4.00 (the first Windows 95, NT 4.0) has no
// InitCommonControlsEx, and the loader refuses a program that imports a
// function its DLL lacks: the call is looked up here instead. The import of
// InitCommonControls, which every version has, keeps COMCTL32 loaded and
// registers the class where the newer call is missing or fails.
void RegisterCommonControls() {
  HMODULE library = GetModuleHandleA("COMCTL32.DLL");
  FARPROC found = library ? GetProcAddress(library, "InitCommonControlsEx") : nullptr;
  // Through a function pointer without arguments, which converts to any
  // function type without a warning.
  TInitCommonControlsEx initEx =
      reinterpret_cast<TInitCommonControlsEx>(reinterpret_cast<void (*)()>(found));
  INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_PROGRESS_CLASS};
  if (!initEx || !initEx(&controls)) InitCommonControls();
}

// Fills the program state from the package's header; false for a package
// that start-up refuses. Start-up tests only what it needs to name the
// disk: the version, the checksums and the payload are tested when the disk
// is written. The file is closed again before the dialog opens.
bool ReadProgramPackage() {
  TPackage package;
  OpenOwnPackage(package);
  const TPackageHeader &header = package.Header;
  Program.Protected = header.Protected != 0;
  Program.PasswordCheck = header.PasswordCheck;
  Program.PackageOffset = package.Offset;
  Program.MediaType = header.MediaType;
  Program.ImageSize = header.ImageSize;
  // Appended to the empty description of start-up: the text grows by the
  // one append the medium's name takes too.
  Program.Description += package.Description;
  return PackageUsable(header);
}

int Run() {
  if (!ReadProgramPackage()) {
    MessageBoxA(nullptr, kCorruptPackage, "Error", MB_OK | MB_ICONERROR);
    return kExitCorruptPackage;
  }
  Program.Description += " (";
  Program.Description += MediaTypeNames[Program.MediaType];
  Program.Description += ")";
  RegisterCommonControls();
  DialogBoxParamA(Program.Instance, "MAINDIALOG", nullptr, MainDialogProc, 0);
  return 0;
}

}  // namespace

int ProgramMain(HINSTANCE instance) {
  StartModules(kModules, kModuleCount);
  Program.Instance = instance;
  int exitCode = Run();
  StopModules(kModules, kModuleCount);
  return exitCode;
}
