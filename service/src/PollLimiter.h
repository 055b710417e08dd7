#pragma once

#include <cstddef>
#include <map>
#include <mutex>
#include <string>

namespace hv::service {

// Long polls each hold a connection's thread for up to their wait: bounded per
// session and in all. A poll over either bound is answered at once, and the
// engine then waits longer before its next one.
class PollLimiter {
  public:
    static constexpr std::size_t kPerSession = 2;
    static constexpr std::size_t kTotal = 128;

    // A poll that may wait, released with the object; or one that may not.
    class Ticket {
      public:
        Ticket(PollLimiter& limiter, std::string session);
        ~Ticket();
        Ticket(const Ticket&) = delete;
        Ticket& operator=(const Ticket&) = delete;

        bool MayWait() const { return m_admitted; }

      private:
        PollLimiter& m_limiter;
        std::string m_session;
        bool m_admitted;
    };

  private:
    bool Begin(const std::string& session);
    void End(const std::string& session);

    std::mutex m_mutex;
    std::map<std::string, std::size_t> m_bySession;
    std::size_t m_total = 0;
};

}  // namespace hv::service
