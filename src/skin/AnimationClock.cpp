#include "skin/AnimationClock.h"

#include <algorithm>

CAnimationClock& CAnimationClock::Instance() {
    static CAnimationClock clock;
    return clock;
}

CAnimationClock::CAnimationClock() {
    m_timer.setInterval(kStepMs);
    QObject::connect(&m_timer, &QTimer::timeout, &m_timer, [this] { Tick(); });
}

CAnimationClock::Subscriber* CAnimationClock::Find(const void* owner) {
    const auto it = std::find_if(m_subscribers.begin(), m_subscribers.end(),
                                 [owner](const Subscriber& s) { return s.owner == owner; });
    return it == m_subscribers.end() ? nullptr : &*it;
}

void CAnimationClock::Subscribe(const void* owner, std::function<void()> step) {
    Subscriber subscriber{owner, m_nextSerial++, std::move(step)};
    if (Subscriber* existing = Find(owner)) {
        *existing = std::move(subscriber);
    } else {
        m_subscribers.push_back(std::move(subscriber));
    }
    if (!m_timer.isActive()) {
        m_timer.start();
    }
}

void CAnimationClock::Unsubscribe(const void* owner) {
    std::erase_if(m_subscribers, [owner](const Subscriber& s) { return s.owner == owner; });
    if (m_subscribers.empty()) {
        m_timer.stop();
    }
}

bool CAnimationClock::IsSubscribed(const void* owner) const {
    return std::any_of(m_subscribers.begin(), m_subscribers.end(),
                       [owner](const Subscriber& s) { return s.owner == owner; });
}

void CAnimationClock::Tick() {
    // Stepped from a copy: a step may change the list, even end its own subscription.
    const std::vector<Subscriber> due = m_subscribers;
    for (const Subscriber& subscriber : due) {
        const Subscriber* current = Find(subscriber.owner);
        if (current && current->serial == subscriber.serial) {
            subscriber.step();
        }
    }
}
