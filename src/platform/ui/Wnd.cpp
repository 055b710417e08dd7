#include "ui/Wnd.h"

#include <QApplication>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPlainTextEdit>
#include <QScreen>
#include <QTimerEvent>
#include <QWheelEvent>
#include <QWidget>
#include <QWindow>
#include <algorithm>
#include <unordered_map>

#include "ui/KeyMap.h"
#include "ui/MessagePump.h"
#include "ui/WndWidget.h"

namespace {

// Windows live on the user-interface thread; so does this map.
std::unordered_map<HWND, CWnd*>& Registry() {
    static std::unordered_map<HWND, CWnd*> registry;
    return registry;
}

WPARAM MouseKeyFlags(Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers) {
    WPARAM flags = 0;
    if (buttons & Qt::LeftButton) {
        flags |= MK_LBUTTON;
    }
    if (buttons & Qt::RightButton) {
        flags |= MK_RBUTTON;
    }
    if (buttons & Qt::MiddleButton) {
        flags |= MK_MBUTTON;
    }
    if (modifiers & Qt::ShiftModifier) {
        flags |= MK_SHIFT;
    }
    if (modifiers & Qt::ControlModifier) {
        flags |= MK_CONTROL;
    }
    return flags;
}

RECT ToRect(const QRect& r) {
    return RECT{r.left(), r.top(), r.left() + r.width(), r.top() + r.height()};
}

}  // namespace

CWnd::CWnd() = default;

CWnd::~CWnd() {
    DestroyWindow();
    if (m_parent) {
        auto& siblings = m_parent->m_children;
        siblings.erase(std::remove(siblings.begin(), siblings.end(), this), siblings.end());
    }
    for (CWnd* child : m_children) {
        child->m_parent = nullptr;
    }
}

CWnd* CWnd::FromHandle(HWND hwnd) {
    auto it = Registry().find(hwnd);
    return it == Registry().end() ? nullptr : it->second;
}

CWnd* CWnd::FromWidget(const QWidget* widget) {
    for (; widget; widget = widget->parentWidget()) {
        const QVariant value = widget->property("hv_cwnd");
        if (value.isValid()) {
            return static_cast<CWnd*>(value.value<void*>());
        }
    }
    return nullptr;
}

BOOL CWnd::CreateEx(DWORD /*exStyle*/, const std::string& windowName, DWORD style, const RECT& rect,
                    CWnd* parent, UINT id) {
    if (m_hWnd) {
        return FALSE;
    }
    const bool child = (style & WS_CHILD) && parent && parent->m_widget;
    Qt::WindowFlags flags = child ? Qt::Widget : Qt::Window;
    // A popup with a caption keeps the window system's frame: title and close box.
    if (!child && (style & WS_POPUP) && (style & WS_CAPTION) != WS_CAPTION) {
        flags |= Qt::FramelessWindowHint;
    }
    auto* widget = new WndWidget(child ? parent->m_widget : nullptr, flags);
    widget->setGeometry(rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top);
    widget->setWindowTitle(QString::fromStdString(windowName));
    widget->setAttribute(Qt::WA_DeleteOnClose, false);
    Register(widget, child ? parent : nullptr, id, style);
    if (SendMessage(WM_CREATE) == -1) {
        DestroyWindow();
        return FALSE;
    }
    if (style & WS_DISABLED) {
        EnableWindow(FALSE);
    }
    if (style & WS_VISIBLE) {
        ShowWindow(SW_SHOW);
    }
    return TRUE;
}

BOOL CWnd::Attach(QWidget* widget, CWnd* parent, UINT id) {
    if (m_hWnd || !widget) {
        return FALSE;
    }
    if (parent && parent->m_widget && widget->parentWidget() != parent->m_widget) {
        widget->setParent(parent->m_widget);
    }
    Register(widget, parent, id, WS_CHILD);
    return TRUE;
}

void CWnd::Register(QWidget* widget, CWnd* parent, UINT id, DWORD style) {
    m_widget = widget;
    m_parent = parent;
    m_id = static_cast<int>(id);
    m_style = style;
    if (parent) {
        parent->m_children.push_back(this);
    }
    m_widget->setProperty("hv_cwnd", QVariant::fromValue(static_cast<void*>(this)));
    m_bridge = std::make_unique<WndEventBridge>(this);
    m_widget->installEventFilter(m_bridge.get());
    m_hWnd = hvCreateWindowHandle(&CWnd::Procedure, this);
    Registry()[m_hWnd] = this;
}

