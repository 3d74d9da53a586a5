// Corrupt and odd packages with what the program makes of each. The
// program's start-up and every verb of the tool run through this one table,
// so that they can never disagree about a package.
#ifndef DISKARNO_TESTS_SUPPORT_PACKAGE_CASES_H
#define DISKARNO_TESTS_SUPPORT_PACKAGE_CASES_H

#include <string>
#include <vector>

#include "package_builder.h"

namespace testing_support {

struct TPackageCase {
  std::string name;
  TBytes program;  // a stub with the package of a disk appended
  // Start-up refuses the package ("Corrupted file contents, ..." and exit
  // code 1); otherwise "Write disk" refuses it with this error text.
  bool refusedAtStart;
  std::string writeError;
};

// Every case is refused by the program, at start-up or on "Write disk".
std::vector<TPackageCase> RefusedPackages(const TBytes &disk);

}  // namespace testing_support

#endif
