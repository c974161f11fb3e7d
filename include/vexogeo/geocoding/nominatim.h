// Nominatim: free-text geocoding search against the configured Nominatim service.
#ifndef VEXOGEO_GEOCODING_NOMINATIM_H
#define VEXOGEO_GEOCODING_NOMINATIM_H

#include <array>
#include <exception>
#include <stdexcept>
#include <string>
#include <vector>

#include <vexogeo/export.h>

namespace Geo {

/// A failed search transfer: no handle, a libcurl error (its English text), or an answer whose
/// status is not 200 (the answer's body up to its first NUL). Catch it as `std::exception`.
class VEXOGEO_API TransferError : public std::exception {
  public:
    /// Carries `message` up to its first NUL.
    explicit TransferError(const std::string &message);
    /// @return the message; never null.
    const char *what() const noexcept override;

  private:
    std::runtime_error m_message; ///< holds the text; copying it never throws
};

/// Sends one blocking HTTPS request per search and returns the places found, in the service's
/// order. Stateless: any thread may search, also several at once. Throws `std::invalid_argument`
/// for a bad limit and `TransferError` for a failed transfer; an unreadable answer is no error.
class VEXOGEO_API Nominatim {
  public:
    /// One place found.
    struct SearchOutput {
        /// The answer's "boundingbox" numbers in the order sent: minimum latitude, maximum
        /// latitude, minimum longitude, maximum longitude (degrees).
        std::array<double, 4> m_boundingBox{};
        /// The place's "display_name" in the process code page; empty when it cannot be converted.
        std::string m_displayName;
    };

    /// Searches `query` (process code page, up to its first NUL) for at most `limit` places.
    /// @return the places, empty when nothing was found or the answer is not a result list.
    /// @throw std::invalid_argument with the localized "limit is invalid" text for `limit` < 1.
    /// @throw TransferError when the request fails or its status is not 200.
    static std::vector<SearchOutput> Search(const std::string &query, const int &limit);

    /// As above, restricted to the box with corners (`x1`, `y1`) and (`x2`, `y2`), given as
    /// longitude, latitude (degrees), sent unchanged.
    /// @throw std::invalid_argument for `limit` outside 1 to 50.
    static std::vector<SearchOutput> Search(const std::string &query, const double &x1,
                                            const double &y1, const double &x2, const double &y2,
                                            const int &limit);

    Nominatim() = default;
    Nominatim(const Nominatim &) = default;
    /// Does nothing: the class has no state.
    Nominatim &operator=(const Nominatim &) { return *this; }
    /// Does nothing: the class has no state.
    Nominatim &operator=(Nominatim &&) noexcept { return *this; }
};

} // namespace Geo

#endif
