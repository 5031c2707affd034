// The files the program carries inside its own image, each a constant
// ByteSet image (see app/byteset.h): the skin engine library, written beside
// the executable when it is missing, and the skin files handed to it.
// Their contents come from the engine and skin files of the same build
// (resources/embed_images.py); the program never looks inside them.
#pragma once

// Skins are numbered 1 to kSkinCount; SkinCatalogue[n - 1] is skin n.
constexpr int kSkinCount = 58;

alignas(4) extern const unsigned char SKIN_ENGINE_IMAGE[];
extern const unsigned char* const SkinCatalogue[kSkinCount];
