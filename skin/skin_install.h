// Deployment of the skin engine library beside the executable.
#pragma once

// Makes sure an entry named FmSkin.dll exists in the program directory,
// writing the carried engine there (hidden) when there is none. Any existing
// entry of that name, file or directory, is left exactly as it is. Failures
// are silent: loading the engine afterwards reports what is missing.
void InstallSkinEngine();

// The same, for the directory `directory` (no trailing separator).
void InstallSkinEngineInto(const char* directory);
