// The classic "C" locale for the C library's number conversions, whatever locale the host set.
#ifndef VEXOGEO_PLATFORM_CLASSIC_LOCALE_H
#define VEXOGEO_PLATFORM_CLASSIC_LOCALE_H

namespace Geo::Platform {

/// While it lives, the C library's conversions on the calling thread (`atof`, `strtod`,
/// `strtol`, `strtoul`, `isspace`, the printf family) follow the classic "C" locale: "." as the
/// decimal point, no digit grouping, ASCII blanks only. A host's `setlocale` or `uselocale`
/// choice is restored on destruction; other threads are never affected. When the C locale cannot
/// be had (no memory), the thread's locale is left as it is.
class CClassicLocaleScope {
  public:
    CClassicLocaleScope();
    ~CClassicLocaleScope();
    CClassicLocaleScope(const CClassicLocaleScope &) = delete;
    CClassicLocaleScope &operator=(const CClassicLocaleScope &) = delete;

  private:
    void *m_previous; ///< the platform's handle of the thread's locale before; null if unchanged
};

} // namespace Geo::Platform

#endif
