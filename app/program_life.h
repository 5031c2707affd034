// Process-wide pieces of the program's life that the start-up code, the
// allocator's failure path and the tests share.
#pragma once
#include <stdint.h>

// The program's entry routine: set-up, the main window, the message loop.
// Returns 0 once the loop has ended.
int32_t ProgramStart();

using ExitHook = void (*)();

// Puts a routine in the exit hook slot (null empties it). ShutDown runs the
// routine at most once.
void SetExitHook(ExitHook hook);

// The fatal report for a message given as bytes (null or "" for none). The
// report text is built in storage of its own, never through the allocator,
// so a failed memory request can report itself. Never returns.
[[noreturn]] void ReportFatalErrorBytes(const char* message, int32_t code);

// The exit hook that ProgramStart installs: releases the two texts that the
// version check keeps for the whole run.
void ReleaseGlobals();
