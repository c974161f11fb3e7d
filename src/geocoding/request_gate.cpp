// Reservation-based spacing of requests: a time slot per request, waited for without a lock.
#include "geocoding/request_gate.h"

#include <algorithm>
#include <thread>

namespace Geo {
namespace {

// How often a waiting caller looks at its cancellation.
constexpr std::chrono::milliseconds kPollInterval{20};
constexpr double kLongestGap = 3600.0;
// A Retry-After holds every request of the process; a longer one than this is not believed.
constexpr double kLongestHold = 300.0;

} // namespace

RequestGate &RequestGate::Process() {
    static RequestGate gate;
    return gate;
}

RequestGate::Outcome RequestGate::Pass(double requestsPerSecond, Clock::time_point deadline,
                                       const std::function<bool()> &cancelled,
                                       Clock::time_point *sendTime) {
    // At most an hour apart, so that a tiny rate cannot overflow the clock.
    const double seconds =
        requestsPerSecond > 0 ? std::min(1.0 / requestsPerSecond, kLongestGap) : kLongestGap;
    const auto interval =
        std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
    Clock::time_point slot;
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        slot = std::max(Clock::now(), m_next);
        if (sendTime != nullptr)
            *sendTime = slot;
        if (slot > deadline)
            return Outcome::TooLate;
        m_next = slot + interval;
    }
    for (auto now = Clock::now(); now < slot; now = Clock::now()) {
        if (cancelled && cancelled())
            return Outcome::Cancelled;
        std::this_thread::sleep_for(std::min<Clock::duration>(slot - now, kPollInterval));
    }
    return cancelled && cancelled() ? Outcome::Cancelled : Outcome::Passed;
}

void RequestGate::HoldUntil(Clock::time_point until) {
    const std::lock_guard<std::mutex> lock(m_mutex);
    m_next = std::max(m_next, until);
}

void HoldGateFor(double seconds) {
    const double held = std::min(std::max(seconds, 0.0), kLongestHold);
    RequestGate::Process().HoldUntil(RequestGate::Clock::now() +
                                     std::chrono::duration_cast<RequestGate::Clock::duration>(
                                         std::chrono::duration<double>(held)));
}

void RequestGate::Reset() {
    const std::lock_guard<std::mutex> lock(m_mutex);
    m_next = Clock::time_point{};
}

} // namespace Geo
