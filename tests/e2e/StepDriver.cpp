#include "StepDriver.h"

#include <spawn.h>
#include <sys/wait.h>
#include <QApplication>
#include <QWidget>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <typeinfo>

#include "ClientState.h"
#include "frame/MainFrame.h"
#include "screens/BaseView.h"
#include "skin/MessageDlg.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;
using e2e::Frame;
constexpr auto kStepTimeout = std::chrono::seconds(30);

pid_t Spawn(const QStringList& command) {
    std::vector<std::string> words;
    std::vector<char*> argv;
    for (const QString& word : command) {
        words.push_back(word.toStdString());
    }
    for (std::string& word : words) {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);
    // Not fork: a forked copy of this many-threaded process must run nothing
    // before it execs, and ThreadSanitizer stops one that does.
    pid_t pid = -1;
    return posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) == 0 ? pid : -1;
}

// The question on top, else the frame.
QWidget* TopWindow() {
    QWidget* top = QApplication::activeModalWidget();
    if (CMessageDlg* question = top ? nullptr : e2e::QuestionDialog()) {
        top = question->GetWidget();
    }
    return top ? top : Frame()->GetWidget();
}

// Real input to the window on top, made active first. Not waited for:
// activation needs this thread's event loop.
void Xdotool(const QStringList& arguments) {
    CStepDriver::SpawnDetached(
        QStringList{"xdotool", "windowactivate", "--sync", QString::number(TopWindow()->winId())} +
        arguments);
}

}  // namespace

CStepDriver::CStepDriver(std::vector<DriverStep> steps) : m_steps(std::move(steps)) {
    m_artifacts = QString::fromStdString(std::getenv("HALVORY_E2E_ARTIFACTS") ?: "");
    m_timer.setInterval(100);
    QObject::connect(&m_timer, &QTimer::timeout, [this] { Tick(); });
    m_timer.start();
}

Clock::duration CStepDriver::SinceStepStart() const {
    return Clock::now() - m_stepStart;
}

void CStepDriver::Report(const std::string& line) {
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
}

void CStepDriver::Fail(const std::string& why) {
    Report("e2e: failed: " + why);
    QCoreApplication::exit(1);
}

void CStepDriver::SpawnDetached(const QStringList& command) {
    static std::vector<pid_t> running;
    // Only our own children are reaped: the engine waits for its games itself.
    std::erase_if(running, [](pid_t pid) { return waitpid(pid, nullptr, WNOHANG) != 0; });
    if (const pid_t pid = Spawn(command); pid > 0) {
        running.push_back(pid);
    }
}

QStringList CStepDriver::Keys(const QStringList& names) {
    return QStringList{"key", "--delay", "150"} + names;
}

std::function<QStringList()> CStepDriver::KeysInput(const QStringList& names) {
    return [names] { return Keys(names); };
}

std::function<QStringList()> CStepDriver::ShowInput(int show) {
    return [show] {
        Frame()->ShowWindow(show);
        return QStringList();
    };
}

QStringList CStepDriver::ClickAt(const QWidget* widget, std::optional<QPoint> point,
                                 const QStringList& click) {
    const QPoint at = widget->mapToGlobal(point.value_or(widget->rect().center()));
    return QStringList{"mousemove", QString::number(at.x()), QString::number(at.y())} + click;
}

bool CStepDriver::Settled(unsigned show, int seconds) const {
    return Frame()->FrameShowState() == show && SinceStepStart() > std::chrono::seconds(seconds);
}

void CStepDriver::Give(const QStringList& input) {
    const QStringList keyPrefix = Keys({});
    if (!m_press || input.mid(0, keyPrefix.size()) != keyPrefix) {
        Xdotool(input);
        return;
    }
    // Activation alone, then the keys on a later tick once it has come.
    Xdotool({});
    m_pending = input.mid(keyPrefix.size());
}

void CStepDriver::Tick() {
    CMainFrame* frame = Frame();
    if (m_done || !frame || !frame->GetWidget()->isVisible()) {
        return;
    }
    if (m_step == m_steps.size()) {
        m_done = true;
        Report("e2e: passed");
        if (m_closeAtEnd) {
            frame->PostMessage(WM_CLOSE);
        }
        return;
    }
    const DriverStep& step = m_steps[m_step];
    if (!m_acted) {
        m_acted = true;
        m_stepStart = Clock::now();
        if (step.input) {
            Give(step.input());
        }
        return;
    }
    if (!m_pending.isEmpty()) {
        if (QApplication::activeWindow() == TopWindow()) {
            m_press(m_pending);
            m_pending.clear();
        }
        return;
    }
    if (step.done()) {
        Report(std::string("e2e: ") + step.name);
        if (step.screenshot && !m_artifacts.isEmpty()) {
            // The screen where the frame is, with whatever dialog stands over it.
            const QRect area = frame->GetWidget()->geometry();
            const pid_t import = Spawn({"import", "-window", "root", "-crop",
                                        QString("%1x%2+%3+%4")
                                            .arg(area.width())
                                            .arg(area.height())
                                            .arg(area.x())
                                            .arg(area.y()),
                                        m_artifacts + "/" + step.screenshot + ".png"});
            if (import > 0) {
                waitpid(import, nullptr, 0);
            }
        }
        ++m_step;
        m_acted = false;
    } else if (SinceStepStart() > kStepTimeout) {
        m_done = true;
        CWnd* active = frame->ActiveView();
        Fail(std::string("no '") + step.name + "' within 30 s; on " +
             (active ? typeid(*active).name() : "nothing") + ", question: " + e2e::Question());
    }
}