QWidget* CWnd::Detach() {
    if (!m_hWnd) {
        return nullptr;
    }
    for (const auto& [id, qtId] : m_timers) {
        m_widget->killTimer(qtId);
    }
    m_timers.clear();
    Registry().erase(m_hWnd);
    hvDestroyWindowHandle(m_hWnd);
    m_hWnd = nullptr;
    QWidget* widget = m_widget;
    m_widget = nullptr;
    widget->removeEventFilter(m_bridge.get());
    widget->setProperty("hv_cwnd", QVariant());
    if (m_parent) {
        auto& siblings = m_parent->m_children;
        siblings.erase(std::remove(siblings.begin(), siblings.end(), this), siblings.end());
        m_parent = nullptr;
    }
    return widget;
}

BOOL CWnd::SubclassDlgItem(UINT id, CWnd* parent) {
    CWnd* item = parent ? parent->GetDlgItem(static_cast<int>(id)) : nullptr;
    if (!item || item == this || m_hWnd) {
        return FALSE;
    }
    const DWORD style = item->m_style;
    QWidget* widget = item->Detach();
    Register(widget, parent, id, style);
    return TRUE;
}

CWnd* CWnd::SetParent(CWnd* parent) {
    CWnd* previous = m_parent;
    if (!m_widget || !parent || !parent->m_widget || parent == previous) {
        return previous;
    }
    if (previous) {
        auto& siblings = previous->m_children;
        siblings.erase(std::remove(siblings.begin(), siblings.end(), this), siblings.end());
    }
    const bool visible = !m_widget->isHidden();
    m_widget->setParent(parent->m_widget);
    m_widget->setVisible(visible);
    m_parent = parent;
    parent->m_children.push_back(this);
    return previous;
}

BOOL CWnd::OnChildNotify(UINT, WPARAM, LPARAM) {
    return FALSE;
}

BOOL CWnd::DestroyWindow() {
    if (!m_hWnd || m_destroying) {
        return FALSE;
    }
    m_destroying = true;
    SendMessage(WM_DESTROY);
    // Children go after their parent has seen WM_DESTROY, as on the target platform.
    const std::vector<CWnd*> children = m_children;
    for (CWnd* child : children) {
        child->DestroyWindow();
    }
    QWidget* widget = Detach();
    widget->hide();
    // A widget cannot be deleted from inside one of its own events.
    if (m_eventDepth > 0) {
        widget->deleteLater();
    } else {
        delete widget;
    }
    m_destroying = false;
    PostNcDestroy();
    return TRUE;
}

LRESULT CWnd::Procedure(void* context, HWND, UINT message, WPARAM wParam, LPARAM lParam) {
    return static_cast<CWnd*>(context)->Dispatch(message, wParam, lParam, nullptr);
}

LRESULT CWnd::Dispatch(UINT message, WPARAM wParam, LPARAM lParam, bool* defaultCalled) {
    hv::CallWndProcHooks(m_hWnd, message, wParam, lParam);
    if (message == WM_COMMAND && lParam != 0) {
        CWnd* control = FromHandle(hv::LParam<WM_COMMAND>(lParam));
        if (control && control->m_parent == this &&
            control->OnChildNotify(message, wParam, lParam)) {
            return 0;
        }
    }
    bool* const saved = m_defaultCalled;
    m_defaultCalled = defaultCalled;
    const LRESULT result = WindowProc(message, wParam, lParam);
    m_defaultCalled = saved;
    return result;
}

LRESULT CWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProc(message, wParam, lParam);
}

LRESULT CWnd::DefWindowProc(UINT message, WPARAM wParam, LPARAM) {
    if (m_defaultCalled) {
        *m_defaultCalled = true;  // the Qt event gets Qt's own handling
    }
    if (auto* edit = qobject_cast<QLineEdit*>(m_widget)) {
        switch (message) {
            case WM_CHAR:
                if (wParam == VK_BACK) {
                    edit->backspace();
                } else if (wParam >= 0x20) {
                    edit->insert(QString(QChar(static_cast<char16_t>(wParam))));
                }
                return 0;
            case EM_LIMITTEXT:
                edit->setMaxLength(wParam ? static_cast<int>(wParam) : 0x7FFFFFFE);
                return 0;
            default: break;
        }
    }
    switch (message) {
        case WM_CLOSE: DestroyWindow(); return 0;
        case WM_NCHITTEST: return HTCLIENT;
        case WM_ERASEBKGND: return 1;
        default: return 0;
    }
}

BOOL CWnd::PreTranslateMessage(MSG*) {
    return FALSE;
}

LRESULT CWnd::SendMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    return SendMessageA(m_hWnd, message, wParam, lParam);
}

