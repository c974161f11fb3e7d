// Reservation-based spacing of requests: a time slot per request, waited for without a lock;
// across processes, a turn taken in a small record file under the system's file lock.
#include "geocoding/request_gate.h"

#include "platform/cache_folder.h"
#include "platform/locked_file.h"

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <thread>

namespace Geo {
namespace {

// How often a waiting caller looks at its cancellation.
constexpr std::chrono::milliseconds kPollInterval{20};
constexpr double kLongestGap = 3600.0;
// A Retry-After holds every request of the user; a longer one than this is not believed.
constexpr double kLongestHold = 300.0;
// How long a caller waits for the record's lock, which a holder keeps for a read and a write:
// a holder that is stopped, not dead, must not stop the user's requests.
constexpr std::chrono::milliseconds kLockPatience{1000};

const char *const kRecordFileName = "request-gate";
const char *const kRecordTag = "VEXOGEO-GATE 1\n";
constexpr std::size_t kLongestRecord = 128;

using WallClock = std::chrono::system_clock;
using Micros = std::chrono::microseconds;

// Wall-clock time as microseconds since 1970: the one clock that all processes read alike.
long long WallMicros() {
    return std::chrono::duration_cast<Micros>(WallClock::now().time_since_epoch()).count();
}

long long ToMicros(RequestGate::Clock::duration duration) {
    return std::chrono::duration_cast<Micros>(duration).count();
}

// The record: the last turn handed out and the time before which nobody passes, both in
// microseconds since 1970 (0: none).
struct SharedRecord {
    long long m_turn = 0;
    long long m_hold = 0;
};

// Reads "<tag><turn> <hold>\n"; anything else (an empty file, one torn by a crash, a foreign
// one) reads as no record.
SharedRecord DecodeRecord(const std::string &bytes) {
    const std::string tag = kRecordTag;
    SharedRecord record;
    if (bytes.compare(0, tag.size(), tag) != 0 || bytes.empty() || bytes.back() != '\n')
        return {};
    const char *p = bytes.data() + tag.size();
    const char *const end = bytes.data() + bytes.size() - 1;
    auto result = std::from_chars(p, end, record.m_turn);
    if (result.ec != std::errc() || result.ptr == end || *result.ptr != ' ')
        return {};
    result = std::from_chars(result.ptr + 1, end, record.m_hold);
    if (result.ec != std::errc() || result.ptr != end || record.m_turn < 0 || record.m_hold < 0)
        return {};
    return record;
}

std::string EncodeRecord(const SharedRecord &record) {
    return kRecordTag + std::to_string(record.m_turn) + " " + std::to_string(record.m_hold) + "\n";
}

// Locks the record file, creating its folder first when it is missing.
bool LockRecord(Platform::CLockedFile &file, const std::string &path,
                std::chrono::milliseconds patience) {
    std::error_code error;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path(), error);
    return file.Lock(path, patience);
}

// Reads the record and forgets what no running gate can have written: a turn more than
// `interval` ahead, a hold more than the longest hold ahead (a clock that stepped back).
SharedRecord ReadRecord(Platform::CLockedFile &file, long long now, long long interval) {
    std::string bytes;
    SharedRecord record = file.Read(kLongestRecord, bytes) ? DecodeRecord(bytes) : SharedRecord{};
    if (record.m_turn > now + interval)
        record.m_turn = 0;
    if (record.m_hold > now + static_cast<long long>(kLongestHold * 1e6))
        record.m_hold = 0;
    return record;
}

// Waits until `until`, asking `cancelled` every few milliseconds.
RequestGate::Outcome WaitFor(RequestGate::Clock::time_point until,
                             const std::function<bool()> &cancelled) {
    using Clock = RequestGate::Clock;
    for (auto now = Clock::now(); now < until; now = Clock::now()) {
        if (cancelled && cancelled())
            return RequestGate::Outcome::Cancelled;
        std::this_thread::sleep_for(std::min<Clock::duration>(until - now, kPollInterval));
    }
    return cancelled && cancelled() ? RequestGate::Outcome::Cancelled
                                    : RequestGate::Outcome::Passed;
}

std::string DefaultRecordPath() {
    const std::string folder = Platform::GetUserCacheFolder();
    return folder.empty() ? std::string() : folder + kRecordFileName;
}

} // namespace

