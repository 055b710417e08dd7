// CAnimationClock: the one timer behind the skin's animations. An animation
// subscribes while it runs and its window is visible; the clock wakes every
// kStepMs while anyone is subscribed and not at all otherwise, so any number
// of pulsing buttons cost one wake-up a step.
#pragma once

#include <QTimer>
#include <cstdint>
#include <functional>
#include <vector>

class CAnimationClock {
  public:
    static constexpr int kStepMs = 100;

    // The clock of the user-interface thread, the only thread that may use it.
    static CAnimationClock& Instance();

    CAnimationClock(const CAnimationClock&) = delete;
    CAnimationClock& operator=(const CAnimationClock&) = delete;

    // `step` runs on every tick until `owner` unsubscribes; subscribing again
    // replaces it.
    void Subscribe(const void* owner, std::function<void()> step);
    void Unsubscribe(const void* owner);
    bool IsSubscribed(const void* owner) const;
    bool IsRunning() const { return m_timer.isActive(); }

    // One step of every subscriber, as the timer runs it. A step may
    // subscribe or unsubscribe anyone; one unsubscribed during the tick is
    // not stepped any more.
    void Tick();

  private:
    CAnimationClock();

    struct Subscriber {
        const void* owner;
        uint64_t serial;  // tells a new subscription apart from an ended one at the same address
        std::function<void()> step;
    };
    Subscriber* Find(const void* owner);

    QTimer m_timer;
    std::vector<Subscriber> m_subscribers;
    uint64_t m_nextSerial = 1;
};
