// Runs the module steps of a program in order.
#include "modules.h"

void StartModules(const TModule *modules, size_t count) {
  for (size_t i = 0; i < count; ++i)
    if (modules[i].Startup) modules[i].Startup();
}

void StopModules(const TModule *modules, size_t count) {
  for (size_t i = count; i-- > 0;)
    if (modules[i].Shutdown) modules[i].Shutdown();
}
