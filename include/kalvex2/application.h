/* Kalvex2 SDK: the application object, its frame windows and what they draw with.
 *
 * A host makes one cApplication per running game or presentation (CreateApplication). It owns the display mode,
 * the palette, the prototype surface, the sound channels and music, the resource banks and the list of window
 * records (cFrameWindow). A window record is made for a window the library creates (CreateFrameWindow) or for one
 * the host made (AttachFrameWindow); FrameWindowProc is the window procedure of the windows the library creates.
 * Hosts read the members of both records directly, so their layouts are part of the binary interface. */
#ifndef KALVEX2_APPLICATION_H
#define KALVEX2_APPLICATION_H

#include <windows.h>
#include "base.h"
#include "memory.h"

class cCanvas;
class cSurfaceBackend;
class cSoundVoice;
class cFrameWindow;
struct SharedPalette;

/* One sample channel (28 bytes). In use while id or name is set. */
struct SoundChannel {
    unsigned long id;          /* bank id of the sound, 0 = none */
    char* name;                /* heap copy of the file name when played by name */
    unsigned long flags;       /* bits 0-15: play flags of the current sound; bit 16: locked */
    cSoundVoice* voice;
    int volume;                /* 0..100 */
    int pan;                   /* -100..100 */
    int frequency;             /* Hz, 0 = the sound's own */
};

/* The one music of an application (32 bytes). */
struct MusicRecord {
    int deviceId;              /* MCI device, -1 = closed */
    unsigned long music;       /* the id or name value it was started with, 0 = none */
    unsigned long flags;       /* play flags */
    HWND notifyWindow;
    int playsLeft;
    int paused;
    unsigned long pausedPosition;
    char* nameCopy;
};

enum { APP_MAX_CHANNELS = 32, APP_BANK_ROWS = 6 };
enum { APP_STATE_DESTROYING = 1 };

class KX_API cApplication {
public:
    HINSTANCE instance;
    unsigned short displayMode;    /* DisplayMode in bits 0-3; bits 4-15 may carry flags */
    unsigned short stateFlags;     /* APP_STATE_DESTROYING */
    unsigned long blackIndex;      /* copied from the palette whenever the palette is set */
    SharedPalette* palette;
    void* banks[APP_BANK_ROWS];    /* resource bank rows; row 1 holds the sounds */
    unsigned long reserved[2];
    cSurfaceBackend* prototype;    /* a memory surface of the display mode's depth */
    int masterVolume;              /* 0..100 */
    int masterPan;                 /* -100..100 */
    int channelCount;              /* 1..32 */
    SoundChannel channels[APP_MAX_CHANNELS];
    MusicRecord music;
    cSlotList windows;             /* cFrameWindow records in creation order */
};

/* A display mode an application can ask for (ListApplicationModes): 32 bytes. */
struct AppModeRecord {
    unsigned long screenBits;
    unsigned long surfaceDepth;
    unsigned long displayMode;
    unsigned long reserved[5];
};

KX_API cApplication* KX_CDECL CreateApplication(HINSTANCE instance, HPALETTE palette);
KX_API int KX_CDECL SetApplicationMode(cApplication* application, int mode);
KX_API void KX_CDECL DestroyApplication(cApplication* application);
KX_API int KX_CDECL ListApplicationModes(AppModeRecord* out, int count, int flags);
KX_API int KX_CDECL GetApplicationBlackIndex(cApplication* application);
KX_API void KX_CDECL SetApplicationPalette(cApplication* application, HPALETTE palette);
KX_API void KX_CDECL SetApplicationPaletteEx(cApplication* application, HPALETTE handle, SharedPalette* palette);

/* ---- frame windows ---- */

/* The host's request for a window (76 bytes; 80 with `existing`). */
struct WindowCreateInfo {
    unsigned long size;        /* 76, or 80 when `existing` is given */
    unsigned long reserved;
    HINSTANCE instance;
    HMENU menu;                /* menu or child id */
    HWND parent;               /* type 3: the window to attach; MDI child: the MDI frame's window */
    int height;                /* CW_USEDEFAULT for the system's choice */
    int width;                 /* negative: -width x -height is the client size */
    int y;
    int x;
    DWORD style;
    const char* title;
    const char* className;
    DWORD exStyle;
    int maxClientWidth;        /* negative: a client size; positive: a window size */
    int maxClientHeight;
    HCURSOR cursor;            /* 1 = the standard arrow */
    unsigned long background;  /* brush (1 = white stock brush); type 1: a colour mapped to a palette index */
    unsigned long type;        /* FRAME_TYPE_* */
    unsigned long flags;       /* low 16 bits go into the record: FRAME_MDI_FRAME, FRAME_MDI_CHILD */
    HWND existing;             /* size >= 80: a host window to attach instead of creating one */
};

