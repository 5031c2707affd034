// The program's start-up work, bound to the created event of MainWindow.
#pragma once

// Runs once, after MainWindow and its controls exist and before the window is
// first shown. May end the program (the version check).
void OnMainWindowCreated();
