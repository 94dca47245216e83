// The update list of a managed window: the rectangles of its drawing canvas changed since the last presentation,
// and the switch that turns presentation off. Presentation itself reads the list; the drawing helpers fill it.
#include "records.h"

#include <utility>

namespace {

bool Contains(const RECT& outer, const RECT& inner)
{
    return outer.left <= inner.left && outer.top <= inner.top && outer.right >= inner.right &&
           outer.bottom >= inner.bottom;
}

// Rectangles that only share an edge do not overlap: merging them would copy nothing twice and only make the
// presented area larger.
bool Overlaps(const RECT& a, const RECT& b)
{
    return a.left < b.right && a.right > b.left && a.top < b.bottom && a.bottom > b.top;
}

void Unite(RECT& into, const RECT& other)
{
    if (other.left < into.left)
        into.left = other.left;
    if (other.top < into.top)
        into.top = other.top;
    if (other.right > into.right)
        into.right = other.right;
    if (other.bottom > into.bottom)
        into.bottom = other.bottom;
}

// The list lives in memory the host can write: never trust its count beyond the block.
const unsigned long kMaxRects = MAX_UPDATE_RECTS;

unsigned long CountOf(const DirtyRectList* list)
{
    return list->count > kMaxRects ? kMaxRects : list->count;
}

void Append(DirtyRectList* list, const RECT& r)
{
    unsigned long n = CountOf(list);
    if (n < kMaxRects) {
        list->rects[n] = r;
        list->count = n + 1;
    } else {
        // A full list still covers everything drawn: the first rectangle takes the new one in.
        Unite(list->rects[0], r);
        list->count = n;
    }
}

}  // namespace

DirtyRectList* ClearUpdateRects(cFrameWindow* record)
{
    if (!record || !record->updateList)
        return nullptr;
    record->updateList->count = 0;
    return record->updateList;
}

DirtyRectList* GetUpdateRects(cFrameWindow* record)
{
    return record ? record->updateList : nullptr;
}

int AddUpdateRect(cFrameWindow* record, const RECT* rect)
{
    if (!record || !record->updateList)
        return 0;
    DirtyRectList* list = record->updateList;
    if (!rect) {
        list->count = 1;
        list->rects[0] = RECT{0, 0, record->maxClientWidth, record->maxClientHeight};
        return 1;
    }
    RECT r = *rect;
    if (r.left > r.right)
        std::swap(r.left, r.right);
    if (r.top > r.bottom)
        std::swap(r.top, r.bottom);

    if (record->flags & FRAME_RECORD_ONLY) {
        unsigned long n = CountOf(list);
        for (unsigned long i = 0; i < n; i++) {
            if (Contains(list->rects[i], r))
                return 1;
            if (Contains(r, list->rects[i])) {
                list->rects[i] = r;
                return 1;
            }
        }
    } else {
        // Every rectangle the new one swallows leaves the list, and the grown rectangle may now reach others:
        // start over until nothing overlaps, so that presentation copies no pixel twice.
        unsigned long i = 0;
        while (i < CountOf(list)) {
            if (Overlaps(list->rects[i], r)) {
                Unite(r, list->rects[i]);
                unsigned long last = CountOf(list) - 1;
                list->rects[i] = list->rects[last];
                list->count = last;
                i = 0;
            } else {
                i++;
            }
        }
    }
    Append(list, r);
    return 1;
}

int AddUpdateRectXY(cFrameWindow* record, int left, int top, int right, int bottom)
{
    RECT r = {left, top, right, bottom};
    return AddUpdateRect(record, &r);
}

int SetPresentation(cFrameWindow* record, int on)
{
    if (!record)
        return 0;
    if (on)
        record->options &= (unsigned short)~FRAME_PRESENTATION_OFF;
    else
        record->options |= FRAME_PRESENTATION_OFF;
    return 1;
}
