#include "update/download_address.h"

#include <stddef.h>

// The download page address comes from the update server over plain HTTP, so
// anyone on the path can replace it. The shell's "open" verb starts whatever
// it is given: a local program, a program on a remote share (\\host\...), a
// file: or javascript: address. We therefore let through only what the shell
// can only show in a web browser, an http or https address, and we hand it
// over exactly as received so that a publisher's working address (which
// usually ends with the line break of the file it came from) keeps working.
// A control byte inside the address is refused because the shell and the
// browser each cut or reinterpret it in their own way; blanks before the
// scheme are refused because the shell may then read the text as a path.

namespace {

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// Length of `scheme` when the text starts with it (ASCII case ignored), else 0.
int32_t SchemeLength(const char* address, int32_t length, const char* scheme) {
  int32_t i = 0;
  for (; scheme[i]; ++i) {
    if (i >= length || LowerAscii(address[i]) != scheme[i]) return 0;
  }
  return i;
}

bool IsControlByte(unsigned char c) { return c < 0x20 || c == 0x7F; }

}  // namespace

bool IsWebAddress(const char* address, int32_t length) {
  if (!address || length <= 0) return false;
  int32_t start = SchemeLength(address, length, "http://");
  if (start == 0) start = SchemeLength(address, length, "https://");
  if (start == 0) return false;

  int32_t end = length;  // the trailing run of CR and LF is the file's line break
  while (end > start && (address[end - 1] == '\r' || address[end - 1] == '\n')) --end;
  if (end == start) return false;  // a scheme with nothing after it

  for (int32_t i = start; i < end; ++i) {
    if (IsControlByte(static_cast<unsigned char>(address[i]))) return false;
  }
  return true;
}
