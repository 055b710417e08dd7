#include "ui/MessagePump.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <QApplication>
#include <QEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QSocketNotifier>
#include <QWidget>
#include <algorithm>
#include <vector>

#include "ui/KeyMap.h"
#include "ui/Wnd.h"

namespace {

struct HookEntry {
    HHOOK handle;
    HOOKPROC proc;
};

std::vector<HookEntry>& ShellHooks() {
    static std::vector<HookEntry> hooks;
    return hooks;
}

LRESULT CallShellHooksFrom(size_t index, int code, WPARAM wParam, LPARAM lParam) {
    auto& hooks = ShellHooks();
    return index < hooks.size() ? hooks[index].proc(code, wParam, lParam) : 0;
}

// Other threads wake the user-interface thread through an eventfd that the
// Qt event loop watches: a write from any thread, no Qt object touched off
// the thread that owns it.
class MessagePump : public QObject {
  public:
    MessagePump()
        : m_fd(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)), m_notifier(m_fd, QSocketNotifier::Read) {
        QObject::connect(&m_notifier, &QSocketNotifier::activated, this, [this] {
            uint64_t count = 0;
            (void)!read(m_fd, &count, sizeof(count));
            hvDispatchPending();
        });
    }
    ~MessagePump() override { close(m_fd); }

    static void Wake(void* context) {
        const uint64_t one = 1;
        (void)!write(static_cast<MessagePump*>(context)->m_fd, &one, sizeof(one));
    }

  private:
    int m_fd;
    QSocketNotifier m_notifier;
};

}  // namespace

namespace hv {

void InstallMessagePump() {
    static MessagePump* pump = nullptr;
    if (pump) {
        return;
    }
    pump = new MessagePump;
    pump->setParent(qApp);
    hvSetThreadWaker(&MessagePump::Wake, pump);
}

bool PreTranslateInput(QObject* receiver, QEvent* event) {
    // A disabled window (or one under a disabled parent) takes no input,
    // however the windows around it would translate it.
    if (!event->spontaneous() || !receiver->isWidgetType() ||
        !static_cast<QWidget*>(receiver)->isEnabled()) {
        return false;
    }
    const QEvent::Type type = event->type();
    if (type != QEvent::KeyPress && type != QEvent::MouseButtonPress &&
        type != QEvent::MouseButtonDblClick) {
        return false;
    }
    CWnd* target = CWnd::FromWidget(static_cast<QWidget*>(receiver));
    if (type == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (const int command = AppCommandFromQtKey(key->key())) {
            const LPARAM lParam = static_cast<LPARAM>(static_cast<DWORD>(command) << 16);
            const WPARAM wParam =
                reinterpret_cast<WPARAM>(target ? target->GetSafeHwnd() : nullptr);
            if (CallShellHooksFrom(0, HSHELL_APPCOMMAND, wParam, lParam) != 0) {
                return true;
            }
        }
    }
    if (!target) {
        return false;
    }
    MSG msg{};
    msg.hwnd = target->GetSafeHwnd();
    if (type == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        msg.message = WM_KEYDOWN;
        msg.wParam = VirtualKeyFromQtKey(key->key());
        msg.lParam = 1 | (key->isAutoRepeat() ? LPARAM(1) << 30 : 0);
        if (msg.wParam == 0) {
            return false;
        }
    } else {
        auto* mouse = static_cast<QMouseEvent*>(event);
        const bool right = mouse->button() == Qt::RightButton;
        const bool dbl = type == QEvent::MouseButtonDblClick;
        msg.message = right ? (dbl ? WM_RBUTTONDBLCLK : WM_RBUTTONDOWN)
                            : (dbl ? WM_LBUTTONDBLCLK : WM_LBUTTONDOWN);
        const QPoint pos = mouse->position().toPoint();
        msg.lParam = MAKELPARAM(pos.x(), pos.y());
    }
    for (CWnd* wnd = target; wnd; wnd = wnd->GetParent()) {
        if (wnd->PreTranslateMessage(&msg)) {
            return true;
        }
    }
    return false;
}

}  // namespace hv

HHOOK SetWindowsHookExA(int idHook, HOOKPROC proc, void*, DWORD) {
    static uintptr_t next = 1;
    if (idHook != WH_SHELL || !proc) {
        return nullptr;
    }
    auto* handle = reinterpret_cast<HHOOK>(next++);
    // The newest hook is called first.
    ShellHooks().insert(ShellHooks().begin(), HookEntry{handle, proc});
    return handle;
}

BOOL UnhookWindowsHookEx(HHOOK hook) {
    auto& hooks = ShellHooks();
    auto it = std::find_if(hooks.begin(), hooks.end(),
                           [&](const HookEntry& e) { return e.handle == hook; });
    if (it == hooks.end()) {
        return FALSE;
    }
    hooks.erase(it);
    return TRUE;
}

LRESULT CallNextHookEx(HHOOK hook, int code, WPARAM wParam, LPARAM lParam) {
    auto& hooks = ShellHooks();
    auto it = std::find_if(hooks.begin(), hooks.end(),
                           [&](const HookEntry& e) { return e.handle == hook; });
    const size_t next =
        it == hooks.end() ? hooks.size() : static_cast<size_t>(it - hooks.begin()) + 1;
    return CallShellHooksFrom(next, code, wParam, lParam);
}
