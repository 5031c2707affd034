// Text: a NUL-terminated string of 8-bit characters in the ANSI code page.
// A Text owns its bytes; the empty text and the absent text are the same
// thing (no storage at all), so every routine treats them alike.
#pragma once
#include <stdint.h>

class Text {
 public:
  Text() = default;
  // Copies up to the first zero byte; null gives the empty text.
  Text(const char* zstr);  // NOLINT(google-explicit-constructor): texts read like literals
  // Copies at most `count` bytes, stopping before the first zero byte.
  Text(const char* bytes, int64_t count);
  Text(const Text& other);
  Text(Text&& other) noexcept;
  Text& operator=(const Text& other);
  Text& operator=(Text&& other) noexcept;
  ~Text();

  // Always a valid NUL-terminated string ("" when empty).
  const char* Str() const { return bytes_ ? bytes_ : ""; }
  int32_t Length() const { return length_; }
  bool Empty() const { return length_ == 0; }

  // Frees the storage; the text becomes empty.
  void Release();
  // Appends bytes (up to the first zero byte of `bytes` within `count`).
  void Append(const char* bytes, int64_t count);
  void Append(const Text& tail) { Append(tail.Str(), tail.Length()); }
  void Append(const char* zstr);

  // Byte-for-byte equality (case-sensitive).
  bool Equals(const char* zstr) const;
  bool operator==(const Text& other) const { return Equals(other.Str()); }

  // Builds a text of `count` bytes whose content the caller writes through
  // Writable(); zero bytes written into it cut the text when Seal() runs.
  static Text OfLength(int32_t count);
  char* Writable() { return bytes_; }
  void Seal();

 private:
  char* bytes_ = nullptr;  // null exactly when the text is empty
  int32_t length_ = 0;
};
