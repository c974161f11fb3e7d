// The gate that spaces out geocoding requests, whatever thread or process of the user sends them.
#ifndef VEXOGEO_GEOCODING_REQUEST_GATE_H
#define VEXOGEO_GEOCODING_REQUEST_GATE_H

#include <chrono>
#include <functional>
#include <mutex>
#include <string>

namespace Geo {

/// Hands out send times at least 1/rate apart. A caller reserves its time under a short lock
/// and waits for it without one, so a waiting caller never blocks another's cancellation.
///
/// A shared gate also takes its turn in a record file that every gate naming the same file
/// shares, in any process: the last turn handed out and any hold, in wall-clock time, read and
/// rewritten under the system's file lock. A turn is taken at most one interval ahead, so no
/// caller ever waits longer than one interval for a turn it holds; a recorded turn more than an
/// interval ahead (or a hold beyond five minutes) is taken as left by a clock that stepped back
/// and ignored. When the file cannot be used (no folder, a read-only one, a lock that a stuck
/// holder keeps for a second), the gate of the process alone spaces the requests.
class RequestGate {
  public:
    using Clock = std::chrono::steady_clock;

    enum class Outcome {
        Passed,    ///< the caller may send now
        Cancelled, ///< `cancelled` answered true while waiting; the reserved time is spent
        TooLate    ///< the next free time lies after the deadline; nothing was reserved
    };

    /// A gate of this process alone.
    RequestGate() = default;
    /// A gate shared through the record file `sharedPath` (created with its folder when
    /// missing); an empty path makes a gate of this process alone.
    explicit RequestGate(std::string sharedPath);

    /// The one gate of the process, shared by the user's processes through the file
    /// "request-gate" in the cache folder (`GetDefaultCacheFolder`) as the environment names it
    /// on first use; of the process alone when the environment names no cache folder.
    static RequestGate &Process();

    /// Reserves the next free time at `requestsPerSecond` (> 0) and waits for it, asking
    /// `cancelled` (may be empty) every few milliseconds.
    /// @param sendTime receives the reserved (or, for TooLate, the next free) time if not null.
    Outcome Pass(double requestsPerSecond, Clock::time_point deadline,
                 const std::function<bool()> &cancelled, Clock::time_point *sendTime = nullptr);

    /// Lets nobody pass before `until`, as a service's Retry-After asks; a shared gate records
    /// the hold for every process (not beyond five minutes from now).
    void HoldUntil(Clock::time_point until);

    /// Forgets all reservations and holds, the shared record's too (for tests and benchmarks).
    void Reset();

  private:
    Outcome PassShared(Clock::duration interval, Clock::time_point deadline,
                       const std::function<bool()> &cancelled, Clock::time_point *sendTime);

    std::mutex m_mutex;
    Clock::time_point m_next{}; ///< the earliest time the next request may be sent
    std::string m_sharedPath;   ///< the shared record file; empty: this process alone
};

/// Holds the process's gate (and so the user's) for `seconds` from now, at most five minutes.
void HoldGateFor(double seconds);

} // namespace Geo

#endif
