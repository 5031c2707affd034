#include "app/program_path.h"

size_t ProgramDirectoryLength(const char* path, size_t length, LeadBytePredicate isLeadByte) {
  size_t directory = 0;
  size_t i = 0;
  while (i < length && path[i] != 0) {
    unsigned char byte = static_cast<unsigned char>(path[i]);
    if (byte == '\\') {
      directory = i;
      ++i;
    } else if (isLeadByte(byte)) {
      // A lead byte swallows the byte after it, whatever its value; a lead
      // byte at the very end of a cut path has no partner and ends the scan.
      if (i + 1 >= length || path[i + 1] == 0) break;
      i += 2;
    } else {
      ++i;
    }
  }
  return directory;
}
