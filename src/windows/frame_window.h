// What the window records, their window procedure and the display-mode holder share inside the library.
#pragma once

#include "records.h"

namespace kx {

// The display-object list block made with every window record: four list ends, then the object pool, which
// starts as one free block. The pool belongs to the display objects; the window only makes and frees the block.
struct DisplayListHeader {
    void* freeFirst;
    void* freeLast;
    void* objectFirst;
    void* objectLast;
};
struct DisplayPoolBlock {
    unsigned long size;        // header included; 0 ends the pool
    unsigned long sizeBefore;
    unsigned long state;       // 1 free, 2 in use
    void* prev;
    void* next;
};
#if KX_ABI32
static_assert(sizeof(DisplayListHeader) == 16);
static_assert(sizeof(DisplayPoolBlock) == 20);
#endif

enum {
    DISPLAY_LIST_SMALL = 56,               // a plain window's block
    DISPLAY_LIST_MANAGED = 67236,          // a managed window's block (400 objects)
    DISPLAY_OBJECT_BYTES = 168,
    DISPLAY_LIST_FIXED = 36
};

// A new zero-filled display-object block of `bytes` bytes with its pool set up as one free block, or null.
void* NewDisplayList(unsigned long bytes);

// Everything a record holds is given back and the record leaves its application's list and is freed; the
// window itself is left alone.
void ReleaseFrameRecord(cFrameWindow* record);

// The record whose window CreateFrameWindow is making on the calling thread, or null: WM_CREATE accepts no
// other creation value, and a window that fails during creation leaves its record to the creator.
cFrameWindow* RecordBeingCreated();

// Copies `area` (client coordinates) of the record's drawing surface to the window, cut to the client area; `dc`
// is used when the window has no own DC. Returns what the blit returned, 0 when nothing was drawn.
int PresentFrameArea(cFrameWindow* record, const RECT& area, HDC dc);

// The display mode set through a frame window: cleared when its holder is released.
void ForgetDisplayModeHolder(cFrameWindow* record);

}  // namespace kx
