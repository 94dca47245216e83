// The dialog key hook: while it is installed, key presses in the modal dialog boxes of the installing thread go
// to the window that owns the dialog as WM_DIALOG_KEY instead of to the dialog. One hook for the process,
// counted, so that nested installs and removals pair up.
#include "records.h"

#include "frame/frame.h"

namespace {

HHOOK g_hook = nullptr;
int g_hookCount = 0;

// The dialog box a message's window belongs to: the window itself, or the first window above its controls that
// is not a child.
HWND DialogOf(HWND window)
{
    while (window && (GetWindowLongA(window, GWL_STYLE) & WS_CHILD)) {
        HWND up = GetParent(window);
        if (!up)
            break;
        window = up;
    }
    return window;
}

}  // namespace

// The count is the process's while the hook belongs to the first installing thread: the library lock keeps two
// threads from both finding the count at 0.
HHOOK InstallDialogKeyHook()
{
    kx::TheLibraryLock().Enter();
    if (g_hookCount > 0) {
        g_hookCount++;
    } else {
        g_hook = SetWindowsHookExA(WH_MSGFILTER, DialogKeyHookProc, kx::g_process.module, GetCurrentThreadId());
        if (g_hook)
            g_hookCount = 1;
    }
    HHOOK hook = g_hook;
    kx::TheLibraryLock().Leave();
    return hook;
}

int RemoveDialogKeyHook()
{
    kx::TheLibraryLock().Enter();
    int removed = 0;
    if (g_hookCount > 0) {
        removed = 1;
        if (--g_hookCount == 0) {
            UnhookWindowsHookEx(g_hook);
            g_hook = nullptr;
        }
    }
    kx::TheLibraryLock().Leave();
    return removed;
}

LRESULT KX_STDCALL DialogKeyHookProc(int code, WPARAM wParam, LPARAM message)
{
    const MSG* msg = (const MSG*)message;
    if (code == MSGF_DIALOGBOX && msg && msg->message == WM_KEYDOWN) {
        // The key goes to the dialog's owner whether the dialog itself or one of its controls has the focus.
        // A dialog without an owner keeps its key: a message posted to no window would reach nobody.
        HWND owner = GetParent(DialogOf(msg->hwnd));
        if (owner && PostMessageA(owner, WM_DIALOG_KEY, msg->wParam, msg->lParam))
            return 1;
    }
    return CallNextHookEx(g_hook, code, wParam, message);
}