enum {
    FRAME_TYPE_PLAIN = 0,
    FRAME_TYPE_MANAGED = 1,    /* update rectangles and a large display-object list */
    FRAME_TYPE_ATTACH = 3      /* attach the request's parent window */
};

/* cFrameWindow::flags */
enum {
    FRAME_RESIZING = 0x0001,
    FRAME_STRETCH = 0x0002,
    FRAME_NO_ERASE = 0x0008,
    FRAME_RECORD_ONLY = 0x0010,
    FRAME_ATTACHED_PARENT = 0x0100,
    FRAME_MDI_FRAME = 0x0200,
    FRAME_MDI_CHILD = 0x0800,
    FRAME_OWN_DC = 0x1000,
    FRAME_SURFACES_ATTACHED = 0x2000,
    FRAME_ATTACHED_HOST = 0x8000
};

/* cFrameWindow::options */
enum { FRAME_PRESENTATION_OFF = 0x0001, FRAME_WAIT_VBLANK = 0x0008 };

enum { MAX_UPDATE_RECTS = 513 };

/* The update list of a managed window: 8212 bytes. Right and bottom are exclusive. */
struct DirtyRectList {
    unsigned long count;
    RECT rects[MAX_UPDATE_RECTS];
};

/* Window messages the library posts. */
enum { WM_DIALOG_KEY = 0x8005 };

#pragma pack(push, 1)
/* The window record: members one after the other, without padding (202 bytes). */
class KX_API cFrameWindow {
public:
    cApplication* application;
    HWND window;
    HWND parent;
    HWND mdiClient;
    HDC ownDC;
    HPALETTE palette;              /* selected into the own DC */
    HPALETTE previousPalette;      /* the own DC's palette before that */
    unsigned short flags;          /* FRAME_* */
    unsigned short options;        /* FRAME_PRESENTATION_OFF, FRAME_WAIT_VBLANK */
    unsigned short displayMode;    /* kept equal to the application's */
    /* attached surfaces (window-surface functions and the display-object frame cycle) */
    HDC surfaceDC;
    long surfaceAttached;          /* -1 while a drawing canvas is attached */
    HPALETTE surfacePreviousPalette;
    cCanvas* drawingCanvas;
    cSurfaceBackend* drawingSurface; /* the drawing canvas's backend: what is presented */
    cCanvas* backgroundCanvas;
    cSurfaceBackend* backgroundSurface;
    unsigned short preciseCollisions;
    /* collision planes, first part */
    unsigned short rowBytes;
    long originX;
    long originY;
    long planeLeft;
    long planeTop;
    long planeRight;
    long planeBottom;
    void* planeBlock;
    long plane0Offset;
    long plane1Offset;
    DirtyRectList* updateList;     /* managed windows only */
    int maxClientWidth;
    int maxClientHeight;
    int frameWidth;                /* window size minus client size */
    int frameHeight;
    unsigned long background;      /* brush, or a palette index for a managed window */
    COLORREF backgroundColour;
    COLORREF penColour;
    unsigned short backgroundIndex;
    unsigned short penIndex;
    int penExtent;                 /* pen width - 1 */
    int backgroundMode;            /* SetBkMode value */
    int drawingMode;               /* SetROP2 value */
    HPEN pen;
    HCURSOR cursor;
    HCURSOR savedCursor;
    int busyCount;
    HMENU menu;
    unsigned long menuValue;
    /* collision planes, second part */
    long planeSize;
    long activeLeft;
    long activeTop;
    long activeRight;
    long activeBottom;
    void* displayList;             /* display-object list block */
    DWORD lastPresentation;        /* timeGetTime of the last presentation */
};
#pragma pack(pop)

