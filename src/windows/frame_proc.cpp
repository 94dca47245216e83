// The window procedure of the windows the library makes: it keeps the client area within its maximum size,
// repaints from the drawing surface (or the background brush), sets the cursor, makes an MDI frame's client and
// releases the record when the window goes. Everything else is the system's MDI or plain default handling.
#include "frame_window.h"
#include "display/window_surface.h"
#include "surface/palette.h"

namespace kx {

int PresentFrameArea(cFrameWindow* record, const RECT& area, HDC dc)
{
    cSurfaceBackend* surface = record->drawingSurface;
    if (!surface || !record->window)
        return 0;
    GdiFlush();
    RECT client;
    if (!GetClientRect(record->window, &client) || client.right <= 0 || client.bottom <= 0)
        return 0;
    if (record->flags & FRAME_STRETCH) {
        // A surface shown at another size than the client's would be stretched onto it, which the library cannot
        // do yet: nothing is drawn rather than a part at the wrong scale.
        unsigned long long sw = (unsigned)surface->d.width, sh = (unsigned)surface->d.height;
        unsigned long long fx = sw ? (unsigned long long)client.right * 65536 / sw : 0;
        unsigned long long fy = sh ? (unsigned long long)client.bottom * 65536 / sh : 0;
        if (fx && fy && !(fx == 65536 && fy == 65536))
            return 0;
    }
    RECT part;
    if (!IntersectRect(&part, &area, &client))
        return 0;
    HDC target = record->ownDC ? record->ownDC : dc;
    if (!target)
        return 0;
    cWindowSurface window;
    window.AttachDC(target);
    return surface->Blit(&window, part.left, part.top, part.left, part.top, part.right - part.left,
                         part.bottom - part.top, BLIT_OPAQUE, 0, 0, 0);
}

}  // namespace kx

using namespace kx;

