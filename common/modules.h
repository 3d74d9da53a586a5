// Module start-up and shutdown in one explicit order: each module's start-up
// step runs in list order, the shutdown steps in reverse. Nothing relies on
// the order of static initialisation.
#ifndef DISKARNO_COMMON_MODULES_H
#define DISKARNO_COMMON_MODULES_H

#include <cstddef>

struct TModule {
  const char *Name;
  void (*Startup)();
  void (*Shutdown)();
};

void StartModules(const TModule *modules, size_t count);
void StopModules(const TModule *modules, size_t count);

#endif