BOOL CWnd::PostMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    return PostMessageA(m_hWnd, message, wParam, lParam);
}

bool CWnd::HandleQtEvent(QEvent* event) {
    struct Depth {
        int& depth;
        explicit Depth(int& d) : depth(d) { ++depth; }
        ~Depth() { --depth; }
    } depth(m_eventDepth);
    auto translate = [&](UINT message, WPARAM wParam, LPARAM lParam) {
        bool defaultCalled = false;
        Dispatch(message, wParam, lParam, &defaultCalled);
        return !defaultCalled;
    };
    switch (event->type()) {
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::MouseMove:
        case QEvent::Wheel:
            // Qt hands a disabled widget's input to its filters all the same.
            if (!m_widget->isEnabled()) {
                return false;
            }
            break;
        default: break;
    }
    switch (event->type()) {
        case QEvent::KeyPress:
        case QEvent::KeyRelease: {
            auto* key = static_cast<QKeyEvent*>(event);
            const UINT vk = hv::VirtualKeyFromQtKey(key->key());
            if (vk == 0) {
                return false;
            }
            LPARAM data = 1 | static_cast<LPARAM>((key->nativeScanCode() & 0xFF) << 16);
            if (key->isAutoRepeat()) {
                data |= LPARAM(1) << 30;
            }
            if (event->type() == QEvent::KeyRelease) {
                data |= (LPARAM(1) << 30) | (LPARAM(1) << 31);
                return translate(WM_KEYUP, vk, data);
            }
            return translate(WM_KEYDOWN, vk, data);
        }
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::MouseMove: {
            auto* mouse = static_cast<QMouseEvent*>(event);
            const QPoint pos = mouse->position().toPoint();
            return translate(hv::MouseMessageFromQt(event->type(), mouse->button()),
                             MouseKeyFlags(mouse->buttons(), mouse->modifiers()),
                             MAKELPARAM(pos.x(), pos.y()));
        }
        case QEvent::Wheel: {
            auto* wheel = static_cast<QWheelEvent*>(event);
            const QPoint global = wheel->globalPosition().toPoint();
            const WPARAM wParam =
                MouseKeyFlags(wheel->buttons(), wheel->modifiers()) |
                (static_cast<WPARAM>(static_cast<WORD>(wheel->angleDelta().y())) << 16);
            return translate(WM_MOUSEWHEEL, wParam, MAKELPARAM(global.x(), global.y()));
        }
        case QEvent::Leave: translate(WM_MOUSELEAVE, 0, 0); return false;
        case QEvent::Paint: {
            if (m_paintingDefault) {
                return false;  // the widget's own painting, under its frame
            }
            const QPaintEvent* saved = m_paintEvent;
            m_paintEvent = static_cast<QPaintEvent*>(event);
            bool consumed = translate(WM_PAINT, 0, 0);
            const bool framed = m_frame.left || m_frame.top || m_frame.right || m_frame.bottom;
            if (!consumed && framed) {
                // The widget paints first; its frame goes over the edges.
                m_paintingDefault = true;
                QApplication::sendEvent(m_widget, event);
                m_paintingDefault = false;
                translate(WM_NCPAINT, 1, 0);
                consumed = true;
            }
            m_paintEvent = saved;
            return consumed;
        }
        case QEvent::Resize: {
            const QSize size = static_cast<QResizeEvent*>(event)->size();
            const WPARAM kind = m_widget->isMaximized() ? SIZE_MAXIMIZED : SIZE_RESTORED;
            translate(WM_SIZE, kind, MAKELPARAM(size.width(), size.height()));
            return false;
        }
        case QEvent::WindowStateChange:
            if (m_widget->isMinimized()) {
                translate(WM_SIZE, SIZE_MINIMIZED, 0);
            }
            return false;
        case QEvent::Move: {
            const QPoint pos = m_widget->pos();
            translate(WM_MOVE, 0, MAKELPARAM(pos.x(), pos.y()));
            return false;
        }
        case QEvent::EnabledChange: translate(WM_ENABLE, m_widget->isEnabled(), 0); return false;
        case QEvent::FocusIn: translate(WM_SETFOCUS, 0, 0); return false;
        case QEvent::FocusOut: translate(WM_KILLFOCUS, 0, 0); return false;
        case QEvent::Show:
        case QEvent::Hide: translate(WM_SHOWWINDOW, event->type() == QEvent::Show, 0); return false;
        case QEvent::ActivationChange:
            if (m_widget->isWindow()) {
                translate(WM_ACTIVATE, m_widget->isActiveWindow() ? WA_ACTIVE : WA_INACTIVE, 0);
            }
            return false;
        case QEvent::Timer: {
            const int qtId = static_cast<QTimerEvent*>(event)->timerId();
            for (const auto& [id, running] : m_timers) {
                if (running == qtId) {
                    translate(WM_TIMER, id, 0);
                    return true;
                }
            }
            return false;
        }
        case QEvent::Close:
            event->ignore();  // closing is WM_CLOSE's business, not Qt's
            translate(WM_CLOSE, 0, 0);
            return true;
        default: return false;
    }
}

