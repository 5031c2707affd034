// Finding the program directory in the executable's path.
#pragma once
#include <stddef.h>

// Tells whether a byte starts a two-byte character in the code page the path
// is written in (on Windows: the ANSI code page).
using LeadBytePredicate = bool (*)(unsigned char byte);

// Given the executable's path as `length` bytes (not necessarily
// NUL-terminated, and possibly cut short by the system), returns how many of
// its first bytes make up the directory: everything before the last backslash
// that is a character of its own, not the second byte of a double-byte
// character. Returns 0 when the path holds no backslash. Never reads past
// `length` bytes nor past a zero byte.
size_t ProgramDirectoryLength(const char* path, size_t length, LeadBytePredicate isLeadByte);
