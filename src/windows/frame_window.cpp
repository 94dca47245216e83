// Window records: making one for a new or a host's window, finding it back from a window handle, releasing it,
// and the small members hosts call on it (geometry, menu, device context, options). The window procedure is in
// frame_proc.cpp, the cursors in frame_cursor.cpp, the display-mode holder in frame_display_mode.cpp.
#include "frame_window.h"
#include "frame/frame.h"
#include "kalvex2/canvas.h"
#include "kalvex2/palette.h"
#include "surface/backend.h"

namespace kx {

// The record whose window is being made on this thread: a window that fails during its creation is destroyed
// before CreateWindowExA returns, and then the creator, not the window procedure, gives the record back.
static thread_local cFrameWindow* t_recordBeingCreated = nullptr;

void* NewDisplayList(unsigned long bytes)
{
    if (bytes < DISPLAY_LIST_SMALL)
        return nullptr;
    // Sizes count 32-bit list words; a 64-bit build's wider words still get room for both headers and the end.
    size_t room = sizeof(DisplayListHeader) + sizeof(DisplayPoolBlock) + sizeof(unsigned long);
    void* block = nullptr;
    if (!CallocRetry(bytes > room ? bytes : room, &block))
        return nullptr;
    auto* header = static_cast<DisplayListHeader*>(block);
    auto* pool = reinterpret_cast<DisplayPoolBlock*>(header + 1);
    header->freeFirst = header->freeLast = pool;
    // A block for n objects (n x 168 + 36 bytes) starts with one free block of n x 168 - 20 bytes; a plain
    // window's 56-byte block has a free block of size 0, which is also the end of its pool.
    pool->size = bytes - DISPLAY_LIST_SMALL;
    pool->state = 1;
    return block;
}

cFrameWindow* RecordBeingCreated() { return t_recordBeingCreated; }

static void RemoveFromApplication(cFrameWindow* record)
{
    if (cApplication* app = record->application) {
        if (int index = app->windows.Find(record))
            app->windows.Remove(index);
    }
}

void ReleaseFrameRecord(cFrameWindow* record)
{
    ForgetDisplayModeHolder(record);
    // The record is packed: its pointer members are read into locals rather than addressed in place.
    void* objects = record->displayList;
    FreeAndNull(&objects);
    record->displayList = nullptr;
    if (record->ownDC && record->previousPalette)
        SelectPalette(record->ownDC, record->previousPalette, FALSE);
    if (record->surfaceDC && record->surfacePreviousPalette)
        SelectPalette(record->surfaceDC, record->surfacePreviousPalette, FALSE);
    // The drawing canvas is the host's; only the background canvas belongs to the window.
    record->surfaceDC = nullptr;
    record->surfaceAttached = 0;
    record->surfacePreviousPalette = nullptr;
    record->drawingCanvas = nullptr;
    record->drawingSurface = nullptr;
    DeleteCanvas(record->backgroundCanvas);
    record->backgroundCanvas = nullptr;
    record->backgroundSurface = nullptr;
    record->flags &= (unsigned short)~FRAME_SURFACES_ATTACHED;
    void* list = record->updateList;
    FreeAndNull(&list);
    record->updateList = nullptr;
    if (record->pen)
        DeleteObject(record->pen);
    record->pen = nullptr;
    if (record->ownDC)
        ReleaseDC(record->window, record->ownDC);
    record->ownDC = nullptr;
    // A window that outlives its record (a host's window, or one in the last messages of its destruction) must
    // not lead anyone to freed memory through its window long.
    if (record->window && !(record->flags & (FRAME_ATTACHED_HOST | FRAME_ATTACHED_PARENT)) &&
        GetWindowLongPtrA(record->window, 0) == (LONG_PTR)record)
        SetWindowLongPtrA(record->window, 0, 0);
    RemoveFromApplication(record);
    void* block = record;
    FreeAndNull(&block);
}

// Gives back a record whose window could not be made.
static cFrameWindow* FailCreation(cFrameWindow* record, cFrameWindow* result)
{
    record->window = nullptr;
    ReleaseFrameRecord(record);
    return result;
}

// Negative request values are client sizes; positive ones window sizes, from which the frame is taken.
static void SetMaxClientSize(cFrameWindow* record, const WindowCreateInfo* request)
{
    int w = request->maxClientWidth, h = request->maxClientHeight;
    record->maxClientWidth = w < 0 ? -w : w - record->frameWidth;
    record->maxClientHeight = h < 0 ? -h : h - record->frameHeight;
}

static HWND CreateMdiChild(cFrameWindow* record, const WindowCreateInfo* request)
{
    cFrameWindow* frame = FindFrameWindow(request->parent);
    if (!frame || !frame->mdiClient)
        return nullptr;
    record->mdiClient = frame->mdiClient;
    MDICREATESTRUCTA create = {};
    create.szClass = request->className;
    create.szTitle = request->title;
    create.hOwner = request->instance;
    create.x = create.y = create.cx = create.cy = CW_USEDEFAULT;
    create.style = request->style;
    create.lParam = (LPARAM)record;
    return (HWND)SendMessageA(record->mdiClient, WM_MDICREATE, 0, (LPARAM)&create);
}

static HWND CreatePlainWindow(cFrameWindow* record, const WindowCreateInfo* request, int width, int height)
{
    // Shaped like an MDI child's creation block, so that WM_CREATE finds the record the same way for both.
    MDICREATESTRUCTA create = {};
    create.lParam = (LPARAM)record;
    return CreateWindowExA(request->exStyle, request->className, request->title, request->style, request->x,
                           request->y, width, height, request->parent, request->menu, request->instance, &create);
}

}  // namespace kx

