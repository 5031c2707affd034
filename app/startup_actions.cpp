#include "app/startup_actions.h"

#include "skin/skin_apply.h"
#include "update/version_check.h"

// Each step runs to completion before the next; the window stays hidden
// throughout, so no click or key reaches it meanwhile.
void OnMainWindowCreated() {
  // 1. The skin, before any network request: writes the engine beside the
  //    program when it is missing, then hands it skin 4.
  ApplySkin(4);
  // 2. The download page address, fetched before the flag so that it is at
  //    hand when the flag says a new version exists.
  FetchDownloadPageUrl();
  // 3. The version check; ends the program unless the flag is current.
  CheckVersion();
}
