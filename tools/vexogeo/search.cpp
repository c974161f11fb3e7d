// The geocoding search on a worker thread, waited for with a deadline.
#include "search.h"

#include <condition_variable>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>

namespace VexoGeoCli {
namespace {

// Shared by the waiting caller and the worker, which may outlive the wait.
struct SearchState {
    std::mutex m_mutex;
    std::condition_variable m_done;
    bool m_finished = false;
    SearchAttempt m_attempt;
};

} // namespace

SearchAttempt SearchWithin(const std::string &query, int limit, std::chrono::milliseconds wait) {
    auto state = std::make_shared<SearchState>();
    std::thread worker([state, query, limit] {
        SearchAttempt attempt;
        try {
            attempt.m_results = Geo::Nominatim::Search(query, limit);
            attempt.m_outcome = SearchAttempt::Outcome::Found;
        } catch (const std::exception &e) {
            attempt.m_outcome = SearchAttempt::Outcome::Failed;
            attempt.m_message = e.what();
        } catch (...) {
            attempt.m_outcome = SearchAttempt::Outcome::Failed;
            attempt.m_message = "unknown error";
        }
        const std::lock_guard<std::mutex> lock(state->m_mutex);
        state->m_attempt = std::move(attempt);
        state->m_finished = true;
        state->m_done.notify_all();
    });
    std::unique_lock<std::mutex> lock(state->m_mutex);
    if (state->m_done.wait_for(lock, wait, [&] { return state->m_finished; })) {
        lock.unlock();
        worker.join();
        return std::move(state->m_attempt);
    }
    worker.detach();
    SearchAttempt attempt;
    attempt.m_outcome = SearchAttempt::Outcome::TimedOut;
    return attempt;
}

} // namespace VexoGeoCli
