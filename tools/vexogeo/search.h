// A geocoding search that the caller stops waiting for after a while.
#ifndef VEXOGEO_TOOLS_VEXOGEO_SEARCH_H
#define VEXOGEO_TOOLS_VEXOGEO_SEARCH_H

#include <vexogeo/geocoding/nominatim.h>

#include <chrono>
#include <string>
#include <vector>

namespace VexoGeoCli {

/// How a search ended, as far as the caller waited for it.
struct SearchAttempt {
    enum class Outcome {
        Found,   ///< the service answered; `m_results` may still be empty
        Failed,  ///< the search threw; `m_message` holds its text
        TimedOut ///< no answer within the wait; the search goes on in the background
    };
    Outcome m_outcome = Outcome::Failed;
    std::vector<Geo::Nominatim::SearchOutput> m_results;
    std::string m_message;
};

/// Searches `query` for at most `limit` places on a worker thread and waits at most `wait`.
/// A search has no time limit of its own: after a time-out the worker runs on, detached, and
/// the process must end without running static destructors (std::_Exit) while it may run.
SearchAttempt SearchWithin(const std::string &query, int limit, std::chrono::milliseconds wait);

} // namespace VexoGeoCli

#endif
