// The classic locale on POSIX: a per-thread locale (uselocale), never the process-wide one.
#include "platform/classic_locale.h"

#include <clocale>

#include <locale.h>

namespace Geo::Platform {

namespace {

// Made once and kept for the life of the process: glibc answers the "C" locale with its own
// static object, so nothing is allocated for it.
locale_t ClassicLocale() {
    static const locale_t classic = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    return classic;
}

} // namespace

CClassicLocaleScope::CClassicLocaleScope() : m_previous(nullptr) {
    const locale_t classic = ClassicLocale();
    if (classic != static_cast<locale_t>(nullptr))
        m_previous = uselocale(classic);
}

CClassicLocaleScope::~CClassicLocaleScope() {
    if (m_previous != nullptr)
        uselocale(static_cast<locale_t>(m_previous));
}

} // namespace Geo::Platform