using namespace kx;

cFrameWindow* CreateFrameWindow(cApplication* application, WindowCreateInfo* request)
{
    if (!application)
        return reinterpret_cast<cFrameWindow*>(1);
    if (!request)
        return reinterpret_cast<cFrameWindow*>(2);
    void* block = nullptr;
    if (!CallocRetry(sizeof(cFrameWindow), &block))
        return nullptr;
    auto* record = static_cast<cFrameWindow*>(block);
    record->application = application;
    record->parent = request->parent;
    record->flags = (unsigned short)(request->flags | FRAME_OWN_DC);
    record->displayMode = application->displayMode;
    record->maxClientWidth = request->maxClientWidth;
    record->maxClientHeight = request->maxClientHeight;
    record->backgroundColour = RGB(255, 255, 255);
    record->penColour = RGB(0, 0, 0);
    record->backgroundIndex = (unsigned short)FindModeIndex(application, application->displayMode & 0xF,
                                                            record->backgroundColour);
    record->penIndex = (unsigned short)FindModeIndex(application, application->displayMode & 0xF, record->penColour);
    record->penExtent = 1;
    record->backgroundMode = OPAQUE;
    record->drawingMode = R2_COPYPEN;
    if (!application->windows.AddTail(record)) {
        FreeAndNull(&block);
        return nullptr;
    }

    int type = (int)request->type;
    int width = request->width;
    int height = request->height;
    if (type != FRAME_TYPE_ATTACH && width != CW_USEDEFAULT && height != CW_USEDEFAULT && width < 0) {
        RECT outer = {0, 0, -width, -height};
        AdjustWindowRectEx(&outer, request->style, FALSE, request->exStyle);
        width = outer.right - outer.left;
        height = outer.bottom - outer.top;
    }

    // A record without its blocks would fail every later use, so it is not handed out.
    if (type == FRAME_TYPE_MANAGED) {
        void* list = nullptr;
        if (!CallocRetry(sizeof(DirtyRectList), &list))
            return FailCreation(record, nullptr);
        record->updateList = static_cast<DirtyRectList*>(list);
    }
    record->displayList = NewDisplayList(type == FRAME_TYPE_MANAGED ? DISPLAY_LIST_MANAGED : DISPLAY_LIST_SMALL);
    if (!record->displayList)
        return FailCreation(record, nullptr);

    record->cursor = request->cursor == reinterpret_cast<HCURSOR>(1) ? LoadCursorA(nullptr, IDC_ARROW) : request->cursor;
    record->background = request->background;
    if (type == FRAME_TYPE_MANAGED && application->palette)
        record->background = (unsigned long)FindNearestIndex(application->palette, request->background);
    else if (request->background == 1)
        record->background = (unsigned long)(ULONG_PTR)GetStockObject(WHITE_BRUSH);

    bool created = false;
    HWND window = nullptr;
    if (type == FRAME_TYPE_ATTACH) {
        window = request->parent;
        record->flags |= FRAME_ATTACHED_PARENT;
    } else if (request->size >= sizeof(WindowCreateInfo) && request->existing) {
        window = request->existing;
        record->flags = (unsigned short)((record->flags & ~FRAME_OWN_DC) | FRAME_ATTACHED_HOST);
    } else {
        // A window made visible is sized (and sends WM_GETMINMAXINFO and WM_SIZE) before CreateWindowExA returns:
        // the limits must hold from then on, with the frame the system is about to give the window.
        RECT frame = {0, 0, 0, 0};
        bool menuBar = request->menu && !(request->style & WS_CHILD);
        AdjustWindowRectEx(&frame, request->style, menuBar, request->exStyle);
        record->frameWidth = frame.right - frame.left;
        record->frameHeight = frame.bottom - frame.top;
        SetMaxClientSize(record, request);
        cFrameWindow* outer = t_recordBeingCreated;
        t_recordBeingCreated = record;
        window = (record->flags & FRAME_MDI_CHILD) ? CreateMdiChild(record, request)
                                                   : CreatePlainWindow(record, request, width, height);
        t_recordBeingCreated = outer;
        created = true;
    }
    if (!window)
        return FailCreation(record, reinterpret_cast<cFrameWindow*>(2));
    record->window = window;
    if (created)
        SetWindowLongPtrA(window, 0, (LONG_PTR)record);

    RECT outerRect = {}, client = {};
    GetWindowRect(window, &outerRect);
    GetClientRect(window, &client);
    int outerWidth = outerRect.right - outerRect.left, outerHeight = outerRect.bottom - outerRect.top;
    record->frameWidth = outerWidth - (client.right - client.left);
    record->frameHeight = outerHeight - (client.bottom - client.top);
    if (type == FRAME_TYPE_ATTACH) {
        record->maxClientWidth = outerWidth;
        record->maxClientHeight = outerHeight;
    } else {
        SetMaxClientSize(record, request);
    }

    if (created) {
        record->ownDC = GetDC(window);
        if (SharedPalette* palette = application->palette) {
            GetPaletteHandle(palette);
            SelectFramePalette(record, palette);
        }
    }
    return record;
}

