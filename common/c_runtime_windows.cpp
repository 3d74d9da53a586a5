// Windows program only: the memory and string routines that the program,
// the compiler's own code and zlib call. The program links no C library:
// the first Windows 95 has no MSVCRT.DLL. Plain loops, small rather than
// fast (the largest copies are zlib's window and one track at a time); the
// file is compiled freestanding and without loop-to-call patterns, so that
// GCC does not turn a loop here back into a call to the routine itself.
#include <cstddef>

extern "C" {

void *memcpy(void *target, const void *source, size_t count) {
  unsigned char *to = static_cast<unsigned char *>(target);
  const unsigned char *from = static_cast<const unsigned char *>(source);
  while (count--) *to++ = *from++;
  return target;
}

// Overlapping blocks: copies from the end when the target lies above the
// source.
void *memmove(void *target, const void *source, size_t count) {
  unsigned char *to = static_cast<unsigned char *>(target);
  const unsigned char *from = static_cast<const unsigned char *>(source);
  if (to <= from || to >= from + count) return memcpy(target, source, count);
  while (count--) to[count] = from[count];
  return target;
}

void *memset(void *target, int value, size_t count) {
  unsigned char *to = static_cast<unsigned char *>(target);
  while (count--) *to++ = static_cast<unsigned char>(value);
  return target;
}

int memcmp(const void *left, const void *right, size_t count) {
  const unsigned char *a = static_cast<const unsigned char *>(left);
  const unsigned char *b = static_cast<const unsigned char *>(right);
  for (; count; --count, ++a, ++b)
    if (*a != *b) return *a - *b;
  return 0;
}

void *memchr(const void *block, int value, size_t count) {
  const unsigned char *at = static_cast<const unsigned char *>(block);
  for (; count; --count, ++at)
    if (*at == static_cast<unsigned char>(value)) return const_cast<unsigned char *>(at);
  return nullptr;
}

size_t strlen(const char *text) {
  const char *end = text;
  while (*end) ++end;
  return static_cast<size_t>(end - text);
}

}  // extern "C"
