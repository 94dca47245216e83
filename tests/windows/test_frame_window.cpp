// Window records on real windows (Wine answers every window call): the sizes a host sees, the limits the window
// procedure keeps, menus, cursors, MDI frames and children, host windows attached and released, the display-mode
// holder, and what WM_ERASEBKGND brings to the screen.
#include <windows.h>

#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "frame/frame.h"
#include "surface/backend.h"
#include "surface/palette.h"
#include "windows/frame_window.h"

using namespace kx;

namespace {

const char kFrameClass[] = "KxFrameTest";
const char kHostClass[] = "KxHostTest";
const char kHostChildClass[] = "KxHostChildTest";
const char kRefusingClass[] = "KxRefusingTest";

// A host's procedure over the library's that refuses to be created once the library has seen WM_CREATE.
LRESULT CALLBACK RefusingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    LRESULT result = FrameWindowProc(window, message, wParam, lParam);
    return message == WM_CREATE ? -1 : result;
}

class LibraryEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        InitLibrary();
        WNDCLASSA frame = {};
        frame.lpfnWndProc = FrameWindowProc;
        // The record lives in window long 0, which holds a pointer: a whole pointer's bytes are reserved.
        frame.cbWndExtra = sizeof(void*);
        frame.hInstance = GetModuleHandleA(nullptr);
        frame.lpszClassName = kFrameClass;
        ASSERT_TRUE(RegisterClassA(&frame));
        frame.lpfnWndProc = RefusingProc;
        frame.lpszClassName = kRefusingClass;
        ASSERT_TRUE(RegisterClassA(&frame));
        WNDCLASSA host = {};
        host.lpfnWndProc = DefWindowProcA;
        host.hInstance = GetModuleHandleA(nullptr);
        host.lpszClassName = kHostClass;
        ASSERT_TRUE(RegisterClassA(&host));
        host.lpszClassName = kHostChildClass;
        ASSERT_TRUE(RegisterClassA(&host));
    }
    void TearDown() override { TermLibrary(); }
};
const auto* const g_environment = ::testing::AddGlobalTestEnvironment(new LibraryEnvironment);

