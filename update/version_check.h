// The start-up version check: the download page address and the version
// flag, both fetched from the update server at every start.
#pragma once
#include "app/text.h"

// The body of the download page resource exactly as received (empty when the
// fetch failed). Released by the exit hook.
extern Text g_downloadPageUrl;
// The body of the version flag resource exactly as received (empty when the
// fetch failed). Released by the exit hook.
extern Text g_versionFlag;

// Fetches the download page address into g_downloadPageUrl.
void FetchDownloadPageUrl();
// Fetches the version flag into g_versionFlag. Returns when it is exactly
// "1"; otherwise tells the user about the new version, opens the download
// page and ends the program with exit code 0 (does not return).
void CheckVersion();
// Hands `address` to the shell's "open" verb when it is a web address.
void OpenWithShell(Text& address);
