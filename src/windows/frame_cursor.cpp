// The cursor of a window record: the one shown over the window, and the hourglass that nested busy phases put up
// in its place.
#include "frame_window.h"

HCURSOR SetFrameCursor(cFrameWindow* record, HCURSOR cursor)
{
    if (!record)
        return nullptr;
    if (cursor == reinterpret_cast<HCURSOR>(1))
        cursor = LoadCursorA(nullptr, IDC_ARROW);
    HCURSOR previous = record->cursor;
    record->cursor = cursor;
    // A cursor set on purpose ends any busy phase: its end must not bring back the cursor from before.
    record->busyCount = 0;
    SetCursor(cursor);
    return previous;
}

int BeginBusyCursor(cFrameWindow* record)
{
    if (!record)
        return 0;
    if (record->busyCount <= 0) {
        record->busyCount = 0;
        record->savedCursor = record->cursor;
    }
    record->cursor = LoadCursorA(nullptr, IDC_WAIT);
    SetCursor(record->cursor);
    return ++record->busyCount;
}

int EndBusyCursor(cFrameWindow* record)
{
    if (!record || record->busyCount <= 0)
        return 0;
    if (--record->busyCount == 0) {
        record->cursor = record->savedCursor;
        SetCursor(record->cursor);
    }
    return record->busyCount;
}