KX_API cFrameWindow* KX_CDECL CreateFrameWindow(cApplication* application, WindowCreateInfo* request);
KX_API cFrameWindow* KX_CDECL AttachFrameWindow(cApplication* application, HWND window);
KX_API void KX_CDECL DestroyFrameWindow(cFrameWindow* record);
KX_API cFrameWindow* KX_CDECL FindFrameWindow(HWND window);
KX_API int KX_CDECL GetFrameFlags(cFrameWindow* record);
KX_API int KX_CDECL SetFrameFlags(cFrameWindow* record, int flags);
KX_API HWND KX_CDECL GetFrameHwnd(cFrameWindow* record);
KX_API HWND KX_CDECL GetMdiClient(cFrameWindow* record);
KX_API int KX_CDECL SetFramePosition(cFrameWindow* record, int x, int y);
KX_API int KX_CDECL SetFrameSize(cFrameWindow* record, int width, int height);
KX_API LRESULT KX_STDCALL FrameWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
KX_API HMENU KX_CDECL SetFrameMenu(cFrameWindow* record, HMENU menu, unsigned long value);
KX_API HCURSOR KX_CDECL SetFrameCursor(cFrameWindow* record, HCURSOR cursor);
KX_API int KX_CDECL BeginBusyCursor(cFrameWindow* record);
KX_API int KX_CDECL EndBusyCursor(cFrameWindow* record);
KX_API HDC KX_CDECL GetFrameDC(cFrameWindow* record);
KX_API int KX_CDECL ReleaseFrameDC(cFrameWindow* record, HDC dc);
KX_API int KX_CDECL FrameOption(cFrameWindow* record, int type, int value, int count);
KX_API int KX_CDECL GetFrameClientRect(cFrameWindow* record, RECT* out);
KX_API int KX_CDECL SetFrameDisplayMode(cFrameWindow* record, int width, int height, int depth);
KX_API int KX_CDECL RestoreFrameDisplayMode();

/* ---- update rectangles, presentation and drawing helpers ---- */

KX_API DirtyRectList* KX_CDECL ClearUpdateRects(cFrameWindow* record);
KX_API int KX_CDECL AddUpdateRect(cFrameWindow* record, const RECT* rect);
KX_API int KX_CDECL AddUpdateRectXY(cFrameWindow* record, int left, int top, int right, int bottom);
KX_API DirtyRectList* KX_CDECL GetUpdateRects(cFrameWindow* record);
KX_API int KX_CDECL SetPresentation(cFrameWindow* record, int on);
KX_API HDC KX_CDECL GetFrameCanvasDC(cFrameWindow* record);
KX_API int KX_CDECL ReleaseFrameCanvasDC(cFrameWindow* record, HDC dc);
KX_API int KX_CDECL CopyFrameToScreen(cFrameWindow* record);
KX_API int KX_CDECL SetFrameBackColor(cFrameWindow* record, COLORREF colour);
KX_API int KX_CDECL SetFramePen(cFrameWindow* record, COLORREF colour, int style, int width);
KX_API int KX_CDECL SetFrameBackMode(cFrameWindow* record, int mode);
KX_API int KX_CDECL FillFrameRect(cFrameWindow* record, int left, int top, int right, int bottom, HBRUSH brush);
KX_API int KX_CDECL SetFrameClip(cFrameWindow* record, int x1, int y1, int x2, int y2);
KX_API int KX_CDECL FillFrameRectColor(cFrameWindow* record, int x1, int y1, int x2, int y2, COLORREF colour);
KX_API int KX_CDECL DrawFrameRect(cFrameWindow* record, const RECT* rect);
KX_API int KX_CDECL DrawFrameRect16(cFrameWindow* record, const short* corners);
KX_API int KX_CDECL DrawFramePolyline(cFrameWindow* record, const POINT* points, int segments);
KX_API int KX_CDECL MoveFrameRect(cFrameWindow* record, int sx, int sy, int dx, int dy, int width, int height);
KX_API HHOOK KX_CDECL InstallDialogKeyHook();
KX_API int KX_CDECL RemoveDialogKeyHook();
KX_API LRESULT KX_STDCALL DialogKeyHookProc(int code, WPARAM wParam, LPARAM message);

#endif