void Pump()
{
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

SIZE ClientSize(HWND window)
{
    RECT r = {};
    GetClientRect(window, &r);
    return {r.right - r.left, r.bottom - r.top};
}

SIZE WindowSize(HWND window)
{
    RECT r = {};
    GetWindowRect(window, &r);
    return {r.right - r.left, r.bottom - r.top};
}

// An application object as a host gets one (with the default palette). Records it still has go first.
class TestApplication {
public:
    TestApplication() : app_(CreateApplication(GetModuleHandleA(nullptr), nullptr)) {}
    ~TestApplication()
    {
        if (!app_)
            return;
        while (app_->windows.head)
            DestroyFrameWindow(static_cast<cFrameWindow*>(app_->windows.GetAt(app_->windows.head)));
        Pump();
        DestroyApplication(app_);
    }
    cApplication* get() const { return app_; }
    int Windows() const { return app_->windows.GetCount(); }

private:
    cApplication* app_;
};

WindowCreateInfo Request(int width, int height, int maxWidth, int maxHeight, DWORD style = WS_OVERLAPPEDWINDOW)
{
    WindowCreateInfo r = {};
    r.size = offsetof(WindowCreateInfo, existing);
    r.instance = GetModuleHandleA(nullptr);
    r.width = width;
    r.height = height;
    r.x = 20;
    r.y = 30;
    r.style = style;
    r.title = "frame";
    r.className = kFrameClass;
    r.maxClientWidth = maxWidth;
    r.maxClientHeight = maxHeight;
    r.cursor = reinterpret_cast<HCURSOR>(1);
    r.background = 1;
    return r;
}

cFrameWindow* Made(cFrameWindow* record)
{
    // 0, 1 and 2 are the failure results.
    return reinterpret_cast<ULONG_PTR>(record) > 2 ? record : nullptr;
}

// A backend without pixels that records what the window asks of it: blits to a device, and display modes.
class RecordingSurface : public cSurfaceBackend {
public:
    struct BlitCall {
        int dx, dy, sx, sy, width, height;
        HDC target;
    };
    RecordingSurface(int width, int height)
    {
        d.width = width;
        d.height = height;
    }
    void Destroy(unsigned flags) override { DestroyBackend(this, flags); }
    cSurfaceBackend* MakeInstance(int, int) override { return nullptr; }
    int Blit(cSurfaceBackend* destination, int dx, int dy, int sx, int sy, int width, int height, int, int,
             unsigned long, unsigned long) override
    {
        blits.push_back({dx, dy, sx, sy, width, height, destination->GetDC()});
        return 1;
    }
    int SetDisplayMode(HWND window, int width, int height, int depth) override
    {
        modeWindow = window;
        modeDepth = depth;
        return modeWorks;
    }
    void RestoreDisplayMode(HWND window) override { restoredFor = window; }

    std::vector<BlitCall> blits;
    int modeWorks = 1;
    HWND modeWindow = nullptr;
    int modeDepth = 0;
    HWND restoredFor = nullptr;
};

// A drawing canvas over a RecordingSurface, attached to a record the way the window-surface functions do.
struct AttachedRecording {
    cCanvas canvas;
    RecordingSurface* surface;
    cFrameWindow* record;
    AttachedRecording(cFrameWindow* r, int width, int height) : record(r)
    {
        surface = New<RecordingSurface>(width, height);
        AttachBackend(&canvas, surface);
        record->drawingCanvas = &canvas;
        record->drawingSurface = surface;
        record->surfaceAttached = -1;
        record->flags |= FRAME_SURFACES_ATTACHED;
    }
};

TEST(FrameWindow, FailuresLeaveNothingBehind)
{
    TestApplication app;
    WindowCreateInfo request = Request(100, 100, 200, 200);
    EXPECT_EQ(CreateFrameWindow(nullptr, &request), reinterpret_cast<cFrameWindow*>(1));
    EXPECT_EQ(AttachFrameWindow(nullptr, GetDesktopWindow()), reinterpret_cast<cFrameWindow*>(1));
    EXPECT_EQ(CreateFrameWindow(app.get(), nullptr), reinterpret_cast<cFrameWindow*>(2));

    request.className = "NoSuchClassHere";
    EXPECT_EQ(CreateFrameWindow(app.get(), &request), reinterpret_cast<cFrameWindow*>(2));
    EXPECT_EQ(app.Windows(), 0);
    // A window destroyed inside its own creation: the record goes back once.
    request.className = kRefusingClass;
    EXPECT_EQ(CreateFrameWindow(app.get(), &request), reinterpret_cast<cFrameWindow*>(2));
    EXPECT_EQ(app.Windows(), 0);

    // An MDI child needs its frame's record.
    HWND host = CreateWindowExA(0, kHostClass, "host", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr, nullptr,
                                GetModuleHandleA(nullptr), nullptr);
    WindowCreateInfo child = Request(100, 100, 200, 200, WS_CHILD);
    child.parent = host;
    child.flags = FRAME_MDI_CHILD;
    EXPECT_EQ(CreateFrameWindow(app.get(), &child), reinterpret_cast<cFrameWindow*>(2));
    EXPECT_EQ(app.Windows(), 0);
    DestroyWindow(host);

    // The accessors of a null record.
    EXPECT_EQ(GetFrameFlags(nullptr), 0);
    EXPECT_EQ(SetFrameFlags(nullptr, 3), 0);
    EXPECT_EQ(GetFrameHwnd(nullptr), nullptr);
    EXPECT_EQ(GetMdiClient(nullptr), nullptr);
    EXPECT_EQ(SetFrameSize(nullptr, 1, 1), 0);
    EXPECT_EQ(SetFramePosition(nullptr, 1, 1), 0);
    EXPECT_EQ(SetFrameCursor(nullptr, nullptr), nullptr);
    EXPECT_EQ(BeginBusyCursor(nullptr), 0);
    EXPECT_EQ(GetFrameDC(nullptr), nullptr);
    EXPECT_EQ(FrameOption(nullptr, 4, 0, 0), 0);
    EXPECT_EQ(FindFrameWindow(nullptr), nullptr);
    DestroyFrameWindow(nullptr);
}

TEST(FrameWindow, NegativeSizesAreClientSizes)
{
    TestApplication app;
    WindowCreateInfo request = Request(-320, -200, -640, -480);
    cFrameWindow* record = Made(CreateFrameWindow(app.get(), &request));
    ASSERT_NE(record, nullptr);
    HWND window = GetFrameHwnd(record);
    ASSERT_TRUE(IsWindow(window));
    SIZE client = ClientSize(window), outer = WindowSize(window);
    EXPECT_EQ(client.cx, 320);
    EXPECT_EQ(client.cy, 200);
    EXPECT_EQ(record->frameWidth, outer.cx - client.cx);
    EXPECT_EQ(record->frameHeight, outer.cy - client.cy);
    EXPECT_GT(record->frameHeight, 0);
    RECT limit;
    ASSERT_EQ(GetFrameClientRect(record, &limit), 1);
    EXPECT_EQ(limit.right, 640);
    EXPECT_EQ(limit.bottom, 480);

    // The window finds its record both ways, and the record is in its application's list.
    EXPECT_EQ(FindFrameWindow(window), record);
    EXPECT_EQ(reinterpret_cast<cFrameWindow*>(GetWindowLongPtrA(window, 0)), record);
    EXPECT_EQ(app.Windows(), 1);
    EXPECT_EQ(record->application, app.get());
    EXPECT_EQ(GetFrameFlags(record), FRAME_OWN_DC);
    EXPECT_EQ(record->cursor, LoadCursorA(nullptr, IDC_ARROW));
    EXPECT_EQ(record->background, (unsigned long)(ULONG_PTR)GetStockObject(WHITE_BRUSH));
    EXPECT_EQ(record->penExtent, 1);
    EXPECT_EQ(record->backgroundMode, OPAQUE);
    EXPECT_EQ(record->drawingMode, R2_COPYPEN);
    EXPECT_EQ(record->backgroundColour, RGB(255, 255, 255));
    EXPECT_EQ(record->updateList, nullptr);

    // The own DC is taken once, handed out as it is, and carries the application's palette.
    ASSERT_NE(record->ownDC, nullptr);
    EXPECT_EQ(GetFrameDC(record), record->ownDC);
    EXPECT_EQ(ReleaseFrameDC(record, record->ownDC), 1);
    EXPECT_EQ(GetFrameDC(record), record->ownDC);
    EXPECT_EQ(record->palette, app.get()->palette->paletteHandle);
    EXPECT_EQ(GetCurrentObject(record->ownDC, OBJ_PAL), (HGDIOBJ)record->palette);
    EXPECT_NE(record->previousPalette, nullptr);

    // Positive maximum values are window sizes.
    WindowCreateInfo outerLimit = Request(300, 200, 500, 400);
    cFrameWindow* second = Made(CreateFrameWindow(app.get(), &outerLimit));
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(second->maxClientWidth, 500 - second->frameWidth);
    EXPECT_EQ(second->maxClientHeight, 400 - second->frameHeight);
    EXPECT_EQ(WindowSize(second->window).cx, 300);

    // The window's own destruction releases its record.
    DestroyWindow(window);
    EXPECT_EQ(FindFrameWindow(window), nullptr);
    EXPECT_EQ(app.Windows(), 1);
    DestroyFrameWindow(second);
    EXPECT_EQ(app.Windows(), 0);
}

TEST(FrameWindow, TheClientNeverGrowsBeyondItsMaximum)
{
    TestApplication app;
    WindowCreateInfo request = Request(-200, -100, -320, -200);
    cFrameWindow* record = Made(CreateFrameWindow(app.get(), &request));
    ASSERT_NE(record, nullptr);
    HWND window = record->window;
    struct Case {
        int width, height;   // window size asked for
        int clientWidth, clientHeight;
    } cases[] = {
        {800, 600, 320, 200},                                                    // both too large
        {900, 700, 320, 200},                                                    // again: still corrected
        {800, 150 + record->frameHeight, 320, 150},                              // only the width
        {250 + record->frameWidth, 500, 250, 200},                               // only the height
        {300 + record->frameWidth, 180 + record->frameHeight, 300, 180},         // within the limits
    };
    for (const Case& c : cases) {
        SetWindowPos(window, nullptr, 0, 0, c.width, c.height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        Pump();
        SIZE client = ClientSize(window);
        EXPECT_EQ(client.cx, c.clientWidth) << c.width << " x " << c.height;
        EXPECT_EQ(client.cy, c.clientHeight) << c.width << " x " << c.height;
    }
    EXPECT_EQ(GetFrameFlags(record) & FRAME_RESIZING, 0);

    // Tracking and maximising stop at the maximum client plus the frame; smaller system limits stay.
    MINMAXINFO info = {};
    info.ptMaxSize = {5000, 50};
    info.ptMaxTrackSize = {60, 5000};
    SendMessageA(window, WM_GETMINMAXINFO, 0, (LPARAM)&info);
    EXPECT_EQ(info.ptMaxSize.x, 320 + record->frameWidth);
    EXPECT_EQ(info.ptMaxSize.y, 50);
    EXPECT_EQ(info.ptMaxTrackSize.x, 60);
    EXPECT_EQ(info.ptMaxTrackSize.y, 200 + record->frameHeight);

    // A size reported beyond the limits is corrected, unless the window shows its surface stretched.
    SetFrameSize(record, -150, -120);
    SetFrameFlags(record, GetFrameFlags(record) | FRAME_STRETCH);
    SendMessageA(window, WM_SIZE, SIZE_RESTORED, MAKELPARAM(600, 500));
    EXPECT_EQ(ClientSize(window).cx, 150);
    EXPECT_EQ(ClientSize(window).cy, 120);
    SetFrameFlags(record, GetFrameFlags(record) & ~FRAME_STRETCH);
    for (int round = 0; round < 2; round++) {
        SetFrameSize(record, -150, -120);
        EXPECT_EQ(SendMessageA(window, WM_SIZE, SIZE_RESTORED, MAKELPARAM(600, 500)), 0);
        EXPECT_EQ(ClientSize(window).cx, 320) << "round " << round;
        EXPECT_EQ(ClientSize(window).cy, 200) << "round " << round;
    }
    EXPECT_EQ(GetFrameFlags(record) & FRAME_RESIZING, 0);
}

TEST(FrameWindow, SizeAndPositionKeepWhatIsNotGiven)
{
    TestApplication app;
    WindowCreateInfo request = Request(-200, -150, -1000, -1000);
    cFrameWindow* record = Made(CreateFrameWindow(app.get(), &request));
    ASSERT_NE(record, nullptr);
    HWND window = record->window;

    EXPECT_EQ(SetFrameSize(record, 0x8000, -100), 1);
    EXPECT_EQ(ClientSize(window).cx, 200);
    EXPECT_EQ(ClientSize(window).cy, 100);
    EXPECT_EQ(SetFrameSize(record, -250, 0x8000), 1);
    EXPECT_EQ(ClientSize(window).cx, 250);
    EXPECT_EQ(ClientSize(window).cy, 100);
    EXPECT_EQ(SetFrameSize(record, 400, 300), 1);
    EXPECT_EQ(WindowSize(window).cx, 400);
    EXPECT_EQ(WindowSize(window).cy, 300);

    RECT before;
    GetWindowRect(window, &before);
    EXPECT_EQ(SetFramePosition(record, before.left + 15, 0x8000), 1);
    RECT after;
    GetWindowRect(window, &after);
    EXPECT_EQ(after.left, before.left + 15);
    EXPECT_EQ(after.top, before.top);
    EXPECT_EQ(after.right - after.left, 400);

    // A child window's position is in its parent's client coordinates.
    WindowCreateInfo childRequest = Request(50, 40, 100, 100, WS_CHILD | WS_VISIBLE);
    childRequest.parent = window;
    childRequest.x = 10;
    childRequest.y = 12;
    cFrameWindow* child = Made(CreateFrameWindow(app.get(), &childRequest));
    ASSERT_NE(child, nullptr);
    EXPECT_EQ(SetFramePosition(child, 0x8000, 30), 1);
    RECT placed;
    GetWindowRect(child->window, &placed);
    MapWindowPoints(HWND_DESKTOP, window, reinterpret_cast<POINT*>(&placed), 2);
    EXPECT_EQ(placed.left, 10);
    EXPECT_EQ(placed.top, 30);
}

TEST(FrameWindow, MenuBarCountsAsFrame)
{
    TestApplication app;
    WindowCreateInfo request = Request(-200, -150, -1000, -1000);
    cFrameWindow* record = Made(CreateFrameWindow(app.get(), &request));
    ASSERT_NE(record, nullptr);
    int frame = record->frameHeight;
    int bar = GetSystemMetrics(SM_CYMENU);
    HMENU menu = CreateMenu();
    AppendMenuA(menu, MF_STRING, 100, "File");

    EXPECT_EQ(SetFrameMenu(record, menu, 7), menu);
    EXPECT_EQ(GetMenu(record->window), menu);
    EXPECT_EQ(record->menu, menu);
    EXPECT_EQ(record->menuValue, 7u);
    EXPECT_EQ(record->frameHeight, frame + bar);
    // A client size asked for afterwards still comes out as that client size.
    SetFrameSize(record, 0x8000, -120);
    EXPECT_EQ(ClientSize(record->window).cy, 120);

    HMENU other = CreateMenu();
    AppendMenuA(other, MF_STRING, 101, "Edit");
    SetFrameMenu(record, other, 8);
    EXPECT_EQ(record->frameHeight, frame + bar);
    EXPECT_EQ(SetFrameMenu(record, nullptr, 0), nullptr);
    EXPECT_EQ(GetMenu(record->window), nullptr);
    EXPECT_EQ(record->frameHeight, frame);
    DestroyMenu(menu);
    DestroyMenu(other);
}

TEST(FrameWindow, BusyCursorsNest)
{
    TestApplication app;
    WindowCreateInfo request = Request(-100, -100, -200, -200);
    cFrameWindow* record = Made(CreateFrameWindow(app.get(), &request));
    ASSERT_NE(record, nullptr);
    HCURSOR arrow = LoadCursorA(nullptr, IDC_ARROW), cross = LoadCursorA(nullptr, IDC_CROSS);
    HCURSOR wait = LoadCursorA(nullptr, IDC_WAIT);

    EXPECT_EQ(SetFrameCursor(record, cross), arrow);
    EXPECT_EQ(SetFrameCursor(record, reinterpret_cast<HCURSOR>(1)), cross);
    EXPECT_EQ(record->cursor, arrow);

    EXPECT_EQ(BeginBusyCursor(record), 1);
    EXPECT_EQ(BeginBusyCursor(record), 2);
    EXPECT_EQ(record->cursor, wait);
    EXPECT_EQ(EndBusyCursor(record), 1);
    EXPECT_EQ(record->cursor, wait);
    EXPECT_EQ(GetCursor(), wait);
    EXPECT_EQ(EndBusyCursor(record), 0);
    EXPECT_EQ(record->cursor, arrow);
    EXPECT_EQ(GetCursor(), arrow);
    EXPECT_EQ(EndBusyCursor(record), 0);
    EXPECT_EQ(record->cursor, arrow);

    // A cursor set during a busy phase ends it: the phase's end does not bring the old cursor back.
    BeginBusyCursor(record);
    SetFrameCursor(record, cross);
    EXPECT_EQ(record->busyCount, 0);
    EndBusyCursor(record);
    EXPECT_EQ(record->cursor, cross);

    // The window shows the record's cursor whenever the mouse moves over it.
    SetCursor(arrow);
    EXPECT_EQ(SendMessageA(record->window, WM_MOUSEMOVE, 0, MAKELPARAM(5, 5)), 0);
    EXPECT_EQ(GetCursor(), cross);
}

TEST(FrameWindow, MdiFrameAndChild)
{
    TestApplication app;
    WindowCreateInfo frameRequest = Request(-500, -400, -1000, -1000, WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN);
    frameRequest.flags = FRAME_MDI_FRAME;
    cFrameWindow* frame = Made(CreateFrameWindow(app.get(), &frameRequest));
    ASSERT_NE(frame, nullptr);
    HWND client = GetMdiClient(frame);
    ASSERT_TRUE(IsWindow(client));
    char name[32] = {};
    GetClassNameA(client, name, sizeof name);
    EXPECT_EQ(lstrcmpiA(name, "mdiclient"), 0);
    EXPECT_EQ(GetParent(client), frame->window);
    EXPECT_EQ(GetDlgCtrlID(client), 1);
    EXPECT_EQ(GetFrameFlags(frame), FRAME_MDI_FRAME | FRAME_OWN_DC);
    // The frame's default handling keeps the MDI client over the whole client area.
    ShowWindow(frame->window, SW_SHOWNA);
    Pump();
    EXPECT_EQ(ClientSize(client).cx, 500);

    WindowCreateInfo childRequest = Request(200, 150, 1000, 1000, WS_CHILD | WS_VISIBLE | WS_OVERLAPPEDWINDOW);
    childRequest.parent = frame->window;
    childRequest.flags = FRAME_MDI_CHILD;
    cFrameWindow* child = Made(CreateFrameWindow(app.get(), &childRequest));
    ASSERT_NE(child, nullptr);
    HWND childWindow = child->window;
    EXPECT_EQ(GetParent(childWindow), client);
    EXPECT_EQ(child->mdiClient, client);
    EXPECT_EQ(reinterpret_cast<cFrameWindow*>(GetWindowLongPtrA(childWindow, 0)), child);
    EXPECT_EQ((HWND)SendMessageA(client, WM_MDIGETACTIVE, 0, 0), childWindow);
    EXPECT_EQ(FindFrameWindow(childWindow), child);

    cFrameWindow* second = Made(CreateFrameWindow(app.get(), &childRequest));
    ASSERT_NE(second, nullptr);
    HWND secondWindow = second->window;
    EXPECT_EQ(app.Windows(), 3);

    DestroyFrameWindow(child);
    EXPECT_FALSE(IsWindow(childWindow));
    EXPECT_EQ(app.Windows(), 2);

    // The frame takes its remaining children's records with it.
    HWND frameWindow = frame->window;
    DestroyFrameWindow(frame);
    EXPECT_FALSE(IsWindow(secondWindow));
    EXPECT_FALSE(IsWindow(frameWindow));
    EXPECT_EQ(app.Windows(), 0);
}

TEST(FrameWindow, HostWindowsOutliveTheirRecords)
{
    TestApplication app;
    HWND host = CreateWindowExA(0, kHostClass, "host", WS_OVERLAPPEDWINDOW, 40, 50, 300, 200, nullptr, nullptr,
                                GetModuleHandleA(nullptr), nullptr);
    ASSERT_TRUE(IsWindow(host));

    cFrameWindow* attached = Made(AttachFrameWindow(app.get(), host));
    ASSERT_NE(attached, nullptr);
    EXPECT_EQ(attached->window, host);
    EXPECT_EQ(GetFrameFlags(attached), FRAME_ATTACHED_PARENT | FRAME_OWN_DC);
    EXPECT_EQ(attached->maxClientWidth, 300);
    EXPECT_EQ(attached->maxClientHeight, 200);
    EXPECT_EQ(attached->ownDC, nullptr);
    EXPECT_EQ(attached->background, (unsigned long)(ULONG_PTR)GetStockObject(BLACK_BRUSH));
    // Without a DC of its own the window lends one from the system each time.
    HDC dc = GetFrameDC(attached);
    ASSERT_NE(dc, nullptr);
    EXPECT_EQ(ReleaseFrameDC(attached, dc), 1);
    EXPECT_EQ(FindFrameWindow(host), attached);
    DestroyFrameWindow(attached);
    EXPECT_TRUE(IsWindow(host));
    EXPECT_EQ(app.Windows(), 0);

    // A host window given in a long request; a host child of a frame goes with the frame's record.
    WindowCreateInfo frameRequest = Request(-200, -100, -400, -400);
    cFrameWindow* frame = Made(CreateFrameWindow(app.get(), &frameRequest));
    ASSERT_NE(frame, nullptr);
    HWND hostChild = CreateWindowExA(0, kHostChildClass, "", WS_CHILD, 0, 0, 50, 50, frame->window, nullptr,
                                     GetModuleHandleA(nullptr), nullptr);
    WindowCreateInfo existing = Request(0, 0, -50, -50);
    existing.size = sizeof(WindowCreateInfo);
    existing.existing = hostChild;
    existing.parent = frame->window;
    cFrameWindow* given = Made(CreateFrameWindow(app.get(), &existing));
    ASSERT_NE(given, nullptr);
    EXPECT_EQ(given->window, hostChild);
    EXPECT_EQ(GetFrameFlags(given), FRAME_ATTACHED_HOST);
    EXPECT_EQ(given->ownDC, nullptr);
    EXPECT_EQ(app.Windows(), 2);
    DestroyFrameWindow(given);
    EXPECT_TRUE(IsWindow(hostChild));
    EXPECT_EQ(app.Windows(), 1);

    given = Made(CreateFrameWindow(app.get(), &existing));
    ASSERT_NE(given, nullptr);
    DestroyFrameWindow(frame);
    EXPECT_EQ(app.Windows(), 0);
    EXPECT_EQ(FindFrameWindow(hostChild), nullptr);
    DestroyWindow(host);
}

TEST(FrameWindow, HostMadeWindowsOfTheClassHaveNoRecord)
{
    TestApplication app;
    // A creation value that is no record the library is making is not taken for one.
    MDICREATESTRUCTA block = {};
    block.lParam = (LPARAM)0x1234;
    HWND plain = CreateWindowExA(0, kFrameClass, "plain", WS_OVERLAPPEDWINDOW, 0, 0, 200, 150, nullptr, nullptr,
                                 GetModuleHandleA(nullptr), &block);
    ASSERT_TRUE(IsWindow(plain));
    EXPECT_EQ(FindFrameWindow(plain), nullptr);
    EXPECT_EQ(app.Windows(), 0);

    // Children of an MDI client get the MDI child handling even without a record: activating one makes it the
    // client's active child.
    WindowCreateInfo frameRequest = Request(-400, -300, -1000, -1000);
    frameRequest.flags = FRAME_MDI_FRAME;
    cFrameWindow* frame = Made(CreateFrameWindow(app.get(), &frameRequest));
    ASSERT_NE(frame, nullptr);
    MDICREATESTRUCTA create = {};
    create.szClass = kFrameClass;
    create.szTitle = "child";
    create.hOwner = GetModuleHandleA(nullptr);
    create.x = create.y = create.cx = create.cy = CW_USEDEFAULT;
    create.style = WS_VISIBLE;
    HWND first = (HWND)SendMessageA(frame->mdiClient, WM_MDICREATE, 0, (LPARAM)&create);
    HWND second = (HWND)SendMessageA(frame->mdiClient, WM_MDICREATE, 0, (LPARAM)&create);
    ASSERT_TRUE(IsWindow(first) && IsWindow(second));
    EXPECT_EQ(FindFrameWindow(first), nullptr);
    EXPECT_EQ((HWND)SendMessageA(frame->mdiClient, WM_MDIGETACTIVE, 0, 0), second);
    SendMessageA(first, WM_CHILDACTIVATE, 0, 0);
    EXPECT_EQ((HWND)SendMessageA(frame->mdiClient, WM_MDIGETACTIVE, 0, 0), first);
    DestroyWindow(plain);
}

TEST(FrameWindow, OtherThreadsDoNotFindTheRecord)
{
    TestApplication app;
    WindowCreateInfo request = Request(-100, -100, -200, -200);
    cFrameWindow* record = Made(CreateFrameWindow(app.get(), &request));
    ASSERT_NE(record, nullptr);
    cFrameWindow* seen = record;
    std::thread other([&] { seen = FindFrameWindow(record->window); });
    other.join();
    EXPECT_EQ(seen, nullptr);
    EXPECT_EQ(FindFrameWindow(record->window), record);
}

TEST(FrameWindow, ManagedWindowsGetTheirBlocks)
{
    TestApplication app;
    WindowCreateInfo request = Request(-100, -100, -200, -200);
    request.type = FRAME_TYPE_MANAGED;
    request.background = RGB(0, 0, 255);
    cFrameWindow* managed = Made(CreateFrameWindow(app.get(), &request));
    ASSERT_NE(managed, nullptr);
    ASSERT_NE(managed->updateList, nullptr);
    EXPECT_EQ(managed->updateList->count, 0u);
    EXPECT_GE(GetBlockSize(managed->updateList), sizeof(DirtyRectList));
    EXPECT_EQ(managed->background, (unsigned long)FindNearestIndex(app.get()->palette, RGB(0, 0, 255)));
    ASSERT_NE(managed->displayList, nullptr);
    EXPECT_GE(GetBlockSize(managed->displayList), (size_t)DISPLAY_LIST_MANAGED);
    auto* header = static_cast<DisplayListHeader*>(managed->displayList);
    auto* pool = reinterpret_cast<DisplayPoolBlock*>(header + 1);
    EXPECT_EQ(header->freeFirst, pool);
    EXPECT_EQ(header->freeLast, pool);
    EXPECT_EQ(header->objectFirst, nullptr);
    EXPECT_EQ(pool->size, (unsigned long)DISPLAY_LIST_MANAGED - 56);
    EXPECT_EQ(pool->state, 1u);

    // A plain window's block has room for no object.
    request.type = FRAME_TYPE_PLAIN;
    cFrameWindow* plain = Made(CreateFrameWindow(app.get(), &request));
    ASSERT_NE(plain, nullptr);
    EXPECT_EQ(plain->updateList, nullptr);
    pool = reinterpret_cast<DisplayPoolBlock*>(static_cast<DisplayListHeader*>(plain->displayList) + 1);
    EXPECT_EQ(pool->size, 0u);

    // A new list for ten objects replaces it; a count that leaves no room keeps the old one.
    void* old = plain->displayList;
    EXPECT_EQ(FrameOption(plain, 1, 0, 0), 0);
    EXPECT_EQ(FrameOption(plain, 1, 0, -5), 0);
    EXPECT_EQ(FrameOption(plain, 1, 0, 0x7FFFFFFF), 0);
    EXPECT_EQ(plain->displayList, old);
    EXPECT_EQ(FrameOption(plain, 1, 0, 10), 1);
    EXPECT_GE(GetBlockSize(plain->displayList), (size_t)(10 * 168 + 36));
    pool = reinterpret_cast<DisplayPoolBlock*>(static_cast<DisplayListHeader*>(plain->displayList) + 1);
    EXPECT_EQ(pool->size, 10u * 168 - 20);

    // The application's state flags and the window's options.
    EXPECT_EQ(FrameOption(plain, 2, 0x10001, 0), 1);
    EXPECT_EQ(app.get()->stateFlags, 1);
    EXPECT_EQ(FrameOption(plain, 4, 0, 0), 1);
    FrameOption(plain, 2, 0, 0);
    EXPECT_EQ(FrameOption(plain, 10, FRAME_PRESENTATION_OFF | FRAME_WAIT_VBLANK, 0) & FRAME_PRESENTATION_OFF, 1);
    EXPECT_EQ(FrameOption(plain, 9, 0, 0), plain->options);
    if (!DirectDrawUsable()) {
        EXPECT_EQ(plain->options, FRAME_PRESENTATION_OFF);
    }
    EXPECT_EQ(FrameOption(plain, 77, 0, 0), 1);
}

TEST(FrameWindow, OneDisplayModeHolderAtATime)
{
    TestApplication app;
    WindowCreateInfo request = Request(-100, -100, -200, -200);
    cFrameWindow* a = Made(CreateFrameWindow(app.get(), &request));
    cFrameWindow* b = Made(CreateFrameWindow(app.get(), &request));
    ASSERT_TRUE(a && b);
    EXPECT_EQ(SetFrameDisplayMode(a, 640, 480, 16), 0) << "no drawing canvas";
    EXPECT_EQ(RestoreFrameDisplayMode(), 0);

    AttachedRecording onA(a, 100, 100), onB(b, 100, 100);
    onA.surface->modeWorks = 0;
    EXPECT_EQ(SetFrameDisplayMode(a, 640, 480, 16), 0);
    EXPECT_EQ(onA.surface->modeWindow, a->window);
    EXPECT_EQ(RestoreFrameDisplayMode(), 0) << "a failed change holds nothing";

    onA.surface->modeWorks = 1;
    EXPECT_EQ(SetFrameDisplayMode(a, 640, 480, 16), 16);
    EXPECT_EQ(SetFrameDisplayMode(b, 800, 600, 32), 0);
    EXPECT_EQ(onB.surface->modeWindow, nullptr);
    EXPECT_EQ(RestoreFrameDisplayMode(), 1);
    EXPECT_EQ(onA.surface->restoredFor, a->window);
    EXPECT_EQ(RestoreFrameDisplayMode(), 0);

    // A holder that goes away leaves no holder behind.
    EXPECT_EQ(SetFrameDisplayMode(b, 800, 600, 32), 32);
    DestroyFrameWindow(b);
    EXPECT_EQ(RestoreFrameDisplayMode(), 0);
    EXPECT_EQ(onB.surface->restoredFor, nullptr);
    EXPECT_EQ(SetFrameDisplayMode(a, 640, 480, 8), 8);
    EXPECT_EQ(RestoreFrameDisplayMode(), 1);
}

TEST(FrameWindow, ErasingPresentsTheSurfaceWithinTheClient)
{
    TestApplication app;
    WindowCreateInfo request = Request(-120, -80, -120, -80, WS_OVERLAPPEDWINDOW | WS_VISIBLE);
    cFrameWindow* record = Made(CreateFrameWindow(app.get(), &request));
    ASSERT_NE(record, nullptr);
    Pump();
    AttachedRecording on(record, 120, 80);

    HDC paint = GetDC(record->window);
    HRGN region = CreateRectRgn(100, 60, 300, 300);
    SelectClipRgn(paint, region);
    EXPECT_EQ(SendMessageA(record->window, WM_ERASEBKGND, (WPARAM)paint, 0), 1);
    ASSERT_EQ(on.surface->blits.size(), 1u);
    const RecordingSurface::BlitCall& call = on.surface->blits[0];
    EXPECT_EQ(call.dx, 100);
    EXPECT_EQ(call.dy, 60);
    EXPECT_EQ(call.sx, 100);
    EXPECT_EQ(call.sy, 60);
    EXPECT_EQ(call.width, 20);
    EXPECT_EQ(call.height, 20);
    EXPECT_EQ(call.target, record->ownDC);

    // A stretched window at its surface's size presents area by area; at another size nothing is drawn.
    SetFrameFlags(record, GetFrameFlags(record) | FRAME_STRETCH);
    RECT area = {0, 0, 10, 10};
    EXPECT_EQ(PresentFrameArea(record, area, paint), 1);
    EXPECT_EQ(on.surface->blits.size(), 2u);
    on.surface->d.width = 60;
    EXPECT_EQ(PresentFrameArea(record, area, paint), 0);
    EXPECT_EQ(on.surface->blits.size(), 2u);

    // Nothing to erase, or no erasing at all.
    SetFrameFlags(record, GetFrameFlags(record) & ~FRAME_STRETCH);
    HRGN empty = CreateRectRgn(0, 0, 0, 0);
    SelectClipRgn(paint, empty);
    EXPECT_EQ(SendMessageA(record->window, WM_ERASEBKGND, (WPARAM)paint, 0), 1);
    SelectClipRgn(paint, nullptr);
    SetFrameFlags(record, GetFrameFlags(record) | FRAME_NO_ERASE);
    EXPECT_EQ(SendMessageA(record->window, WM_ERASEBKGND, (WPARAM)paint, 0), 1);
    EXPECT_EQ(on.surface->blits.size(), 2u);
    ReleaseDC(record->window, paint);
    DeleteObject(region);
    DeleteObject(empty);
}

// What the window shows, read back from its own DC.
TEST(FrameWindow, TheScreenShowsTheSurfaceOrTheBackground)
{
    TestApplication app;
    HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
    WindowCreateInfo request = Request(-64, -48, -64, -48, WS_POPUP | WS_VISIBLE);
    request.background = (unsigned long)(ULONG_PTR)red;
    cFrameWindow* record = Made(CreateFrameWindow(app.get(), &request));
    ASSERT_NE(record, nullptr);
    // Made visible while it was created, the window kept its size within its limits.
    EXPECT_EQ(ClientSize(record->window).cx, 64);
    EXPECT_EQ(ClientSize(record->window).cy, 48);
    Pump();
    InvalidateRect(record->window, nullptr, TRUE);
    UpdateWindow(record->window);
    EXPECT_EQ(GetPixel(record->ownDC, 10, 10), RGB(255, 0, 0));

    // A drawing canvas on a green device context.
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, 64, 48);
    ReleaseDC(nullptr, screen);
    HGDIOBJ old = SelectObject(memory, bitmap);
    HBRUSH green = CreateSolidBrush(RGB(0, 255, 0));
    RECT all = {0, 0, 64, 48};
    FillRect(memory, &all, green);
    cCanvas canvas;
    ASSERT_TRUE(canvas.CreateOnDC(memory));
    record->drawingCanvas = &canvas;
    record->drawingSurface = GetBackend(&canvas);
    record->flags |= FRAME_SURFACES_ATTACHED;
    InvalidateRect(record->window, nullptr, TRUE);
    UpdateWindow(record->window);
    EXPECT_EQ(GetPixel(record->ownDC, 10, 10), RGB(0, 255, 0));
    EXPECT_EQ(GetPixel(record->ownDC, 63, 47), RGB(0, 255, 0));

    // A managed window keeps its background as an index of the application's palette.
    WindowCreateInfo managedRequest = Request(-32, -32, -32, -32, WS_POPUP | WS_VISIBLE);
    managedRequest.type = FRAME_TYPE_MANAGED;
    managedRequest.background = RGB(0, 0, 255);
    cFrameWindow* managed = Made(CreateFrameWindow(app.get(), &managedRequest));
    ASSERT_NE(managed, nullptr);
    InvalidateRect(managed->window, nullptr, TRUE);
    UpdateWindow(managed->window);
    EXPECT_EQ(GetPixel(managed->ownDC, 5, 5), PaletteEntryColour(app.get()->palette, (int)managed->background));
    EXPECT_EQ(GetPixel(managed->ownDC, 5, 5), RGB(0, 0, 255));

    DestroyFrameWindow(record);
    canvas.Release();
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    DeleteObject(green);
    DeleteObject(red);
}

}  // namespace

