// ByteSet: a block of bytes with its length, laid out in memory exactly as in
// the program image: a 32-bit dimension count (always 1), a 32-bit signed
// byte count, then the bytes, the first of them 8 bytes after the start.
// An absent block is a ByteSet of length 0.
#pragma once
#include <stdint.h>

#include "app/text.h"

constexpr int32_t kByteSetHeaderSize = 8;

// Reads the byte count of a constant image (null counts as 0).
int32_t ByteSetImageCount(const unsigned char* image);
// The first byte after the header of a constant image.
inline const unsigned char* ByteSetImageBytes(const unsigned char* image) {
  return image + kByteSetHeaderSize;
}

class ByteSet {
 public:
  ByteSet() = default;
  ByteSet(const ByteSet&) = delete;
  ByteSet& operator=(const ByteSet&) = delete;
  ByteSet(ByteSet&& other) noexcept;
  ByteSet& operator=(ByteSet&& other) noexcept;
  ~ByteSet();

  // A heap copy of a whole constant image, header included.
  static ByteSet CopyOfImage(const unsigned char* image);

  int32_t Count() const;
  // The bytes (null when absent) and the block with its header (null when absent).
  const unsigned char* Bytes() const { return block_ ? block_ + kByteSetHeaderSize : nullptr; }
  const unsigned char* Block() const { return block_; }

  // Appends bytes. Capacity grows geometrically, so a long series of small
  // appends costs linear time. A total past the 32-bit signed count is a
  // failed memory request (the program's fatal report), never a wrap.
  void Append(const void* bytes, int64_t count);
  // The bytes up to, not including, the first zero byte.
  Text ToText() const;
  void Release();

 private:
  unsigned char* block_ = nullptr;
  int64_t capacity_ = 0;  // bytes available after the header
};
