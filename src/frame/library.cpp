// The library's entry point and its reference-counted initialisation. The static objects (statics.cpp) exist
// before DllMain runs and go away after its process detach.
#include "frame.h"

#include <string.h>

namespace kx {

ProcessState g_process;

}  // namespace kx

using namespace kx;

void InitLibrary()
{
    AttachThreadPalettes();
    LibraryLock& lock = TheLibraryLock();
    lock.Enter();
    if (g_process.initCount++ == 0) {
        OSVERSIONINFOA version = {};
        version.dwOSVersionInfoSize = sizeof version;
        if (GetVersionExA(&version) && version.dwPlatformId == VER_PLATFORM_WIN32_NT)
            g_process.platformIsNT = 1;
        g_process.cpuFeatures = 0;
        SYSTEM_INFO info;
        GetSystemInfo(&info);
        if (info.dwProcessorType != PROCESSOR_INTEL_386 && info.dwProcessorType != PROCESSOR_INTEL_486)
            g_process.cpuFeatures = ProbeCpuFeatures();
        BuildPrototypes();
    }
    lock.Leave();
}

void TermLibrary()
{
    LibraryLock& lock = TheLibraryLock();
    lock.Enter();
    // A host's unbalanced call must not take the count below zero: the next InitLibrary would then not build
    // the prototypes that the first real user needs.
    if (g_process.initCount > 0 && --g_process.initCount == 0)
        ReleasePrototypes();
    lock.Leave();
    DetachThreadPalettes();
}

int GetLibraryBuild()
{
    return 249;
}

RECT* GetDesktopRect(RECT* out)
{
    OSVERSIONINFOA version = {};
    version.dwOSVersionInfoSize = sizeof version;
    bool virtualScreen = false;
    if (GetVersionExA(&version)) {
        if (version.dwPlatformId == VER_PLATFORM_WIN32_NT)
            virtualScreen = version.dwMajorVersion >= 5;
        else
            virtualScreen = version.dwMajorVersion > 4 || (version.dwMajorVersion == 4 && version.dwMinorVersion >= 1);
    }
    if (virtualScreen) {
        out->left = GetSystemMetrics(SM_XVIRTUALSCREEN);
        out->top = GetSystemMetrics(SM_YVIRTUALSCREEN);
        out->right = out->left + GetSystemMetrics(SM_CXVIRTUALSCREEN);
        out->bottom = out->top + GetSystemMetrics(SM_CYVIRTUALSCREEN);
    } else {
        out->left = 0;
        out->top = 0;
        out->right = GetSystemMetrics(SM_CXSCREEN);
        out->bottom = GetSystemMetrics(SM_CYSCREEN);
    }
    return out;
}

static void ProcessAttach(HINSTANCE module)
{
    g_process.module = module;
    // GetModuleFileName leaves the buffer unterminated when the path is cut; the path is always terminated here.
    DWORD n = GetModuleFileNameA(module, g_process.modulePath, sizeof g_process.modulePath - 1);
    if (n >= sizeof g_process.modulePath - 1)
        n = sizeof g_process.modulePath - 1;
    g_process.modulePath[n] = '\0';
    g_process.displayMode = ProbeDisplay();
    InitLibrary();
    AllocateThreadSlot();
}

static void ThreadAttach()
{
    CreateThreadAppList();
    AttachThreadPalettes();
}

static void ThreadDetach()
{
    DetachThreadPalettes();
    DestroyThreadAppList();
}

static void ProcessDetach()
{
    TermLibrary();
    FreeAllThreadPalettes();
    FreeThreadSlot();
}

extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID)
{
    switch (reason) {
    case DLL_PROCESS_ATTACH: ProcessAttach(module); break;
    case DLL_THREAD_ATTACH: ThreadAttach(); break;
    case DLL_THREAD_DETACH: ThreadDetach(); break;
    case DLL_PROCESS_DETACH: ProcessDetach(); break;
    }
    return TRUE;
}