namespace {

// A host that binds by ordinal: the library's own window procedure (ordinal 22, __stdcall) as its class's
// procedure, and the application and window functions it calls. The DLL keeps its own per-thread lists, so the
// record is found through its FindFrameWindow only.
TEST(FrameWindowHost, BindsByOrdinal)
{
    HMODULE dll = LoadLibraryA("Kalvex2.dll");
    ASSERT_NE(dll, nullptr);
    auto ordinal = [dll](int n) { return reinterpret_cast<void*>(GetProcAddress(dll, MAKEINTRESOURCEA(n))); };
    auto createApplication = reinterpret_cast<cApplication*(KX_CDECL*)(HINSTANCE, HPALETTE)>(ordinal(2));
    auto destroyApplication = reinterpret_cast<void(KX_CDECL*)(cApplication*)>(ordinal(4));
    auto createFrame = reinterpret_cast<cFrameWindow*(KX_CDECL*)(cApplication*, WindowCreateInfo*)>(ordinal(12));
    auto destroyFrame = reinterpret_cast<void(KX_CDECL*)(cFrameWindow*)>(ordinal(14));
    auto findFrame = reinterpret_cast<cFrameWindow*(KX_CDECL*)(HWND)>(ordinal(15));
    auto procedure = reinterpret_cast<WNDPROC>(ordinal(22));
    ASSERT_TRUE(createApplication && destroyApplication && createFrame && destroyFrame && findFrame && procedure);
    EXPECT_NE(procedure, FrameWindowProc) << "the DLL's own procedure, not this program's copy";

    WNDCLASSA hostClass = {};
    hostClass.lpfnWndProc = procedure;
    hostClass.cbWndExtra = sizeof(void*);
    hostClass.hInstance = GetModuleHandleA(nullptr);
    hostClass.lpszClassName = "KxFrameByOrdinal";
    ASSERT_TRUE(RegisterClassA(&hostClass));
    cApplication* app = createApplication(GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(app, nullptr);
    WindowCreateInfo request = Request(-150, -100, -150, -100);
    request.className = hostClass.lpszClassName;
    cFrameWindow* record = Made(createFrame(app, &request));
    ASSERT_NE(record, nullptr);
    HWND window = record->window;
    EXPECT_EQ(findFrame(window), record);
    EXPECT_EQ(FindFrameWindow(window), nullptr) << "this program's lists are not the DLL's";
    EXPECT_EQ(reinterpret_cast<cFrameWindow*>(GetWindowLongPtrA(window, 0)), record);
    SetWindowPos(window, nullptr, 0, 0, 700, 600, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    EXPECT_EQ(ClientSize(window).cx, 150);
    EXPECT_EQ(ClientSize(window).cy, 100);
    destroyFrame(record);
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(app->windows.GetCount(), 0);
    destroyApplication(app);
    UnregisterClassA(hostClass.lpszClassName, GetModuleHandleA(nullptr));
    FreeLibrary(dll);
}

}  // namespace
