/* Windows programs only: zlib's Adler-32 checksum, which inflate runs over
   the image, as one plain loop. zlib's own (adler32.c) unrolls it sixteen
   times over and costs the 32-bit program about 600 bytes more; a 1.44 MB
   image is checked in a few milliseconds either way. */
#include <zlib.h>

/* The largest run after which the sums still fit in 32 bits before they
   are reduced (zlib's NMAX). */
#define ADLER_BASE 65521u
#define ADLER_RUN 5552u

uLong ZEXPORT adler32_z(uLong adler, const Bytef *buf, z_size_t len) {
  unsigned int a = (unsigned int)(adler & 0xFFFF);
  unsigned int b = (unsigned int)((adler >> 16) & 0xFFFF);
  if (!buf) return 1;
  while (len > 0) {
    z_size_t run = len < ADLER_RUN ? len : ADLER_RUN;
    len -= run;
    while (run--) {
      a += *buf++;
      b += a;
    }
    a %= ADLER_BASE;
    b %= ADLER_BASE;
  }
  return ((uLong)b << 16) | a;
}

uLong ZEXPORT adler32(uLong adler, const Bytef *buf, uInt len) {
  return adler32_z(adler, buf, len);
}
