// MainWindow: the program's one window, its six controls, their event
// bindings and the keyboard rules.
#pragma once
#include <windows.h>

#include "app/build_config.h"

// The address of the game page on the web game portal.
#define GAME_PAGE_URL "http://" FM_GAME_PORTAL_HOST "/flash/129731.htm"

// Creates MainWindow hidden, with its controls made, stacked and visible.
// False when the window or one of its controls cannot be made; nothing of it
// is left then.
bool CreateMainWindow();

// Raises the created event (its bound routine runs to completion).
void RaiseMainWindowCreated();

// Shows the window if it still exists and puts the keyboard focus in the
// first control of the tab order.
void ShowMainWindow();

// The window, null when it does not exist (never made, or destroyed).
HWND MainWindowHandle();

// The keyboard rules of the window, applied to every message before it is
// translated and dispatched. True when the message has been used up.
bool PreTranslateMainWindowMessage(MSG* msg);

// The process-wide resources of the window layer: the browser control's OLE
// objects and the program's icons. Windows are left alone.
void ReleaseWindowLayer();

// Button handlers.
void OnReloadWhiteScreenClicked();
void OnReloadGameClicked();
