// A stand-in skin engine for tests: a library named FmSkin.dll whose
// FmSkin_Attach keeps a copy of everything it is handed, so a test can read
// back what the program passed after the program has released it.
#pragma once
#include <stdint.h>

struct RecordedAttach {
  uintptr_t skin;          // the six argument words, as received
  uintptr_t length;
  uintptr_t text;
  uintptr_t zeros[3];
  unsigned char header[8];     // the 8 bytes before `skin` (when not null)
  const unsigned char* bytes;  // copy of `length` bytes at `skin` (null when not copied)
  char textCopy[8];            // the first bytes of the text, NUL-terminated
};

// Exported by the recording engine (undecorated names).
using RecordedAttachCountFunction = int (*)();
using RecordedAttachFunction = const RecordedAttach* (*)(int index);