cFrameWindow* AttachFrameWindow(cApplication* application, HWND window)
{
    if (!application)
        return reinterpret_cast<cFrameWindow*>(1);
    WindowCreateInfo request = {};
    request.size = offsetof(WindowCreateInfo, existing);
    request.instance = application->instance;
    request.parent = window;
    request.cursor = reinterpret_cast<HCURSOR>(1);
    request.background = (unsigned long)(ULONG_PTR)GetStockObject(BLACK_BRUSH);
    request.type = FRAME_TYPE_ATTACH;
    return CreateFrameWindow(application, &request);
}

void DestroyFrameWindow(cFrameWindow* record)
{
    if (!record)
        return;
    cApplication* app = record->application;
    HWND window = record->window;
    // Records of the windows this one is parent of go first. Every destruction changes the list, so the walk
    // starts over after each; a record without a window has no children (a null parent is no parent).
    if (app && window) {
        for (bool again = true; again;) {
            again = false;
            for (int i = app->windows.head; i;) {
                auto* other = static_cast<cFrameWindow*>(app->windows.GetNext(&i));
                if (other && other != record && other->parent == window) {
                    DestroyFrameWindow(other);
                    again = true;
                    break;
                }
            }
        }
    }
    if ((record->flags & (FRAME_ATTACHED_HOST | FRAME_ATTACHED_PARENT)) || !window || !IsWindow(window)) {
        ReleaseFrameRecord(record);
        return;
    }
    if (record->flags & FRAME_MDI_CHILD)
        SendMessageA(record->mdiClient, WM_MDIDESTROY, (WPARAM)window, 0);
    else
        DestroyWindow(window);
    // A window whose procedure is not ours (or does not pass WM_DESTROY on) leaves its record behind.
    if (app && app->windows.Find(record))
        ReleaseFrameRecord(record);
}

cFrameWindow* FindFrameWindow(HWND window)
{
    cSlotList* apps = CurrentThreadAppList();
    if (!apps || !window)
        return nullptr;
    for (int a = apps->head; a;) {
        auto* app = static_cast<cApplication*>(apps->GetNext(&a));
        if (!app)
            continue;
        for (int w = app->windows.head; w;) {
            auto* record = static_cast<cFrameWindow*>(app->windows.GetNext(&w));
            if (record && record->window == window)
                return record;
        }
    }
    return nullptr;
}

int GetFrameFlags(cFrameWindow* record)
{
    return record ? record->flags : 0;
}

int SetFrameFlags(cFrameWindow* record, int flags)
{
    if (!record)
        return 0;
    record->flags = (unsigned short)flags;
    return record->flags;
}

