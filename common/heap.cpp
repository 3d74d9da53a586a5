// The process heap behind every block and every standard container: running
// out of memory ends the process with exit code 203.
#include "heap.h"

#include <new>

void *HeapAllocOrDie(size_t bytes) {
  void *block = HeapAlloc(GetProcessHeap(), 0, bytes ? bytes : 1);
  if (!block) ExitProcess(kOutOfMemoryExitCode);
  return block;
}

void *HeapReAllocOrDie(void *block, size_t bytes) {
  if (!block) return HeapAllocOrDie(bytes);
  void *moved = HeapReAlloc(GetProcessHeap(), 0, block, bytes ? bytes : 1);
  if (!moved) ExitProcess(kOutOfMemoryExitCode);
  return moved;
}

void HeapRelease(void *block) {
  if (block) HeapFree(GetProcessHeap(), 0, block);
}

THeapBlock &THeapBlock::operator=(THeapBlock &&other) noexcept {
  if (this != &other) {
    Release();
    data_ = other.data_;
    size_ = other.size_;
    other.data_ = nullptr;
    other.size_ = 0;
  }
  return *this;
}

void THeapBlock::Allocate(size_t bytes) {
  Release();
  data_ = static_cast<BYTE *>(HeapAllocOrDie(bytes));
  size_ = bytes;
}

void THeapBlock::Resize(size_t bytes) {
  data_ = static_cast<BYTE *>(HeapReAllocOrDie(data_, bytes));
  size_ = bytes;
}

void THeapBlock::Release() {
  HeapRelease(data_);
  data_ = nullptr;
  size_ = 0;
}

BYTE *THeapBlock::Detach() {
  BYTE *data = data_;
  data_ = nullptr;
  size_ = 0;
  return data;
}

// Standard containers take their memory from the same heap and share its
// out-of-memory rule; no exception is ever thrown.
void *operator new(size_t bytes) { return HeapAllocOrDie(bytes); }
void *operator new[](size_t bytes) { return HeapAllocOrDie(bytes); }
void *operator new(size_t bytes, const std::nothrow_t &) noexcept { return HeapAllocOrDie(bytes); }
void *operator new[](size_t bytes, const std::nothrow_t &) noexcept {
  return HeapAllocOrDie(bytes);
}
void operator delete(void *block) noexcept { HeapRelease(block); }
void operator delete[](void *block) noexcept { HeapRelease(block); }
void operator delete(void *block, size_t) noexcept { HeapRelease(block); }
void operator delete[](void *block, size_t) noexcept { HeapRelease(block); }
