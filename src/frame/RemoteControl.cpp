// Remote-control commands reach the active screen through the shell hook.
#include "frame/MainFrame.h"
#include "screens/BaseView.h"

UINT ShellHookMessage() {
    static const UINT message = RegisterWindowMessageA("SHELLHOOK");
    return message;
}

// Registered during static initialisation, as the shell expects it early.
static const UINT kShellHookMessage = ShellHookMessage();

LRESULT CMainFrame::OnShellHook(WPARAM, LPARAM lParam) {
    // While a question or the wait dialog has disabled the frame, the
    // remote's keys must not work the screen behind it.
    if (!m_pActiveView || !IsWindowEnabled()) {
        return 0;
    }
    const WORD answer = m_pActiveView->OnAppCommand(GET_APPCOMMAND_LPARAM(lParam));
    return static_cast<LRESULT>(static_cast<int16_t>(answer));
}

LRESULT CMainFrame::ShellHookProc(int code, WPARAM wParam, LPARAM lParam) {
    auto* frame = dynamic_cast<CMainFrame*>(GetFrame());
    HHOOK hook = frame ? frame->m_hShellHook : nullptr;
    if (code < 0) {
        return CallNextHookEx(hook, code, wParam, lParam);
    }
    if (code != HSHELL_APPCOMMAND) {
        return 0;
    }
    const LRESULT answer = frame ? frame->OnShellHook(wParam, lParam) : 0;
    if (LOWORD(answer) != 0) {
        return answer;
    }
    return CallNextHookEx(hook, code, wParam, lParam);
}
