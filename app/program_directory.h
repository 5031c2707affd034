// The program directory: the directory of the running executable without a
// trailing separator ("C:" for an executable in a drive's root). Taken once,
// at start-up or on the first call, and kept until the process ends.
#pragma once

// Always a valid NUL-terminated string; "" only if the system gave no path.
const char* ProgramDirectory();
