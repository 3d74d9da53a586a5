/* libdeflate's Adler-32, for the builds that compile libdeflate from its
   sources: zlib's, which the tool links for inflate anyway. libdeflate's own
   picks its loop through CPUID, an instruction the 386 lacks. */
#include <libdeflate.h>
#include <zlib.h>

uint32_t libdeflate_adler32(uint32_t adler, const void *buffer, size_t len) {
  return (uint32_t)adler32_z(adler, (const Bytef *)buffer, len);
}
