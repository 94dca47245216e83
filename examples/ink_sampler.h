// The ink sampler of the sample host: one picture with every kind of blit at every depth.
#pragma once

#include <windows.h>

// Draws the sampler with the library loaded as dll and saves it as a 24-bit bitmap file at path. Returns the
// number of blits that failed (0 when the whole sheet was drawn), or -1 when the library lacks what it needs.
int DrawInkSampler(HMODULE dll, const char* path);
