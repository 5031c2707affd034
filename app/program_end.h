// The ways the program ends itself.
#pragma once
#include <stdint.h>

#include "app/text.h"

// Runs the exit hook (once), releases the loaded libraries and the window
// layer's resources, then uninitialises OLE.
void ShutDown();
// ShutDown, then ends the process at once with `exitCode`.
[[noreturn]] void EndProgram(int32_t exitCode);
// Shows the fatal report ("运行时出错!" ...), empties the exit hook without
// running it, and ends the process with -1.
[[noreturn]] void ReportFatalError(const Text& message, int32_t code);
