// Windows builds only, included before every C++ source: a failed container
// check (enabled with _GLIBCXX_ASSERTIONS) calls the library's failure hook
// without the file, line, function and condition texts, which would
// otherwise be compiled into the program (about 1.5 KB). The hook ends the
// process (common/cxx_runtime_windows.cpp).
#ifndef DISKARNO_COMMON_CXX_CONFIG_WINDOWS_H
#define DISKARNO_COMMON_CXX_CONFIG_WINDOWS_H

#include <bits/c++config.h>

#undef __glibcxx_assert_impl
#define __glibcxx_assert_impl(_Condition)                       \
  if (__builtin_expect(!bool(_Condition), false)) {             \
    std::__glibcxx_assert_fail(nullptr, 0, nullptr, nullptr);   \
  }

#endif
