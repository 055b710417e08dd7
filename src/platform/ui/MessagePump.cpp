#include "ui/MessagePump.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <QApplication>
#include <QEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPointer>
#include <QSocketNotifier>
#include <QThread>
#include <QWidget>
#include <algorithm>
#include <utility>
#include <vector>

#include "ui/KeyMap.h"
#include "ui/Wnd.h"

namespace {

struct HookEntry {
    HHOOK handle;
    int type;
    HOOKPROC proc;
};

std::vector<HookEntry>& Hooks() {
    static std::vector<HookEntry> hooks;
    return hooks;
}

// The first hook of that type from `index` on; 0 when the chain has ended.
LRESULT CallHooksFrom(size_t index, int type, int code, WPARAM wParam, LPARAM lParam) {
    auto& hooks = Hooks();
    for (; index < hooks.size(); ++index) {
        if (hooks[index].type == type) {
            return hooks[index].proc(code, wParam, lParam);
        }
    }
    return 0;
}

// The key event SendKeyInput is delivering: input from a device, as
// spontaneous as the window system's own.
const QEvent* g_deviceInput = nullptr;

QWidget* KeyboardTarget() {
    if (QWidget* grabber = QWidget::keyboardGrabber()) {
        return grabber;
    }
    QWidget* window = QApplication::activePopupWidget();
    if (!window) {
        window = QApplication::activeWindow();
    }
    if (!window) {
        return nullptr;
    }
    QWidget* focus = window->focusWidget();
    return focus ? focus : window;
}

QString KeyText(int qtKey) {
    switch (qtKey) {
        case Qt::Key_Return: return QStringLiteral("\r");
        case Qt::Key_Backspace: return QStringLiteral("\b");
        default: return {};
    }
}

void SendDeviceKey(QEvent::Type type, int qtKey, bool autoRepeat) {
    const QPointer<QWidget> target = KeyboardTarget();
    if (!target) {
        return;
    }
    QKeyEvent event(type, qtKey, Qt::NoModifier, KeyText(qtKey), autoRepeat);
    event.setTimestamp(GetTickCount());
    const QEvent* outer = std::exchange(g_deviceInput, &event);
    QApplication::sendEvent(target, &event);
    g_deviceInput = outer;
}

bool IsMouseEvent(QEvent::Type type) {
    return type == QEvent::MouseMove || type == QEvent::MouseButtonPress ||
           type == QEvent::MouseButtonRelease || type == QEvent::MouseButtonDblClick;
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
    // Other threads' events pass through here too: input is the
    // user-interface thread's, and only it may look at g_deviceInput.
    if (QThread::currentThread() != QCoreApplication::instance()->thread() ||
        (!event->spontaneous() && event != g_deviceInput) || !receiver->isWidgetType()) {
        return false;
    }
    const QEvent::Type type = event->type();
    const bool mouse = IsMouseEvent(type);
    if (type != QEvent::KeyPress && !mouse) {
        return false;
    }
    auto* widget = static_cast<QWidget*>(receiver);
    CWnd* target = CWnd::FromWidget(widget);
    MSG msg{};
    msg.hwnd = target ? target->GetSafeHwnd() : nullptr;
    msg.time = static_cast<DWORD>(static_cast<QInputEvent*>(event)->timestamp());
    if (mouse) {
        auto* mouseEvent = static_cast<QMouseEvent*>(event);
        const QPoint global = mouseEvent->globalPosition().toPoint();
        const QPoint pos = mouseEvent->position().toPoint();
        msg.message = MouseMessageFromQt(type, mouseEvent->button());
        msg.lParam = MAKELPARAM(pos.x(), pos.y());
        msg.pt = POINT{global.x(), global.y()};
        // Every mouse message, wherever it goes, even to a disabled window.
        MOUSEHOOKSTRUCT hook{msg.pt, msg.hwnd, HTCLIENT, 0};
        if (CallHooksFrom(0, WH_MOUSE, HC_ACTION, msg.message, reinterpret_cast<LPARAM>(&hook))) {
            return true;
        }
    }
    // A disabled window (or one under a disabled parent) takes no input,
    // however the windows around it would translate it.
    if (!widget->isEnabled()) {
        return false;
    }
    if (type == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (const int command = AppCommandFromQtKey(key->key())) {
            const LPARAM lParam = static_cast<LPARAM>(static_cast<DWORD>(command) << 16);
            if (CallHooksFrom(0, WH_SHELL, HSHELL_APPCOMMAND, reinterpret_cast<WPARAM>(msg.hwnd),
                              lParam) != 0) {
                return true;
            }
        }
        msg.message = WM_KEYDOWN;
        msg.wParam = VirtualKeyFromQtKey(key->key());
        msg.lParam = 1 | (key->isAutoRepeat() ? LPARAM(1) << 30 : 0);
        if (msg.wParam == 0) {
            return false;
        }
    }
    for (CWnd* wnd = target; wnd; wnd = wnd->GetParent()) {
        if (wnd->PreTranslateMessage(&msg)) {
            return true;
        }
    }
    return false;
}

bool SendKeyInput(UINT message, WPARAM wParam, LPARAM lParam) {
    const bool command = message == WM_APPCOMMAND;
    const int qtKey = command ? QtKeyFromAppCommand(GET_APPCOMMAND_LPARAM(lParam))
                              : QtKeyFromVirtualKey(static_cast<UINT>(wParam));
    if (qtKey == 0 || (!command && message != WM_KEYDOWN && message != WM_KEYUP) ||
        !KeyboardTarget()) {
        return false;
    }
    if (message == WM_KEYUP) {
        SendDeviceKey(QEvent::KeyRelease, qtKey, false);
        return true;
    }
    SendDeviceKey(QEvent::KeyPress, qtKey, (lParam & (LPARAM(1) << 30)) != 0);
    // A remote's command is one press; Qt still expects the key to come up.
    if (command) {
        SendDeviceKey(QEvent::KeyRelease, qtKey, false);
    }
    return true;
}

void CallWndProcHooks(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (Hooks().empty()) {
        return;
    }
    CWPSTRUCT call{lParam, wParam, message, hwnd};
    CallHooksFrom(0, WH_CALLWNDPROC, HC_ACTION, 0, reinterpret_cast<LPARAM>(&call));
}

}  // namespace hv

HHOOK SetWindowsHookExA(int idHook, HOOKPROC proc, void*, DWORD) {
    static uintptr_t next = 1;
    if ((idHook != WH_SHELL && idHook != WH_MOUSE && idHook != WH_CALLWNDPROC) || !proc) {
        return nullptr;
    }
    auto* handle = reinterpret_cast<HHOOK>(next++);
    // The newest hook is called first.
    Hooks().insert(Hooks().begin(), HookEntry{handle, idHook, proc});
    return handle;
}

BOOL UnhookWindowsHookEx(HHOOK hook) {
    auto& hooks = Hooks();
    auto it = std::find_if(hooks.begin(), hooks.end(),
                           [&](const HookEntry& e) { return e.handle == hook; });
    if (it == hooks.end()) {
        return FALSE;
    }
    hooks.erase(it);
    return TRUE;
}

LRESULT CallNextHookEx(HHOOK hook, int code, WPARAM wParam, LPARAM lParam) {
    auto& hooks = Hooks();
    auto it = std::find_if(hooks.begin(), hooks.end(),
                           [&](const HookEntry& e) { return e.handle == hook; });
    if (it == hooks.end()) {
        return 0;
    }
    return CallHooksFrom(static_cast<size_t>(it - hooks.begin()) + 1, it->type, code, wParam,
                         lParam);
}
