// Runs the Qt event loop for the ui tests.
#pragma once

#include <QApplication>
#include <QElapsedTimer>
#include <functional>

// Until done() holds (true) or the time is up (false).
inline bool PumpUntil(const std::function<bool()>& done, int ms = 3000) {
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < ms) {
        QApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return done();
}

inline void PumpFor(int ms) {
    PumpUntil([] { return false; }, ms);
}
