#include "app/byteset.h"

#include <string.h>

#include "app/memory.h"

namespace {

int32_t ReadCount(const unsigned char* block) {
  int32_t count;
  memcpy(&count, block + 4, sizeof count);
  return count;
}

void WriteHeader(unsigned char* block, int32_t count) {
  const int32_t dimensions = 1;
  memcpy(block, &dimensions, sizeof dimensions);
  memcpy(block + 4, &count, sizeof count);
}

}  // namespace

int32_t ByteSetImageCount(const unsigned char* image) {
  return image ? ReadCount(image) : 0;
}

ByteSet::ByteSet(ByteSet&& other) noexcept : block_(other.block_), capacity_(other.capacity_) {
  other.block_ = nullptr;
  other.capacity_ = 0;
}

ByteSet& ByteSet::operator=(ByteSet&& other) noexcept {
  if (this != &other) {
    Release();
    block_ = other.block_;
    capacity_ = other.capacity_;
    other.block_ = nullptr;
    other.capacity_ = 0;
  }
  return *this;
}

ByteSet::~ByteSet() { Release(); }

void ByteSet::Release() {
  ReleaseMemory(block_);
  block_ = nullptr;
  capacity_ = 0;
}

ByteSet ByteSet::CopyOfImage(const unsigned char* image) {
  ByteSet copy;
  if (!image) return copy;
  int32_t count = ReadCount(image);
  if (count < 0) count = 0;
  int64_t size = static_cast<int64_t>(count) + kByteSetHeaderSize;
  copy.block_ = static_cast<unsigned char*>(AllocateMemory(size));
  memcpy(copy.block_, image, static_cast<size_t>(size));
  WriteHeader(copy.block_, count);
  copy.capacity_ = count;
  return copy;
}

int32_t ByteSet::Count() const { return block_ ? ReadCount(block_) : 0; }

void ByteSet::Append(const void* bytes, int64_t count) {
  if (count <= 0) return;
  int64_t have = Count();
  int64_t need = have + count;
  if (need > INT32_MAX - kByteSetHeaderSize) ReportOutOfMemory(need + kByteSetHeaderSize);
  if (need > capacity_) {
    int64_t grown = capacity_ < 256 ? 256 : capacity_ * 2;
    if (grown < need) grown = need;
    if (grown > INT32_MAX - kByteSetHeaderSize) grown = INT32_MAX - kByteSetHeaderSize;
    block_ = static_cast<unsigned char*>(ResizeMemory(block_, grown + kByteSetHeaderSize));
    capacity_ = grown;
  }
  memcpy(block_ + kByteSetHeaderSize + have, bytes, static_cast<size_t>(count));
  WriteHeader(block_, static_cast<int32_t>(need));
}

Text ByteSet::ToText() const {
  return Text(reinterpret_cast<const char*>(Bytes()), Count());
}
