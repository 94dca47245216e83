// What the application object, the window records and the drawing helpers share inside the library. The record
// layouts are the hosts' as much as ours: the offsets below are checked in the 32-bit build.
#pragma once

#include <stddef.h>

#include "kalvex2/application.h"

#if KX_ABI32
static_assert(offsetof(cApplication, displayMode) == 4);
static_assert(offsetof(cApplication, blackIndex) == 8);
static_assert(offsetof(cApplication, palette) == 12);
static_assert(offsetof(cApplication, banks) == 16);
static_assert(offsetof(cApplication, prototype) == 48);
static_assert(offsetof(cApplication, masterVolume) == 52);
static_assert(offsetof(cApplication, channels) == 64);
static_assert(offsetof(cApplication, music) == 960);
static_assert(offsetof(cApplication, windows) == 992);
static_assert(sizeof(cApplication) == 1024);
static_assert(sizeof(SoundChannel) == 28);
static_assert(sizeof(MusicRecord) == 32);
static_assert(sizeof(AppModeRecord) == 32);
static_assert(offsetof(WindowCreateInfo, maxClientWidth) == 52);
static_assert(offsetof(WindowCreateInfo, existing) == 76);
static_assert(sizeof(WindowCreateInfo) == 80);
static_assert(sizeof(DirtyRectList) == 8212);
static_assert(offsetof(cFrameWindow, flags) == 28);
static_assert(offsetof(cFrameWindow, displayMode) == 32);
static_assert(offsetof(cFrameWindow, surfaceDC) == 34);
static_assert(offsetof(cFrameWindow, drawingCanvas) == 46);
static_assert(offsetof(cFrameWindow, preciseCollisions) == 62);
static_assert(offsetof(cFrameWindow, rowBytes) == 64);
static_assert(offsetof(cFrameWindow, plane1Offset) == 98);
static_assert(offsetof(cFrameWindow, updateList) == 102);
static_assert(offsetof(cFrameWindow, background) == 122);
static_assert(offsetof(cFrameWindow, backgroundIndex) == 134);
static_assert(offsetof(cFrameWindow, penExtent) == 138);
static_assert(offsetof(cFrameWindow, pen) == 150);
static_assert(offsetof(cFrameWindow, menuValue) == 170);
static_assert(offsetof(cFrameWindow, planeSize) == 174);
static_assert(offsetof(cFrameWindow, displayList) == 194);
static_assert(offsetof(cFrameWindow, lastPresentation) == 198);
static_assert(sizeof(cFrameWindow) == 202);
#endif

namespace kx {

// Selects the palette's GDI palette into the window's own DC (in the foreground), remembering the DC's palette
// before the first such selection, records the handle, and gives the palette to the window's drawing surface
// (no remap). Does nothing to the DC of a window without its own DC or for a palette without a handle.
void SelectFramePalette(cFrameWindow* record, SharedPalette* palette);

}  // namespace kx
