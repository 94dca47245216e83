// The drawing helpers of a window record: fills, frames and lines on its drawing canvas with the record's pen and
// colours, each adding what it touched to the update list, and the copy of the whole canvas to the screen. The
// GDI shapes go through the drawing canvas's device context; a canvas without one only records the rectangles.
#include "records.h"

#include "kalvex2/canvas.h"
#include "kernels/palette_index.h"
#include "surface/palette.h"
#include "surface/surface_size.h"

using namespace kx;

namespace {

cCanvas* DrawingCanvas(cFrameWindow* record)
{
    return record ? record->drawingCanvas : nullptr;
}

// Colours of the helpers are kept with their index in the application's palette, for palette displays. A colour
// with bit 24 set already is an index.
unsigned short PaletteIndexOf(cFrameWindow* record, COLORREF colour)
{
    SharedPalette* palette = record->application ? record->application->palette : nullptr;
    return (unsigned short)KernelColourToIndex(palette, colour);
}

// Adds (left, top, right, bottom) worked out in 64 bits, so that a shape touching the edge of the coordinate
// range gives its edge rather than a wrapped rectangle.
void AddUpdateRect64(cFrameWindow* record, long long left, long long top, long long right, long long bottom)
{
    AddUpdateRectXY(record, ClampToInt(left), ClampToInt(top), ClampToInt(right), ClampToInt(bottom));
}

}  // namespace

HDC GetFrameCanvasDC(cFrameWindow* record)
{
    cCanvas* canvas = DrawingCanvas(record);
    return canvas ? canvas->GetDC() : nullptr;
}

int ReleaseFrameCanvasDC(cFrameWindow* record, HDC dc)
{
    cCanvas* canvas = DrawingCanvas(record);
    if (!canvas)
        return 0;
    canvas->ReleaseDC(dc);
    return 1;
}

int SetFrameBackColor(cFrameWindow* record, COLORREF colour)
{
    if (!record)
        return 0;
    record->backgroundColour = colour;
    record->backgroundIndex = PaletteIndexOf(record, colour);
    return 1;
}

int SetFramePen(cFrameWindow* record, COLORREF colour, int style, int width)
{
    if (!record)
        return 0;
    // The record describes the pen it holds: when no new pen can be made, colour and extent stay with the old one.
    HPEN pen = CreatePen(style, width, colour);
    if (!pen)
        return 0;
    if (record->pen)
        DeleteObject(record->pen);
    record->pen = pen;
    record->penColour = colour;
    record->penIndex = PaletteIndexOf(record, colour);
    record->penExtent = width > 1 ? width - 1 : 0;
    return 1;
}

int SetFrameBackMode(cFrameWindow* record, int mode)
{
    if (!record)
        return 0;
    record->backgroundMode = mode;
    return 1;
}

int FillFrameRect(cFrameWindow* record, int left, int top, int right, int bottom, HBRUSH brush)
{
    cCanvas* canvas = DrawingCanvas(record);
    if (!canvas)
        return 0;
    AddUpdateRectXY(record, left, top, right, bottom);
    HDC dc = canvas->GetDC();
    if (!dc)
        return 0;
    RECT r = {left, top, right, bottom};
    int done = ::FillRect(dc, &r, brush) ? 1 : 0;
    canvas->ReleaseDC(dc);
    return done;
}

int SetFrameClip(cFrameWindow* record, int x1, int y1, int x2, int y2)
{
    cCanvas* canvas = DrawingCanvas(record);
    if (!canvas)
        return 0;
    canvas->SetClipRect(x1, y1, ClampToInt((long long)x2 - x1), ClampToInt((long long)y2 - y1));
    return 1;
}

int FillFrameRectColor(cFrameWindow* record, int x1, int y1, int x2, int y2, COLORREF colour)
{
    cCanvas* canvas = DrawingCanvas(record);
    if (!canvas)
        return 0;
    // Both corners are inside the filled area.
    int done = canvas->FillRect(x1, y1, ClampToInt((long long)x2 - x1 + 1), ClampToInt((long long)y2 - y1 + 1),
                                colour);
    AddUpdateRect64(record, x1, y1, (long long)x2 + 1, (long long)y2 + 1);
    return done;
}

