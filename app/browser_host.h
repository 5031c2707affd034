// 超文本浏览框1: a child host window holding the WebBrowser ActiveX control,
// through a small OLE container of our own. The program has one browser, so
// its state is process-wide.
#pragma once
#include <windows.h>

#include "app/text.h"

// Creates the host window (child `id` of `parent`, hidden, at the given
// client rectangle) with the control inside it filling its client area, sets
// the control's offline, silent and text-size properties and, when `address`
// is not empty, starts navigating to it. Returns null when the host or the
// control cannot be made; nothing is left behind then.
HWND CreateBrowserControl(HWND parent, int id, const RECT& bounds, DWORD style, const Text& address);

// Stores `address` as the browser's address and starts navigating to it,
// whatever it was before. Returns as soon as the navigation has started.
void SetBrowserAddress(const Text& address);

// The address last set.
const Text& BrowserAddress();

// Offers a keyboard message aimed at a window inside the browser to the
// control's own accelerator handling; true when the control used it up.
bool BrowserTranslateAccelerator(MSG* msg);

// Releases the control's OLE objects (the control's own windows go with
// them); the host window stays. Safe to call more than once.
void ReleaseBrowser();

// The host window, null when there is none.
HWND BrowserHostWindow();
