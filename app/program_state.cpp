// The program state and its module steps.
#include "program_state.h"

#include "heap.h"

TProgramState Program;

void ProgramStateStartup() {
  Program = TProgramState();
  Program.PackageOffset = 0xFFFFFFFFu;
  Program.ImageSize = -1;
}

void ReleaseImage() {
  HeapRelease(Program.Image);
  Program.Image = nullptr;
}

void ProgramStateShutdown() {
  ReleaseImage();
  std::string().swap(Program.Description);
}