int DrawFrameRect(cFrameWindow* record, const RECT* rect)
{
    cCanvas* canvas = DrawingCanvas(record);
    if (!canvas || !rect)
        return 0;
    RECT r = *rect;
    if (r.left > r.right) {
        LONG t = r.left;
        r.left = r.right;
        r.right = t;
    }
    if (r.top > r.bottom) {
        LONG t = r.top;
        r.top = r.bottom;
        r.bottom = t;
    }
    // A pen wider than one pixel is centred on the outline: up to its extent lies outside the rectangle, and
    // that has to be presented too.
    long long e = record->penExtent > 0 ? record->penExtent : 0;
    AddUpdateRect64(record, r.left - e, r.top - e, r.right + e, r.bottom + e);

    int done = 0;
    HDC dc = canvas->GetDC();
    if (dc) {
        if (record->drawingMode == R2_XORPEN && record->penExtent == 0) {
            done = DrawFocusRect(dc, &r) ? 1 : 0;
        } else {
            HGDIOBJ oldBrush = SelectObject(dc, GetStockObject(NULL_BRUSH));
            HGDIOBJ oldPen = record->pen ? SelectObject(dc, record->pen) : nullptr;
            done = Rectangle(dc, r.left, r.top, r.right, r.bottom) ? 1 : 0;
            if (oldPen)
                SelectObject(dc, oldPen);
            SelectObject(dc, oldBrush);
        }
        canvas->ReleaseDC(dc);
    }

    // The four sides as strips of the pen's thickness: where a thick pen reaches past the middle of a small
    // rectangle they reach out of it.
    long long t = e + 1;
    AddUpdateRect64(record, r.left, r.top, r.right, r.top + t);
    AddUpdateRect64(record, r.right - t, r.top + t, r.right, r.bottom - t);
    AddUpdateRect64(record, r.left, r.bottom - t, r.right, r.bottom);
    AddUpdateRect64(record, r.left, r.top + t, r.left + t, r.bottom - t);
    return done;
}

int DrawFrameRect16(cFrameWindow* record, const short* corners)
{
    if (!corners)
        return 0;
    RECT r = {corners[0], corners[1], corners[2] + 1, corners[3] + 1};
    return DrawFrameRect(record, &r);
}

int DrawFramePolyline(cFrameWindow* record, const POINT* points, int segments)
{
    cCanvas* canvas = DrawingCanvas(record);
    // segments + 1 points: fewer than one point is nothing to draw and nothing to present.
    if (!canvas || !points || segments < 0 || segments == INT32_MAX)
        return 0;
    int count = segments + 1;

    // The pixels of the last point's column and row belong to the line (right and bottom are exclusive), and a
    // pen wider than one pixel reaches out by up to its extent on every side.
    long long minX = points[0].x, minY = points[0].y, maxX = minX, maxY = minY;
    for (int i = 1; i < count; i++) {
        if (points[i].x < minX)
            minX = points[i].x;
        if (points[i].x > maxX)
            maxX = points[i].x;
        if (points[i].y < minY)
            minY = points[i].y;
        if (points[i].y > maxY)
            maxY = points[i].y;
    }
    long long e = record->penExtent > 0 ? record->penExtent : 0;
    AddUpdateRect64(record, minX - e, minY - e, maxX + 1 + e, maxY + 1 + e);

    HDC dc = canvas->GetDC();
    if (!dc)
        return 0;
    // The device context is the canvas's, shared with its other users (text, presentation): what the line needs
    // is set for the line only.
    HGDIOBJ oldPen = record->pen ? SelectObject(dc, record->pen) : nullptr;
    int oldMode = SetBkMode(dc, record->backgroundMode);
    int oldRop = SetROP2(dc, record->drawingMode);
    COLORREF oldBack = SetBkColor(dc, record->backgroundColour);
    int done = Polyline(dc, points, count) ? 1 : 0;
    if (oldBack != CLR_INVALID)
        SetBkColor(dc, oldBack);
    if (oldRop)
        SetROP2(dc, oldRop);
    if (oldMode)
        SetBkMode(dc, oldMode);
    if (oldPen)
        SelectObject(dc, oldPen);
    canvas->ReleaseDC(dc);
    return done;
}

int MoveFrameRect(cFrameWindow* record, int sx, int sy, int dx, int dy, int width, int height)
{
    cCanvas* canvas = DrawingCanvas(record);
    return canvas ? canvas->MoveRect(sx, sy, dx, dy, width, height) : 0;
}

int CopyFrameToScreen(cFrameWindow* record)
{
    cCanvas* canvas = DrawingCanvas(record);
    if (!canvas || !record->window)
        return 0;
    POINT origin = {0, 0};
    if (!ClientToScreen(record->window, &origin))
        return 0;
    cCanvas screen;
    if (!screen.CreateOnDC(nullptr))
        return 0;
    // The whole canvas from its first pixel: its host position is its origin.
    return canvas->Blit(&screen, origin.x, origin.y, canvas->originX, canvas->originY, canvas->GetWidth(),
                        canvas->GetHeight(), BLIT_OPAQUE, 0, 0, 0);
}
