// Heap blocks with a single owner. An allocation that the heap can't satisfy
// ends the process at once with exit code 203 and no message.
#ifndef DISKARNO_COMMON_HEAP_H
#define DISKARNO_COMMON_HEAP_H

#include <windows.h>

#include <cstddef>

constexpr UINT kOutOfMemoryExitCode = 203;

// Never return null: they end the process instead.
void *HeapAllocOrDie(size_t bytes);
void *HeapReAllocOrDie(void *block, size_t bytes);
void HeapRelease(void *block);

// One heap block and its size. Moving hands the block over; the destructor
// releases whatever the object still owns.
class THeapBlock {
 public:
  THeapBlock() = default;
  explicit THeapBlock(size_t bytes) { Allocate(bytes); }
  THeapBlock(const THeapBlock &) = delete;
  THeapBlock &operator=(const THeapBlock &) = delete;
  THeapBlock(THeapBlock &&other) noexcept : data_(other.data_), size_(other.size_) {
    other.data_ = nullptr;
    other.size_ = 0;
  }
  THeapBlock &operator=(THeapBlock &&other) noexcept;
  ~THeapBlock() { Release(); }

  // Releases any old block and takes a new one of the given size.
  void Allocate(size_t bytes);
  // Changes the size, keeping the contents up to the smaller size.
  void Resize(size_t bytes);
  void Release();
  // Gives the block up to the caller, who must release it with HeapRelease.
  BYTE *Detach();

  BYTE *Data() const { return data_; }
  size_t Size() const { return size_; }

 private:
  BYTE *data_ = nullptr;
  size_t size_ = 0;
};

#endif
