// Which download page addresses the program lets the shell open.
#pragma once
#include <stdint.h>

// True when the `length` bytes at `address` are a web address that may be
// handed to the shell's "open" verb: "http://" or "https://" (any letter
// case) right at the start, something after it, and no control byte except in
// the run of CR and LF bytes that may end the text. Nothing else qualifies.
bool IsWebAddress(const char* address, int32_t length);
