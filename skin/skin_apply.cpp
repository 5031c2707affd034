#include "skin/skin_apply.h"

#include "app/byteset.h"
#include "app/dll_table.h"
#include "resources/embedded_images.h"
#include "skin/skin_install.h"

namespace {

// The engine's third argument: an empty text, a single NUL byte.
const char kEmptyText[] = "";

}  // namespace

void ApplySkin(int32_t number) {
  InstallSkinEngine();

  // The engine gets a heap copy of the whole image, header included, that
  // lives only for the call: whatever it keeps of the skin it copies itself.
  ByteSet block;
  if (number >= 1 && number <= kSkinCount) block = ByteSet::CopyOfImage(SkinCatalogue[number - 1]);
  const int32_t length = block.Count();

  CallDllCommand(kDllRowFmSkinAttach, block.Bytes(), length, kEmptyText, 0, 0, 0);
  block.Release();
}
