// The modules that reading a package needs, in their start-up order: the
// error table, then the texts of the zlib wrapper, the cipher and the image
// file. The tool and the package's tests start these; the program starts
// its own list, which puts the FloppyIO layer before them.
#ifndef DISKARNO_PACKAGE_PACKAGE_MODULES_H
#define DISKARNO_PACKAGE_PACKAGE_MODULES_H

#include <cstddef>

#include "modules.h"

extern const TModule kPackageModules[];
extern const size_t kPackageModuleCount;

#endif
