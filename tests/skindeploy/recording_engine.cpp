// See recording_engine.h.
#include "tests/skindeploy/recording_engine.h"

#include <windows.h>

#include <string.h>

namespace {

constexpr int kMostCalls = 64;
RecordedAttach g_calls[kMostCalls];
int g_callCount = 0;

}  // namespace

extern "C" __declspec(dllexport) uintptr_t WINAPI FmSkin_Attach(uintptr_t skin, uintptr_t length,
                                                                uintptr_t text, uintptr_t zero1,
                                                                uintptr_t zero2, uintptr_t zero3) {
  if (g_callCount == kMostCalls) return 0;
  RecordedAttach& call = g_calls[g_callCount++];
  call.skin = skin;
  call.length = length;
  call.text = text;
  call.zeros[0] = zero1;
  call.zeros[1] = zero2;
  call.zeros[2] = zero3;
  if (skin) {
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(skin);
    memcpy(call.header, bytes - 8, sizeof call.header);
    // A length the program never hands over (over 16 MB) is not copied,
    // so a wrong length shows as a failed comparison rather than a crash.
    if (length <= (16u << 20)) {
      unsigned char* copy = static_cast<unsigned char*>(HeapAlloc(GetProcessHeap(), 0, length + 1));
      if (copy) memcpy(copy, bytes, length);
      call.bytes = copy;
    }
  }
  if (text) {
    strncpy(call.textCopy, reinterpret_cast<const char*>(text), sizeof call.textCopy - 1);
  }
  return 1;
}

extern "C" __declspec(dllexport) int RecordedAttachCount() { return g_callCount; }

extern "C" __declspec(dllexport) const RecordedAttach* RecordedAttachCall(int index) {
  return index >= 0 && index < g_callCount ? &g_calls[index] : nullptr;
}