RequestGate::RequestGate(std::string sharedPath) : m_sharedPath(std::move(sharedPath)) {}

RequestGate &RequestGate::Process() {
    static RequestGate gate(DefaultRecordPath());
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
    // The threads of the process take turns here first, so that only one at a time asks the
    // record for the user's turn.
    const Outcome outcome = WaitFor(slot, cancelled);
    if (outcome != Outcome::Passed || m_sharedPath.empty())
        return outcome;
    return PassShared(interval, deadline, cancelled, sendTime);
}

RequestGate::Outcome RequestGate::PassShared(Clock::duration interval, Clock::time_point deadline,
                                             const std::function<bool()> &cancelled,
                                             Clock::time_point *sendTime) {
    const long long intervalMicros = ToMicros(interval);
    for (;;) {
        Clock::time_point turn;
        bool taken = false;
        {
            const auto now = Clock::now();
            Platform::CLockedFile file;
            const auto patience =
                deadline <= now
                    ? std::chrono::milliseconds(0)
                    : std::min<std::chrono::milliseconds>(
                          kLockPatience,
                          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now));
            // The process's own spacing, just passed, is all there is without the record.
            if (!LockRecord(file, m_sharedPath, patience))
                return Outcome::Passed;
            const long long wallNow = WallMicros();
            const auto steadyNow = Clock::now();
            SharedRecord record = ReadRecord(file, wallNow, intervalMicros);
            long long earliest = std::max(wallNow, record.m_hold);
            if (record.m_turn > 0)
                earliest = std::max(earliest, record.m_turn + intervalMicros);
            turn = steadyNow + Micros(earliest - wallNow);
            // Taken only within one interval: a turn held is always near, and a caller that
            // gives up or is cancelled wastes at most one interval of the user's.
            if (turn <= deadline && earliest - wallNow <= intervalMicros) {
                record.m_turn = earliest;
                taken = file.Write(EncodeRecord(record));
                if (!taken)
                    return Outcome::Passed; // a record that cannot be written is no gate
            }
        }
        if (sendTime != nullptr)
            *sendTime = turn;
        if (turn > deadline)
            return Outcome::TooLate;
        if (taken)
            return WaitFor(turn, cancelled);
        // Others hold the turns before this one: come back when one could be taken.
        if (WaitFor(turn - interval, cancelled) == Outcome::Cancelled)
            return Outcome::Cancelled;
    }
}

void RequestGate::HoldUntil(Clock::time_point until) {
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_next = std::max(m_next, until);
    }
    if (m_sharedPath.empty())
        return;
    Platform::CLockedFile file;
    if (!LockRecord(file, m_sharedPath, kLockPatience))
        return;
    const long long wallNow = WallMicros();
    const auto ahead = std::max(until - Clock::now(), Clock::duration::zero());
    // Another gate's turn stays as it is, however far ahead its own interval allowed.
    SharedRecord record = ReadRecord(file, wallNow, static_cast<long long>(kLongestGap * 1e6));
    record.m_hold = std::max(record.m_hold, wallNow + ToMicros(ahead));
    file.Write(EncodeRecord(record));
}

void HoldGateFor(double seconds) {
    const double held = std::min(std::max(seconds, 0.0), kLongestHold);
    RequestGate::Process().HoldUntil(RequestGate::Clock::now() +
                                     std::chrono::duration_cast<RequestGate::Clock::duration>(
                                         std::chrono::duration<double>(held)));
}

void RequestGate::Reset() {
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_next = Clock::time_point{};
    }
    Platform::CLockedFile file;
    if (!m_sharedPath.empty() && LockRecord(file, m_sharedPath, kLockPatience))
        file.Write(std::string());
}

} // namespace Geo
