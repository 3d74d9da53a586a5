/* Windows builds only: zlib's default allocator over the process heap, in
   place of zutil.c's malloc and free (zlib is compiled with MY_ZCALLOC), so
   that the program needs no C library. The unpacker hands zlib its own
   allocator; this one serves streams that name none, such as the tool's
   compression. A failure returns NULL, which zlib reports as Z_MEM_ERROR. */
#include <windows.h>

#include "zutil.h"

voidpf ZLIB_INTERNAL zcalloc(voidpf opaque, unsigned items, unsigned size) {
  (void)opaque;
  if (size != 0 && items > (SIZE_T)-1 / size) return Z_NULL;
  return HeapAlloc(GetProcessHeap(), 0, (SIZE_T)items * size);
}

void ZLIB_INTERNAL zcfree(voidpf opaque, voidpf block) {
  (void)opaque;
  if (block) HeapFree(GetProcessHeap(), 0, block);
}
