// The program that pack puts in front of a package when no --stub is given.
#ifndef DISKARNO_TOOLS_DISKARNO_DEFAULT_STUB_H
#define DISKARNO_TOOLS_DISKARNO_DEFAULT_STUB_H

#include <windows.h>

#include <cstddef>

// The built-in 32-bit program, or false while the tool carries none: then
// pack needs --stub.
bool DefaultStub(const BYTE *&data, size_t &size);

#endif
