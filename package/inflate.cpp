// The zlib wrapper: one output block, grown only when the announced size is
// too small, and the "ZLib" error texts.
#include <zlib.h>

#include <cstdint>
#include <cstring>

#include "app_errors.h"
#include "heap.h"
#include "image_unpacker.h"

namespace {

constexpr LONG kLargestOutput = 0x7FFFFFFF;

voidpf HeapZAlloc(voidpf, uInt items, uInt size) {
  uint64_t bytes = static_cast<uint64_t>(items) * size;
  if (bytes > SIZE_MAX) return Z_NULL;
  return HeapAllocOrDie(static_cast<size_t>(bytes));
}

void HeapZFree(voidpf, voidpf block) {
  HeapRelease(block);
}

// A negative zlib result becomes the ZLib code of the same name.
void SetZLibError(int result) {
  if (result >= 0) return;
  int index = result - Z_VERSION_ERROR + 1;  // -6 gives 1, -1 gives 6
  if (index < 0) index = 0;
  SetLastError(kErrorZLibCategory + static_cast<DWORD>(index));
}

// Fails an inflation that was begun: gives zlib's state back and keeps the
// code of the failing result.
bool FailInflation(z_stream &stream, int result) {
  inflateEnd(&stream);
  SetZLibError(result);
  return false;
}

// A zeroed stream record whose memory comes from the program's heap.
void PrepareStream(z_stream &stream, const BYTE *input, LONG inputLength) {
  memset(&stream, 0, sizeof stream);
  stream.zalloc = HeapZAlloc;
  stream.zfree = HeapZFree;
  stream.next_in = const_cast<Bytef *>(input);
  stream.avail_in = static_cast<uInt>(inputLength < 0 ? 0 : inputLength);
}

// After an inflate call that did not end the stream: true when it stopped
// only for want of output space (zlib says Z_BUF_ERROR, older versions
// Z_OK). Anything else, such as a stream that wants a preset dictionary,
// can make no progress with more room.
bool WantsMoreRoom(const z_stream &stream, int result) {
  return stream.avail_out == 0 && (result == Z_OK || result == Z_BUF_ERROR);
}

// Ends an inflation that reached the end of its stream.
bool FinishInflation(z_stream &stream) {
  int result = inflateEnd(&stream);
  SetZLibError(result);
  return result >= 0;
}

}  // namespace

bool InflateBounded(const BYTE *input, LONG inputLength, LONG estimate, LONG limit, BYTE *&output,
                    LONG &outputLength, bool &tooLarge) {
  output = nullptr;
  outputLength = 0;
  tooLarge = false;
  if (inputLength < 0) inputLength = 0;
  if (limit < 1) limit = 1;
  z_stream stream;
  PrepareStream(stream, input, inputLength);
  // The growth step is the input length rounded up to 256, and never 0, so
  // that each step makes room.
  size_t step = (static_cast<size_t>(inputLength) + 255) & ~static_cast<size_t>(255);
  if (step == 0) step = 256;
  size_t length = estimate > 0 ? static_cast<size_t>(estimate) : step;
  if (length > static_cast<size_t>(limit)) length = static_cast<size_t>(limit);
  THeapBlock buffer(length);
  stream.next_out = buffer.Data();
  stream.avail_out = static_cast<uInt>(length);
  int result = inflateInit(&stream);
  if (result < 0) {
    SetZLibError(result);
    return false;
  }
  for (;;) {
    result = inflate(&stream, Z_FINISH);
    if (result == Z_STREAM_END) break;
    if (!WantsMoreRoom(stream, result))
      return FailInflation(stream, result < 0 ? result : Z_DATA_ERROR);
    if (buffer.Size() >= static_cast<size_t>(limit)) {
      inflateEnd(&stream);
      tooLarge = true;
      return false;
    }
    size_t used = buffer.Size();
    size_t grown = used + step;
    if (grown > static_cast<size_t>(limit)) grown = static_cast<size_t>(limit);
    buffer.Resize(grown);
    stream.next_out = buffer.Data() + used;
    stream.avail_out = static_cast<uInt>(grown - used);
  }
  if (!FinishInflation(stream)) return false;
  // Input after the end of the stream is ignored.
  size_t total = static_cast<size_t>(stream.next_out - buffer.Data());
  if (total != buffer.Size()) buffer.Resize(total);
  outputLength = static_cast<LONG>(total);
  output = buffer.Detach();
  return true;
}

bool InflateInPlace(THeapBlock &block, size_t inputAt, LONG inputLength, LONG limit,
                    LONG &outputLength, bool &tooLarge) {
  outputLength = 0;
  tooLarge = false;
  z_stream stream;
  PrepareStream(stream, block.Data() + inputAt, inputLength);
  stream.next_out = block.Data();
  int result = inflateInit(&stream);
  if (result < 0) {
    SetZLibError(result);
    return false;
  }
  size_t most = limit < 0 ? 0 : static_cast<size_t>(limit);
  if (most > block.Size()) most = block.Size();
  BYTE *const end = block.Data() + most;
  THeapBlock unread;  // the input not yet read, once the output has reached it
  for (;;) {
    // Each call may write up to where the input not yet read begins, and no
    // further: zlib reads only from there on and gives back, at next_in,
    // whatever it fetched ahead.
    size_t room = static_cast<size_t>(end - stream.next_out);
    if (!unread.Data() && stream.next_in >= stream.next_out) {
      size_t gap = static_cast<size_t>(stream.next_in - stream.next_out);
      if (gap < room) room = gap;
    }
    if (room == 0) {
      if (stream.next_out == end) {
        inflateEnd(&stream);
        tooLarge = true;
        return false;
      }
      // The stream gives back less than it takes here (bytes after its end,
      // or blocks without output): its rest moves out of the way.
      unread.Allocate(stream.avail_in > 0 ? stream.avail_in : 1);
      memcpy(unread.Data(), stream.next_in, stream.avail_in);
      stream.next_in = unread.Data();
      continue;
    }
    stream.avail_out = static_cast<uInt>(room);
    result = inflate(&stream, Z_FINISH);
    if (result == Z_STREAM_END) break;
    if (!WantsMoreRoom(stream, result))
      return FailInflation(stream, result < 0 ? result : Z_DATA_ERROR);
  }
  if (!FinishInflation(stream)) return false;
  outputLength = static_cast<LONG>(stream.next_out - block.Data());
  return true;
}

bool InflateBuffer(const BYTE *input, LONG inputLength, LONG estimate, BYTE *&output,
                   LONG &outputLength) {
  bool tooLarge = false;
  if (InflateBounded(input, inputLength, estimate, kLargestOutput, output, outputLength, tooLarge))
    return true;
  // An output past 2 GiB can't be held by this program.
  if (tooLarge) SetZLibError(Z_MEM_ERROR);
  return false;
}

void InflateStartup() {
  RegisterError(kErrorZLibCategory, "ZLib");
  RegisterError(kErrorZLibCategory + 1, "Unknown version.");
  RegisterError(kErrorZLibCategory + 2, "Invalid buffer.");
  RegisterError(kErrorZLibCategory + 3, "Memory error.");
  RegisterError(kErrorZLibCategory + 4, "Invalid data.");
  RegisterError(kErrorZLibCategory + 5, "Invalid sequence.");
  RegisterError(kErrorZLibCategory + 6, "I/O error.");
}
