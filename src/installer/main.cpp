// Fenwright: installs the signed extension files that the host lists in the shared block. No window, no
// messages; the exit code is 0 whatever happened.
#include <windows.h>

#include "block.h"
#include "install.h"

namespace {

// An elevated program must not pick up a library planted next to it or in the current directory: every library
// it loads later comes from the system directory only.
void RestrictLibrarySearch()
{
    typedef BOOL(WINAPI * SetDefaultDllDirectoriesFn)(DWORD);
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    auto setDefault = kernel ? reinterpret_cast<SetDefaultDllDirectoriesFn>(
                                   reinterpret_cast<void*>(GetProcAddress(kernel, "SetDefaultDllDirectories")))
                             : nullptr;
    if (setDefault)
        setDefault(0x00000800 /* LOAD_LIBRARY_SEARCH_SYSTEM32 */);
    SetDllDirectoryA("");
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR arguments, int)
{
    RestrictLibrarySearch();
    if (fw::ParseInstallSwitch(arguments))
        fw::InstallExtensions();
    return 0;
}
