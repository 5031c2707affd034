#include "app/text.h"

#include <string.h>

#include "app/memory.h"

namespace {

int64_t BytesBeforeZero(const char* bytes, int64_t count) {
  if (!bytes || count <= 0) return 0;
  const void* zero = memchr(bytes, 0, static_cast<size_t>(count));
  return zero ? static_cast<const char*>(zero) - bytes : count;
}

char* CopyOf(const char* bytes, int64_t count) {
  char* copy = static_cast<char*>(AllocateMemory(count + 1));
  memcpy(copy, bytes, static_cast<size_t>(count));
  copy[count] = 0;
  return copy;
}

}  // namespace

Text::Text(const char* zstr) : Text(zstr, zstr ? static_cast<int64_t>(strlen(zstr)) : 0) {}

Text::Text(const char* bytes, int64_t count) {
  int64_t n = BytesBeforeZero(bytes, count);
  if (n == 0) return;
  // A text longer than a 32-bit count cannot exist; asking for it is a failed
  // memory request like any other.
  if (n >= INT32_MAX) ReportOutOfMemory(n + 1);
  bytes_ = CopyOf(bytes, n);
  length_ = static_cast<int32_t>(n);
}

Text::Text(const Text& other) : Text(other.bytes_, other.length_) {}

Text::Text(Text&& other) noexcept : bytes_(other.bytes_), length_(other.length_) {
  other.bytes_ = nullptr;
  other.length_ = 0;
}

Text& Text::operator=(const Text& other) {
  if (this != &other) *this = Text(other);
  return *this;
}

Text& Text::operator=(Text&& other) noexcept {
  if (this != &other) {
    Release();
    bytes_ = other.bytes_;
    length_ = other.length_;
    other.bytes_ = nullptr;
    other.length_ = 0;
  }
  return *this;
}

Text::~Text() { Release(); }

void Text::Release() {
  ReleaseMemory(bytes_);
  bytes_ = nullptr;
  length_ = 0;
}

void Text::Append(const char* bytes, int64_t count) {
  int64_t n = BytesBeforeZero(bytes, count);
  if (n == 0) return;
  int64_t total = static_cast<int64_t>(length_) + n;
  if (total >= INT32_MAX) ReportOutOfMemory(total + 1);
  // `bytes` may point into this text; copy into fresh storage first.
  char* joined = static_cast<char*>(AllocateMemory(total + 1));
  if (length_) memcpy(joined, bytes_, static_cast<size_t>(length_));
  memcpy(joined + length_, bytes, static_cast<size_t>(n));
  joined[total] = 0;
  ReleaseMemory(bytes_);
  bytes_ = joined;
  length_ = static_cast<int32_t>(total);
}

void Text::Append(const char* zstr) {
  if (zstr) Append(zstr, static_cast<int64_t>(strlen(zstr)));
}

bool Text::Equals(const char* zstr) const {
  const char* other = zstr ? zstr : "";
  return strcmp(Str(), other) == 0;
}

Text Text::OfLength(int32_t count) {
  Text text;
  if (count <= 0) return text;
  text.bytes_ = static_cast<char*>(AllocateMemory(static_cast<int64_t>(count) + 1));
  memset(text.bytes_, ' ', static_cast<size_t>(count));
  text.bytes_[count] = 0;
  text.length_ = count;
  return text;
}

void Text::Seal() {
  if (!bytes_) return;
  length_ = static_cast<int32_t>(strlen(bytes_));
  if (length_ == 0) Release();
}
