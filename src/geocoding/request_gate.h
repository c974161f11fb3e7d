// The process-wide gate that spaces out geocoding requests, whatever thread sends them.
#ifndef VEXOGEO_GEOCODING_REQUEST_GATE_H
#define VEXOGEO_GEOCODING_REQUEST_GATE_H

#include <chrono>
#include <functional>
#include <mutex>

namespace Geo {

/// Hands out send times at least 1/rate apart. A caller reserves its time under a short lock
/// and waits for it without one, so a waiting caller never blocks another's cancellation.
class RequestGate {
  public:
    using Clock = std::chrono::steady_clock;

    enum class Outcome {
        Passed,    ///< the caller may send now
        Cancelled, ///< `cancelled` answered true while waiting; the reserved time is spent
        TooLate    ///< the next free time lies after the deadline; nothing was reserved
    };

    /// The one gate of the process.
    static RequestGate &Process();

    /// Reserves the next free time at `requestsPerSecond` (> 0) and waits for it, asking
    /// `cancelled` (may be empty) every few milliseconds.
    /// @param sendTime receives the reserved (or, for TooLate, the next free) time if not null.
    Outcome Pass(double requestsPerSecond, Clock::time_point deadline,
                 const std::function<bool()> &cancelled, Clock::time_point *sendTime = nullptr);

    /// Lets nobody pass before `until`, as a service's Retry-After asks.
    void HoldUntil(Clock::time_point until);

    /// Forgets all reservations and holds (for tests and benchmarks).
    void Reset();

  private:
    std::mutex m_mutex;
    Clock::time_point m_next{}; ///< the earliest time the next request may be sent
};

/// Holds the process's gate for `seconds` from now, at most five minutes.
void HoldGateFor(double seconds);

} // namespace Geo

#endif