namespace {

// An MDI client's class name, as the system registers it.
bool ParentIsMdiClient(HWND window)
{
    HWND parent = GetParent(window);
    char name[16] = {};
    return parent && GetClassNameA(parent, name, sizeof name) && lstrcmpiA(name, "mdiclient") == 0;
}

LRESULT DefaultHandling(cFrameWindow* record, HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (record) {
        if ((record->flags & (FRAME_MDI_FRAME | FRAME_MDI_CHILD)) == FRAME_MDI_FRAME)
            return DefFrameProcA(window, record->mdiClient, message, wParam, lParam);
        if (record->flags & FRAME_MDI_CHILD)
            return DefMDIChildProcA(window, message, wParam, lParam);
        return DefWindowProcA(window, message, wParam, lParam);
    }
    if (ParentIsMdiClient(window))
        return DefMDIChildProcA(window, message, wParam, lParam);
    return DefWindowProcA(window, message, wParam, lParam);
}

void CreateMdiClient(cFrameWindow* record)
{
    CLIENTCREATESTRUCT client = {};
    client.hWindowMenu = nullptr;
    client.idFirstChild = 50;
    HINSTANCE instance = record->application ? record->application->instance : nullptr;
    record->mdiClient = CreateWindowExA(0, "mdiclient", nullptr,
                                        WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN | WS_VSCROLL | WS_HSCROLL, 0, 0,
                                        600, 400, record->window, reinterpret_cast<HMENU>(1), instance, &client);
}

// Brings a new client size back within the maximum. True when the window was resized (a nested WM_SIZE has
// then reported the size that holds).
bool ClampClientSize(cFrameWindow* record, int width, int height)
{
    int maxWidth = record->maxClientWidth, maxHeight = record->maxClientHeight;
    int w, h;
    if (height > maxHeight) {
        w = (width < maxWidth ? width : maxWidth) + record->frameWidth;
        h = maxHeight + record->frameHeight;
    } else if (width > maxWidth) {
        w = maxWidth + record->frameWidth;
        h = height + record->frameHeight;
    } else {
        return false;
    }
    SetWindowPos(record->window, nullptr, 0, 0, w, h, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    return true;
}

void FillBackground(cFrameWindow* record, HDC dc, const RECT& box)
{
    // A managed window of an application with a palette keeps a palette index instead of a brush.
    SharedPalette* palette = record->application ? record->application->palette : nullptr;
    if (record->updateList && palette) {
        HBRUSH brush = CreateSolidBrush(PaletteEntryColour(palette, (int)record->background));
        if (brush) {
            FillRect(dc, &box, brush);
            DeleteObject(brush);
        }
        return;
    }
    if (record->background)
        FillRect(dc, &box, reinterpret_cast<HBRUSH>((ULONG_PTR)record->background));
}

LRESULT EraseBackground(cFrameWindow* record, HWND window, HDC dc, WPARAM wParam, LPARAM lParam)
{
    if (record->flags & FRAME_NO_ERASE)
        return 1;
    if (IsIconic(window))
        return DefaultHandling(record, window, WM_ERASEBKGND, wParam, lParam);
    RECT box;
    int kind = GetClipBox(dc, &box);
    if (kind == NULLREGION || kind == ERROR || IsRectEmpty(&box))
        return 1;
    if (record->drawingSurface) {
        RECT client, limit = {0, 0, record->maxClientWidth, record->maxClientHeight};
        GetClientRect(window, &client);
        if (IntersectRect(&box, &box, &client) && IntersectRect(&box, &box, &limit))
            PresentFrameArea(record, box, dc);
    } else {
        FillBackground(record, dc, box);
    }
    return 1;
}

}  // namespace

LRESULT KX_STDCALL FrameWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_CREATE) {
        // Only the record CreateFrameWindow is making is taken from the creation block: a host's window of the
        // same class may carry anything there.
        const CREATESTRUCTA* create = reinterpret_cast<const CREATESTRUCTA*>(lParam);
        const MDICREATESTRUCTA* block = create ? static_cast<const MDICREATESTRUCTA*>(create->lpCreateParams) : nullptr;
        cFrameWindow* record = RecordBeingCreated();
        if (!block || !record || reinterpret_cast<cFrameWindow*>(block->lParam) != record)
            return DefaultHandling(nullptr, window, message, wParam, lParam);
        record->window = window;
        if ((record->flags & (FRAME_MDI_FRAME | FRAME_MDI_CHILD)) == FRAME_MDI_FRAME)
            CreateMdiClient(record);
        return DefaultHandling(record, window, message, wParam, lParam);
    }

    cFrameWindow* record = FindFrameWindow(window);
    if (!record)
        return DefaultHandling(nullptr, window, message, wParam, lParam);

    switch (message) {
    case WM_DESTROY:
    case WM_MDIDESTROY:
        // A window that fails while it is made is destroyed inside CreateWindowExA; its creator cleans up.
        if (record != RecordBeingCreated())
            ReleaseFrameRecord(record);
        return 0;
    case WM_SIZE:
        if (!(record->flags & (FRAME_RESIZING | FRAME_STRETCH))) {
            // The flag keeps the WM_SIZE of the correcting resize from being corrected again; it is cleared on
            // every way out, or the next oversized resize would not be corrected at all.
            record->flags |= FRAME_RESIZING;
            bool resized = ClampClientSize(record, LOWORD(lParam), HIWORD(lParam));
            record->flags &= (unsigned short)~FRAME_RESIZING;
            if (resized)
                return 0;
        }
        break;
    case WM_ERASEBKGND:
        return EraseBackground(record, window, reinterpret_cast<HDC>(wParam), wParam, lParam);
    case WM_GETMINMAXINFO: {
        LRESULT result = 0;
        // An MDI child's limits come from its MDI client; they are then cut like anyone's.
        if (record->flags & FRAME_MDI_CHILD)
            result = DefMDIChildProcA(window, message, wParam, lParam);
        auto* info = reinterpret_cast<MINMAXINFO*>(lParam);
        long maxWidth = record->maxClientWidth + record->frameWidth;
        long maxHeight = record->maxClientHeight + record->frameHeight;
        if (info->ptMaxSize.x > maxWidth)
            info->ptMaxSize.x = maxWidth;
        if (info->ptMaxSize.y > maxHeight)
            info->ptMaxSize.y = maxHeight;
        if (info->ptMaxTrackSize.x > maxWidth)
            info->ptMaxTrackSize.x = maxWidth;
        if (info->ptMaxTrackSize.y > maxHeight)
            info->ptMaxTrackSize.y = maxHeight;
        return result;
    }
    case WM_MOUSEMOVE:
        SetCursor(record->cursor);
        return 0;
    }
    return DefaultHandling(record, window, message, wParam, lParam);
}