HWND GetFrameHwnd(cFrameWindow* record)
{
    return record ? record->window : nullptr;
}

HWND GetMdiClient(cFrameWindow* record)
{
    return record ? record->mdiClient : nullptr;
}

enum { KEEP_VALUE = 0x8000 };

int SetFramePosition(cFrameWindow* record, int x, int y)
{
    if (!record || !record->window)
        return 0;
    if (x == KEEP_VALUE || y == KEEP_VALUE) {
        // SetWindowPos takes a child's position in its parent's client coordinates.
        RECT r;
        GetWindowRect(record->window, &r);
        if (GetWindowLongA(record->window, GWL_STYLE) & WS_CHILD)
            MapWindowPoints(HWND_DESKTOP, GetAncestor(record->window, GA_PARENT), reinterpret_cast<POINT*>(&r), 2);
        if (x == KEEP_VALUE)
            x = r.left;
        if (y == KEEP_VALUE)
            y = r.top;
    }
    return SetWindowPos(record->window, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE) ? 1 : 0;
}

int SetFrameSize(cFrameWindow* record, int width, int height)
{
    if (!record || !record->window)
        return 0;
    RECT r;
    GetWindowRect(record->window, &r);
    if (width == KEEP_VALUE)
        width = r.right - r.left;
    else if (width <= 0)
        width = record->frameWidth - width;
    if (height == KEEP_VALUE)
        height = r.bottom - r.top;
    else if (height <= 0)
        height = record->frameHeight - height;
    return SetWindowPos(record->window, nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE)
               ? 1
               : 0;
}

HMENU SetFrameMenu(cFrameWindow* record, HMENU menu, unsigned long value)
{
    if (!record)
        return nullptr;
    // The menu bar is part of the frame: client sizes asked for later stay client sizes.
    int bar = GetSystemMetrics(SM_CYMENU);
    if (record->menu)
        record->frameHeight -= bar;
    SetMenu(record->window, menu);
    if (menu)
        record->frameHeight += bar;
    record->menu = menu;
    record->menuValue = value;
    return menu;
}

HDC GetFrameDC(cFrameWindow* record)
{
    if (!record)
        return nullptr;
    if ((record->flags & FRAME_OWN_DC) && record->ownDC)
        return record->ownDC;
    return GetDC(record->window);
}

int ReleaseFrameDC(cFrameWindow* record, HDC dc)
{
    if (!record || !dc)
        return 0;
    if (dc == record->ownDC)
        return 1;
    return ReleaseDC(record->window, dc);
}

enum {
    OPTION_NEW_DISPLAY_LIST = 1,
    OPTION_SET_STATE = 2,
    OPTION_GET_STATE = 4,
    OPTION_GET_OPTIONS = 9,
    OPTION_SET_OPTIONS = 10
};

int FrameOption(cFrameWindow* record, int type, int value, int count)
{
    if (!record)
        return 0;
    switch (type) {
    case OPTION_NEW_DISPLAY_LIST: {
        // n objects need n x 168 + 36 bytes; a count that leaves no pool, or whose size does not fit, gets none.
        if (count < 1 || count > (0x7FFFFFFF - DISPLAY_LIST_FIXED) / DISPLAY_OBJECT_BYTES)
            return 0;
        void* list = NewDisplayList((unsigned long)count * DISPLAY_OBJECT_BYTES + DISPLAY_LIST_FIXED);
        if (!list)
            return 0;
        void* old = record->displayList;
        FreeAndNull(&old);
        record->displayList = list;
        return 1;
    }
    case OPTION_SET_STATE:
        if (!record->application)
            return 0;
        record->application->stateFlags = (unsigned short)value;
        return record->application->stateFlags;
    case OPTION_GET_STATE:
        return record->application ? record->application->stateFlags : 0;
    case OPTION_GET_OPTIONS:
        return record->options;
    case OPTION_SET_OPTIONS:
        record->options = (unsigned short)value;
        if ((record->options & FRAME_WAIT_VBLANK) && !DirectDrawUsable())
            record->options &= (unsigned short)~FRAME_WAIT_VBLANK;
        return record->options;
    default: return 1;
    }
}

int GetFrameClientRect(cFrameWindow* record, RECT* out)
{
    if (!record || !out)
        return 0;
    SetRect(out, 0, 0, record->maxClientWidth, record->maxClientHeight);
    return 1;
}
