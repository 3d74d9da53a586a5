// The one place where the built-in program is handed to pack. The tool
// carries no program yet; once the 32-bit program is built, its bytes are
// embedded here and --stub becomes optional.
#include "default_stub.h"

bool DefaultStub(const BYTE *&data, size_t &size) {
  data = nullptr;
  size = 0;
  return false;
}
