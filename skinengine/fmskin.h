// What FmSkin.dll exports, for programs that load it by name.
//
// FmSkin_Attach(skin, length, reserved, 0, 0, 0)
//   Takes the skin file at skin (length bytes), copies what it keeps, and
//   restyles the calling thread's windows: those that exist and those it
//   creates later. Returns 0, or why the skin was not taken: a SkinError
//   value (skinengine/skin_format.h) or one of the kFmSkin* codes below. A
//   refused skin leaves every window as it was. Attaching again replaces the
//   skin. reserved and the last three words are not used. On i686 the
//   function is __stdcall and removes its 24 bytes of arguments.
// FmSkin_LiveObjects()
//   GDI objects and device contexts the engine holds at this moment.
#ifndef FM_SKINENGINE_FMSKIN_H
#define FM_SKINENGINE_FMSKIN_H

#include <stdint.h>

const uint32_t kFmSkinHookFailed = 100;    // the window hook could not be set
const uint32_t kFmSkinTooManyThreads = 101;

#ifdef _WIN32
#include <basetsd.h>
typedef uint32_t(__stdcall* FmSkinAttachProc)(const void* skin, DWORD_PTR length, const char* reserved, DWORD_PTR,
                                              DWORD_PTR, DWORD_PTR);
typedef long(__stdcall* FmSkinLiveObjectsProc)();
#endif

#endif
