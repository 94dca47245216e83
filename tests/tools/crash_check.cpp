// Runs crasher.exe and checks that a crash ends the process at once with the access-violation status: neither a
// hang behind a debugger dialog nor exit status 0, either of which would let a crashing test pass.
#include <windows.h>
#include <stdio.h>

int main()
{
    char path[MAX_PATH];
    DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
    char* slash = strrchr(path, '\\');
    if (!n || !slash)
        return 2;
    strcpy(slash + 1, "crasher.exe");
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi;
    if (!CreateProcessA(path, nullptr, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
        printf("crash_check: cannot start %s (%lu)\n", path, GetLastError());
        return 3;
    }
    DWORD waited = WaitForSingleObject(pi.hProcess, 30000);
    if (waited != WAIT_OBJECT_0) {
        printf("crash_check: the crashing process did not end within 30 s\n");
        TerminateProcess(pi.hProcess, 1);
        return 4;
    }
    DWORD code = 0;
    GetExitCodeProcess(pi.hProcess, &code);
    printf("crash_check: crasher ended with status 0x%08lx\n", code);
    return code == (DWORD)EXCEPTION_ACCESS_VIOLATION ? 0 : 5;
}
