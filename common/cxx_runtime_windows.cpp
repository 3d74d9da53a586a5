// Windows builds only: the few libstdc++ entry points that standard
// containers reach, defined here so that the library's exception machinery
// (throw, unwind, demangler: about 150 KB) is never linked into the program.
// Every one of them means the program can't go on; none returns.
#include <windows.h>

#include <cstddef>

#include "heap.h"

namespace std {

void __throw_bad_alloc() {
  ExitProcess(kOutOfMemoryExitCode);
}
void __throw_bad_array_new_length() {
  ExitProcess(kOutOfMemoryExitCode);
}
void __throw_length_error(const char *) {
  ExitProcess(kOutOfMemoryExitCode);
}
void __throw_logic_error(const char *) {
  ExitProcess(kOutOfMemoryExitCode);
}
void __throw_out_of_range(const char *) {
  ExitProcess(kOutOfMemoryExitCode);
}
void __throw_out_of_range_fmt(const char *, ...) {
  ExitProcess(kOutOfMemoryExitCode);
}
void __throw_invalid_argument(const char *) {
  ExitProcess(kOutOfMemoryExitCode);
}
// A failed container bounds check (the build enables them).
void __glibcxx_assert_fail(const char *, int, const char *, const char *) noexcept {
  ExitProcess(kOutOfMemoryExitCode);
}

}  // namespace std
