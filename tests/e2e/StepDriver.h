// Plays a user step by step on the real client: each step gives its real
// input (xdotool arguments) once when it begins, is polled until done, and
// may leave a screenshot. The first step not done in time fails the run.
#pragma once

#include <sys/types.h>
#include <QPoint>
#include <QStringList>
#include <QTimer>
#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

class CMainFrame;
class QWidget;

// Controls of the message dialog the drivers read and fill in.
inline constexpr int kMessageId = 1011;  // its text
inline constexpr int kFolderId = 1120;   // its folder entry

struct DriverStep {
    const char* name;
    std::function<QStringList()> input;  // null: no input
    std::function<bool()> done;
    const char* screenshot;  // taken once done, or null
};

class CStepDriver {
  public:
    // describe adds what the failure report should tell of the state.
    CStepDriver(std::vector<DriverStep> steps, std::function<std::string()> describe);

    // The client then goes on alone instead of being closed once every step is done.
    void LeaveOpenAtEnd() { m_closeAtEnd = false; }
    // Named keys (Keys) go to `press` instead of xdotool, once the client's
    // window on top is active: a gamepad, for instance.
    void SetKeyPresser(std::function<void(const QStringList& names)> press);

    // The step now running (a number that changes with each step).
    size_t StepNumber() const { return m_step; }
    std::chrono::steady_clock::duration SinceStepStart() const;

    // Real input to the client's window on top (a question, else the
    // frame), made active first. Not waited for: activation needs this
    // thread's event loop.
    static void Xdotool(const QStringList& arguments);
    // Starts a program found on the PATH; its pid, or -1.
    static pid_t Spawn(const QStringList& command);
    // Starts a program and reaps it on a later call once it has ended.
    static void SpawnDetached(const QStringList& command);
    // xdotool arguments for named keys pressed one after another, and a
    // step's input that gives them.
    static QStringList Keys(const QStringList& names);
    static std::function<QStringList()> KeysInput(const QStringList& names);
    // A step's input that shows the frame maximised or normal (no user input).
    static std::function<QStringList()> ShowInput(int show);
    // xdotool arguments that move the pointer to `point` of `widget` (its
    // centre by default) and click there (`click` empty: no click).
    static QStringList ClickAt(const QWidget* widget, std::optional<QPoint> point = {},
                               const QStringList& click = {"click", "1"});
    // The frame shown so, given `seconds` to settle and repaint at that size.
    bool Settled(unsigned show, int seconds) const;
    static void Report(const std::string& line);
    // The question on top, else the frame.
    static QWidget* TopWindow();
    static CMainFrame* Frame();

  private:
    void Tick();
    void Give(const QStringList& input);

    QTimer m_timer;
    std::vector<DriverStep> m_steps;
    std::function<std::string()> m_describe;
    std::function<void(const QStringList&)> m_press;
    QStringList m_pending;  // keys for the presser, given once the window is active
    size_t m_step = 0;
    bool m_acted = false;
    bool m_done = false;
    bool m_closeAtEnd = true;
    std::chrono::steady_clock::time_point m_stepStart;
    QString m_artifacts;
};