BOOL CWnd::ShowWindow(int showCmd) {
    if (!m_widget) {
        return FALSE;
    }
    const BOOL wasVisible = m_widget->isVisible();
    switch (showCmd) {
        case SW_HIDE: m_widget->hide(); break;
        case SW_SHOWMINIMIZED:
        case SW_MINIMIZE: m_widget->showMinimized(); break;
        case SW_SHOWMAXIMIZED: m_widget->showMaximized(); break;
        case SW_RESTORE:
        case SW_SHOWNORMAL:
            if (m_widget->isWindow()) {
                m_widget->showNormal();
            } else {
                m_widget->show();
            }
            break;
        default: m_widget->show(); break;
    }
    return wasVisible;
}

BOOL CWnd::IsWindowVisible() const {
    return m_widget && m_widget->isVisible();
}

BOOL CWnd::EnableWindow(BOOL enable) {
    if (!m_widget) {
        return FALSE;
    }
    const BOOL wasDisabled = !m_widget->isEnabled();
    // Qt disables child windows with their parent; Windows leaves the windows
    // a window owns (its dialogs) as they were.
    std::vector<QWidget*> owned;
    for (QObject* child : m_widget->children()) {
        auto* widget = qobject_cast<QWidget*>(child);
        if (widget && widget->isWindow() && !widget->testAttribute(Qt::WA_ForceDisabled)) {
            owned.push_back(widget);
        }
    }
    m_widget->setEnabled(enable != FALSE);
    for (QWidget* widget : owned) {
        widget->setEnabled(true);
    }
    return wasDisabled;
}

BOOL CWnd::IsWindowEnabled() const {
    return m_widget && m_widget->isEnabled();
}

void CWnd::MoveWindow(int x, int y, int width, int height, BOOL repaint) {
    if (!m_widget) {
        return;
    }
    const QPoint before = m_widget->pos();
    m_widget->setGeometry(x, y, width, height);
    // Qt keeps a hidden child's move to itself until it is shown, and a child
    // that is never shown never hears of it; the platform tells at once.
    if (m_parent && !m_widget->isVisible() && m_widget->pos() != before) {
        SendMessage(WM_MOVE, 0, MAKELPARAM(x, y));
    }
    if (repaint) {
        m_widget->update();
    }
}

void CWnd::MoveWindow(const RECT& rect, BOOL repaint) {
    MoveWindow(rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top, repaint);
}

BOOL CWnd::SetWindowPos(int x, int y, int width, int height, UINT flags) {
    if (!m_widget) {
        return FALSE;
    }
    if ((flags & (SWP_NOMOVE | SWP_NOSIZE)) != (SWP_NOMOVE | SWP_NOSIZE)) {
        const QRect now = m_widget->geometry();
        MoveWindow((flags & SWP_NOMOVE) ? now.x() : x, (flags & SWP_NOMOVE) ? now.y() : y,
                   (flags & SWP_NOSIZE) ? now.width() : width,
                   (flags & SWP_NOSIZE) ? now.height() : height);
    }
    if (flags & SWP_FRAMECHANGED) {
        const RECT window{0, 0, m_widget->width(), m_widget->height()};
        RECT client = window;
        hv::Send<WM_NCCALCSIZE>(m_hWnd, FALSE, &client);
        m_frame = RECT{client.left - window.left, client.top - window.top,
                       window.right - client.right, window.bottom - client.bottom};
        const QMargins margins(m_frame.left, m_frame.top, m_frame.right, m_frame.bottom);
        // A line edit lays its text out inside its text margins only.
        if (auto* edit = qobject_cast<QLineEdit*>(m_widget)) {
            edit->setTextMargins(margins);
        } else {
            m_widget->setContentsMargins(margins);
        }
        m_widget->update();
    }
    return TRUE;
}

void CWnd::GetClientRect(RECT* rect) const {
    *rect = m_widget ? RECT{0, 0, m_widget->width(), m_widget->height()} : RECT{0, 0, 0, 0};
}

