// The start-up list of the package path.
#include "package_modules.h"

#include "app_errors.h"
#include "image_unpacker.h"
#include "rc4.h"

const TModule kPackageModules[] = {
    {"app_errors", AppErrorsStartup, AppErrorsShutdown},
    {"ZLib", InflateStartup, nullptr},
    {"RC4", Rc4Startup, nullptr},
    {"image file", ImageFileStartup, nullptr},
};
const size_t kPackageModuleCount = sizeof kPackageModules / sizeof kPackageModules[0];
