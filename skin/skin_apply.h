// Giving the user interface its skin.
#pragma once
#include <stdint.h>

// Deploys the skin engine when it is missing, then hands it skin `number`
// (1 to kSkinCount of resources/embedded_images.h). Any other number hands
// the engine no skin: a null pointer and length 0. Always returns, unless
// the engine can't be loaded, which ends the program with the fatal report.
void ApplySkin(int32_t number);
