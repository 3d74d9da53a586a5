// The one place where the built-in program is handed to pack: the 32-bit
// program of the win32 build, embedded when the tool is built (see this
// folder's CMakeLists.txt). A tool built without it needs --stub.
#include "default_stub.h"

extern const unsigned char kEmbeddedStub[];
extern const size_t kEmbeddedStubSize;

bool DefaultStub(const BYTE *&data, size_t &size) {
  data = kEmbeddedStubSize ? kEmbeddedStub : nullptr;
  size = kEmbeddedStubSize;
  return kEmbeddedStubSize != 0;
}
