#include "skin/PleaseWaitDlg.h"

#include <QPainter>
#include <QWidget>
#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>

#include "image/CxImageQt.h"
#include "messages/Messages.h"
#include "res/ResourceTable.h"
#include "skin/SkinSet.h"
#include "winapi/Log.h"

namespace {

enum : int { IDC_PLEASE_WAIT = 1117, IDC_CHECKING = 1118 };

void RegisterTemplate() {
    static const bool registered = [] {
        RegisterDialogTemplate(
            DialogTemplate{CPleaseWaitDlg::kTemplateId,
                           266,
                           62,
                           WS_POPUP,
                           {{IDC_PLEASE_WAIT, DialogItemKind::Static, "", RECT{75, 21, 121, 26},
                             WS_VISIBLE | SS_LEFTNOWORDWRAP},
                            {IDC_CHECKING, DialogItemKind::Static, "", RECT{43, 20, 187, 26},
                             WS_VISIBLE | SS_LEFTNOWORDWRAP}}});
        return true;
    }();
    (void)registered;
}

}  // namespace

CPleaseWaitDlg::CPleaseWaitDlg() : CDialog(kTemplateId, nullptr) {
    RegisterTemplate();
    SetStaticTextColour(ToQColor(hv::look::kStaticText));
}

CPleaseWaitDlg::~CPleaseWaitDlg() {
    StopAnimation();
    DestroyWindow();
}

std::string CPleaseWaitDlg::CycleText(int mode, unsigned step) {
    // Arrays chosen through a reference: gcc 12 with ASan miscompiles a
    // conditional between two arrays indexed directly.
    static constexpr std::array<const char*, 3> checking = {
        "Checking For Updates...", "Checking For Updates.  ", "Checking For Updates.. "};
    static constexpr std::array<const char*, 3> waiting = {"Please Wait.  ", "Please Wait.. ",
                                                           "Please Wait..."};
    const auto& texts = mode == 1 ? checking : waiting;
    return texts[step % texts.size()];
}

BOOL CPleaseWaitDlg::OnInitDialog() {
    const QFont font = GetSkin() ? GetSkin()->Font(30, 400) : QFont();
    for (int id : {IDC_PLEASE_WAIT, IDC_CHECKING}) {
        GetDlgItem(id)->GetWidget()->setFont(font);
    }
    if (m_nMode == 1) {
        GetDlgItem(IDC_PLEASE_WAIT)->ShowWindow(SW_HIDE);
    }
    GetDlgItem(IDC_CHECKING)->ShowWindow(SW_SHOW);
    return TRUE;
}

struct CPleaseWaitDlg::Animation {
    std::mutex lock;
    std::condition_variable wake;
    bool quit = false;
    std::atomic<bool> running{true};
};

bool CPleaseWaitDlg::IsAnimating() const {
    return m_pAnimation && m_pAnimation->running;
}

void CPleaseWaitDlg::Show(BOOL show) {
    if (!show) {
        StopAnimation();
        ShowWindow(SW_HIDE);
        return;
    }
    const bool checking = m_nMode == 1;
    GetDlgItem(checking ? IDC_PLEASE_WAIT : IDC_CHECKING)->ShowWindow(SW_HIDE);
    GetDlgItem(checking ? IDC_CHECKING : IDC_PLEASE_WAIT)->ShowWindow(SW_SHOW);
    ShowWindow(SW_SHOW);
    if (IsAnimating()) {
        return;
    }
    auto animation = std::make_shared<Animation>();
    m_thread = hv::Thread::Start([animation, hwnd = GetSafeHwnd()] {
        Animation& state = *animation;
        std::unique_lock guard(state.lock);
        for (unsigned step = 0; !state.quit; ++step) {
            guard.unlock();
            hv::Post<UWM_WAIT_STEP>(hwnd, step);
            guard.lock();
            state.wake.wait_for(guard, std::chrono::milliseconds(kStepMs),
                                [&] { return state.quit; });
        }
        state.running = false;
    });
    if (m_thread) {
        m_pAnimation = animation;
    }
}

void CPleaseWaitDlg::StopAnimation() {
    if (!m_pAnimation) {
        return;
    }
    {
        std::lock_guard guard(m_pAnimation->lock);
        m_pAnimation->quit = true;
    }
    m_pAnimation->wake.notify_all();
    // A thread that does not end in time is left to end alone: it only
    // touches the shared state and posts to a handle that may be gone.
    if (!m_thread.Wait(kStopWaitMs)) {
        hv::LogWarning("wait dialog animation did not stop within %u ms; abandoned", kStopWaitMs);
    }
    m_thread.Abandon();
    m_pAnimation.reset();
}

void CPleaseWaitDlg::ShowStep() {
    m_strCurrent = CycleText(m_nMode, m_nStep);
    CWnd* text = GetDlgItem(m_nMode == 1 ? IDC_CHECKING : IDC_PLEASE_WAIT);
    text->SetWindowText(m_strCurrent);
    if (!m_bFitted[m_nMode == 1]) {
        // Sized once for the longest text of the cycle, so it does not jump.
        QWidget* label = text->GetWidget();
        label->setFont(FitFont(label->font(), QString::fromStdString(CycleText(m_nMode, 0)),
                               label->size(), false));
        m_bFitted[m_nMode == 1] = true;
    }
    Invalidate(FALSE);
}

void CPleaseWaitDlg::Paint() {
    QPainter painter(GetWidget());
    const QRect area = PaintArea(*this);
    if (m_background.IsNull()) {
        if (const CxImage* image =
                GetSkin() ? GetSkin()->Image(hv::res::kWaitBackground.id) : nullptr) {
            m_background =
                CScaledImage(ToQImage(*image).convertToFormat(QImage::Format_ARGB32_Premultiplied));
        }
    }
    if (m_background.IsNull()) {
        painter.fillRect(area, ToQColor(hv::look::kDialogFill));
        return;
    }
    painter.drawImage(area.topLeft(), m_background.At(GetWidget()->size()), area);
}

BOOL CPleaseWaitDlg::PreTranslateMessage(MSG* msg) {
    // The user cannot close it.
    return msg->message == WM_KEYDOWN && (msg->wParam == VK_RETURN || msg->wParam == VK_ESCAPE);
}

LRESULT CPleaseWaitDlg::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_PAINT: Paint(); return 0;
        case UWM_WAIT_STEP:
            if (IsAnimating()) {
                m_nStep = hv::WParam<UWM_WAIT_STEP>(wParam);
                ShowStep();
            }
            return 0;
        case WM_DESTROY: StopAnimation(); break;
        case WM_CLOSE: return 0;
        default: break;
    }
    return CDialog::WindowProc(message, wParam, lParam);
}
