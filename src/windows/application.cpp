// The application object: the root of a running game or presentation. It lives on the thread that made it and is
// found again through that thread's application list (which is how a window handle leads to its record).
#include <new>
#include <string.h>

#include "frame_window.h"
#include "records.h"
#include "core/alloc.h"
#include "frame/frame.h"
#include "sound/app_sound.h"
#include "surface/backend.h"
#include "surface/mem_surface.h"
#include "surface/palette.h"
#include "kalvex2/palette.h"

namespace kx {

namespace {

// The modes an application may ask for: (screen bits, surface depth, display mode), then five zero words.
const AppModeRecord kModes[] = {
    {8, 8, DISPLAY_MODE_256, {0, 0, 0, 0, 0}},
    {16, 15, DISPLAY_MODE_15, {0, 0, 0, 0, 0}},
    {24, 24, DISPLAY_MODE_24, {0, 0, 0, 0, 0}},
    {8, 8, DISPLAY_MODE_256, {0, 0, 0, 0, 0}},
    {0, 0, 0, {0, 0, 0, 0, 0}},
};

enum { MODE_REQUEST_DIRECTDRAW = 0x20 };

// The modes a prototype surface can have; everything else stands for the 256-colour mode.
unsigned KeptMode(unsigned mode)
{
    switch (mode) {
    case DISPLAY_MODE_256:
    case DISPLAY_MODE_24:
    case DISPLAY_MODE_15:
    case DISPLAY_MODE_HI16:
    case DISPLAY_MODE_32: return mode;
    default: return DISPLAY_MODE_256;
    }
}

unsigned ModeOfDepth(int depth)
{
    switch (depth) {
    case 8: return DISPLAY_MODE_256;
    case 15: return DISPLAY_MODE_15;
    case 16: return DISPLAY_MODE_HI16;
    case 24: return DISPLAY_MODE_24;
    case 32: return DISPLAY_MODE_32;
    default: return 0;
    }
}

void DestroyPrototype(cApplication* app)
{
    if (app->prototype) {
        app->prototype->Destroy(1);
        app->prototype = nullptr;
    }
}

// A memory surface of the mode's depth, without pixels; surfaces made like it inherit its format and palette. A
// failure leaves the application without one, as a failed construction leaves a canvas on the empty backend.
void MakePrototype(cApplication* app)
{
    DestroyPrototype(app);
    cMemSurface* surface = New<cMemSurface>();
    if (!surface)
        return;
    if (!surface->InitFormat(DisplayModeBits(app->displayMode & 15))) {
        surface->Destroy(1);
        return;
    }
    if (app->palette)
        surface->SetPalette(app->palette, 0);
    app->prototype = surface;
}

// Destroying a record destroys its child windows' records too, so the list is taken from its head each time.
// A record that outlives its window (a window procedure that kept WM_DESTROY from the library) is released here.
void DestroyFrameWindows(cApplication* app)
{
    while (app->windows.head) {
        cFrameWindow* record = static_cast<cFrameWindow*>(app->windows.GetAt(app->windows.head));
        if (!record) {
            app->windows.Remove(app->windows.head);
            continue;
        }
        DestroyFrameWindow(record);
        if (app->windows.head && app->windows.GetAt(app->windows.head) == record)
            ReleaseFrameRecord(record);
    }
}

void InitSound(cApplication* app)
{
    app->masterVolume = 100;
    app->masterPan = 0;
    app->channelCount = APP_MAX_CHANNELS;
    for (SoundChannel& c : app->channels) {
        c.volume = 100;
        c.pan = 0;
        c.frequency = 0;
    }
    app->music.deviceId = -1;
}

}  // namespace

}  // namespace kx

using namespace kx;

cApplication* CreateApplication(HINSTANCE instance, HPALETTE palette)
{
    void* block = nullptr;
    if (!CallocRetry(sizeof(cApplication), &block))
        return nullptr;
    cApplication* app = static_cast<cApplication*>(block);
    ::new (&app->windows) cSlotList();
    app->instance = instance;
    app->displayMode = DISPLAY_MODE_256;
    InitSound(app);
    app->palette = PaletteFromHandle(palette);
    if (app->palette)
        app->blackIndex = app->palette->blackIndex;
    MakePrototype(app);

    cSlotList* list = CurrentThreadAppList();
    if (!list)
        list = CreateThreadAppList();
    // Without a list entry the object still works; only its windows cannot be found from their handles.
    if (list)
        list->AddTail(app);
    return app;
}

int SetApplicationMode(cApplication* application, int mode)
{
    if (!application)
        return 0;
    unsigned low = mode & 15;
    unsigned chosen = low == DISPLAY_MODE_DETECTED ? KeptMode(g_process.displayMode & 15) : KeptMode(low);
    if ((mode & MODE_REQUEST_DIRECTDRAW) && DirectDrawUsable() && DirectDrawModeInForce()) {
        unsigned ddraw = ModeOfDepth(DirectDrawScreenDepth());
        if (ddraw)
            chosen = ddraw;
    }
    application->displayMode = static_cast<unsigned short>((mode & 0xFFF0) | chosen);
    MakePrototype(application);
    int index = application->windows.head;
    while (cFrameWindow* record = static_cast<cFrameWindow*>(application->windows.GetNext(&index)))
        record->displayMode = application->displayMode;
    return application->displayMode;
}

void DestroyApplication(cApplication* application)
{
    // A window message during the teardown may ask for it again; the first call finishes the job.
    if (!application || (application->stateFlags & APP_STATE_DESTROYING))
        return;
    application->stateFlags |= APP_STATE_DESTROYING;

    // The music first: its device notifies one of the windows that are about to go.
    StopMusic(application);
    StopAllSamples(application);
    DestroyFrameWindows(application);

    ReleasePalette(application->palette);
    application->palette = nullptr;
    DestroyPrototype(application);

    if (cSlotList* list = CurrentThreadAppList()) {
        int index = list->Find(application);
        if (index) {
            list->Remove(index);
            // The list object and the thread slot stay for the thread's next application.
            if (list->GetCount() == 0)
                list->Free();
        }
    }

    application->stateFlags &= ~APP_STATE_DESTROYING;
    application->windows.~cSlotList();
    void* block = application;
    FreeAndNull(&block);
}

int ListApplicationModes(AppModeRecord* out, int count, int flags)
{
    if (!out || count <= 0)
        return 0;
    if (!(flags & MODE_REQUEST_DIRECTDRAW)) {
        int stored = 0;
        for (const AppModeRecord* m = kModes; m->screenBits && stored < count; m++) {
            if (!(m->displayMode & MODE_REQUEST_DIRECTDRAW))
                out[stored++] = *m;
        }
        return stored;
    }
    // Asked for DirectDraw modes: only a palette screen offers one, the 256-colour mode through DirectDraw.
    HDC screen = GetDC(nullptr);
    int bits = screen ? GetDeviceCaps(screen, PLANES) * GetDeviceCaps(screen, BITSPIXEL) : 0;
    if (screen)
        ReleaseDC(nullptr, screen);
    if (bits != 8)
        return 0;
    AppModeRecord record = {8, 8, unsigned(DISPLAY_MODE_256) | MODE_REQUEST_DIRECTDRAW, {0, 0, 0, 0, 0}};
    *out = record;
    return 1;
}

int GetApplicationBlackIndex(cApplication* application)
{
    return application ? static_cast<int>(application->blackIndex) : 4;
}
