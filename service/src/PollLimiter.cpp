#include "PollLimiter.h"

namespace hv::service {

PollLimiter::Ticket::Ticket(PollLimiter& limiter, std::string session)
    : m_limiter(limiter), m_session(std::move(session)), m_admitted(limiter.Begin(m_session)) {}

PollLimiter::Ticket::~Ticket() {
    if (m_admitted) {
        m_limiter.End(m_session);
    }
}

bool PollLimiter::Begin(const std::string& session) {
    std::lock_guard lock(m_mutex);
    auto& count = m_bySession[session];
    if (count >= kPerSession || m_total >= kTotal) {
        if (count == 0) {
            m_bySession.erase(session);
        }
        return false;
    }
    ++count;
    ++m_total;
    return true;
}

void PollLimiter::End(const std::string& session) {
    std::lock_guard lock(m_mutex);
    auto found = m_bySession.find(session);
    if (--found->second == 0) {
        m_bySession.erase(found);
    }
    --m_total;
}

}  // namespace hv::service
