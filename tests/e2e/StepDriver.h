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
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QWidget;

struct DriverStep {
    const char* name;
    std::function<QStringList()> input;  // null: no input
    std::function<bool()> done;
    const char* screenshot = nullptr;  // taken once done
};

class CStepDriver {
  public:
    explicit CStepDriver(std::vector<DriverStep> steps);

    // The client then goes on alone instead of being closed once every step is done.
    void LeaveOpenAtEnd() { m_closeAtEnd = false; }
    // Named keys (Keys) go to `press` instead of xdotool, once the client's
    // window on top is active: a gamepad, for instance.
    void SetKeyPresser(std::function<void(const QStringList& names)> press) {
        m_press = std::move(press);
    }

    // The step now running (a number that changes with each step).
    size_t StepNumber() const { return m_step; }
    std::chrono::steady_clock::duration SinceStepStart() const;

    // Starts a program found on the PATH and reaps it on a later call once
    // it has ended.
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
    // Reports the run failed and ends it.
    static void Fail(const std::string& why);

  private:
    void Tick();
    void Give(const QStringList& input);

    QTimer m_timer;
    std::vector<DriverStep> m_steps;
    std::function<void(const QStringList&)> m_press;
    QStringList m_pending;  // keys for the presser, given once the window is active
    size_t m_step = 0;
    bool m_acted = false;
    bool m_done = false;
    bool m_closeAtEnd = true;
    std::chrono::steady_clock::time_point m_stepStart;
    QString m_artifacts;
};

// The walks of the driven client, each a user on the real client; a walk
// runs while the object its start returns lives. Null: not that walk.
std::shared_ptr<void> StartPagesWalk(const std::string& scenario);
std::shared_ptr<void> StartBrowseWalk(const std::string& scenario);
std::shared_ptr<void> StartDownloadWalk(const std::string& scenario);
std::shared_ptr<void> StartLoginWalk(const std::string& scenario);
