// What the fuzz targets share: module start-up, one scratch file, a fixed
// program to append packages to, and the heap's live block count.
#ifndef DISKARNO_FUZZ_FUZZ_SUPPORT_H
#define DISKARNO_FUZZ_FUZZ_SUPPORT_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

void FuzzStartOnce();
// Writes the bytes to this process's scratch file and returns its path.
const std::string &FuzzWriteFile(const uint8_t *data, size_t size);
// A minimal 32-bit PE program whose last section ends at its file end.
std::vector<uint8_t> FuzzStub();
size_t FuzzLiveBlocks();
// Aborts (a finding) when heap blocks were left behind.
void FuzzExpectLiveBlocks(size_t blocks);

#endif