void CWnd::GetWindowRect(RECT* rect) const {
    if (!m_widget) {
        *rect = RECT{0, 0, 0, 0};
        return;
    }
    *rect = m_widget->isWindow()
                ? ToRect(m_widget->geometry())
                : ToRect(QRect(m_widget->mapToGlobal(QPoint(0, 0)), m_widget->size()));
}

void CWnd::CenterWindow() {
    if (!m_widget) {
        return;
    }
    QRect area;
    if (m_widget->isWindow() && m_widget->parentWidget()) {
        area = m_widget->parentWidget()->window()->geometry();
    } else if (QScreen* screen =
                   m_widget->screen() ? m_widget->screen() : QGuiApplication::primaryScreen()) {
        area = screen->availableGeometry();
    }
    QRect frame = m_widget->geometry();
    frame.moveCenter(area.center());
    m_widget->move(frame.topLeft());
}

BOOL CWnd::GetWindowPlacement(WINDOWPLACEMENT* placement) const {
    if (!m_widget) {
        return FALSE;
    }
    *placement = WINDOWPLACEMENT{};
    placement->length = sizeof(WINDOWPLACEMENT);
    placement->showCmd = m_widget->isMinimized()   ? SW_SHOWMINIMIZED
                         : m_widget->isMaximized() ? SW_SHOWMAXIMIZED
                                                   : SW_SHOWNORMAL;
    placement->rcNormalPosition = ToRect(m_widget->normalGeometry());
    return TRUE;
}

BOOL CWnd::BringWindowToTop() {
    if (!m_widget) {
        return FALSE;
    }
    m_widget->raise();
    return TRUE;
}

BOOL CWnd::SetForegroundWindow() {
    if (!m_widget) {
        return FALSE;
    }
    m_widget->activateWindow();
    return TRUE;
}

int CWnd::SetDlgCtrlID(int id) {
    const int previous = m_id;
    m_id = id;
    return previous;
}

CWnd* CWnd::GetDlgItem(int id) const {
    for (CWnd* child : m_children) {
        if (child->m_id == id) {
            return child;
        }
    }
    return nullptr;
}

void CWnd::SetWindowText(const std::string& text) {
    const QString value = QString::fromStdString(text);
    if (auto* label = qobject_cast<QLabel*>(m_widget)) {
        label->setText(value);
    } else if (auto* edit = qobject_cast<QLineEdit*>(m_widget)) {
        edit->setText(value);
    } else if (auto* box = qobject_cast<QPlainTextEdit*>(m_widget)) {
        box->setPlainText(value);
    } else if (m_widget) {
        m_widget->setWindowTitle(value);
        m_widget->update();
    }
}

std::string CWnd::GetWindowText() const {
    if (auto* label = qobject_cast<QLabel*>(m_widget)) {
        return label->text().toStdString();
    }
    if (auto* edit = qobject_cast<QLineEdit*>(m_widget)) {
        return edit->text().toStdString();
    }
    if (auto* box = qobject_cast<QPlainTextEdit*>(m_widget)) {
        return box->toPlainText().toStdString();
    }
    return m_widget ? m_widget->windowTitle().toStdString() : std::string();
}

UINT_PTR CWnd::SetTimer(UINT_PTR id, UINT elapse) {
    if (!m_widget) {
        return 0;
    }
    KillTimer(id);
    const int qtId = m_widget->startTimer(static_cast<int>(elapse));
    if (qtId == 0) {
        return 0;
    }
    m_timers[id] = qtId;
    return id;
}

BOOL CWnd::KillTimer(UINT_PTR id) {
    auto it = m_timers.find(id);
    if (it == m_timers.end()) {
        return FALSE;
    }
    if (m_widget) {
        m_widget->killTimer(it->second);
    }
    m_timers.erase(it);
    return TRUE;
}

BOOL CWnd::GetUpdateRect(RECT* rect) const {
    *rect = m_paintEvent ? ToRect(m_paintEvent->rect()) : RECT{0, 0, 0, 0};
    return rect->right > rect->left && rect->bottom > rect->top;
}

void CWnd::Invalidate(BOOL) {
    if (m_widget) {
        m_widget->update();
    }
}

void CWnd::InvalidateRect(const RECT& rect) {
    if (m_widget) {
        m_widget->update(
            QRect(rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top));
    }
}

void CWnd::UpdateWindow() {
    if (m_widget) {
        m_widget->repaint();
    }
}

CWnd* CWnd::SetFocus() {
    CWnd* previous = GetFocus();
    if (m_widget) {
        m_widget->setFocus(Qt::OtherFocusReason);
    }
    return previous;
}

CWnd* CWnd::GetFocus() {
    return FromWidget(QApplication::focusWidget());
}
