// The text rules every routine of the program shares: sub-texts, searching,
// case folding and reading a number. Positions count bytes from 1; a search
// that finds nothing gives -1. Texts are in the ANSI code page, whose lead
// bytes (0x80 and above) start two-byte characters.
#pragma once
#include <stdint.h>

#include "app/text.h"

// The first min(n, length) bytes; empty when n <= 0.
Text TextLeft(const Text& text, int64_t n);
// The last min(n, length) bytes; empty when n <= 0.
Text TextRight(const Text& text, int64_t n);
// n bytes from position start; empty when start < 1, start > length or n <= 0.
Text TextMid(const Text& text, int64_t start, int64_t n);
// Case-insensitive (ASCII letters only) search for needle from position
// start; never matches on the second byte of a two-byte character.
int32_t TextFind(const Text& haystack, const Text& needle, int64_t start);
// Same length and equal bytes, ASCII letter case ignored.
bool TextEqualsIgnoreCase(const Text& a, const Text& b);
// ASCII-only case folding; two-byte characters pass through unchanged.
Text TextToLower(const Text& text);
Text TextToUpper(const Text& text);
// Full-width-aware decimal reading (see text_rules.cpp); 0 when nothing reads.
double TextToNumber(const Text& text);
